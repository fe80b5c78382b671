// Arbitrary bytes as the text of a reply, and the first bytes also as its time stamp: the
// dispatcher either fills the record or raises the conversion error, and never reads or
// writes out of bounds. The first eight bytes also as the stored time of a logged record
// with the rest as its text: the log reads it as the record parsed as a new message.

#include "common/ConvertError.h"
#include "common/SmsInfo.h"
#include "gsm/ReplyParser.h"
#include "gsm/SmsLog.h"
#include "tests/support/StampedReply.h"
#include "viewer/SmsDetail.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <typeinfo>
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

  // The same bytes as a stored record: the time from the first eight, the text after them.
  if (size >= sizeof(TDateTime)) {
    TDateTime time = 0;
    std::memcpy(&time, data, sizeof time);
    const std::string text = bytes.substr(sizeof time);
    const std::unique_ptr<TSmsInfo> read = ParseLoggedSms("+79161234567", time, text);
    const std::unique_ptr<TSmsInfo> expected = ParseAsStampedReply("+79161234567", time, text);
    if (read->Kind != expected->Kind || read->Phone != expected->Phone || read->DeviceNumber != expected->DeviceNumber ||
        read->DeviceName != expected->DeviceName || read->Channel != expected->Channel || read->Text != expected->Text)
      __builtin_trap();
    // Both NaN never happens: an unreadable time gives 0.
    if (!(read->Time == expected->Time)) __builtin_trap();
    if ((read->Payload == nullptr) != (expected->Payload == nullptr)) __builtin_trap();
    if (read->Payload && typeid(*read->Payload) != typeid(*expected->Payload)) __builtin_trap();
    if (MessageDetail(*read, 0).Lines != MessageDetail(*expected, 0).Lines) __builtin_trap();
  }
  return 0;
}
