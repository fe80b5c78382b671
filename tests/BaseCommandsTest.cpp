// The password field, the coordinate request and the base settings in each series' dialect,
// and the entry that runs a builder by command type.

#include "composer/CommandBuilders.h"
#include "support/CommandRows.h"

#include "common/Text.h"

#include <gtest/gtest.h>

TEST(PasswordField, IsEightCharactersOrThePlaceholder) {
  struct Case {
    std::vector<const char*> Controls;
    const char* Field;
  };
  const Case cases[] = {
      {{"edPassword=12345678"}, "12345678"},
      {{"edPassword=abcdefghijk"}, "abcdefgh"},
      {{"edPassword=ab"}, "ab      "},
      {{"edPassword="}, "        "},
      // A group target shows its name, disabled; each vehicle's password replaces the placeholder.
      {{"edPassword=Группа", "-edPassword"}, "%PASS%"},
      {{"edPassword=", "-edPassword"}, "%PASS%"},
  };
  for (const Case& c : cases) EXPECT_EQ(GetPasswordField(MakeSnapshot(c.Controls)), c.Field) << c.Field;
}

TEST(CommandEntry, TypeWithoutBuilderKeepsTheWindowOpenAndTheLists) {
  for (int type : {0, 23, -1, 255}) {
    TComposed composed = Compose(type, {5}, {"+selDevAlias", "edDevAlias=Truck"});
    EXPECT_FALSE(composed.Result) << type;
    EXPECT_EQ(composed.Lines, (std::vector<std::string>{"1:stale", "2:stale", "3:stale", "4:stale", "5:stale"}))
        << type;
  }
}

TEST(CoordinateRequest, GoesToAllFiveListsWhateverIsTargeted) {
  ExpectRows(1, {
      {"series 2 device", {2}, {}, {"1:GET 12345678", "2:GET 12345678", "3:GET 12345678", "4:GET 12345678",
                                     "5:GET 12345678"}},
      {"no target at all", {}, {"edPassword=ab"}, {"1:GET ab      ", "2:GET ab      ", "3:GET ab      ",
                                                    "4:GET ab      ", "5:GET ab      "}},
      {"eleven-character password", {5}, {"edPassword=abcdefghijk"},
       {"1:GET abcdefgh", "2:GET abcdefgh", "3:GET abcdefgh", "4:GET abcdefgh", "5:GET abcdefgh"}},
      {"empty password", {5}, {"edPassword="},
       {"1:GET         ", "2:GET         ", "3:GET         ", "4:GET         ", "5:GET         "}},
      {"group", {1, 5}, {"-edPassword"},
       {"1:GET %PASS%", "2:GET %PASS%", "3:GET %PASS%", "4:GET %PASS%", "5:GET %PASS%"}},
  });
}

namespace {

// The five coupled selectors of series 1 to 4 with their values.
const std::vector<const char*> kServerAndPeriods = {
    "+selBaseServer", "+selBasePort",      "+selMethodWrite", "+selWritePeriod",  "+selSendPeriod",
    "edBaseServer=10.1.2.3", "edBasePort=40000", "edWritePeriod=60", "edSendPeriod=300", "cbMethodWrite#1"};

std::vector<const char*> With(std::vector<const char*> controls, std::initializer_list<const char*> more) {
  controls.insert(controls.end(), more);
  return controls;
}

}  // namespace

TEST(BaseSettings, LegacySeriesGetServerOrPeriodsApnAndModes) {
  ExpectRows(2, {
      {"server ticked gives CHG and no SET", {1}, kServerAndPeriods, {"1:CHG 12345678 10.1.2.3:40000,60,300,1"}},
      {"adaptive recording sends method 0", {2}, With(kServerAndPeriods, {"cbMethodWrite#0"}),
       {"2:CHG 12345678 10.1.2.3:40000,60,300,0"}},
      {"periods alone give SET", {1}, {"+selWritePeriod", "+selSendPeriod", "edWritePeriod=60", "edSendPeriod=0"},
       {"1:SET 12345678 60,0"}},
      {"send period alone composes nothing", {3}, {"+selSendPeriod", "edSendPeriod=300"}, {}},
      {"APN and SMODE only where the series has them", {2, 4},
       {"-edPassword", "+selAPN", "edAPN=internet.mts.ru", "edAPNUser=mts", "edAPNPassword=mts", "+selWideRecord",
        "+selStaticNav", "+cbStaticNav"},
       {"4:APN %PASS% \"internet.mts.ru\",\"mts\",\"mts\"", "4:SMODE %PASS% 0,0,1"}},
      {"series 3 takes CHG then APN", {3}, With(kServerAndPeriods, {"+selAPN", "edAPN=inet", "edAPNUser=u"}),
       {"3:CHG 12345678 10.1.2.3:40000,60,300,1", "3:APN 12345678 \"inet\",\"u\",\"\""}},
      {"both boxes ticked send 0 in both fields", {4}, {"+selWideRecord", "+selStaticNav", "+cbStaticNav", "+cbWideRecord"},
       {"4:SMODE 12345678 0,0,0"}},
      {"neither box ticked sends 1 in both", {4}, {"+selWideRecord", "+selStaticNav"}, {"4:SMODE 12345678 1,0,1"}},
      {"each targeted legacy series gets the line", {1, 2, 3, 4, 5}, {"+selWritePeriod", "+selSendPeriod",
                                                                    "edWritePeriod=60", "edSendPeriod=300", "-edPassword"},
       {"1:SET %PASS% 60,300", "2:SET %PASS% 60,300", "3:SET %PASS% 60,300", "4:SET %PASS% 60,300",
        "5:%PASS% PERIODWR=60;", "5:%PASS% PERIODSEND=300;"}},
  });
}

TEST(BaseSettings, SeriesFiveGetsOneAssignmentPerTickedSetting) {
  ExpectRows(2, {
      {"alias and recording by time", {5}, {"+selDevAlias", "edDevAlias=Truck7", "+selMethodWrite", "cbMethodWrite#1"},
       {"5:12345678 ALIAS=Truck7;", "5:12345678 MODEWR=N;"}},
      {"adaptive recording", {5}, {"+selMethodWrite", "cbMethodWrite#0"}, {"5:12345678 MODEWR=A;"}},
      {"any other item is recording by time", {5}, {"+selMethodWrite", "cbMethodWrite#-1"}, {"5:12345678 MODEWR=N;"}},
      {"static ticked, velocity vector not", {5}, {"+selStaticNav", "+selWideRecord", "+cbStaticNav"},
       {"5:12345678 MODE1=0;", "5:12345678 MODEWIDE=0;"}},
      {"both ticked: MODE1 0, MODEWIDE 1", {4, 5},
       {"-edPassword", "+selStaticNav", "+selWideRecord", "+cbStaticNav", "+cbWideRecord"},
       {"4:SMODE %PASS% 0,0,0", "5:%PASS% MODE1=0;", "5:%PASS% MODEWIDE=1;"}},
      {"a server ticked for series 5 alone writes no CHG", {5}, {"+selBaseServer", "edBaseServer=10.1.2.3"},
       {"5:12345678 IP=10.1.2.3;"}},
      {"edit texts as they stand", {5}, {"+selDevAlias", "edDevAlias= Фура \"7\";x "},
       {"5:12345678 ALIAS= Фура \"7\";x ;"}},
      {"nothing ticked", {5}, {"edDevAlias=Truck7"}, {}},
      {"every setting in its order", {1, 2, 3, 4, 5},
       With(kServerAndPeriods, {"+selDevAlias", "edDevAlias=Truck7", "+selAPN", "edAPN=inet", "edAPNUser=user",
                                "edAPNPassword=pass", "+selReservServer", "edReservServer=10.9.8.7",
                                "+selReservPort", "edReservPort=40001", "+selStaticNav", "+selWideRecord",
                                "+cbWideRecord", "edPassword=ab"}),
       {"1:CHG ab       10.1.2.3:40000,60,300,1",
        "2:CHG ab       10.1.2.3:40000,60,300,1",
        "3:CHG ab       10.1.2.3:40000,60,300,1",
        "3:APN ab       \"inet\",\"user\",\"pass\"",
        "4:CHG ab       10.1.2.3:40000,60,300,1",
        "4:APN ab       \"inet\",\"user\",\"pass\"",
        "4:SMODE ab       1,0,0",
        "5:ab       ALIAS=Truck7;",
        "5:ab       PERIODWR=60;",
        "5:ab       PERIODSEND=300;",
        "5:ab       MODEWR=N;",
        "5:ab       APNFULL=\"inet\",\"user\",\"pass\";",
        "5:ab       IP=10.1.2.3;",
        "5:ab       PORT=40000;",
        "5:ab       RESIP=10.9.8.7;",
        "5:ab       RESPORT=40001;",
        "5:ab       MODE1=1;",
        "5:ab       MODEWIDE=1;"}},
  });
}

TEST(BaseSettings, TextsReachTheListsInCodePage1251) {
  TComposed composed = Compose(2, {5}, {"+selDevAlias", "edDevAlias=Ёж", "edPassword=пароль"});
  ASSERT_EQ(composed.Lines.size(), 1u);
  // "Ёж" is 0xA8 0xE6 in code page 1251; the password is padded to 8 bytes.
  EXPECT_EQ(composed.Lines[0], "5:\xEF\xE0\xF0\xEE\xEB\xFC   ALIAS=\xA8\xE6;");
}
