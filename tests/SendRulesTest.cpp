// The send window's rules as tables: protocol series, the target list, what a target selects,
// counts and their nouns, the messages a send queues, the journal, the phone book and the
// layout string.

#include "common/Text.h"
#include "composer/SendRules.h"
#include "shell/FileWindowSettings.h"
#include "shell/Settings.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <QString>

#include <string>
#include <vector>

namespace {

std::unique_ptr<TCarEntry> Car(int32_t device, const char* caption, const char* phone, const char* handle) {
  return MakeCarEntry(device, QString::fromUtf8(caption), QString::fromUtf8(phone), QString::fromUtf8(handle));
}

// Two groups: "Автобусы" with a series-4, a series-5 (no phone), a series-4 (no password) and
// a series-1 vehicle; "Vans " with one vehicle captioned like the first bus.
TFleet SampleFleet() {
  TFleet fleet;
  auto buses = std::make_unique<TGroupEntry>();
  buses->Name = Cp1251("Автобусы");
  buses->Index = 1;
  buses->Cars.push_back(Car(22001, "Bus 1", "+79001", "pas"));
  buses->Cars.push_back(Car(32500, "Bus 2", "", "secret12"));
  buses->Cars.push_back(Car(30000, "Bus 3", "+79003", ""));
  buses->Cars.push_back(Car(100, "Bus 4", "+79004", "old"));
  fleet.push_back(std::move(buses));
  auto vans = std::make_unique<TGroupEntry>();
  vans->Name = "Vans ";
  vans->Index = 2;
  vans->Cars.push_back(Car(22001, "Bus 1", "+79005", "vanpass1"));
  fleet.push_back(std::move(vans));
  return fleet;
}

// Indices in the list of SampleFleet: 0-4 series, 5 buses, 6-9 its vehicles, 10 vans, 11 its vehicle.
constexpr int kBuses = 5;
constexpr int kBus1 = 6;
constexpr int kBus2 = 7;
constexpr int kVans = 10;
constexpr int kVan = 11;

TCommandLists SampleLists() {
  TCommandLists lists;
  lists[1] = {"GET %PASS%"};
  lists[3] = {};
  lists[4] = {"A4 %PASS% x", "B4 %PASS%%PASS%"};
  lists[5] = {"%PASS% PERIOD=60;"};
  return lists;
}

TEST(SendRulesTest, SeriesFollowTheDeviceNumberAsUnsigned) {
  struct Case {
    uint32_t Device;
    int Series;
  };
  const Case cases[] = {{0, 1},      {11252, 1}, {11253, 2}, {17924, 2},      {17925, 3},
                        {21999, 3},  {22000, 4}, {32499, 4}, {32500, 5},      {65535, 5},
                        {0x7FFFFFFF, 5}, {0xFFFFFFFF, 5}};
  for (const Case& c : cases) EXPECT_EQ(DeviceSeries(c.Device), c.Series) << c.Device;
  // A negative device number is a large unsigned one.
  EXPECT_EQ(DeviceSeries(static_cast<uint32_t>(int32_t{-1})), 5);
  EXPECT_EQ(SeriesLabel(3), QStringLiteral("Прибор серии 17925 - 21999"));
  EXPECT_EQ(SeriesLabel(4), QStringLiteral("Прибор серии 22000-31499"));
}

TEST(SendRulesTest, TargetListOrderAndTheLastEqualEntryIsSelected) {
  const TFleet fleet = SampleFleet();
  int selected = -1;
  const TTargetList list = MakeTargetList(fleet, "", selected);
  std::vector<std::string> texts;
  for (const TTargetEntry& entry : list) texts.push_back(std::to_string(entry.Kind) + " " + entry.Text.toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "2 Прибор серии 10000-11252", "3 Прибор серии 11253-17924", "4 Прибор серии 17925 - 21999",
                       "5 Прибор серии 22000-31499", "6 Прибор серии 32500+", "0 Автобусы", "1    Bus 1 (22001)",
                       "1    Bus 2 (32500)", "1    Bus 3 (30000)", "1    Bus 4 (00100)", "0 Vans ",
                       "1    Bus 1 (22001)"}));
  EXPECT_EQ(selected, 0);
  struct Case {
    const char* Remembered;  // UTF-8
    int Selected;
  };
  const Case cases[] = {
      {"Прибор серии 32500+", 4}, {"Автобусы", kBuses},    {"Vans", kVans}, {"Bus 1 (22001)", kVan},
      {"Bus 2 (32500)", kBus2},   {"   Bus 2 (32500)", 0}, {"nothing", 0},  {"Прибор серии", 0},
  };
  for (const Case& c : cases) {
    MakeTargetList(fleet, Cp1251(c.Remembered), selected);
    EXPECT_EQ(selected, c.Selected) << c.Remembered;
  }
}

TEST(SendRulesTest, SelectingATargetSetsNumberCountAndLevel) {
  const TFleet fleet = SampleFleet();
  int selected = 0;
  const TTargetList list = MakeTargetList(fleet, "", selected);
  // The phone book gives the second bus a number and overrides the first van's.
  const TPhoneBook book = {{32500, "+79777"}, {22001, "+79888"}};
  struct Case {
    int Selected;
    const char* Number;
    bool Enabled;
    int Devices;
    int Level;
  };
  const Case cases[] = {
      {0, "", true, 1, 1},          {4, "", true, 1, 5},           {kBuses, "Группа", false, 4, 5},
      {kVans, "Группа", false, 1, 5}, {kBus1, "+79888", true, 1, 4}, {kBus2, "+79777", true, 1, 5},
      {9, "+79004", true, 1, 1},    {-1, "", true, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Selected);
    const TTargetState state = SelectTarget(list, c.Selected, book);
    EXPECT_EQ(state.Number, QString::fromUtf8(c.Number));
    EXPECT_EQ(state.NumberEnabled, c.Enabled);
    EXPECT_EQ(state.DeviceCount, c.Devices);
    EXPECT_EQ(state.Level, c.Level);
  }
  // Without the phone book the group counts only vehicles with a phone of their own.
  EXPECT_EQ(SelectTarget(list, kBuses, {}).DeviceCount, 3);
}

TEST(SendRulesTest, CountLabelUsesTheNounOfTheExactValue) {
  struct Case {
    int Messages;
    int Devices;
    bool FromTemplate;
    const char* Label;
  };
  const Case cases[] = {
      {1, 1, false, "Всего 1 сообщение на 1 устройство"},
      {2, 2, false, "Всего 4 сообщения на 2 устройства"},
      {3, 3, false, "Всего 9 сообщений на 3 устройства"},
      {21, 1, false, "Всего 21 сообщений на 1 устройство"},
      {5, 0, false, "Всего 5 сообщений на 0 устройств"},
      {4, 3, true, "Всего 4 сообщения на 3 устройства"},
      {0, 1, true, "Всего 0 сообщений на 1 устройство"},
      {1, 5, true, "Всего 1 сообщение на 5 устройств"},
      {1, 11, false, "Всего 11 сообщений на 11 устройств"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CountLabel(c.Messages, c.Devices, c.FromTemplate), QString::fromUtf8(c.Label)) << c.Label;
}

TEST(SendRulesTest, MessagesAreCountedFromTheTextOrTheTemplate) {
  const TFleet fleet = SampleFleet();
  int selected = 0;
  const TTargetList list = MakeTargetList(fleet, "", selected);
  const TCommandLists lists = SampleLists();
  struct Case {
    int Selected;
    bool FromTemplate;
    const char* Text;
    int Count;
  };
  const Case cases[] = {
      {0, false, "one\n\ntwo\r\nthree\n", 3},
      {0, false, "\n\n", 0},
      {0, false, " ", 1},
      // Series entry 2 (series 1) and 5 (series 4).
      {0, true, "ignored", 1},
      {3, true, "", 2},
      // The buses with a phone: series 4, series 4 without password, series 1: 2 + 2 + 1.
      {kBuses, true, "", 5},
      {kBus2, true, "", 1},
      {kVans, true, "", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Selected) + " " + c.Text);
    EXPECT_EQ(CountMessages(list, c.Selected, c.FromTemplate, QString::fromUtf8(c.Text), lists, {}), c.Count);
  }
}

TEST(SendRulesTest, PasswordPlaceholderIsReplacedOnceAndTheJournalBlockIsExact) {
  struct Case {
    const char* Line;
    const char* Replaced;
  };
  const Case cases[] = {
      {"GET %PASS%", "GET abc"},
      {"%PASS% G%PASS%;", "abc G%PASS%;"},
      {"no placeholder", "no placeholder"},
      {"%PASS", "%PASS"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ReplacePassword(c.Line, "%PASS%", "abc"), c.Replaced);

  TCommandLists lists;
  lists[2] = {Cp1251("ТЕКСТ %PASS% \"А\""), "X"};
  lists[5] = {"%PASS% G%PASS%;"};
  EXPECT_EQ(JournalBlock(lists), "SMS_V1.0\r\nSMS_V1.1\r\n" + Cp1251("ТЕКСТ 47125093 \"А\"") +
                                     "\r\nX\r\nSMS_V1.2\r\nSMS_V4.0\r\nSMS_V5.0\r\n47125093 G%PASS%;\r\n\\" +
                                     std::string(51, '-') + "\\\r\n");
  EXPECT_EQ(JournalBlock(TCommandLists()),
            "SMS_V1.0\r\nSMS_V1.1\r\nSMS_V1.2\r\nSMS_V4.0\r\nSMS_V5.0\r\n\\---------------------------------------------------\\\r\n");

  TTempFolder folder("send-journal");
  ASSERT_TRUE(AppendSmsListLog(folder.Path() + "/", lists));
  ASSERT_TRUE(AppendSmsListLog(folder.Path() + "/", TCommandLists()));
  EXPECT_EQ(ReadWholeFile(folder.Path() + "/smsList.txt"), JournalBlock(lists) + JournalBlock(TCommandLists()));
  EXPECT_FALSE(AppendSmsListLog(folder.Path() + "/missing/", lists));
}

TEST(SendRulesTest, TemplateTextTakesEachSeriesOfAGroupOnceInOrderOfFirstAppearance) {
  const TFleet fleet = SampleFleet();
  int selected = 0;
  const TTargetList list = MakeTargetList(fleet, "", selected);
  const TCommandLists lists = SampleLists();
  using TLines = std::vector<std::string>;
  EXPECT_EQ(TemplateTextLines(list, kBuses, lists),
            (TLines{"A4 %PASS% x", "B4 %PASS%%PASS%", "%PASS% PERIOD=60;", "GET %PASS%"}));
  EXPECT_EQ(TemplateTextLines(list, kBus2, lists), (TLines{"%PASS% PERIOD=60;"}));
  EXPECT_EQ(TemplateTextLines(list, 2, lists), TLines{});
  EXPECT_EQ(TemplateTextLines(list, 0, lists), (TLines{"GET %PASS%"}));
}

TEST(SendRulesTest, SendQueuesThePairsInOrderForEveryKindOfTarget) {
  const TFleet fleet = SampleFleet();
  int selected = 0;
  const TTargetList list = MakeTargetList(fleet, "", selected);
  const TCommandLists lists = SampleLists();
  using TPairs = std::vector<TSmsPair>;
  struct Case {
    const char* What;
    int Selected;
    bool FromTemplate;
    const char* Number;
    const char* Text;
    TPairs Pairs;
  };
  const Case cases[] = {
      {"template to a group: vehicle by vehicle, without phone or password skipped", kBuses, true, "Группа", "shown",
       {{"+79001", "A4 pas x"}, {"+79001", "B4 pas%PASS%"}, {"+79004", "GET old"}}},
      {"template to a vehicle: unchanged to the number", kBus1, true, "+7111", "", {{"+7111", "A4 %PASS% x"},
       {"+7111", "B4 %PASS%%PASS%"}}},
      {"template to a series", 4, true, "+7222", "", {{"+7222", "%PASS% PERIOD=60;"}}},
      {"template of an empty list", 2, true, "+7222", "x", {}},
      {"free text to a group: line by line, vehicles inside", kBuses, false, "Группа", "hello\n\nbye",
       {{"+79001", "hello"}, {"+79003", "hello"}, {"+79004", "hello"}, {"+79001", "bye"}, {"+79003", "bye"},
        {"+79004", "bye"}}},
      {"free text to a vehicle", kBus2, false, "+7333", "a\nb", {{"+7333", "a"}, {"+7333", "b"}}},
      {"free text of empty lines only", 0, false, "+7333", "\n\n\n", {}},
      {"free text in code page 1251", 1, false, "+7444", "Привет", {{"+7444", Cp1251("Привет")}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(PlanSend(list, c.Selected, c.FromTemplate, lists, QString::fromUtf8(c.Number), QString::fromUtf8(c.Text),
                       {}),
              c.Pairs);
  }
  // The phone book reaches a group vehicle that has no phone of its own.
  const TPhoneBook book = {{32500, "+79777"}};
  EXPECT_EQ(PlanSend(list, kBuses, true, lists, {}, {}, book).size(), 4u);
}

TEST(SendRulesTest, LayoutStringIsReadByTheExpressionOrTheScan) {
  struct Case {
    const char* Layout;
    int Top;
    int Left;
    const char* Target;
  };
  const Case cases[] = {
      {"120,340,Прибор серии 32500+", 120, 340, "Прибор серии 32500+"},
      {"120,-5,Bus", 120, -5, ""},
      {"10,20,zoo z (01234)", 10, 20, "zoo z (01234)"},
      {"10,20,a,b\nc", 10, 20, "a,b\nc"},
      {"10,20,", 10, 20, ""},
      {"7", 7, 0, ""},
      {"", 0, 0, ""},
      {"garbage", 0, 0, ""},
      {"99999999999,5,x", 0, 5, "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Layout);
    const TSmsLayout layout = ParseSmsLayout(Cp1251(c.Layout));
    EXPECT_EQ(layout.Top, c.Top);
    EXPECT_EQ(layout.Left, c.Left);
    EXPECT_EQ(layout.Target, Cp1251(c.Target));
  }
  EXPECT_EQ(FormatSmsLayout(5, -7, QStringLiteral("   Bus 1 (22001) ")), "5,-7,Bus 1 (22001)");
  EXPECT_EQ(FormatSmsLayout(1, 2, QString(1200, u'ж')), "1,2," + std::string(1000, Cp1251("ж")[0]));
  EXPECT_EQ(FormatSmsLayout(1, 2, QString(999, u'x') + QStringLiteral("  y")), "1,2," + std::string(999, 'x'));
}

TEST(SendRulesTest, PhoneBookIsReadAndWrittenInTheSettingsFile) {
  TTempFolder folder("send-phones");
  const std::string exeDir = folder.Path() + "/";
  WriteWholeFile(exeDir + "OrvexMonitor.ini",
                 "[COMMON]\r\nPhonePort=direct\r\n[TELNUMBERS]\r\n0=+7000\r\nabc=+7001\r\n12345=\r\n22001=+79888\r\n"
                 "$10=+7016\r\n-5=+7005\r\n");
  const TPhoneBook book = LoadPhoneBook(exeDir);
  std::vector<std::string> entries;
  for (const TDevTelNumber& entry : book) entries.push_back(std::to_string(entry.DeviceNumber) + "=" + entry.Phone);
  EXPECT_EQ(entries, (std::vector<std::string>{"22001=+79888", "16=+7016", "-5=+7005"}));
  EXPECT_EQ(FindPhoneNumber(book, 22001), "+79888");
  EXPECT_EQ(FindPhoneNumber(book, 16), "+7016");
  EXPECT_EQ(FindPhoneNumber(book, 12345), "");
  EXPECT_EQ(FindPhoneNumber(book, 0), "");

  const auto car = Car(30000, "Bus 3", "+79003", "");
  struct Case {
    const char* Typed;
    bool Written;
    const char* Stored;
  };
  const Case cases[] = {
      {"+79003", false, ""},  // the vehicle's own
      {"+790031234567890123456", true, "+790031234567890123"},
      {"+7 900 3", true, "+7 900 3"},
  };
  TSettingsMirror mirror;
  TFileWindowSettings settings(exeDir, mirror);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Typed);
    const TPhoneBook now = settings.PhoneBook();
    EXPECT_EQ(SavePhoneNumber(settings, now, *car, QString::fromUtf8(c.Typed)), c.Written);
    EXPECT_EQ(FindPhoneNumber(settings.PhoneBook(), 30000), c.Stored[0] ? c.Stored : FindPhoneNumber(now, 30000));
  }
  // Equal to the phone book's number: nothing is written.
  EXPECT_FALSE(SavePhoneNumber(settings, settings.PhoneBook(), *car, QStringLiteral("+7 900 3")));
  EXPECT_NE(ReadWholeFile(exeDir + "OrvexMonitor.ini").find("PhonePort=direct"), std::string::npos);
}

}  // namespace
