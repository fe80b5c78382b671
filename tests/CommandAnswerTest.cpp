// The composer's keys against the receive side: a device answers a series-5 setting with the
// line's "key=value;" in lower case, and the parameter-answer parser must give the kind of that
// key with the value that was sent.

#include "composer/CommandBuilders.h"
#include "support/CommandRows.h"

#include "common/SmsInfo.h"
#include "common/Text.h"
#include "gsm/ParamReply.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

namespace {

enum class TValue { Number, Text, Apn, Indexed, Pair, InputFlags, ControlFlags, Point };

struct TKey {
  int Kind;
  TValue Value;
  bool Indexed;  // the key ends in the number of its input, point or output
};

// Every key of a series-5 assignment with the kind of its answer.
const std::map<std::string, TKey> kAnswerKinds = {
    {"PERIODWR", {128, TValue::Number, false}},     {"PERIODCOUNT12", {129, TValue::Number, false}},
    {"PERIODCOUNT34", {130, TValue::Number, false}}, {"PERIODANALOG", {131, TValue::Number, false}},
    {"PERIODSEND", {132, TValue::Number, false}},   {"IP", {133, TValue::Text, false}},
    {"PORT", {134, TValue::Number, false}},         {"ALIAS", {135, TValue::Text, false}},
    {"APNFULL", {136, TValue::Apn, false}},         {"TELSMS", {137, TValue::Indexed, true}},
    {"INALIAS", {138, TValue::Indexed, true}},      {"INPFLAGS", {139, TValue::InputFlags, true}},
    {"CONTROLFLAGS", {140, TValue::ControlFlags, true}}, {"CONTROLPOINT", {141, TValue::Point, true}},
    {"RADIUS", {142, TValue::Pair, true}},          {"CPALIAS", {143, TValue::Indexed, true}},
    {"CPTELNUM", {144, TValue::Indexed, true}},     {"MODEWR", {145, TValue::Text, false}},
    {"MODE1", {146, TValue::Number, false}},        {"MODEWIDE", {147, TValue::Number, false}},
    {"TELUP", {148, TValue::Indexed, true}},        {"RINGOUT", {149, TValue::Text, false}},
    {"PULSE", {150, TValue::Pair, true}},           {"SOUT", {151, TValue::Pair, true}},
    {"MOUT", {152, TValue::Pair, true}},            {"ONLYBUTTON", {153, TValue::Text, false}},
    {"TELAKN", {154, TValue::Text, false}},         {"RESIP", {155, TValue::Text, false}},
    {"RESPORT", {156, TValue::Number, false}},      {"MICAMP", {157, TValue::Number, false}},
    {"DYNAMP", {158, TValue::Number, false}},       {"MODEAD", {159, TValue::Indexed, true}},
    {"ALEVEL", {160, TValue::Pair, true}},          {"PERIODUSR", {161, TValue::Pair, true}},
    {"MODEANALOG", {162, TValue::Text, false}},     {"POROG", {163, TValue::Pair, true}},
};

// Builder runs for a series-5 device that together tick every setting, with values a device
// accepts and would answer with.
struct TRun {
  int Type;
  std::vector<const char*> Controls;
};

const TRun kRuns[] = {
    {2, {"+selDevAlias", "edDevAlias=Truck7", "+selWritePeriod", "edWritePeriod=60", "+selSendPeriod",
         "edSendPeriod=300", "+selMethodWrite", "cbMethodWrite#1", "+selAPN", "edAPN=internet.mts.ru", "edAPNUser=mts",
         "edAPNPassword=Mts", "+selBaseServer", "edBaseServer=10.1.2.3", "+selBasePort", "edBasePort=4000",
         "+selReservServer", "edReservServer=192.168.100.200", "+selReservPort", "edReservPort=4001", "+selStaticNav",
         "+cbStaticNav", "+selWideRecord"}},
    {2, {"+selMethodWrite", "cbMethodWrite#0", "+selStaticNav", "+selWideRecord", "+cbWideRecord"}},
    {3, {"+selCount1Period", "edCount1Period=300", "+selCount2Period", "edCount2Period=0", "+selIn1Alias",
         "edIn1Alias=Door", "+selIn1Mode", "cbIn1Mode#0", "cbIn1Level#1", "+cbIn1Gprs", "+selIn1TelNum",
         "edIn1TelNum=+79161234567", "+selIn3Mode", "cbIn3Mode#2", "cbIn3Level#0", "+cbIn3Sms", "+selIn4Mode",
         "cbIn4Mode#1", "cbIn4Level#1"}},
    {4, {"+selAInPeriod", "edAInPeriod=60", "+selAInAdaptiveMode", "cbAInAdaptiveMode#1", "+selAIn1AveragePeriod",
         "edAIn1AveragePeriod=10", "+selAIn1AdaptiveLevel", "edAIn1AdaptiveLevel=100", "+selAIn1AsDigit",
         "+cbAIn1AsDigit", "+selAIn1DigitLevel", "edAIn1DigitLevel=500", "+selAIn2AsDigit"}},
    {4, {"+selAInAdaptiveMode", "cbAInAdaptiveMode#0"}},
    {5, {"+selCP1Alias", "edCP1Alias=Base", "+selCP1", "edCP1Latd=5", "edCP1Latm=7", "edCP1Latmm=5", "cbCP1ns=N",
         "edCP1Lond=37", "edCP1Lonm=3", "edCP1Lonmm=12", "cbCP1ew=E", "+selCP1Radius", "edCP1Radius=500",
         "+selCP1TelNumber", "edCP1TelNumber=+79161234567", "+selCP1Flags", "+cbCP1Imp1Out", "+cbCP1SMSIn",
         "+selCP3", "edCP3Latd=55", "edCP3Latm=45", "edCP3Latmm=12345", "cbCP3ns=S", "edCP3Lond=123", "edCP3Lonm=59",
         "edCP3Lonmm=1234", "cbCP3ew=W"}},
    {6, {"+selVoiceGain", "edVoiceGain=3", "+selVoiceVol", "edVoiceVol=10", "+selTelUp1", "edTelUp1=+79161234567",
         "+selTelUp2", "edTelUp2=+74951234567", "+selRingOut", "+cbRingOut"}},
    {6, {"+selRingOut"}},
    {7, {"+selAkkumTel", "edAkkumTel=+79161234567", "+selOnlyIbutton", "+cbOnlyIbutton"}},
    {7, {"+selOnlyIbutton"}},
    {10, {"+selSetOut1", "+cbSetOut1", "+selSetOut2", "+selSetOut2Mem", "+cbSetOut2Mem"}},
    {10, {"+selSetOut1", "+selSetOut1Mem", "+cbSetOut1Mem", "+selSetOut2", "+cbSetOut2"}},
    {11, {"+selOut1Pulse", "edOut1Pulse=5", "+selOut2Pulse", "edOut2Pulse=10"}},
};

std::vector<std::string> Fields(const std::string& value) {
  std::vector<std::string> fields;
  std::stringstream stream(value);
  for (std::string field; std::getline(stream, field, ',');) fields.push_back(field);
  if (!value.empty() && value.back() == ',') fields.push_back("");
  return fields;
}

int16_t Typed(const std::string& text) { return static_cast<int16_t>(StrToIntDef(text, -1)); }

// Checks that the parsed answer carries the value of the assignment: `value` as sent, lower-cased.
void ExpectValue(const TSmsInfo& record, TValue shape, int index, const std::string& value) {
  switch (shape) {
    case TValue::Number: {
      auto* p = record.PayloadAs<TSmsParamValue>();
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->Value, Typed(value));
      break;
    }
    case TValue::Text: {
      auto* p = record.PayloadAs<TSmsUssd>();
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->Answer, value);
      break;
    }
    case TValue::Apn: {
      auto* p = record.PayloadAs<TSmsApn>();
      ASSERT_NE(p, nullptr);
      EXPECT_EQ("\"" + p->Apn + "\",\"" + p->User + "\",\"" + p->Password + "\"", value);
      break;
    }
    case TValue::Indexed: {
      auto* p = record.PayloadAs<TSmsTeleup>();
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->Index, index);
      EXPECT_EQ(p->Phone, value);
      break;
    }
    case TValue::Pair: {
      auto* p = record.PayloadAs<TSmsParamPair>();
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->Index, index);
      EXPECT_EQ(p->Value, Typed(value));
      break;
    }
    case TValue::InputFlags: {
      // level, gprs, sms, the constant 0 and the mode letter are the answer's first five fields.
      auto* p = record.PayloadAs<TSmsSin>();
      ASSERT_NE(p, nullptr);
      std::vector<std::string> f = Fields(value);
      ASSERT_EQ(f.size(), 5u);
      EXPECT_EQ(p->Input, index);
      EXPECT_EQ(p->Level, Typed(f[0]));
      EXPECT_EQ(p->SendGprs, Typed(f[1]));
      EXPECT_EQ(p->SendSms, Typed(f[2]));
      EXPECT_EQ(std::string(1, p->Mode), f[4]);
      break;
    }
    case TValue::ControlFlags: {
      auto* p = record.PayloadAs<TSmsControlFlags>();
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->Index, index);
      std::string flags;
      for (bool flag : p->Flags) flags += std::string(flags.empty() ? "" : ",") + (flag ? "1" : "0");
      EXPECT_EQ(flags, value);
      break;
    }
    case TValue::Point: {
      auto* p = record.PayloadAs<TSmsParamPoint>();
      ASSERT_NE(p, nullptr);
      std::vector<std::string> f = Fields(value);
      ASSERT_EQ(f.size(), 4u);
      EXPECT_EQ(p->Index, index);
      EXPECT_EQ(p->Latitude, StrToIntDef(f[0], -1) * (f[1] == "s" ? -1 : 1));
      EXPECT_EQ(p->Longitude, StrToIntDef(f[2], -1) * (f[3] == "w" ? -1 : 1));
      break;
    }
  }
}

}  // namespace

TEST(CommandAnswer, EverySeriesFiveSettingIsAnsweredWithItsKindAndValue) {
  std::set<std::string> seen;
  for (const TRun& run : kRuns) {
    TComposed composed = Compose(run.Type, {5}, run.Controls);
    for (const std::string& entry : composed.Lines) {
      SCOPED_TRACE(entry);
      ASSERT_EQ(entry.rfind("5:12345678 ", 0), 0u);
      std::string assignment = entry.substr(11);  // "KEY=value;"
      size_t equals = assignment.find('=');
      ASSERT_NE(equals, std::string::npos);
      ASSERT_EQ(assignment.back(), ';');
      std::string key = assignment.substr(0, equals);
      std::string value = AnsiLowerCase(assignment.substr(equals + 1, assignment.size() - equals - 2));

      int index = 0;
      auto known = kAnswerKinds.find(key);
      if (known == kAnswerKinds.end() && !key.empty() && key.back() >= '1' && key.back() <= '9') {
        index = key.back() - '0';
        known = kAnswerKinds.find(key.substr(0, key.size() - 1));
        if (known != kAnswerKinds.end() && !known->second.Indexed) known = kAnswerKinds.end();
      }
      ASSERT_TRUE(known != kAnswerKinds.end()) << "no answer form for " << key;
      seen.insert(known->first);

      // The device's answers carry fields the commands do not set: four more input flags, two
      // more point flags.
      std::string answer = AnsiLowerCase(assignment.substr(0, assignment.size() - 1));
      if (known->second.Value == TValue::InputFlags) answer += ",0,0,0,0";
      if (known->second.Value == TValue::ControlFlags) answer += ",0,0";
      answer += ';';

      TSmsInfo record;
      EXPECT_TRUE(MatchParamReply(record, answer));
      EXPECT_EQ(record.Kind, known->second.Kind) << answer;
      ExpectValue(record, known->second.Value, index, value);
    }
  }
  std::set<std::string> all;
  for (const auto& [key, kind] : kAnswerKinds) all.insert(key);
  EXPECT_EQ(seen, all) << "a key of the table was composed by no run";
}
