// Arbitrary bytes as the text of a reply, and the first bytes also as its time stamp: the
// dispatcher either fills the record or raises the conversion error, and never reads or
// writes out of bounds.

#include "common/ConvertError.h"
#include "common/SmsInfo.h"
#include "gsm/ReplyParser.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The text with a valid time stamp, so that every grammar sees it.
  {
    TSmsInfo record;
    std::vector<std::string> parts = {"+79161234567", "24/03/05,14:07:09+20", bytes};
    try {
      ParseDeviceReply(record, parts);
    } catch (const EConvertError&) {
      // Impossible dates and numbers that must read end the parse; the record has no payload.
      if (record.Payload) __builtin_trap();
    }
    if (record.Kind == kKindBad || (record.Kind > kLastReplyKind && record.Kind < kFirstParamKind) ||
        record.Kind > kLastParamKind - 3)
      __builtin_trap();
  }

  // The same bytes as the time stamp, split at the first line feed into stamp and text.
  {
    size_t split = bytes.find('\n');
    std::string stamp = bytes.substr(0, split);
    std::string text = split == std::string::npos ? std::string() : bytes.substr(split + 1);
    TSmsInfo record;
    std::vector<std::string> parts = {"", stamp, text};
    try {
      ParseDeviceReply(record, parts);
    } catch (const EConvertError&) {
      if (record.Payload) __builtin_trap();
    }
  }
  return 0;
}
