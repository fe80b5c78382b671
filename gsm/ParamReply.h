#pragma once
// Answers to parameter queries: the text after the parameter head ("name=value;") against
// the table of parameter bodies, with the caption that the detail pane shows for each.

#include "common/SmsInfo.h"

#include <array>
#include <string>

// Regular-expression bodies and Russian captions (code page 1251), row i giving kind 128 + i
// (rows 36, 37 and 38 give the event kinds 11, 24 and 25).
extern const std::array<const char*, kParamKindCount> ParamReplyPatterns;
const std::string& ParamCaption(int row);

// Sets Kind and Payload of the record from `rest`, the text after the parameter head; kind 1
// when no body covers the whole rest. Always returns true. Raises EConvertError for an
// impossible date or time in the event forms.
bool MatchParamReply(TSmsInfo& record, const std::string& rest);
