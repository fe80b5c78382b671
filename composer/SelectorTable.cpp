#include "composer/SelectorTable.h"

#include <map>

namespace {

using TNames = std::vector<std::string>;

std::string Numbered(const std::string& prefix, int n, const std::string& suffix) {
  return prefix + std::to_string(n) + suffix;
}

std::vector<TSelectorRule> MakeRules() {
  std::vector<TSelectorRule> rules;
  auto add = [&rules](std::string name, int tag, TNames row, std::vector<TCoupling> couplings = {}) {
    rules.push_back({std::move(name), tag, std::move(row), std::move(couplings)});
  };
  using enum TCouplingTargets;
  using enum TCouplingEdge;

  // Base settings. Series 1 to 4 set the two periods in one command, and method, server and
  // port only together with the periods.
  add("selDevAlias", 5, {"edDevAlias"});
  add("selWritePeriod", 1, {"edWritePeriod"}, {{AnyLegacy, Both, "", {"selSendPeriod"}}});
  add("selSendPeriod", 1, {"edSendPeriod"},
      {{AnyLegacy, Both, "", {"selWritePeriod"}},
       {AnyLegacy, Both, "selMethodWrite", {"selMethodWrite", "selBasePort", "selBaseServer"}}});
  add("selMethodWrite", 1, {"cbMethodWrite"},
      {{AnyLegacy, Both, "", {"selWritePeriod", "selSendPeriod", "selBasePort", "selBaseServer"}}});
  add("selBaseServer", 1, {"edBaseServer"},
      {{AnyLegacy, Both, "", {"selMethodWrite", "selWritePeriod", "selSendPeriod", "selBasePort"}}});
  add("selBasePort", 1, {"edBasePort"},
      {{AnyLegacy, Both, "", {"selMethodWrite", "selWritePeriod", "selSendPeriod", "selBaseServer"}}});
  add("selAPN", 3, {"edAPN", "edAPNUser", "edAPNPassword", "pbAPN"});
  add("selStaticNav", 4, {"cbStaticNav"}, {{Series4, Both, "", {"selWideRecord"}}});
  add("selWideRecord", 4, {"cbWideRecord"}, {{Series4, Both, "", {"selStaticNav"}}});
  add("selReservServer", 5, {"edReservServer"});
  add("selReservPort", 5, {"edReservPort"});

  // Digital inputs: series 4 and 5 set an input's level, mode and channels together, series
  // 4 its phone number with them.
  add("selCount1Period", 2, {"edCount1Period"});
  add("selCount2Period", 4, {"edCount2Period"});
  for (int n = 1; n <= 4; ++n) add(Numbered("selIn", n, "Alias"), 5, {Numbered("edIn", n, "Alias")});
  for (int n = 1; n <= 4; ++n) {
    const std::string in = Numbered("selIn", n, "");
    const TNames group = {in + "Level", in + "Mode", in + "Gprs", in + "Sms"};
    const std::vector<TCoupling> couplings = {{Series4Or5, Both, "", group}, {Series4, Both, "", {in + "TelNum"}}};
    add(in + "Level", 4, {Numbered("cbIn", n, "Level")}, couplings);
    add(in + "Mode", 4, {Numbered("cbIn", n, "Mode")}, couplings);
    add(in + "Gprs", 4, {Numbered("cbIn", n, "Gprs")}, couplings);
    add(in + "Sms", 4, {Numbered("cbIn", n, "Sms")}, couplings);
    add(in + "TelNum", 4, {Numbered("edIn", n, "TelNum")}, {{Series4, Both, "", group}});
  }

  // Analog inputs.
  add("selAInPeriod", 2, {"edAInPeriod"}, {{Series4, Both, "", {"selAInAdaptiveMode"}}});
  add("selAInAdaptiveMode", 4, {"cbAInAdaptiveMode"}, {{Series4, Both, "", {"selAInPeriod"}}});
  for (int n = 1; n <= 2; ++n) {
    const std::string in = Numbered("selAIn", n, "");
    add(in + "AveragePeriod", 4, {Numbered("edAIn", n, "AveragePeriod")},
        {{Series4, Both, "", {in + "AdaptiveLevel", in + "AsDigit"}}});
    add(in + "AdaptiveLevel", 4, {Numbered("edAIn", n, "AdaptiveLevel")},
        {{Series4, Both, "", {in + "AveragePeriod", in + "AsDigit"}}});
    add(in + "AsDigit", 4, {Numbered("cbAIn", n, "AsDigit")},
        {{Series4, Both, "", {in + "AveragePeriod", in + "AdaptiveLevel"}}});
  }
  for (int n = 1; n <= 2; ++n) add(Numbered("selAIn", n, "DigitLevel"), 5, {Numbered("edAIn", n, "DigitLevel")});

  // Control points.
  for (int n = 1; n <= 3; ++n) add(Numbered("selCP", n, "Alias"), 5, {Numbered("edCP", n, "Alias")});
  for (int n = 1; n <= 3; ++n) {
    const std::string cp = Numbered("CP", n, "");
    TNames row;
    for (const char* edit : {"Latd", "Latm", "Latmm", "Lond", "Lonm", "Lonmm"}) row.push_back("ed" + cp + edit);
    row.push_back("cb" + cp + "ns");
    row.push_back("cb" + cp + "ew");
    row.push_back("pb" + cp);
    for (int label = 8; label <= 11; ++label) row.push_back("lbl" + cp + "_" + std::to_string(label));
    row.push_back("btn" + cp + "FromGoogle");
    add("sel" + cp, 5, row);
  }
  for (int n = 1; n <= 3; ++n) add(Numbered("selCP", n, "Radius"), 5, {Numbered("edCP", n, "Radius")});
  for (int n = 1; n <= 3; ++n) add(Numbered("selCP", n, "TelNumber"), 5, {Numbered("edCP", n, "TelNumber")});
  for (int n = 1; n <= 3; ++n) {
    const std::string cp = Numbered("CP", n, "");
    TNames row;
    for (const char* action : {"Imp1In", "Imp1Out", "Imp2In", "Imp2Out", "GPRSIn", "GPRSOut", "SMSIn", "SMSOut"})
      row.push_back("cb" + cp + action);
    row.push_back("pb" + cp + "Flags");
    for (int label = 1; label <= 7; ++label) row.push_back("lbl" + cp + "_" + std::to_string(label));
    add("sel" + cp + "Flags", 5, row);
  }

  // Voice, additional settings, outputs.
  add("selVoiceGain", 5, {"edVoiceGain"});
  add("selVoiceVol", 5, {"edVoiceVol"});
  add("selTelUp1", 4, {"edTelUp1"});
  add("selTelUp2", 4, {"edTelUp2"});
  add("selRingOut", 5, {"cbRingOut"});
  // Series 4 has no form of the low-battery phone command: its targets are not offered it.
  add("selAkkumTel", 5, {"edAkkumTel"});
  add("selOnlyIbutton", 5, {"cbOnlyIbutton"});
  // An output's state can only be remembered when it is set.
  add("selSetOut1", 2, {"cbSetOut1"}, {{Always, Unticked, "", {"selSetOut1Mem"}}});
  add("selSetOut2", 4, {"cbSetOut2"}, {{Always, Unticked, "", {"selSetOut2Mem"}}});
  add("selSetOut1Mem", 4, {"cbSetOut1Mem"}, {{Always, Ticked, "", {"selSetOut1"}}});
  add("selSetOut2Mem", 4, {"cbSetOut2Mem"}, {{Always, Ticked, "", {"selSetOut2"}}});
  add("selOut1Pulse", 2, {"edOut1Pulse"});
  add("selOut2Pulse", 4, {"edOut2Pulse"});
  return rules;
}

}  // namespace

const std::vector<TSelectorRule>& SelectorRules() {
  static const std::vector<TSelectorRule> rules = MakeRules();
  return rules;
}

const TSelectorRule* FindSelectorRule(std::string_view name) {
  static const std::map<std::string, const TSelectorRule*, std::less<>> byName = [] {
    std::map<std::string, const TSelectorRule*, std::less<>> map;
    for (const TSelectorRule& rule : SelectorRules()) map[rule.Name] = &rule;
    return map;
  }();
  auto it = byName.find(name);
  return it == byName.end() ? nullptr : it->second;
}

bool CouplingApplies(const TCoupling& coupling, const TTargetVersions& targets, bool ticked, bool guardTicked) {
  switch (coupling.Edge) {
    case TCouplingEdge::Both: break;
    case TCouplingEdge::Ticked:
      if (!ticked) return false;
      break;
    case TCouplingEdge::Unticked:
      if (ticked) return false;
      break;
  }
  if (!coupling.WhileTicked.empty() && !guardTicked) return false;
  switch (coupling.Targets) {
    case TCouplingTargets::Always: return true;
    case TCouplingTargets::AnyLegacy: return targets.HasLegacyVersion();
    case TCouplingTargets::Series4: return targets.HasDeviceVersion(4);
    case TCouplingTargets::Series4Or5: return targets.HasDeviceVersion(4) || targets.HasDeviceVersion(5);
  }
  return false;
}
