#pragma once
// The simulated modem's own SMS coding: it builds the SMS-DELIVER PDUs that a network hands
// to a modem and decodes the SMS-SUBMIT PDUs that the host sends with AT+CMGS. It is written
// from the GSM PDU layout alone and shares no code with the monitor's codec, so a test of the
// monitor against the simulator checks one coder against another.
//
// Texts are code page 1251 bytes. 7-bit user data carries the septet values as character
// codes (the tracking devices read them that way); a text with a byte of 0x80 or above goes
// as UCS2.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Service-centre time stamp of a delivered message. `ZoneQuarters` is the offset from UTC in
// quarters of an hour (12 is UTC+3), negative west of Greenwich.
struct TSimTimeStamp {
  int Year = 2026;
  int Month = 1;
  int Day = 2;
  int Hour = 12;
  int Minute = 30;
  int Second = 45;
  int ZoneQuarters = 12;
};

// What one incoming message is made of.
struct TSimDeliver {
  // "+" and digits give an international (0x91) or unknown-type (0x81) number; a sender with
  // any other character is sent as an alphanumeric address (0xD0).
  std::string Sender;
  std::string Text;
  // 0: as many parts as the text needs (one when it fits). A larger count spreads the text
  // evenly over that many parts, each with a concatenation header.
  int Parts = 0;
  // Deliver the parts last first.
  bool Reverse = false;
  // UCS2 even for a text that 7-bit would carry.
  bool Ucs2 = false;
  // Concatenation reference: 8-bit (element 00), or 16-bit (element 08) when `WideReference`.
  uint16_t Reference = 1;
  bool WideReference = false;
  TSimTimeStamp Time;
  std::string ServiceCentre = "+79000000000";  // empty: no service-centre address
};

// One built PDU: its hex text (service-centre part included) and the TPDU length in octets,
// the number a modem announces in +CMT and +CMGR.
struct TSimPdu {
  std::string Hex;
  int TpduLength = 0;
};

// The PDUs of one message, in the order they are to be delivered. Empty when the message
// cannot be sent: more than 255 parts, a text that does not fit the parts asked for, a sender
// of more than 20 digits or 11 letters, a service centre that is no number of up to 20 digits.
std::vector<TSimPdu> SimBuildDeliverPdus(const TSimDeliver& message);

// One SMS-SUBMIT as the host sent it.
struct TSimSubmit {
  std::string Recipient;      // digits (or the alphanumeric address), never with "+"
  uint8_t RecipientType = 0;  // type-of-address octet, 0x91 for an international number
  uint8_t MessageReference = 0;
  uint8_t DataCoding = 0;
  std::string Text;           // code page 1251
  bool Concatenated = false;  // a concatenation element was in the user-data header
  int ConcatReference = 0;
  int ConcatTotal = 0;
  int ConcatSequence = 0;
  std::string Pdu;            // the hex text as received
};

// Why a SUBMIT was refused; the value is the +CMS ERROR code a modem answers with.
enum class TSimSubmitError : int {
  None = 0,
  BadPdu = 304,      // a field runs past the end or holds an impossible value
  NonHex = 528,      // a character that is no hex digit, or an odd number of digits
  BadLength = 529,   // the TPDU is not as long as the AT+CMGS command announced
  BadType = 530,     // not an SMS-SUBMIT
  BadUserData = 533, // the user-data length does not fit the data
};

// Decodes a SUBMIT. `announcedLength` is the octet count given with AT+CMGS (the TPDU without
// the service-centre part); a negative value skips that check.
TSimSubmitError SimDecodeSubmitPdu(std::string_view hex, int announcedLength, TSimSubmit& out);

// Packs septets least significant bit first, starting `fillBits` bits into the first octet.
std::vector<uint8_t> SimPackSeptets(std::string_view septets, int fillBits);
// Unpacks `count` septets that start `fillBits` bits into `octets`; false when the octets
// are too few.
bool SimUnpackSeptets(const std::vector<uint8_t>& octets, size_t count, int fillBits, std::string& out);
