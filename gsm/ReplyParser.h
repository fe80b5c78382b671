#pragma once
// The one entry through which a received SMS becomes a TSmsInfo: it reads the sender and the
// service-centre time stamp, keeps the text as received and offers a normalised copy of the
// text to the reply grammars in their fixed order.

#include "common/SmsInfo.h"

#include <string>
#include <string_view>
#include <vector>

// `parts` holds the sender, the time stamp ("yy/mm/dd,hh:nn:ss+zz") and the text. When the
// time stamp is read, parts[2] is replaced by the normalised text. Raises EConvertError for
// an impossible date or time and for the few fields whose conversion must not fail; the
// record then holds no payload.
void ParseDeviceReply(TSmsInfo& record, std::vector<std::string>& parts);

// The text half of ParseDeviceReply, for a record whose sender and time are set: keeps `text`
// as the record's text, puts its normalised form (lower-cased, trimmed) in `normalised` and
// offers that to the grammars in their order. Raises as ParseDeviceReply does.
void ParseReplyText(TSmsInfo& record, std::string_view text, std::string& normalised);

// The head of every parameter answer: five digits, an optional name, "#" or a blank and an
// optional "gprs:". True when the head matched, whatever the rest gave.
bool ParseParamReply(TSmsInfo& record, const std::string& text);
