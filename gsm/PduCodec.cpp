#include "gsm/PduCodec.h"

#include "common/Text.h"

#include <algorithm>
#include <array>

namespace {

// Value of each byte as a hex digit, -1 for any other byte.
constexpr std::array<int8_t, 256> kHexDigit = [] {
  std::array<int8_t, 256> table{};
  table.fill(-1);
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<int8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<int8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<int8_t>(c - 'a' + 10);
  return table;
}();

constexpr char kUpperHex[] = "0123456789ABCDEF";

int HexDigit(char c) { return kHexDigit[static_cast<unsigned char>(c)]; }

bool IsHexText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return HexDigit(c) >= 0; });
}

// The value of a group of hex characters as a scan of that width reads it: the leading hex
// digits, 0 when the group begins with something else.
unsigned ScanHex(std::string_view group) {
  unsigned value = 0;
  for (char c : group) {
    int digit = HexDigit(c);
    if (digit < 0) break;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return value;
}

// Reads octets from the front of a PDU text that has been checked to hold an even number of
// hex digits. Every step that would run past the end fails and leaves the position alone.
class TOctetReader {
 public:
  explicit TOctetReader(std::string_view hex) : Hex(hex) {}

  bool Read(unsigned& value) {
    if (Hex.size() - Pos < 2) return false;
    value = static_cast<unsigned>(HexDigit(Hex[Pos]) * 16 + HexDigit(Hex[Pos + 1]));
    Pos += 2;
    return true;
  }
  bool Take(size_t octets, std::string_view& hex) {
    if (octets > (Hex.size() - Pos) / 2) return false;
    hex = Hex.substr(Pos, 2 * octets);
    Pos += 2 * octets;
    return true;
  }
  bool Skip(size_t octets) {
    std::string_view skipped;
    return Take(octets, skipped);
  }
  std::string_view Rest() const { return Hex.substr(Pos); }

 private:
  std::string_view Hex;
  size_t Pos = 0;
};

// The originating address: of each octet the second hex character, then the first unless it
// is the filler "f". The type of address is not looked at, so an alphanumeric sender comes out
// as swapped hex characters too.
std::string SenderText(std::string_view digits) {
  std::string sender;
  sender.reserve(digits.size());
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    sender.push_back(digits[i + 1]);
    if (digits[i] != 'f' && digits[i] != 'F') sender.push_back(digits[i]);
  }
  return sender;
}

// "yy/mm/dd,hh:nn:ss+20" from the seven time-stamp octets: each of the first six with its
// semi-octets swapped and printed in hex, so that the BCD digits read as decimal digits. The
// zone octet is not decoded; "+20" is fixed text.
std::string TimeText(std::string_view stamp) {
  std::string text = "00/00/00,00:00:00+20";
  for (size_t field = 0; field < 6; ++field) {
    text[field * 3] = kUpperHex[HexDigit(stamp[field * 2 + 1])];
    text[field * 3 + 1] = kUpperHex[HexDigit(stamp[field * 2])];
  }
  return text;
}

// 7-bit unpacking after `fillBits` leading fill bits, least significant bit first. Septets are
// character codes as they are; a septet 0 is "@". Only the last septet may stay a character of
// code 0: when the data ends on a septet boundary, its last seven bits are either a final "@"
// or the fill bits of the last octet, and they are kept as code 0.
std::string Unpack7Bit(std::string_view hex, unsigned fillBits) {
  const size_t octets = (hex.size() + 1) / 2;
  if (octets * 8 <= fillBits) return {};
  const size_t bits = octets * 8 - fillBits;
  const size_t septets = bits / 7;
  const bool endsOnSeptet = bits % 7 == 0 && septets > 1;

  std::string text(septets, '\0');
  uint32_t pending = 0;    // bits read but not yet used, lowest first
  unsigned pendingBits = 0;
  size_t pos = 0;
  auto nextOctet = [&] {
    if (pos >= hex.size()) return 0u;  // not reached: the septet count stays within the data
    unsigned value = ScanHex(hex.substr(pos, 2));
    pos += 2;
    return value;
  };
  pending = nextOctet() >> fillBits;
  pendingBits = 8 - fillBits;
  for (size_t i = 0; i < septets; ++i) {
    if (pendingBits < 7) {
      pending |= nextOctet() << pendingBits;
      pendingBits += 8;
    }
    char code = static_cast<char>(pending & 0x7F);
    pending >>= 7;
    pendingBits -= 7;
    if (code == 0 && !(endsOnSeptet && i + 1 == septets)) code = '@';
    text[i] = code;
  }
  return text;
}

// Fill bits between a user-data header of `headerLength` octets (its length octet not counted)
// and the first septet of the text.
unsigned HeaderFillBits(unsigned headerLength) {
  return static_cast<unsigned>((7 - ((headerLength + 1) * 8) % 7) % 7);
}

void AppendHexOctet(std::string& out, unsigned value) {
  out.push_back(kUpperHex[(value >> 4) & 0x0F]);
  out.push_back(kUpperHex[value & 0x0F]);
}

}  // namespace

std::string TPendingSms::JoinFragments() const {
  size_t size = 0;
  for (const TFragmentSms& part : Fragments) size += part.Text.size();
  std::string joined;
  joined.reserve(size);
  for (const TFragmentSms& part : Fragments) joined += part.Text;
  return joined;
}

void TPduDecoder::ClearFragments() {
  PendingList.clear();
  HeldBytes = 0;
}

void TPduDecoder::DiscardPending(size_t index) {
  for (const TFragmentSms& part : PendingList[index].Fragments) HeldBytes -= part.Text.size();
  PendingList.erase(PendingList.begin() + static_cast<std::ptrdiff_t>(index));
}

bool TPduDecoder::StorePart(std::string_view sender, TFragmentSms&& part, std::string& joined) {
  auto sameMessage = [&](const TPendingSms& pending) {
    return pending.Reference == part.Reference && pending.Total == part.Total &&
           pending.Sender == sender;
  };
  auto found = std::find_if(PendingList.begin(), PendingList.end(), sameMessage);
  size_t index = static_cast<size_t>(found - PendingList.begin());

  if (found == PendingList.end()) {
    if (part.Total == 1) {  // a message of one part needs no place in the list
      joined = std::move(part.Text);
      return true;
    }
    if (PendingList.size() >= kMaxPendingMessages) DiscardPending(0);
    TPendingSms pending;
    pending.Sender = std::string(sender);
    pending.Reference = part.Reference;
    pending.Total = part.Total;
    PendingList.push_back(std::move(pending));
    index = PendingList.size() - 1;
  }

  // A part received again replaces the earlier copy: a repeated delivery brings the same text,
  // and a new message that reuses the reference brings the newer one.
  std::vector<TFragmentSms>& parts = PendingList[index].Fragments;
  auto slot = std::lower_bound(parts.begin(), parts.end(), part.Sequence,
                               [](const TFragmentSms& held, uint32_t sequence) {
                                 return held.Sequence < sequence;
                               });
  if (slot != parts.end() && slot->Sequence == part.Sequence) {
    HeldBytes -= slot->Text.size();
    parts.erase(slot);
  }

  // Make room for the text by discarding the oldest other messages; a message that cannot fit
  // even alone is dropped with this part.
  while (HeldBytes + part.Text.size() > kMaxHeldTextBytes && PendingList.size() > 1) {
    size_t oldest = index == 0 ? 1 : 0;
    DiscardPending(oldest);
    if (oldest < index) --index;
  }
  if (HeldBytes + part.Text.size() > kMaxHeldTextBytes) {
    DiscardPending(index);
    return false;
  }

  std::vector<TFragmentSms>& heldParts = PendingList[index].Fragments;
  auto at = std::lower_bound(heldParts.begin(), heldParts.end(), part.Sequence,
                             [](const TFragmentSms& held, uint32_t sequence) {
                               return held.Sequence < sequence;
                             });
  HeldBytes += part.Text.size();
  heldParts.insert(at, std::move(part));

  if (!PendingList[index].FragmentsComplete()) return false;
  joined = PendingList[index].JoinFragments();
  DiscardPending(index);
  return true;
}

void TPduDecoder::DecodeDeliverPdu(std::string_view pdu, std::vector<std::string>& out) {
  if (pdu.size() % 2 != 0 || !IsHexText(pdu)) return;
  TOctetReader reader(pdu);

  unsigned centreLength = 0;
  if (!reader.Read(centreLength) || !reader.Skip(centreLength)) return;
  unsigned firstOctet = 0;
  if (!reader.Read(firstOctet) || (firstOctet & 0x03) != 0) return;  // not an SMS-DELIVER
  unsigned addressDigits = 0;
  std::string_view address;
  if (!reader.Read(addressDigits) || !reader.Skip(1) ||
      !reader.Take((addressDigits + 1) / 2, address))
    return;
  unsigned codingScheme = 0;
  std::string_view stamp;
  if (!reader.Skip(1) || !reader.Read(codingScheme) || !reader.Take(7, stamp) ||
      !reader.Skip(1))  // the user-data length: the text is all that follows
    return;
  const bool ucs2 = (codingScheme & 0x08) != 0;

  if ((firstOctet & 0x40) == 0) {
    std::string_view body = reader.Rest();
    out.push_back(SenderText(address));
    out.push_back(TimeText(stamp));
    out.push_back(ucs2 ? DecodeUcs2(body) : Unpack7Bit(body, 0));
    return;
  }

  // Only a header that begins with the concatenation element with an 8-bit reference is
  // understood: identifier 00, element length (not looked at), reference, total, sequence.
  unsigned headerLength = 0;
  std::string_view header;
  if (!reader.Read(headerLength) || !reader.Take(headerLength, header)) return;
  if (headerLength < 5) return;
  TOctetReader element(header);
  unsigned identifier = 0, reference = 0, total = 0, sequence = 0;
  element.Read(identifier);
  if (identifier != 0) return;
  element.Skip(1);
  element.Read(reference);
  element.Read(total);
  element.Read(sequence);
  // Such a part can never complete a message consistently.
  if (total == 0 || sequence == 0 || sequence > total) return;

  std::string_view body = reader.Rest();
  TFragmentSms part;
  part.Total = total;
  part.Sequence = sequence;
  part.Reference = static_cast<uint16_t>(reference);
  part.Text = ucs2 ? DecodeUcs2(body) : Unpack7Bit(body, HeaderFillBits(headerLength));

  std::string sender = SenderText(address);
  std::string joined;
  if (!StorePart(sender, std::move(part), joined)) return;
  out.push_back(std::move(sender));
  out.push_back(TimeText(stamp));
  out.push_back(std::move(joined));
}

std::string Decode7Bit(std::string_view hex, bool afterHeader) {
  return Unpack7Bit(hex, afterHeader ? 1 : 0);
}

std::string DecodeUcs2(std::string_view hex) {
  if (hex.size() >= 2048) return {};
  std::u16string units;
  units.reserve((hex.size() + 3) / 4);
  for (size_t pos = 0; pos < hex.size(); pos += 4) {
    auto unit = static_cast<char16_t>(ScanHex(hex.substr(pos, 4)));
    if (unit == 0) break;
    units.push_back(unit);
  }
  return Cp1251FromUtf16(units);
}

std::string EncodePhoneNumber(std::string& phone) {
  if (phone.empty() || phone.size() > 12) return {};
  if (phone.front() == '+') phone.erase(0, 1);
  std::string address = !phone.empty() && phone.front() == '7' ? "91" : "81";
  address.reserve(2 + phone.size() + 1);
  for (size_t i = 0; i < phone.size(); i += 2) {
    address.push_back(i + 1 < phone.size() ? phone[i + 1] : 'F');
    address.push_back(phone[i]);
  }
  return address;
}

std::string Encode7Bit(std::string_view text) {
  if (text.size() >= 160) return {};
  std::string hex;
  hex.reserve(2 * text.size());
  uint32_t pending = 0;
  unsigned pendingBits = 0;
  for (char c : text) {
    pending |= (static_cast<unsigned char>(c) & 0x7Fu) << pendingBits;
    pendingBits += 7;
    if (pendingBits >= 8) {
      AppendHexOctet(hex, pending & 0xFF);
      pending >>= 8;
      pendingBits -= 8;
    }
  }
  if (pendingBits > 0) AppendHexOctet(hex, pending & 0xFF);
  return hex;
}

std::string BuildPdu(std::string& phone, std::string_view text) {
  std::string address = EncodePhoneNumber(phone);
  if (address.empty() || phone.empty() || text.size() >= 160) return {};

  std::string pdu = "001100";  // default centre; SMS-SUBMIT, relative validity; reference 0
  AppendHexOctet(pdu, static_cast<unsigned>(phone.size()));
  pdu += address;
  pdu += "000002";  // protocol identifier, 7-bit coding, valid for (2 + 1) x 5 minutes
  AppendHexOctet(pdu, static_cast<unsigned>(text.size()));
  pdu += Encode7Bit(text);
  return pdu;
}

int SubmitTpduLength(std::string_view pdu) { return static_cast<int>(pdu.size() / 2) - 1; }
