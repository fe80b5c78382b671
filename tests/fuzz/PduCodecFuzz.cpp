// Arbitrary bytes as the hex text of a received PDU. One decoder lives across inputs, so the
// part list sees long runs of parts; its bounds and the shape of the result are checked. The
// encoder gets the same bytes as number and text.
#include "common/Text.h"
#include "gsm/PduCodec.h"

#include <algorithm>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

TPduDecoder& Decoder() {
  static TPduDecoder decoder;
  return decoder;
}

void Decode(std::string_view pdu) {
  std::vector<std::string> out;
  Decoder().DecodeDeliverPdu(pdu, out);
  if (!out.empty() && out.size() != 3) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TPduDecoder& decoder = Decoder();

  // The bytes as the hex text itself, then spelt out in hex: the second form is always
  // well-formed text, so the fuzzer's mutations reach every field and the part list.
  Decode(text);
  static const char kHex[] = "0123456789abcdef";
  std::string spelt;
  for (uint8_t byte : text) {
    spelt.push_back(kHex[byte >> 4]);
    spelt.push_back(kHex[byte & 0x0F]);
  }
  Decode(spelt);
  if (decoder.Pending().size() > TPduDecoder::kMaxPendingMessages) std::abort();
  if (decoder.HeldTextBytes() > TPduDecoder::kMaxHeldTextBytes) std::abort();
  size_t held = 0;
  for (const TPendingSms& pending : decoder.Pending()) {
    if (pending.FragmentsComplete() || pending.Fragments.empty()) std::abort();
    uint32_t previous = 0;
    for (const TFragmentSms& part : pending.Fragments) {
      // Ascending, each sequence once, all within the message's count.
      if (part.Sequence <= previous || part.Sequence > pending.Total) std::abort();
      previous = part.Sequence;
      held += part.Text.size();
    }
  }
  if (held != decoder.HeldTextBytes()) std::abort();

  (void)Decode7Bit(text, size % 2 == 0);
  (void)DecodeUcs2(text);

  std::string phone(text.substr(0, 14));
  // A PDU comes exactly for a number of digits and a text one message holds, and it is hex
  // digits only: nothing of the number or the text reaches the modem as it is.
  const bool sendable = IsSmsDestination(phone) && SmsTextFits(text);
  std::string pdu = BuildPdu(phone, text);
  if (pdu.empty() == sendable) std::abort();
  if (pdu.find_first_not_of("0123456789ABCDEF") != std::string::npos) std::abort();
  if (!pdu.empty()) {
    if (pdu.size() % 2 != 0 || pdu.compare(0, 6, "001100") != 0) std::abort();
    if (SubmitTpduLength(pdu) < 9) std::abort();
    std::string_view back = pdu;
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
      if (back.substr(back.size() - Encode7Bit(text).size()) != Encode7Bit(text)) std::abort();
    } else {
      // UCS2: the length in octets, then each character as one code unit.
      static const char kUpper[] = "0123456789ABCDEF";
      const std::u16string units = Utf16FromCp1251(text);
      std::string body;
      const unsigned octets = 2 * static_cast<unsigned>(units.size());
      body.push_back(kUpper[(octets >> 4) & 0x0F]);
      body.push_back(kUpper[octets & 0x0F]);
      for (char16_t unit : units)
        for (int shift = 12; shift >= 0; shift -= 4) body.push_back(kUpper[(unit >> shift) & 0x0F]);
      if (units.size() > 70 || back.substr(back.size() - body.size()) != body) std::abort();
    }
  }
  return 0;
}
