// Builders of the parameter queries: series-5 queries of single settings (types 13 to 18)
// and the series-4 whole-configuration requests (types 19 to 22). They write their list
// whatever is targeted; the send window takes only the lists of its target's series.

#include "composer/CommandBuilders.h"
#include "composer/CommandWriter.h"

#include <initializer_list>

namespace {

struct TQuery {
  const char* Selector;
  const char* Key;
};

// One query line for each ticked selector, in the order of the table.
void QueryTicked(TCommandWriter& out, std::initializer_list<TQuery> queries) {
  for (const TQuery& query : queries)
    if (out.Ticked(query.Selector)) out.Query(query.Key);
}

bool ComposeGconf(TBuildContext& context, int number) {
  TCommandWriter out(context);
  out.Add(4, out.Keyword(Name("GCONF", number)));
  return true;
}

}  // namespace

bool ComposeGetBasePrm(TBuildContext& context) {
  TCommandWriter out(context);
  QueryTicked(out, {{"selDevAlias", "ALIAS"},
                    {"selWritePeriod", "PERIODWR"},
                    {"selSendPeriod", "PERIODSEND"},
                    {"selMethodWrite", "MODEWR"},
                    {"selAPN", "APNFULL"},
                    {"selBaseServer", "IP"},
                    {"selBasePort", "PORT"},
                    {"selReservServer", "RESIP"},
                    {"selReservPort", "RESPORT"},
                    {"selStaticNav", "MODE1"},
                    {"selWideRecord", "MODEWIDE"}});
  return true;
}

bool ComposeGetDigitInPrm(TBuildContext& context) {
  TCommandWriter out(context);
  QueryTicked(out, {{"selCount1Period", "PERIODCOUNT12"}, {"selCount2Period", "PERIODCOUNT34"}});
  for (int input = 1; input <= 4; ++input) {
    if (out.Ticked(Name("selIn", input, "Alias"))) out.Query(Name("INALIAS", input));
    // The four flag settings travel in one answer: one query for any of them.
    bool anyFlag = false;
    for (const char* flag : {"Mode", "Gprs", "Level", "Sms"}) anyFlag = anyFlag || out.Ticked(Name("selIn", input, flag));
    if (anyFlag) out.Query(Name("INPFLAGS", input));
    if (out.Ticked(Name("selIn", input, "TelNum"))) out.Query(Name("TELSMS", input));
  }
  return true;
}

bool ComposeGetAnalogInPrm(TBuildContext& context) {
  TCommandWriter out(context);
  QueryTicked(out, {{"selAInPeriod", "PERIODANALOG"}, {"selAInAdaptiveMode", "MODEANALOG"}});
  for (int input = 1; input <= 2; ++input) {
    if (out.Ticked(Name("selAIn", input, "AveragePeriod"))) out.Query(Name("PERIODUSR", input));
    if (out.Ticked(Name("selAIn", input, "AdaptiveLevel"))) out.Query(Name("ALEVEL", input));
    if (out.Ticked(Name("selAIn", input, "AsDigit"))) out.Query(Name("MODEAD", input));
    if (out.Ticked(Name("selAIn", input, "DigitLevel"))) out.Query(Name("POROG", input));
  }
  return true;
}

bool ComposeGetControlPointPrm(TBuildContext& context) {
  TCommandWriter out(context);
  for (int point = 1; point <= 3; ++point) {
    if (out.Ticked(Name("selCP", point, "Alias"))) out.Query(Name("CPALIAS", point));
    if (out.Ticked(Name("selCP", point))) out.Query(Name("CONTROLPOINT", point));
    if (out.Ticked(Name("selCP", point, "Radius"))) out.Query(Name("RADIUS", point));
    if (out.Ticked(Name("selCP", point, "TelNumber"))) out.Query(Name("CPTELNUM", point));
    if (out.Ticked(Name("selCP", point, "Flags"))) out.Query(Name("CONTROLFLAGS", point));
  }
  return true;
}

bool ComposeGetVoicePrm(TBuildContext& context) {
  TCommandWriter out(context);
  QueryTicked(out, {{"selVoiceGain", "MICAMP"},
                    {"selVoiceVol", "DYNAMP"},
                    {"selTelUp1", "TELUP1"},
                    {"selTelUp2", "TELUP2"},
                    {"selRingOut", "RINGOUT"}});
  return true;
}

bool ComposeGetAdditionPrm(TBuildContext& context) {
  TCommandWriter out(context);
  QueryTicked(out, {{"selAkkumTel", "TELAKN"}, {"selOnlyIbutton", "ONLYBUTTON"}});
  return true;
}

bool ComposeGetGconf1(TBuildContext& context) { return ComposeGconf(context, 1); }
bool ComposeGetGconf2(TBuildContext& context) { return ComposeGconf(context, 2); }
bool ComposeGetGconf3(TBuildContext& context) { return ComposeGconf(context, 3); }
bool ComposeGetGconf4(TBuildContext& context) { return ComposeGconf(context, 4); }
