// Parameter queries: one series-5 query per ticked selector, and the series-4 configuration
// requests, whatever is targeted.

#include "composer/CommandBuilders.h"
#include "support/CommandRows.h"

#include <gtest/gtest.h>

TEST(SettingQueries, OneQueryPerTickedSelectorInTheSeriesFiveList) {
  struct Case {
    int Type;
    std::vector<const char*> Selectors;
    std::vector<const char*> Lines;
  };
  const Case cases[] = {
      {13,
       {"+selWideRecord", "+selStaticNav", "+selReservPort", "+selReservServer", "+selBasePort", "+selBaseServer",
        "+selAPN", "+selMethodWrite", "+selSendPeriod", "+selWritePeriod", "+selDevAlias"},
       {"5:12345678 GALIAS;", "5:12345678 GPERIODWR;", "5:12345678 GPERIODSEND;", "5:12345678 GMODEWR;",
        "5:12345678 GAPNFULL;", "5:12345678 GIP;", "5:12345678 GPORT;", "5:12345678 GRESIP;", "5:12345678 GRESPORT;",
        "5:12345678 GMODE1;", "5:12345678 GMODEWIDE;"}},
      {14,
       {"+selCount1Period", "+selCount2Period", "+selIn1Alias", "+selIn1Mode", "+selIn1TelNum", "+selIn3Gprs",
        "+selIn4Alias", "+selIn4Level", "+selIn4Sms", "+selIn4Mode", "+selIn4Gprs", "+selIn4TelNum"},
       {"5:12345678 GPERIODCOUNT12;", "5:12345678 GPERIODCOUNT34;", "5:12345678 GINALIAS1;", "5:12345678 GINPFLAGS1;",
        "5:12345678 GTELSMS1;", "5:12345678 GINPFLAGS3;", "5:12345678 GINALIAS4;", "5:12345678 GINPFLAGS4;",
        "5:12345678 GTELSMS4;"}},
      {14, {"+selIn2Level", "+selIn2Sms"}, {"5:12345678 GINPFLAGS2;"}},
      {15,
       {"+selAIn2DigitLevel", "+selAIn1AveragePeriod", "+selAInPeriod", "+selAInAdaptiveMode", "+selAIn1AdaptiveLevel",
        "+selAIn1AsDigit", "+selAIn1DigitLevel", "+selAIn2AveragePeriod"},
       {"5:12345678 GPERIODANALOG;", "5:12345678 GMODEANALOG;", "5:12345678 GPERIODUSR1;", "5:12345678 GALEVEL1;",
        "5:12345678 GMODEAD1;", "5:12345678 GPOROG1;", "5:12345678 GPERIODUSR2;", "5:12345678 GPOROG2;"}},
      {15, {"+selAIn2AdaptiveLevel", "+selAIn2AsDigit"}, {"5:12345678 GALEVEL2;", "5:12345678 GMODEAD2;"}},
      {16,
       {"+selCP1Flags", "+selCP1TelNumber", "+selCP1Radius", "+selCP1", "+selCP1Alias", "+selCP3", "+selCP2Radius"},
       {"5:12345678 GCPALIAS1;", "5:12345678 GCONTROLPOINT1;", "5:12345678 GRADIUS1;", "5:12345678 GCPTELNUM1;",
        "5:12345678 GCONTROLFLAGS1;", "5:12345678 GRADIUS2;", "5:12345678 GCONTROLPOINT3;"}},
      {17,
       {"+selRingOut", "+selTelUp2", "+selTelUp1", "+selVoiceVol", "+selVoiceGain"},
       {"5:12345678 GMICAMP;", "5:12345678 GDYNAMP;", "5:12345678 GTELUP1;", "5:12345678 GTELUP2;",
        "5:12345678 GRINGOUT;"}},
      {18, {"+selOnlyIbutton", "+selAkkumTel"}, {"5:12345678 GTELAKN;", "5:12345678 GONLYBUTTON;"}},
  };
  // A series-4 target: the lines still go to the series-5 list, which its send ignores.
  for (const Case& c : cases) {
    TComposed composed = Compose(c.Type, {4}, c.Selectors);
    EXPECT_TRUE(composed.Result) << c.Type;
    EXPECT_EQ(composed.Lines, std::vector<std::string>(c.Lines.begin(), c.Lines.end())) << c.Type;
  }
}

TEST(SettingQueries, PasswordFieldAndEmptySelection) {
  ExpectRows(13, {
      {"empty enabled password: eight blanks", {5}, {"edPassword=", "+selDevAlias"}, {"5:         GALIAS;"}},
      {"group", {4, 5}, {"-edPassword", "+selBasePort"}, {"5:%PASS% GPORT;"}},
      {"no target", {}, {"+selAPN"}, {"5:12345678 GAPNFULL;"}},
      {"nothing ticked leaves every list empty", {5}, {"edDevAlias=Truck"}, {}},
  });
  ExpectRows(18, {{"nothing ticked", {5}, {}, {}}});
}

TEST(ConfigurationRequests, OneLineInTheSeriesFourListWhateverIsTicked) {
  const std::vector<const char*> ticked = {"+selDevAlias", "+selAkkumTel", "+selCP1"};
  ExpectRows(19, {{"series 5 target", {5}, ticked, {"4:GCONF1 12345678"}},
                  {"group", {4, 5}, {"-edPassword"}, {"4:GCONF1 %PASS%"}}});
  ExpectRows(20, {{"series 4", {4}, {}, {"4:GCONF2 12345678"}}});
  ExpectRows(21, {{"series 4", {4}, ticked, {"4:GCONF3 12345678"}}});
  ExpectRows(22, {{"series 4, empty password", {4}, {"edPassword="}, {"4:GCONF4         "}}});
}
