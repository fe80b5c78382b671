#include "gsm/ReplyParser.h"

#include "common/DateTime.h"
#include "common/RegExpr.h"
#include "common/Text.h"
#include "gsm/EventParsers.h"
#include "gsm/ParamReply.h"
#include "gsm/ReplyFields.h"

#include <array>

namespace {

using TGrammar = bool (*)(TSmsInfo&, const std::string&);

// The order matters: the first grammar that recognises the text ends the search. The
// parameter head stands fifth and takes every text that starts with five digits and "#" or
// a blank, so the grammars after it only see "@" forms and texts that do not start with a
// device number.
constexpr std::array<TGrammar, 24> kGrammars = {
    ParsePositionReply,     ParseTelChangeReply, ParseUssdReply,          ParseResetReply,
    ParseParamReply,        ParseNumberPairReply, ParseSetInputReply,     ParseConf3Reply,
    ParsePointClearedReply, ParseModesReply,      ParseServerAddressReply, ParseTelUpReply,
    ParseQuotedTripleReply, ParseOutputReply,     ParseMoutReply,          ParsePulseReply,
    ParseSaniReply,         ParseScountReply,     ParseConf1Reply,         ParseConf2Reply,
    ParseConf4Reply,        ParseInputReply,      ParseBatteryLowReply,    ParsePointReply,
};

}  // namespace

void ParseDeviceReply(TSmsInfo& record, std::vector<std::string>& parts) {
  // A list without all three entries reads as empty ones.
  if (parts.size() < 3) parts.resize(3);
  record.Phone = parts[0];

  static thread_local TRegExpr stampPattern(R"re((\d{2})\/(\d{2})\/(\d{2}),(\d{2}):(\d{2}):(\d{2})\+\d+)re");
  if (stampPattern.Exec(parts[1])) {
    auto number = [](int group) { return StrToIntDef(stampPattern.Match(group), 0); };
    // Both halves are encoded before the record changes, so an impossible date or time
    // leaves it with the sender only.
    TDateTime date = EncodeDate(2000 + number(1), number(2), number(3));
    TDateTime time = EncodeTime(number(4), number(5), number(6), 0);
    record.Time = date + time;
  } else {
    // A stamp that does not read (a digit outside 0 to 9) gives no time: the message is
    // still read, with the time it was received.
    record.Time = Now();
  }

  std::string text = std::move(parts[2]);
  ParseReplyText(record, text, parts[2]);
}

void ParseReplyText(TSmsInfo& record, std::string_view text, std::string& normalised) {
  record.Text = text;
  normalised = Trim(AnsiLowerCase(text));
  for (TGrammar grammar : kGrammars) {
    if (grammar(record, normalised)) return;
  }
  record.Kind = kKindUnknown;
}

bool ParseParamReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})(\([\w\d\s]*\))?[#\s]{1}(gprs:)?)re");
  if (!pattern.Exec(text)) return false;
  SetReplyHead(record, pattern, 2, 3);
  MatchParamReply(record, text.substr(static_cast<size_t>(pattern.MatchLen(0))));
  return true;
}
