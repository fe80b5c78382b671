#pragma once
// The grammars of the device replies that are not parameter answers: position reports,
// input and control-point events, the battery-low event, acknowledgements of commands and
// the configuration reports. Each takes the record and the normalised (lower-cased, trimmed)
// text; when it recognises the text it sets the kind, the head values and the payload and
// returns true, otherwise it changes nothing and returns false. ParseDeviceReply offers a
// text to them in a fixed order.

#include "common/SmsInfo.h"

#include <string>

bool ParsePositionReply(TSmsInfo& record, const std::string& text);
bool ParseTelChangeReply(TSmsInfo& record, const std::string& text);
bool ParseUssdReply(TSmsInfo& record, const std::string& text);
bool ParseResetReply(TSmsInfo& record, const std::string& text);
bool ParseNumberPairReply(TSmsInfo& record, const std::string& text);
bool ParseSetInputReply(TSmsInfo& record, const std::string& text);
bool ParseConf3Reply(TSmsInfo& record, const std::string& text);
bool ParsePointClearedReply(TSmsInfo& record, const std::string& text);
bool ParseModesReply(TSmsInfo& record, const std::string& text);
bool ParseServerAddressReply(TSmsInfo& record, const std::string& text);
bool ParseTelUpReply(TSmsInfo& record, const std::string& text);
bool ParseQuotedTripleReply(TSmsInfo& record, const std::string& text);
bool ParseOutputReply(TSmsInfo& record, const std::string& text);
bool ParseMoutReply(TSmsInfo& record, const std::string& text);
bool ParsePulseReply(TSmsInfo& record, const std::string& text);
bool ParseSaniReply(TSmsInfo& record, const std::string& text);
bool ParseScountReply(TSmsInfo& record, const std::string& text);
bool ParseConf1Reply(TSmsInfo& record, const std::string& text);
bool ParseConf2Reply(TSmsInfo& record, const std::string& text);
bool ParseConf4Reply(TSmsInfo& record, const std::string& text);
bool ParseInputReply(TSmsInfo& record, const std::string& text);
bool ParseBatteryLowReply(TSmsInfo& record, const std::string& text);
bool ParsePointReply(TSmsInfo& record, const std::string& text);
