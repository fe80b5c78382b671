// Digital inputs and counters, analog inputs and control points in each series' dialect, with
// the padding of the control-point coordinates handed back to the window.

#include "composer/CommandBuilders.h"
#include "support/CommandRows.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

// Input 2 on "Питание (+)", by GPRS and not by SMS, as a periodic counter, with its phone;
// the coupled selectors ticked as the window ticks them.
const std::vector<const char*> kInput2 = {"+selIn2Mode", "+selIn2Level", "+selIn2Gprs", "+selIn2Sms", "+selIn2TelNum",
                                          "cbIn2Level#1", "+cbIn2Gprs", "cbIn2Mode#2", "edIn2TelNum=+79161234567"};

std::vector<const char*> With(std::vector<const char*> controls, std::initializer_list<const char*> more) {
  controls.insert(controls.end(), more);
  return controls;
}

}  // namespace

TEST(DigitalInputs, EachSeriesGetsItsCounterAndInputLines) {
  ExpectRows(3, {
      {"series 1 has no input commands", {1}, With(kInput2, {"+selCount1Period", "edCount1Period=300"}), {}},
      {"series 2 gets only SCOUNT", {2}, With(kInput2, {"+selCount1Period", "edCount1Period=300"}),
       {"2:SCOUNT 12345678 300"}},
      {"series 4: counters, then the input's SIN", {4},
       With(kInput2, {"+selCount1Period", "edCount1Period=300", "+selCount2Period", "edCount2Period=0"}),
       {"4:SCOUN1 12345678 300", "4:SCOUN2 12345678 0", "4:SIN 12345678 2,1,1,0,C,\"+79161234567\""}},
      {"series 5: INPFLAGS with a 0 before the letter", {5}, kInput2,
       {"5:12345678 INPFLAGS2=1,1,0,0,C;", "5:12345678 TELSMS2=+79161234567;"}},
      {"series 5: counters, then alias, flags and phone input by input", {5},
       With(kInput2, {"+selCount1Period", "edCount1Period=300", "+selCount2Period", "edCount2Period=600",
                      "+selIn1Alias", "edIn1Alias=Door", "+selIn2Alias", "edIn2Alias=Hatch"}),
       {"5:12345678 PERIODCOUNT12=300;", "5:12345678 PERIODCOUNT34=600;", "5:12345678 INALIAS1=Door;",
        "5:12345678 INALIAS2=Hatch;", "5:12345678 INPFLAGS2=1,1,0,0,C;", "5:12345678 TELSMS2=+79161234567;"}},
      {"modes A and B, inputs in order", {4},
       {"+selIn3Mode", "cbIn3Mode#1", "cbIn3Level#0", "+cbIn3Sms", "edIn3TelNum=3", "+selIn1Mode", "cbIn1Mode#0",
        "cbIn1Level#0", "edIn1TelNum=1"},
       {"4:SIN 12345678 1,0,0,0,A,\"1\"", "4:SIN 12345678 3,0,0,1,B,\"3\""}},
      {"every targeted series of a group", {2, 3, 4, 5}, {"-edPassword", "+selCount1Period", "edCount1Period=300"},
       {"2:SCOUNT %PASS% 300", "3:SCOUNT %PASS% 300", "4:SCOUN1 %PASS% 300", "5:%PASS% PERIODCOUNT12=300;"}},
      {"the input line hangs on the mode selector", {4, 5}, {"+selIn1Level", "+selIn1Gprs", "+selIn1Sms", "cbIn1Mode#0"},
       {}},
      {"input 4's own controls", {5}, {"+selIn4Mode", "cbIn4Level#1", "+cbIn4Sms", "cbIn4Mode#0", "+selIn4Alias",
                                       "edIn4Alias=Last", "+selIn4TelNum", "edIn4TelNum=+7"},
       {"5:12345678 INALIAS4=Last;", "5:12345678 INPFLAGS4=1,0,1,0,A;", "5:12345678 TELSMS4=+7;"}},
  });
}

TEST(DigitalInputs, ModeListWithoutChoiceWritesTheLineWithoutLetterAndKeepsTheWindowOpen) {
  ExpectRows(3, {
      {"series 4", {4}, {"+selIn1Mode", "cbIn1Mode#-1", "cbIn1Level#0", "edIn1TelNum=+7"},
       {"4:SIN 12345678 1,0,0,0,,\"+7\""}, false},
      {"series 5", {5}, {"+selIn1Mode", "cbIn1Mode#3", "cbIn1Level#0"}, {"5:12345678 INPFLAGS1=0,0,0,0,;"}, false},
      {"an unticked input's empty list does not matter", {4, 5}, {"+selIn2Mode", "cbIn2Mode#1", "cbIn2Level#0",
                                                                   "cbIn1Mode#-1"},
       {"4:SIN 12345678 2,0,0,0,B,\"\"", "5:12345678 INPFLAGS2=0,0,0,0,B;"}, true},
  });
}

TEST(AnalogInputs, EachSeriesGetsItsPeriodAndInputLines) {
  const std::vector<const char*> all = {
      "+selAInPeriod", "edAInPeriod=60", "+selAInAdaptiveMode", "+selAIn1AveragePeriod", "+selAIn1AdaptiveLevel",
      "+selAIn1AsDigit", "+selAIn1DigitLevel", "+cbAIn1AsDigit", "edAIn1AveragePeriod=10", "edAIn1AdaptiveLevel=100",
      "edAIn1DigitLevel=500", "+selAIn2AveragePeriod", "+selAIn2AdaptiveLevel", "+selAIn2AsDigit", "+selAIn2DigitLevel",
      "edAIn2AveragePeriod=20", "edAIn2AdaptiveLevel=200", "edAIn2DigitLevel=600"};
  ExpectRows(4, {
      {"series 1 has none", {1}, With(all, {"cbAInAdaptiveMode#0"}), {}},
      {"series 2 and 3: SANI with the period only", {2, 3}, With(all, {"cbAInAdaptiveMode#1"}),
       {"2:SANI 12345678 60", "3:SANI 12345678 60"}},
      {"series 4: not more often than the period, input 1 as digital", {4}, With(all, {"cbAInAdaptiveMode#1"}),
       {"4:SANI 12345678 60,V", "4:SAIN 12345678 1,0,100,10", "4:SAIN 12345678 2,1,200,20"}},
      {"series 4: not less often than the period", {4}, {"+selAInPeriod", "edAInPeriod=5", "cbAInAdaptiveMode#0"},
       {"4:SANI 12345678 5,F"}},
      {"series 5: input 1's lines before input 2's", {5}, With(all, {"cbAInAdaptiveMode#0"}),
       {"5:12345678 PERIODANALOG=60;", "5:12345678 MODEANALOG=F;", "5:12345678 PERIODUSR1=10;",
        "5:12345678 ALEVEL1=100;", "5:12345678 MODEAD1=D;", "5:12345678 POROG1=500;", "5:12345678 PERIODUSR2=20;",
        "5:12345678 ALEVEL2=200;", "5:12345678 MODEAD2=A;", "5:12345678 POROG2=600;"}},
      {"series 5: any other mode item is V", {5}, {"+selAInAdaptiveMode", "cbAInAdaptiveMode#-1"},
       {"5:12345678 MODEANALOG=V;"}},
      {"series 5: the switching level alone", {5}, {"+selAIn2DigitLevel", "edAIn2DigitLevel=100"},
       {"5:12345678 POROG2=100;"}},
  });
}

namespace {

// Point 1 at 5°7.5' N, 37°3.12' E.
const std::vector<const char*> kPoint1 = {"+selCP1",          "edCP1Latd=5",  "edCP1Latm=7",  "edCP1Latmm=5",
                                          "cbCP1ns=N",        "edCP1Lond=37", "edCP1Lonm=3",  "edCP1Lonmm=12",
                                          "cbCP1ew=E"};

}  // namespace

TEST(ControlPoints, OnlySeriesFiveGetsThemInTheirOrder) {
  ExpectRows(5, {
      {"series 1 to 4 get nothing", {1, 2, 3, 4}, kPoint1, {}},
      {"padded coordinates", {5}, kPoint1, {"5:12345678 CONTROLPOINT1=050750000,N,0370312000,E;"}},
      {"a group of series 4 and 5 devices", {4, 5}, With(kPoint1, {"-edPassword"}),
       {"5:%PASS% CONTROLPOINT1=050750000,N,0370312000,E;"}},
      {"all eight flags", {5}, {"+selCP2Flags", "+cbCP2Imp1In", "+cbCP2Imp1Out", "+cbCP2Imp2In", "+cbCP2Imp2Out",
                                "+cbCP2GPRSIn", "+cbCP2GPRSOut", "+cbCP2SMSIn", "+cbCP2SMSOut"},
       {"5:12345678 CONTROLFLAGS2=1,1,1,1,1,1,1,1;"}},
      {"flags in their order", {5}, {"+selCP3Flags", "+cbCP3Imp1Out", "+cbCP3GPRSIn", "+cbCP3SMSOut"},
       {"5:12345678 CONTROLFLAGS3=0,1,0,0,1,0,0,1;"}},
      {"no flag ticked", {5}, {"+selCP1Flags"}, {"5:12345678 CONTROLFLAGS1=0,0,0,0,0,0,0,0;"}},
      {"every setting of points 1 and 3", {5},
       With(kPoint1, {"+selCP1Alias", "edCP1Alias=Base", "+selCP1Radius", "edCP1Radius=500", "+selCP1TelNumber",
                      "edCP1TelNumber=+79161234567", "+selCP1Flags", "+cbCP1SMSIn", "+selCP3Alias", "edCP3Alias=Depot",
                      "+selCP3", "edCP3Latd=55", "edCP3Latm=45", "edCP3Latmm=12345", "cbCP3ns=S", "edCP3Lond=123",
                      "edCP3Lonm=59", "edCP3Lonmm=1234", "cbCP3ew=W", "+selCP3Radius", "edCP3Radius=30"}),
       {"5:12345678 CPALIAS1=Base;", "5:12345678 CONTROLPOINT1=050750000,N,0370312000,E;",
        "5:12345678 RADIUS1=500;", "5:12345678 CPTELNUM1=+79161234567;",
        "5:12345678 CONTROLFLAGS1=0,0,0,0,0,0,1,0;", "5:12345678 CPALIAS3=Depot;",
        "5:12345678 CONTROLPOINT3=554512345,S,1235912340,W;", "5:12345678 RADIUS3=30;"}},
  });
}

TEST(ControlPoints, CoordinateEditsArePaddedAndHandedBack) {
  struct Case {
    const char* Latd;
    const char* Latm;
    const char* Latmm;
    const char* Lond;
    const char* Lonm;
    const char* Lonmm;
    const char* Padded;  // the six texts after padding, "|"-separated
  };
  const Case cases[] = {
      {"5", "7", "5", "37", "3", "12", "05|07|50000|037|03|12000"},
      {"55", "45", "12345", "123", "59", "1234", "55|45|12345|123|59|12340"},
      {"0", "0", "0", "7", "0", "123", "00|00|00000|007|00|12300"},
      // Fields the validator lets through only while their selector is unticked: padded as the
      // rule says, however short.
      {"", "", "", "", "", "", "0|0|0000|00|0|0000"},
  };
  for (const Case& c : cases) {
    std::string controls[] = {std::string("edCP2Latd=") + c.Latd, std::string("edCP2Latm=") + c.Latm,
                              std::string("edCP2Latmm=") + c.Latmm, std::string("edCP2Lond=") + c.Lond,
                              std::string("edCP2Lonm=") + c.Lonm, std::string("edCP2Lonmm=") + c.Lonmm};
    std::vector<const char*> row = {"+selCP2", "cbCP2ns=N", "cbCP2ew=E"};
    for (const std::string& control : controls) row.push_back(control.c_str());
    TComposed composed = Compose(5, {5}, row);
    const char* names[] = {"edCP2Latd", "edCP2Latm", "edCP2Latmm", "edCP2Lond", "edCP2Lonm", "edCP2Lonmm"};
    QStringList padded;
    for (const char* name : names) padded << composed.WriteBack[name];
    EXPECT_EQ(padded.join('|').toStdString(), c.Padded);
    EXPECT_EQ(composed.WriteBack.size(), 6u) << c.Padded;
    QStringList parts = QString(c.Padded).split('|');
    ASSERT_EQ(composed.Lines.size(), 1u);
    EXPECT_EQ(composed.Lines[0], ("5:12345678 CONTROLPOINT2=" + parts[0] + parts[1] + parts[2] + ",N," + parts[3] +
                                  parts[4] + parts[5] + ",E;").toStdString());
  }
}

TEST(ControlPoints, NothingIsHandedBackWithoutAPointLine) {
  // Series 4 alone, and series 5 without the point's own selector.
  EXPECT_TRUE(Compose(5, {4}, kPoint1).WriteBack.empty());
  EXPECT_TRUE(Compose(5, {5}, {"edCP1Latd=5", "+selCP1Radius", "edCP1Radius=40"}).WriteBack.empty());
}
