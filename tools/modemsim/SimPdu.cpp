#include "tools/modemsim/SimPdu.h"

#include "common/Text.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr size_t kSeptetsSingle = 160;   // 7-bit characters of a message without header
constexpr size_t kUnitsSingle = 70;      // UCS2 characters of a message without header
constexpr size_t kMaxAddressDigits = 20;  // ten octets of semi-octets
constexpr size_t kMaxAddressLetters = 11; // ten octets of septets

const char kHexDigits[] = "0123456789ABCDEF";

void AppendOctet(std::string& hex, uint8_t value) {
  hex += kHexDigits[value >> 4];
  hex += kHexDigits[value & 0x0F];
}

void AppendOctets(std::string& hex, const std::vector<uint8_t>& octets) {
  for (uint8_t octet : octets) AppendOctet(hex, octet);
}

// Two decimal digits as a swapped BCD octet: 25 becomes 0x52.
uint8_t SwappedBcd(int value) {
  value = std::abs(value) % 100;
  return static_cast<uint8_t>(((value % 10) << 4) | (value / 10));
}

bool IsPhoneNumber(std::string_view address) {
  if (!address.empty() && address.front() == '+') address.remove_prefix(1);
  return std::all_of(address.begin(), address.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An address field holds at most 20 digits or 11 letters.
bool AddressFits(std::string_view address) {
  if (!IsPhoneNumber(address)) return address.size() <= kMaxAddressLetters;
  if (!address.empty() && address.front() == '+') address.remove_prefix(1);
  return address.size() <= kMaxAddressDigits;
}

// Digits in swapped pairs, "F" filling an odd last octet.
std::vector<uint8_t> SwappedDigits(std::string_view digits) {
  std::vector<uint8_t> octets;
  for (size_t i = 0; i < digits.size(); i += 2) {
    uint8_t low = static_cast<uint8_t>(digits[i] - '0');
    uint8_t high = i + 1 < digits.size() ? static_cast<uint8_t>(digits[i + 1] - '0') : 0x0F;
    octets.push_back(static_cast<uint8_t>((high << 4) | low));
  }
  return octets;
}

// Address field: length, type of address, value. The length counts digits (semi-octets for
// an alphanumeric address).
void AppendAddress(std::string& hex, std::string_view address) {
  if (IsPhoneNumber(address)) {
    bool international = !address.empty() && address.front() == '+';
    if (international) address.remove_prefix(1);
    AppendOctet(hex, static_cast<uint8_t>(address.size()));
    AppendOctet(hex, international ? 0x91 : 0x81);
    AppendOctets(hex, SwappedDigits(address));
    return;
  }
  std::string septets(address);
  for (char& c : septets) c = static_cast<char>(c & 0x7F);
  std::vector<uint8_t> packed = SimPackSeptets(septets, 0);
  AppendOctet(hex, static_cast<uint8_t>((septets.size() * 7 + 3) / 4));
  AppendOctet(hex, 0xD0);
  AppendOctets(hex, packed);
}

void AppendServiceCentre(std::string& hex, std::string_view centre) {
  bool international = !centre.empty() && centre.front() == '+';
  if (international) centre.remove_prefix(1);
  if (centre.empty()) {
    AppendOctet(hex, 0);
    return;
  }
  std::vector<uint8_t> digits = SwappedDigits(centre);
  AppendOctet(hex, static_cast<uint8_t>(1 + digits.size()));
  AppendOctet(hex, international ? 0x91 : 0x81);
  AppendOctets(hex, digits);
}

void AppendTimeStamp(std::string& hex, const TSimTimeStamp& time) {
  AppendOctet(hex, SwappedBcd(time.Year));
  AppendOctet(hex, SwappedBcd(time.Month));
  AppendOctet(hex, SwappedBcd(time.Day));
  AppendOctet(hex, SwappedBcd(time.Hour));
  AppendOctet(hex, SwappedBcd(time.Minute));
  AppendOctet(hex, SwappedBcd(time.Second));
  uint8_t zone = SwappedBcd(std::min(std::abs(time.ZoneQuarters), 79));
  if (time.ZoneQuarters < 0) zone |= 0x08;
  AppendOctet(hex, zone);
}

// Cuts `length` units into `parts` pieces as even as they come (earlier pieces one longer).
std::vector<std::pair<size_t, size_t>> EvenSlices(size_t length, size_t parts) {
  std::vector<std::pair<size_t, size_t>> slices;
  size_t base = length / parts, extra = length % parts, start = 0;
  for (size_t i = 0; i < parts; ++i) {
    size_t size = base + (i < extra ? 1 : 0);
    slices.emplace_back(start, size);
    start += size;
  }
  return slices;
}

}  // namespace

std::vector<uint8_t> SimPackSeptets(std::string_view septets, int fillBits) {
  size_t bits = static_cast<size_t>(fillBits) + septets.size() * 7;
  std::vector<uint8_t> octets((bits + 7) / 8, 0);
  size_t position = static_cast<size_t>(fillBits);
  for (char c : septets) {
    uint8_t septet = static_cast<uint8_t>(c) & 0x7F;
    for (int k = 0; k < 7; ++k, ++position)
      if (septet & (1u << k)) octets[position / 8] |= static_cast<uint8_t>(1u << (position % 8));
  }
  return octets;
}

bool SimUnpackSeptets(const std::vector<uint8_t>& octets, size_t count, int fillBits, std::string& out) {
  size_t position = static_cast<size_t>(fillBits);
  if (position + count * 7 > octets.size() * 8) return false;
  out.clear();
  for (size_t i = 0; i < count; ++i) {
    uint8_t septet = 0;
    for (int k = 0; k < 7; ++k, ++position)
      if (octets[position / 8] & (1u << (position % 8))) septet |= static_cast<uint8_t>(1u << k);
    out += static_cast<char>(septet);
  }
  return true;
}

std::vector<TSimPdu> SimBuildDeliverPdus(const TSimDeliver& message) {
  bool ucs2 = message.Ucs2 || std::any_of(message.Text.begin(), message.Text.end(),
                                          [](char c) { return static_cast<uint8_t>(c) >= 0x80; });
  std::u16string units = ucs2 ? Utf16FromCp1251(message.Text) : std::u16string();
  size_t length = ucs2 ? units.size() : message.Text.size();
  size_t single = ucs2 ? kUnitsSingle : kSeptetsSingle;
  // The header: UDHL, element 00 or 08, its length, the reference (one or two octets), the
  // number of parts and the sequence number; six or seven octets.
  size_t headerOctets = message.WideReference ? 7 : 6;
  size_t perPart = ucs2 ? (140 - headerOctets) / 2 : (140 * 8 - headerOctets * 8) / 7;

  size_t parts = message.Parts > 0 ? static_cast<size_t>(message.Parts)
                 : length <= single  ? 1
                                     : (length + perPart - 1) / perPart;
  if (parts > 255 || !AddressFits(message.Sender) ||
      !(AddressFits(message.ServiceCentre) && IsPhoneNumber(message.ServiceCentre)))
    return {};
  bool concatenated = parts > 1;
  if (length > (concatenated ? perPart : single) * parts) return {};

  std::vector<TSimPdu> pdus;
  auto slices = EvenSlices(length, parts);
  for (size_t i = 0; i < parts; ++i) {
    std::string hex;
    AppendServiceCentre(hex, message.ServiceCentre);
    size_t tpduStart = hex.size();
    // SMS-DELIVER, no more messages waiting; bit 6 announces the user-data header.
    AppendOctet(hex, concatenated ? 0x44 : 0x04);
    AppendAddress(hex, message.Sender);
    AppendOctet(hex, 0x00);                  // protocol identifier
    AppendOctet(hex, ucs2 ? 0x08 : 0x00);    // data coding scheme
    AppendTimeStamp(hex, message.Time);

    std::vector<uint8_t> header;
    if (concatenated && message.WideReference)
      header = {0x06, 0x08, 0x04, static_cast<uint8_t>(message.Reference >> 8),
                static_cast<uint8_t>(message.Reference & 0xFF), static_cast<uint8_t>(parts),
                static_cast<uint8_t>(i + 1)};
    else if (concatenated)
      header = {0x05, 0x00, 0x03, static_cast<uint8_t>(message.Reference & 0xFF), static_cast<uint8_t>(parts),
                static_cast<uint8_t>(i + 1)};
    auto [start, size] = slices[i];
    if (ucs2) {
      AppendOctet(hex, static_cast<uint8_t>(header.size() + size * 2));
      AppendOctets(hex, header);
      for (size_t u = start; u < start + size; ++u) {
        AppendOctet(hex, static_cast<uint8_t>(units[u] >> 8));
        AppendOctet(hex, static_cast<uint8_t>(units[u] & 0xFF));
      }
    } else {
      // The text starts on the first septet boundary behind the header.
      size_t headerBits = header.size() * 8;
      size_t headerSeptets = (headerBits + 6) / 7;
      int fill = static_cast<int>(headerSeptets * 7 - headerBits);
      AppendOctet(hex, static_cast<uint8_t>(headerSeptets + size));
      AppendOctets(hex, header);
      AppendOctets(hex, SimPackSeptets(std::string_view(message.Text).substr(start, size), fill));
    }
    pdus.push_back({hex, static_cast<int>((hex.size() - tpduStart) / 2)});
  }
  if (message.Reverse) std::reverse(pdus.begin(), pdus.end());
  return pdus;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads the octets of a TPDU front to back; every read past the end fails.
class TOctetReader {
public:
  explicit TOctetReader(const std::vector<uint8_t>& octets) : Input(octets) {}
  bool Take(uint8_t& value) {
    if (Position >= Input.size()) return false;
    value = Input[Position++];
    return true;
  }
  bool Take(size_t count, std::vector<uint8_t>& out) {
    if (count > Input.size() - Position) return false;
    out.assign(Input.begin() + static_cast<long>(Position),
               Input.begin() + static_cast<long>(Position + count));
    Position += count;
    return true;
  }
  size_t Left() const { return Input.size() - Position; }

private:
  const std::vector<uint8_t>& Input;
  size_t Position = 0;
};

std::string DecodeAddressDigits(const std::vector<uint8_t>& octets, size_t digits) {
  static const char kDigits[] = "0123456789*#abc";
  std::string out;
  for (size_t i = 0; i < digits; ++i) {
    uint8_t octet = octets[i / 2];
    uint8_t nibble = (i % 2 == 0) ? (octet & 0x0F) : (octet >> 4);
    if (nibble == 0x0F) break;
    out += kDigits[nibble];
  }
  return out;
}

enum class TAlphabet { Septets, Octets, Ucs2, Reserved };

TAlphabet AlphabetOf(uint8_t dcs) {
  switch (dcs >> 4) {
    case 0x0: case 0x1: case 0x2: case 0x3:  // general data coding
    case 0x4: case 0x5: case 0x6: case 0x7:  // the same, marked for deletion
      switch ((dcs >> 2) & 0x03) {
        case 0: return TAlphabet::Septets;
        case 1: return TAlphabet::Octets;
        case 2: return TAlphabet::Ucs2;
        default: return TAlphabet::Reserved;
      }
    case 0xC: case 0xD: return TAlphabet::Septets;  // message waiting, default alphabet
    case 0xE: return TAlphabet::Ucs2;               // message waiting, UCS2
    case 0xF: return (dcs & 0x04) ? TAlphabet::Octets : TAlphabet::Septets;
    default: return TAlphabet::Reserved;
  }
}

// Looks for a concatenation element in the header octets (the UDHL octet excluded).
bool ParseHeader(const std::vector<uint8_t>& header, TSimSubmit& out) {
  size_t i = 0;
  while (i < header.size()) {
    if (i + 2 > header.size()) return false;
    uint8_t id = header[i], size = header[i + 1];
    if (i + 2 + size > header.size()) return false;
    const uint8_t* data = header.data() + i + 2;
    if (id == 0x00 && size == 3) {
      out.Concatenated = true;
      out.ConcatReference = data[0];
      out.ConcatTotal = data[1];
      out.ConcatSequence = data[2];
    } else if (id == 0x08 && size == 4) {
      out.Concatenated = true;
      out.ConcatReference = (data[0] << 8) | data[1];
      out.ConcatTotal = data[2];
      out.ConcatSequence = data[3];
    }
    i += 2 + size;
  }
  return true;
}

}  // namespace

TSimSubmitError SimDecodeSubmitPdu(std::string_view hex, int announcedLength, TSimSubmit& out) {
  out = TSimSubmit();
  out.Pdu = std::string(hex);
  if (hex.size() % 2 != 0) return TSimSubmitError::NonHex;
  std::vector<uint8_t> octets;
  octets.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = HexValue(hex[i]), low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return TSimSubmitError::NonHex;
    octets.push_back(static_cast<uint8_t>(high * 16 + low));
  }

  TOctetReader reader(octets);
  uint8_t centreLength = 0, firstOctet = 0;
  std::vector<uint8_t> skipped;
  if (!reader.Take(centreLength) || !reader.Take(centreLength, skipped)) return TSimSubmitError::BadPdu;
  if (announcedLength >= 0 && reader.Left() != static_cast<size_t>(announcedLength))
    return TSimSubmitError::BadLength;
  if (!reader.Take(firstOctet)) return TSimSubmitError::BadPdu;
  if ((firstOctet & 0x03) != 0x01) return TSimSubmitError::BadType;

  uint8_t digits = 0;
  std::vector<uint8_t> address;
  if (!reader.Take(out.MessageReference) || !reader.Take(digits) || digits > 20 ||
      !reader.Take(out.RecipientType) || !reader.Take((digits + 1u) / 2, address))
    return TSimSubmitError::BadPdu;
  if ((out.RecipientType & 0x70) == 0x50) {
    SimUnpackSeptets(address, digits * 4u / 7, 0, out.Recipient);
  } else {
    out.Recipient = DecodeAddressDigits(address, digits);
  }

  uint8_t protocol = 0;
  if (!reader.Take(protocol) || !reader.Take(out.DataCoding)) return TSimSubmitError::BadPdu;
  static const size_t kValidityOctets[4] = {0, 7, 1, 7};  // none, enhanced, relative, absolute
  if (!reader.Take(kValidityOctets[(firstOctet >> 3) & 0x03], skipped)) return TSimSubmitError::BadPdu;

  uint8_t userLength = 0;
  if (!reader.Take(userLength)) return TSimSubmitError::BadPdu;
  TAlphabet alphabet = AlphabetOf(out.DataCoding);
  if (alphabet == TAlphabet::Reserved) return TSimSubmitError::BadPdu;
  bool septets = alphabet == TAlphabet::Septets;
  size_t dataOctets = septets ? (userLength * 7u + 7) / 8 : userLength;
  if ((septets && userLength > 160) || (!septets && userLength > 140) || reader.Left() != dataOctets)
    return TSimSubmitError::BadUserData;
  std::vector<uint8_t> data;
  reader.Take(dataOctets, data);

  size_t headerOctets = 0;  // the user-data header with its length octet
  if (firstOctet & 0x40) {
    if (data.empty() || data[0] + 1u > data.size()) return TSimSubmitError::BadUserData;
    headerOctets = data[0] + 1u;
    if (!ParseHeader(std::vector<uint8_t>(data.begin() + 1, data.begin() + static_cast<long>(headerOctets)), out))
      return TSimSubmitError::BadUserData;
  }
  std::vector<uint8_t> body(data.begin() + static_cast<long>(headerOctets), data.end());

  switch (alphabet) {
    case TAlphabet::Septets: {
      size_t headerSeptets = (headerOctets * 8 + 6) / 7;
      if (headerSeptets > userLength) return TSimSubmitError::BadUserData;
      int fill = static_cast<int>(headerSeptets * 7 - headerOctets * 8);
      if (!SimUnpackSeptets(body, userLength - headerSeptets, fill, out.Text)) return TSimSubmitError::BadUserData;
      break;
    }
    case TAlphabet::Octets:
      out.Text.assign(body.begin(), body.end());
      break;
    case TAlphabet::Ucs2: {
      if (body.size() % 2 != 0) return TSimSubmitError::BadUserData;
      std::u16string units;
      for (size_t i = 0; i < body.size(); i += 2)
        units += static_cast<char16_t>((body[i] << 8) | body[i + 1]);
      out.Text = Cp1251FromUtf16(units);
      break;
    }
    case TAlphabet::Reserved:
      break;
  }
  return TSimSubmitError::None;
}
