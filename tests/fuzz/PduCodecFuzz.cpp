// Arbitrary bytes as the hex text of a received PDU. One decoder lives across inputs, so the
// part list sees long runs of parts; its bounds and the shape of the result are checked.
#include "gsm/PduCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TPduDecoder decoder;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::vector<std::string> out;
  decoder.DecodeDeliverPdu(text, out);
  if (!out.empty() && out.size() != 3) std::abort();
  if (decoder.Pending().size() > TPduDecoder::kMaxPendingMessages) std::abort();
  if (decoder.HeldTextBytes() > TPduDecoder::kMaxHeldTextBytes) std::abort();
  size_t held = 0;
  for (const TPendingSms& pending : decoder.Pending()) {
    if (pending.FragmentsComplete() || pending.Fragments.empty()) std::abort();
    for (const TFragmentSms& part : pending.Fragments) held += part.Text.size();
  }
  if (held != decoder.HeldTextBytes()) std::abort();

  (void)Decode7Bit(text, size % 2 == 0);
  (void)DecodeUcs2(text);

  std::string phone(text.substr(0, 14));
  std::string pdu = BuildPdu(phone, text);
  if (!pdu.empty()) {
    if (pdu.size() % 2 != 0 || SubmitTpduLength(pdu) < 13) std::abort();
    std::string_view back = pdu;
    if (back.substr(back.size() - Encode7Bit(text).size()) != Encode7Bit(text)) std::abort();
  }
  return 0;
}
