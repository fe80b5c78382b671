#include "gsm/PduCodec.h"

#include "common/Text.h"

#include <endian.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace {

// The value of each byte as a hex digit; kNotHex for any other byte.
constexpr uint8_t kNotHex = 0x10;
constexpr std::array<uint8_t, 256> kNibble = [] {
  std::array<uint8_t, 256> table{};
  table.fill(kNotHex);
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 10);
  return table;
}();

constexpr char kUpperHex[] = "0123456789ABCDEF";
// The characters one message takes: 159 as 7-bit data, 70 as UCS2 (140 octets).
constexpr size_t kMax7BitCharacters = 159;
constexpr size_t kMaxUcs2Units = 70;
// The longest destination, a leading "+" counted.
constexpr size_t kMaxPhoneLength = 12;

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

unsigned Nibble(char c) { return kNibble[static_cast<unsigned char>(c)]; }

// The value of a group of hex characters as a scan of that width reads it: the leading hex
// digits, 0 when the group begins with something else.
unsigned ScanHex(std::string_view group) {
  unsigned value = 0;
  for (char c : group) {
    unsigned digit = Nibble(c);
    if (digit == kNotHex) break;
    value = value * 16 + digit;
  }
  return value;
}

#if defined(__SSE2__)
// Sixteen hex characters to eight octets: false when any of them is no hex digit. This is the
// decoder's hot loop, so sixteen characters are checked and converted at once.
bool SixteenHexDigits(const char* text, uint8_t* octets) {
  const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  auto inRange = [](__m128i lanes, char low, char high) {  // bytes from 0x80 are negative
    return _mm_and_si128(_mm_cmpgt_epi8(lanes, _mm_set1_epi8(static_cast<char>(low - 1))),
                         _mm_cmplt_epi8(lanes, _mm_set1_epi8(static_cast<char>(high + 1))));
  };
  const __m128i digits = inRange(chars, '0', '9');
  const __m128i letters = inRange(_mm_or_si128(chars, _mm_set1_epi8(0x20)), 'a', 'f');
  if (_mm_movemask_epi8(_mm_or_si128(digits, letters)) != 0xFFFF) return false;
  // Digits are their low four bits, letters those plus 9.
  const __m128i nibbles = _mm_add_epi8(_mm_and_si128(chars, _mm_set1_epi8(0x0F)),
                                       _mm_and_si128(letters, _mm_set1_epi8(9)));
  // Each 16-bit lane holds a pair of characters, the first in its low byte.
  const __m128i high = _mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0x00FF)), 4);
  const __m128i pairs = _mm_or_si128(high, _mm_srli_epi16(nibbles, 8));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(octets), _mm_packus_epi16(pairs, pairs));
  return true;
}
#endif

// The octets of a hex text, on the stack for anything an SMS can hold. One zero octet follows
// the data, so that the 7-bit unpacker may always read two neighbouring octets.
class TOctets {
 public:
  TOctets() = default;
  TOctets(const TOctets&) = delete;
  TOctets& operator=(const TOctets&) = delete;

  // Every pair of characters must be two hex digits: false for an odd length or a character
  // that is no hex digit.
  bool FromPdu(std::string_view hex) {
    if (hex.size() % 2 != 0) return false;
    const size_t count = hex.size() / 2;
    uint8_t* octets = Reserve(count);
    const char* text = hex.data();
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= count; i += 8)
      if (!SixteenHexDigits(text + 2 * i, octets + i)) return false;
#endif
    unsigned seen = 0;  // collects kNotHex from any bad character; no branch in the loop
    for (; i < count; ++i) {
      unsigned high = Nibble(text[2 * i]), low = Nibble(text[2 * i + 1]);
      seen |= high | low;
      octets[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return (seen & kNotHex) == 0;
  }

  // Each group of two characters as a scan reads it; a single character left at the end is an
  // octet of that value.
  void FromGroups(std::string_view hex) {
    const size_t count = (hex.size() + 1) / 2;
    uint8_t* octets = Reserve(count);
    for (size_t i = 0; i < count; ++i)
      octets[i] = static_cast<uint8_t>(ScanHex(hex.substr(2 * i, 2)));
  }

  const uint8_t* Data() const { return Bytes; }
  size_t Size() const { return Count; }

 private:
  uint8_t* Reserve(size_t count) {
    if (count + 1 > Local.size()) {
      Heap = std::make_unique<uint8_t[]>(count + 1);
      Bytes = Heap.get();
    }
    Count = count;
    Bytes[count] = 0;
    return Bytes;
  }

  std::array<uint8_t, 256> Local;
  std::unique_ptr<uint8_t[]> Heap;
  uint8_t* Bytes = Local.data();
  size_t Count = 0;
};

// Reads octets from the front of a PDU. Every step that would run past the end fails.
class TOctetReader {
 public:
  TOctetReader(const uint8_t* octets, size_t count) : Octets(octets), Count(count) {}

  bool Read(unsigned& value) {
    if (Pos >= Count) return false;
    value = Octets[Pos++];
    return true;
  }
  // On success `at` is the position of the first octet skipped.
  bool Skip(size_t octets, size_t& at) {
    if (octets > Count - Pos) return false;
    at = Pos;
    Pos += octets;
    return true;
  }
  bool Skip(size_t octets) {
    size_t at = 0;
    return Skip(octets, at);
  }
  size_t Position() const { return Pos; }
  size_t Left() const { return Count - Pos; }

 private:
  const uint8_t* Octets;
  size_t Count;
  size_t Pos = 0;
};

// The originating address from its hex characters: of each octet the second character, then
// the first unless it is the filler "f".
std::string SenderText(std::string_view digits) {
  std::string sender(digits.size(), '\0');
  size_t length = 0;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    sender[length++] = digits[i + 1];
    if (digits[i] != 'f' && digits[i] != 'F') sender[length++] = digits[i];
  }
  sender.resize(length);
  return sender;
}

// "yy/mm/dd,hh:nn:ss+20" from the seven time-stamp octets: each of the first six with its
// semi-octets swapped and printed in hex, so that the BCD digits read as decimal digits. The
// zone octet is not decoded; "+20" is fixed text.
std::string TimeText(const uint8_t* stamp) {
  std::string text = "00/00/00,00:00:00+20";
  for (size_t field = 0; field < 6; ++field) {
    text[field * 3] = kUpperHex[stamp[field] & 0x0F];
    text[field * 3 + 1] = kUpperHex[stamp[field] >> 4];
  }
  return text;
}

// 7-bit unpacking after `fillBits` leading fill bits (0 to 6), least significant bit first.
// `octets[count]` must be readable. Septets are character codes as they are; a septet 0 is
// "@". With a `limit` the data holds, the text is that many septets. Without one, only the
// last septet may stay a character of code 0: when the data ends on a septet boundary, its
// last seven bits are either a final "@" or the fill bits of the last octet, and they are kept
// as code 0.
constexpr size_t kNoLimit = SIZE_MAX;
std::string Unpack7Bit(const uint8_t* octets, size_t count, unsigned fillBits, size_t limit = kNoLimit) {
  if (count * 8 <= fillBits) return {};
  const size_t bits = count * 8 - fillBits;
  const bool bounded = limit <= bits / 7;
  const size_t septets = bounded ? limit : bits / 7;
  std::string text(septets, '\0');
  char* out = text.data();
  size_t i = 0;
  // Eight septets at a time from the seven octets (and the fill bits) that hold them.
  for (; i + 8 <= septets && i / 8 * 7 + 7 <= count; i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, octets + i / 8 * 7, sizeof word);  // octets[count] may be read
    word = le64toh(word) >> fillBits;
    // Septet j moves to byte lane j; then every lane that is 0 gains 0x40, the "@".
    uint64_t lanes = 0;
    for (unsigned j = 0; j < 8; ++j) lanes |= (word << j) & (uint64_t{0x7F} << (8 * j));
    const uint64_t nonZero = (lanes + 0x7F7F7F7F7F7F7F7F) & 0x8080808080808080;
    lanes |= (~nonZero & 0x8080808080808080) >> 1;
    lanes = htole64(lanes);
    std::memcpy(out + i, &lanes, sizeof lanes);
  }
  for (; i < septets; ++i) {
    const size_t bit = fillBits + 7 * i;
    const unsigned pair = octets[bit / 8] | unsigned{octets[bit / 8 + 1]} << 8;
    const unsigned code = (pair >> (bit % 8)) & 0x7F;
    out[i] = static_cast<char>(code | unsigned{code == 0} << 6);  // 0 becomes '@' (64)
  }
  // The last septet is then the top seven bits of the last octet.
  if (!bounded && bits % 7 == 0 && septets > 1 && (octets[count - 1] >> 1) == 0) text.back() = '\0';
  return text;
}

// Whether a type-of-address octet says alphanumeric (type of number 101), as operators send
// balance and service messages under a name.
bool IsAlphanumeric(unsigned addressType) { return (addressType & 0x70) == 0x50; }

// An alphanumeric originating address: its `count` octets hold 7-bit characters packed as
// user data is, as many as its `semiOctets` (the address length) cover whole; the bits left
// over are fill. `octets[count]` must be readable.
std::string AlphanumericSender(const uint8_t* octets, size_t count, unsigned semiOctets) {
  return Unpack7Bit(octets, count, 0, semiOctets * 4 / 7);
}

// One UCS2 code unit as one byte of the code page: ASCII and the Russian letters directly,
// the rest through the code page's table ('?' for what it lacks).
void AppendUcs2Unit(std::string& text, char16_t unit) {
  if (unit < 0x80)
    text.push_back(static_cast<char>(unit));
  else if (unit >= 0x0410 && unit <= 0x044F)
    text.push_back(static_cast<char>(0xC0 + (unit - 0x0410)));
  else
    text += Cp1251FromUtf16(std::u16string_view(&unit, 1));
}

// UCS2 user data: pairs of octets, a single octet at the end being a code unit of its own
// value. A code unit 0 ends the text.
std::string Ucs2FromOctets(const uint8_t* octets, size_t count) {
  if (count >= 1024) return {};  // 2048 hex characters or more
  std::string text;
  text.reserve((count + 1) / 2);
  for (size_t i = 0; i < count; i += 2) {
    auto unit = static_cast<char16_t>(i + 1 < count ? octets[i] << 8 | octets[i + 1] : octets[i]);
    if (unit == 0) break;
    AppendUcs2Unit(text, unit);
  }
  return text;
}

// Fill bits between a user-data header of `headerLength` octets (its length octet not counted)
// and the first septet of the text.
unsigned HeaderFillBits(unsigned headerLength) {
  return static_cast<unsigned>((7 - ((headerLength + 1) * 8) % 7) % 7);
}

// The septets that a user-data header of `headerLength` octets (with its length octet and the
// fill bits) takes of the user-data length.
size_t HeaderSeptets(unsigned headerLength) { return ((headerLength + 1) * 8 + 6) / 7; }

// The concatenation element of a user-data header, wherever it stands among the elements.
struct TConcatenation {
  bool Found = false;
  unsigned Reference = 0, Total = 0, Sequence = 0;
};

TConcatenation FindConcatenation(const uint8_t* header, size_t length) {
  TConcatenation found;
  for (size_t at = 0; at + 2 <= length;) {
    const unsigned id = header[at], size = header[at + 1];
    const uint8_t* data = header + at + 2;
    if (at + 2 + size > length) break;  // an element that runs past the header ends the scan
    if (id == 0x00 && size >= 3) {
      found = {true, data[0], data[1], data[2]};
      break;
    }
    if (id == 0x08 && size >= 4) {
      found = {true, unsigned{data[0]} << 8 | data[1], data[2], data[3]};
      break;
    }
    at += 2 + size;
  }
  return found;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

// The service-centre time stamp in seconds since 1970 (UTC); 0 when a field does not read as
// a date and time.
int64_t StampSeconds(const uint8_t* stamp) {
  unsigned fields[6];
  for (size_t i = 0; i < 6; ++i) {
    const unsigned low = stamp[i] & 0x0F, high = stamp[i] >> 4;
    if (low > 9 || high > 9) return 0;
    fields[i] = low * 10 + high;
  }
  const unsigned month = fields[1], day = fields[2];
  if (month < 1 || month > 12 || day < 1 || day > 31 || fields[3] > 23 || fields[4] > 59 || fields[5] > 59) return 0;
  const unsigned zoneLow = stamp[6] & 0x07, zoneHigh = stamp[6] >> 4;
  const int64_t quarters = zoneHigh > 9 ? 0 : zoneLow * 10 + zoneHigh;
  const int64_t zone = (stamp[6] & 0x08) ? -quarters : quarters;
  return DaysFromCivil(2000 + fields[0], month, day) * 86400 + fields[3] * 3600 + fields[4] * 60 + fields[5] -
         zone * 15 * 60;
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

std::vector<std::string> TPendingSms::FragmentTags() const {
  std::vector<std::string> tags;
  for (const TFragmentSms& part : Fragments) {
    tags.push_back(part.Tag);
    tags.insert(tags.end(), part.EarlierTags.begin(), part.EarlierTags.end());
  }
  return tags;
}

void TPduDecoder::ClearFragments() {
  PendingList.clear();
  HeldBytes = 0;
}

void TPduDecoder::DiscardPending(size_t index) {
  for (const TFragmentSms& part : PendingList[index].Fragments) HeldBytes -= part.Text.size();
  PendingList.erase(PendingList.begin() + static_cast<std::ptrdiff_t>(index));
}

void TPduDecoder::GiveUp(size_t index) {
  const TPendingSms& pending = PendingList[index];
  if (!pending.Fragments.empty())
    GivenUp.push_back({pending.Sender, pending.Time, pending.JoinFragments(), pending.FragmentTags()});
  DiscardPending(index);
}

std::vector<TIncompleteSms> TPduDecoder::TakeGivenUp() {
  std::vector<TIncompleteSms> taken;
  taken.swap(GivenUp);
  return taken;
}

void TPduDecoder::GiveUpStale(int64_t nowUtc) {
  for (size_t i = 0; i < PendingList.size();) {
    const int64_t first = PendingList[i].FirstStamp;
    if (first != 0 && nowUtc - first > kMaxPartAgeSeconds)
      GiveUp(i);
    else
      ++i;
  }
}

bool TPduDecoder::StorePart(std::string_view sender, const std::string& time, int64_t stamp, TFragmentSms&& part,
                            std::string& joined, std::vector<std::string>* tags) {
  auto sameMessage = [&](const TPendingSms& pending) {
    return pending.Reference == part.Reference && pending.Total == part.Total &&
           pending.Sender == sender;
  };
  auto found = std::find_if(PendingList.begin(), PendingList.end(), sameMessage);
  size_t index = static_cast<size_t>(found - PendingList.begin());

  if (found == PendingList.end()) {
    if (part.Total == 1) {  // a message of one part needs no place in the list
      if (tags) {
        tags->push_back(part.Tag);
        tags->insert(tags->end(), part.EarlierTags.begin(), part.EarlierTags.end());
      }
      joined = std::move(part.Text);
      return true;
    }
    if (PendingList.size() >= kMaxPendingMessages) GiveUp(0);
    TPendingSms pending;
    pending.Sender = std::string(sender);
    pending.Reference = part.Reference;
    pending.Total = part.Total;
    pending.Time = time;
    pending.FirstStamp = stamp;
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
    // The earlier copy's marks stay with the part: that copy is stored too.
    for (std::string& earlier : slot->EarlierTags)
      if (earlier != part.Tag) part.EarlierTags.push_back(std::move(earlier));
    if (slot->Tag != part.Tag) part.EarlierTags.push_back(std::move(slot->Tag));
    HeldBytes -= slot->Text.size();
    parts.erase(slot);
  }

  // Make room for the text by discarding the oldest other messages; a message that cannot fit
  // even alone is dropped with this part.
  while (HeldBytes + part.Text.size() > kMaxHeldTextBytes && PendingList.size() > 1) {
    size_t oldest = index == 0 ? 1 : 0;
    GiveUp(oldest);
    if (oldest < index) --index;
  }
  if (HeldBytes + part.Text.size() > kMaxHeldTextBytes) {
    GiveUp(index);
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
  if (tags) {
    std::vector<std::string> held = PendingList[index].FragmentTags();
    tags->insert(tags->end(), held.begin(), held.end());
  }
  DiscardPending(index);
  return true;
}

void TPduDecoder::DecodeDeliverPdu(std::string_view pdu, std::vector<std::string>& out, const std::string& tag,
                                   std::vector<std::string>* partTags) {
  TOctets octets;
  if (!octets.FromPdu(pdu)) return;
  TOctetReader reader(octets.Data(), octets.Size());

  unsigned centreLength = 0;
  if (!reader.Read(centreLength) || !reader.Skip(centreLength)) return;
  unsigned firstOctet = 0;
  if (!reader.Read(firstOctet) || (firstOctet & 0x03) != 0) return;  // not an SMS-DELIVER
  unsigned addressDigits = 0, addressType = 0;
  size_t addressAt = 0;
  if (!reader.Read(addressDigits) || !reader.Read(addressType) ||
      !reader.Skip((addressDigits + 1) / 2, addressAt))
    return;
  unsigned codingScheme = 0, userLength = 0;
  size_t stampAt = 0;
  if (!reader.Skip(1) || !reader.Read(codingScheme) || !reader.Skip(7, stampAt) || !reader.Read(userLength))
    return;
  const std::string_view address = pdu.substr(2 * addressAt, 2 * ((addressDigits + 1) / 2));
  auto senderText = [&] {
    return IsAlphanumeric(addressType)
               ? AlphanumericSender(octets.Data() + addressAt, (addressDigits + 1) / 2, addressDigits)
               : SenderText(address);
  };
  const bool ucs2 = (codingScheme & 0x08) != 0;
  const uint8_t* stamp = octets.Data() + stampAt;
  const int64_t stampSeconds = StampSeconds(stamp);
  // A message waiting for parts since more than a day before this one was sent is given up.
  // Each PDU's own stamp is the measure, so one stamp far off does not spoil later messages.
  auto giveUpStale = [&] {
    if (stampSeconds != 0) GiveUpStale(stampSeconds);
  };

  if ((firstOctet & 0x40) == 0) {
    const uint8_t* body = octets.Data() + reader.Position();
    out.push_back(senderText());
    out.push_back(TimeText(stamp));
    out.push_back(ucs2 ? Ucs2FromOctets(body, reader.Left()) : Unpack7Bit(body, reader.Left(), 0, userLength));
    giveUpStale();
    return;
  }

  unsigned headerLength = 0;
  size_t headerAt = 0;
  if (!reader.Read(headerLength) || !reader.Skip(headerLength, headerAt)) return;
  const TConcatenation element = FindConcatenation(octets.Data() + headerAt, headerLength);
  const uint8_t* body = octets.Data() + reader.Position();
  const size_t headerSeptets = HeaderSeptets(headerLength);
  const size_t textSeptets = userLength > headerSeptets ? userLength - headerSeptets : 0;
  std::string text = ucs2 ? Ucs2FromOctets(body, reader.Left())
                          : Unpack7Bit(body, reader.Left(), HeaderFillBits(headerLength), textSeptets);
  std::string sender = senderText();

  if (!element.Found) {
    // Port addressing, a language shift and the like: a message of its own.
    out.push_back(std::move(sender));
    out.push_back(TimeText(stamp));
    out.push_back(std::move(text));
    giveUpStale();
    return;
  }
  // Such a part can never complete a message consistently.
  if (element.Total == 0 || element.Sequence == 0 || element.Sequence > element.Total) return;

  TFragmentSms part;
  part.Total = element.Total;
  part.Sequence = element.Sequence;
  part.Reference = static_cast<uint16_t>(element.Reference);
  part.Tag = tag;
  part.Text = std::move(text);

  std::string joined;
  const bool complete = StorePart(sender, TimeText(stamp), stampSeconds, std::move(part), joined, partTags);
  giveUpStale();
  if (!complete) return;
  out.push_back(std::move(sender));
  out.push_back(TimeText(stamp));
  out.push_back(std::move(joined));
}

std::string Decode7Bit(std::string_view hex, bool afterHeader) {
  TOctets octets;
  octets.FromGroups(hex);
  return Unpack7Bit(octets.Data(), octets.Size(), afterHeader ? 1 : 0);
}

std::string DecodeUcs2(std::string_view hex) {
  if (hex.size() >= 2048) return {};
  std::string text;
  text.reserve((hex.size() + 3) / 4);
  for (size_t pos = 0; pos < hex.size(); pos += 4) {
    auto unit = static_cast<char16_t>(ScanHex(hex.substr(pos, 4)));
    if (unit == 0) break;
    AppendUcs2Unit(text, unit);
  }
  return text;
}

bool IsSmsDestination(std::string_view phone) {
  if (phone.size() > kMaxPhoneLength) return false;
  if (!phone.empty() && phone.front() == '+') phone.remove_prefix(1);
  return !phone.empty() && std::all_of(phone.begin(), phone.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool SmsTextFits(std::string_view text) {
  // Every code page 1251 character is one UCS2 code unit.
  return IsAscii(text) ? text.size() <= kMax7BitCharacters : text.size() <= kMaxUcs2Units;
}

std::string EncodePhoneNumber(std::string& phone) {
  if (!IsSmsDestination(phone)) return {};
  if (phone.front() == '+') phone.erase(0, 1);
  std::string address = phone.front() == '7' ? "91" : "81";
  address.reserve(2 + phone.size() + 1);
  for (size_t i = 0; i < phone.size(); i += 2) {
    address.push_back(i + 1 < phone.size() ? phone[i + 1] : 'F');
    address.push_back(phone[i]);
  }
  return address;
}

std::string Encode7Bit(std::string_view text) {
  if (text.size() > kMax7BitCharacters) return {};
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
  if (!SmsTextFits(text)) return {};
  const bool ascii = IsAscii(text);
  const std::u16string units = ascii ? std::u16string() : Utf16FromCp1251(text);
  std::string address = EncodePhoneNumber(phone);
  if (address.empty()) return {};

  std::string pdu = "001100";  // default centre; SMS-SUBMIT, relative validity; reference 0
  AppendHexOctet(pdu, static_cast<unsigned>(phone.size()));
  pdu += address;
  // Protocol identifier, data coding (7-bit or UCS2), valid for (2 + 1) x 5 minutes.
  pdu += ascii ? "000002" : "000802";
  if (ascii) {
    AppendHexOctet(pdu, static_cast<unsigned>(text.size()));
    pdu += Encode7Bit(text);
  } else {
    AppendHexOctet(pdu, static_cast<unsigned>(2 * units.size()));
    for (char16_t unit : units) {
      AppendHexOctet(pdu, unit >> 8);
      AppendHexOctet(pdu, unit & 0xFF);
    }
  }
  return pdu;
}

int SubmitTpduLength(std::string_view pdu) { return static_cast<int>(pdu.size() / 2) - 1; }
