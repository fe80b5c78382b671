#pragma once
// The SMS PDU codec. The receiving side turns the hexadecimal text of an SMS-DELIVER PDU into
// the sender, a time text and the message text, assembling concatenated messages part by
// part; the sending side builds the hexadecimal text of an SMS-SUBMIT PDU from a number and a
// text. Septets are used as character codes directly (no GSM alphabet table); UCS2 text is
// folded into code page 1251. All texts are code page 1251.
//
// The decoder is owned by the reader thread, which lends it to whoever holds the port mutex;
// it is not safe for concurrent use. The stateless operations are free functions.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One received part of a concatenated message.
struct TFragmentSms {
  uint32_t Total = 0;      // number of parts of the message, from the concatenation element
  uint32_t Sequence = 0;   // this part's number, 1-based as sent
  uint16_t Reference = 0;  // the element's reference number (8 or 16 bits)
  std::string Text;        // the decoded text of this part
  std::string Tag;         // the caller's mark for the part (where it is stored), if any
  // The marks of earlier copies of this part (a part the network delivered twice is stored
  // twice), so that every copy can be deleted once the message is logged.
  std::vector<std::string> EarlierTags;
};

// A message the decoder gave up waiting for: its parts that came, joined in sequence.
struct TIncompleteSms {
  std::string Sender;
  std::string Time;  // the time text of its first part
  std::string Text;
  std::vector<std::string> Tags;  // the marks of every part and copy that came
};

// The parts received so far of one concatenated message. A message is known by its sender,
// its reference and its number of parts, so parts of different messages never mix.
struct TPendingSms {
  std::string Sender;
  uint16_t Reference = 0;
  uint32_t Total = 0;
  std::string Time;         // the time text of the first part that came
  int64_t FirstStamp = 0;   // its service-centre time stamp in seconds (UTC), 0 when unreadable
  std::vector<TFragmentSms> Fragments;  // ascending sequence, each sequence at most once

  // True when every part of the message is held.
  bool FragmentsComplete() const { return Fragments.size() == Total; }
  // The parts' texts in ascending sequence.
  std::string JoinFragments() const;
  // The marks of every part and copy held, in ascending sequence.
  std::vector<std::string> FragmentTags() const;
};

class TPduDecoder {
 public:
  // Bounds of the part list. Each message waiting for its parts takes one of
  // kMaxPendingMessages places; when a new message needs a place, or the texts held would pass
  // kMaxHeldTextBytes, the message whose first part came in longest ago is discarded. A real
  // concatenated message (at most 255 parts of at most 153 characters) fits in the byte bound
  // by itself.
  static constexpr size_t kMaxPendingMessages = 8;
  static constexpr size_t kMaxHeldTextBytes = 64 * 1024;
  // A message still incomplete this long after its first part (by the service-centre time
  // stamps of the parts, so that it holds across restarts, which read the stored parts
  // again) is given up.
  static constexpr int64_t kMaxPartAgeSeconds = 24 * 60 * 60;

  // Appends the sender, the time text ("yy/mm/dd,hh:nn:ss+20") and the message text, in this
  // order, when the PDU completes a message; appends nothing for a part that leaves its
  // message incomplete, for a PDU that is not an SMS-DELIVER and for malformed text (odd
  // length, a character that is no hex digit, a length that runs past the end of the PDU).
  // A numeric sender is its digits without "+"; an alphanumeric one (type of address D0, an
  // operator's name on balance and service messages) is its 7-bit text.
  // A concatenation element (8-bit or 16-bit reference) anywhere in the user-data header makes
  // the PDU a part; a header without one leaves a message of its own whose text follows the
  // header. 7-bit text after a header starts after the fill bits that the header's length
  // leaves, and ends after as many septets as the user-data length counts when the data holds
  // that many (the fill bits of the last octet are no character); a PDU cut short inside its
  // user data gives the text that arrived.
  // With `partTags`, a completed message also gives the tags that its parts came with (`tag`
  // for this part, the earlier parts' own tags for the others), so a caller can delete every
  // stored part of a message once it has it whole.
  void DecodeDeliverPdu(std::string_view pdu, std::vector<std::string>& out, const std::string& tag = std::string(),
                        std::vector<std::string>* partTags = nullptr);

  // Drops every part held.
  void ClearFragments();

  // The messages given up since the last call: pushed out of the part list by its bounds, or
  // older than kMaxPartAgeSeconds. The caller logs them with what they had.
  std::vector<TIncompleteSms> TakeGivenUp();
  // Gives up the messages whose first part is older than kMaxPartAgeSeconds at `nowUtc`
  // (seconds since 1970). Every PDU decoded does this with its own time stamp.
  void GiveUpStale(int64_t nowUtc);

  // The messages waiting for parts, oldest first.
  const std::vector<TPendingSms>& Pending() const { return PendingList; }
  size_t HeldTextBytes() const { return HeldBytes; }

 private:
  // Files the part; true when it completed its message, whose text is then in `joined`.
  bool StorePart(std::string_view sender, const std::string& time, int64_t stamp, TFragmentSms&& part,
                 std::string& joined, std::vector<std::string>* tags);
  void DiscardPending(size_t index);
  // Moves a pending message to the given-up list.
  void GiveUp(size_t index);

  std::vector<TPendingSms> PendingList;
  std::vector<TIncompleteSms> GivenUp;
  size_t HeldBytes = 0;
};

// Unpacks 7-bit user data given as hex, least significant bit first. With `afterHeader` the
// data follows a six-octet user-data header, so the first octet carries one fill bit. A single
// hex character left at the end counts as an octet of that value. A septet 0 is "@", except
// that the last septet of data that ends on a septet boundary stays a character of code 0: it
// is then the seven fill bits of the last octet (or a final "@", which looks the same).
std::string Decode7Bit(std::string_view hex, bool afterHeader);

// Folds UCS2 user data given as hex into code page 1251. A code unit 0 ends the text;
// characters the code page lacks become '?'. A hex text of 2048 characters or more gives an
// empty text.
std::string DecodeUcs2(std::string_view hex);

// True when `phone` is a number a message can go to: digits only, after an optional leading
// "+", at least one digit and at most 12 characters with the "+". Nothing else may reach the
// address field: its characters go to the modem as they are, and in swapped pairs they can
// spell a Ctrl-Z and an AT command of their own.
bool IsSmsDestination(std::string_view phone);

// True when BuildPdu can carry `text` in one message: up to 159 characters when it is ASCII
// only, else up to 70 (each code page 1251 character one UCS2 code unit).
bool SmsTextFits(std::string_view text);

// The destination address of an SMS-SUBMIT: type of address ("91" when the number begins with
// 7, else "81") and the digits in swapped pairs, "F" filling an odd count. Removes a leading
// "+" from `phone` itself. A number that is no destination (IsSmsDestination) gives an empty
// result and leaves `phone` unchanged.
std::string EncodePhoneNumber(std::string& phone);

// Packs a text of at most 159 characters as 7-bit user data in upper-case hex, each character
// contributing its code AND 0x7F; n characters give n - n / 8 octets. A longer text gives an
// empty result.
std::string Encode7Bit(std::string_view text);

// The hex SMS-SUBMIT PDU for `text` to `phone` (default service centre, relative validity of
// 15 minutes). A text of ASCII only (every device command) goes as 7-bit data; a text with
// any byte above 0x7F (Russian free text) goes as UCS2, each code page 1251 character one
// code unit, with the user-data length in octets. Removes a leading "+" from `phone`. Gives
// an empty text when the number is no destination or the text does not fit (SmsTextFits):
// such a message cannot be sent. What it gives is upper-case hex digits only.
std::string BuildPdu(std::string& phone, std::string_view text);

// The octet count that "AT+CMGS=" announces for a PDU from BuildPdu: its octets without the
// service-centre octet.
int SubmitTpduLength(std::string_view pdu);
