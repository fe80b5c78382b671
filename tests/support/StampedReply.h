#pragma once
// A stored received record read the long way round, as the log first read it: its time
// written out as a service-centre stamp and the three parts handed to ParseDeviceReply like
// a new message, a conversion error giving the record of kind Bad with sender and text. The
// log's own reading must give the same record for every stored time and text.

#include "common/ConvertError.h"
#include "common/DateTime.h"
#include "common/SmsInfo.h"
#include "gsm/ReplyParser.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

inline std::unique_ptr<TSmsInfo> ParseAsStampedReply(std::string_view phone, TDateTime time, std::string_view text) {
  auto info = std::make_unique<TSmsInfo>();
  std::vector<std::string> parts{std::string(phone), FormatDateTime("yy\"/\"mm\"/\"dd,hh:nn:ss+10", time),
                                 std::string(text)};
  try {
    ParseDeviceReply(*info, parts);
  } catch (const EConvertError&) {
    info = std::make_unique<TSmsInfo>();
    info->Phone = phone;
    info->Text = text;
  }
  return info;
}
