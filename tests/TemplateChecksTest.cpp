// The checks on OK as functions of a snapshot: the number and password first, then the
// shown box's fields in their order, each only while its edit is enabled.

#include "common/Text.h"
#include "composer/TemplateChecks.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

struct TField {
  std::string Name;
  const char* Text;
  bool Enabled = true;
};

// A request box with number and password, and the given fields; every other field of the
// window disabled, as after a reset with nothing ticked.
TFormSnapshot MakeSnapshot(const std::vector<TField>& fields, const char* number = "+79001234567",
                           const char* password = "12345678") {
  TFormSnapshot snapshot;
  snapshot.Set("edNumber").Text = U(number);
  snapshot.Set("edPassword").Text = U(password);
  for (int type = 1; type <= 22; ++type)
    for (const TFieldCheck& check : FieldChecks(type)) snapshot.Set(check.Field).Enabled = false;
  for (const TField& field : fields) {
    TControlState& state = snapshot.Set(field.Name);
    state.Text = U(field.Text);
    state.Enabled = field.Enabled;
  }
  return snapshot;
}

TEST(TemplateChecksTest, OnlyDecimalDigitsReadAsANumber) {
  struct Case {
    const char* Text;
    int Value;
  };
  const Case cases[] = {
      {"0", 0},        {"43200", 43200}, {"007", 7},    {"2147483647", 2147483647},
      {"", -1},        {"$10", -1},      {"0x10", -1},  {" 5", -1},
      {"5 ", -1},      {"+5", -1},       {"-5", -1},    {"5a", -1},
      {"abc", -1},     {"2147483648", -1}, {"99999999999999999999", -1}, {"١٢", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadDecimal(U(c.Text)), c.Value) << c.Text;
}

TEST(TemplateChecksTest, EachFieldPassesWithinItsBoundsAndFailsBeyond) {
  struct Case {
    int Type;
    std::string Field;
    const char* Text;
    const char* Message;  // "" when the value passes
  };
  const char* writePeriod = "Не корректный период записи";
  const char* sendPeriod = "Не корректный период отсылки данных";
  const char* latitude1 = "Не корректно указана координата контролькой точки 1";
  const char* radius1 = "Не корректно указан радиус контролькой точки 1";
  const Case cases[] = {
      {2, "edSendPeriod", "0", ""},
      {2, "edSendPeriod", "5", sendPeriod},
      {2, "edSendPeriod", "9", sendPeriod},
      {2, "edSendPeriod", "10", ""},
      {2, "edSendPeriod", "43200", ""},
      {2, "edSendPeriod", "43201", sendPeriod},
      {2, "edSendPeriod", "$10", sendPeriod},
      {2, "edWritePeriod", "0", writePeriod},
      {2, "edWritePeriod", "1", ""},
      {2, "edWritePeriod", "600", ""},
      {2, "edWritePeriod", "601", writePeriod},
      {2, "edWritePeriod", "", writePeriod},
      {2, "edWritePeriod", "ten", writePeriod},
      {2, "edWritePeriod", "0x10", writePeriod},
      {2, "edBasePort", "65535", ""},
      {2, "edBasePort", "65536", "Не верно указан порт основного сервера"},
      {2, "edReservPort", "0", "Не верно указан порт резервного сервера"},
      {2, "edDevAlias", "", "Не указано имя устройства"},
      {2, "edDevAlias", "car", ""},
      {2, "edAPN", "", "Не указана точка доступа"},
      {2, "edBaseServer", "", "Не указан основной сервер"},
      {2, "edReservServer", "", "Не указан резервный сервер"},
      {3, "edCount1Period", "0", ""},
      {3, "edCount1Period", "4", "Не корректный период отправки счетчиков 1-2"},
      {3, "edCount2Period", "3601", "Не корректный период отправки счетчиков 3-4"},
      {3, "edIn3Alias", "", "Не указано имя цифрового входа 3"},
      {3, "edIn4TelNum", "", "Не указано телефонный номер цифрового входа 4"},
      {4, "edAInPeriod", "0", "Не корректный период записи аналоговых данных"},
      {4, "edAInPeriod", "5", ""},
      {4, "edAIn2AveragePeriod", "61", "Не корректный период усреднения аналогового входа 2"},
      {4, "edAIn1AdaptiveLevel", "9", "Не корректный порог изменения аналогового входа 1"},
      {4, "edAIn1AdaptiveLevel", "1023", ""},
      {4, "edAIn2DigitLevel", "1001", "Не корректный порог переключения аналогового входа 2"},
      {5, "edCP1Latmm", "99999", ""},
      {5, "edCP1Latmm", "100000", latitude1},
      {5, "edCP1Latd", "0", ""},
      {5, "edCP1Latd", "91", latitude1},
      {5, "edCP1Lond", "180", ""},
      {5, "edCP1Lond", "181", latitude1},
      {5, "edCP1Lonm", "61", latitude1},
      {5, "edCP3Lonmm", "", "Не корректно указана координата контролькой точки 3"},
      {5, "edCP1Radius", "29", radius1},
      {5, "edCP1Radius", "30", ""},
      {5, "edCP1Radius", "10000000", ""},
      {5, "edCP1Radius", "10000001", radius1},
      {5, "edCP2Alias", "", "Не указано имя контролькой точки 2"},
      {5, "edCP3TelNumber", "", "Не указан номер телефона контролькой точки 3"},
      {6, "edVoiceGain", "9", "Не корректно указано усиление микрофона"},
      {6, "edVoiceVol", "15", ""},
      {6, "edVoiceVol", "16", "Не корректно указана громкость динамиков"},
      {6, "edTelUp1", "", "Не указан 1-ый телефонный номер автоподнятия"},
      {6, "edTelUp2", "", "Не указан 2-ой телефонный номер автоподнятия"},
      {7, "edAkkumTel", "", "Не указан номер для оповещения о разряде аккумулятора"},
      {9, "edUSSD", "", "Не указан текст USSD запроса"},
      {9, "edUSSD", "*100#", ""},
      {11, "edOut1Pulse", "10", ""},
      {11, "edOut1Pulse", "11", "Не корректно указана длительность импульса на выходе 1"},
      {11, "edOut2Pulse", "0", "Не корректно указана длительность импульса на выходе 2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValidateCommand(c.Type, MakeSnapshot({{c.Field, c.Text}})), U(c.Message)) << c.Field << " " << c.Text;
    // The same value behind an unticked selector is never looked at.
    EXPECT_EQ(ValidateCommand(c.Type, MakeSnapshot({{c.Field, c.Text, false}})), QString()) << c.Field;
  }
}

TEST(TemplateChecksTest, TheFirstFailureInTheBoxOrderIsReported) {
  struct Case {
    const char* Name;
    int Type;
    std::vector<TField> Fields;
    const char* Number;
    const char* Message;
  };
  const Case cases[] = {
      {"number before any field", 2, {{"edWritePeriod", "0"}}, "", "Не указан номер телефона"},
      {"number before the password", 1, {}, "", "Не указан номер телефона"},
      {"base settings in order", 2, {{"edBasePort", "0"}, {"edSendPeriod", "5"}}, "+7",
       "Не корректный период отсылки данных"},
      {"counters before the inputs", 3, {{"edIn1Alias", ""}, {"edCount2Period", "1"}}, "+7",
       "Не корректный период отправки счетчиков 3-4"},
      {"input 1 name before its number", 3, {{"edIn1TelNum", ""}, {"edIn1Alias", ""}}, "+7",
       "Не указано имя цифрового входа 1"},
      {"input 1 number before input 2 name", 3, {{"edIn2Alias", ""}, {"edIn1TelNum", ""}}, "+7",
       "Не указано телефонный номер цифрового входа 1"},
      {"analog period first", 4, {{"edAIn1AveragePeriod", "0"}, {"edAInPeriod", "1"}}, "+7",
       "Не корректный период записи аналоговых данных"},
      {"analog input 1 switching level before input 2 averaging", 4,
       {{"edAIn2AveragePeriod", "0"}, {"edAIn1DigitLevel", "1"}}, "+7",
       "Не корректный порог переключения аналогового входа 1"},
      {"point name before its coordinates", 5, {{"edCP1Latd", "99"}, {"edCP1Alias", ""}}, "+7",
       "Не указано имя контролькой точки 1"},
      {"coordinates before the radius", 5, {{"edCP1Radius", "1"}, {"edCP1Lonmm", "x"}}, "+7",
       "Не корректно указана координата контролькой точки 1"},
      {"radius before the number", 5, {{"edCP1TelNumber", ""}, {"edCP1Radius", "1"}}, "+7",
       "Не корректно указан радиус контролькой точки 1"},
      {"point 1 number before point 2", 5, {{"edCP2Alias", ""}, {"edCP1TelNumber", ""}}, "+7",
       "Не указан номер телефона контролькой точки 1"},
      {"point 2 before point 3", 5, {{"edCP3Alias", ""}, {"edCP2Radius", "0"}}, "+7",
       "Не корректно указан радиус контролькой точки 2"},
      {"voice gain first", 6, {{"edTelUp1", ""}, {"edVoiceGain", "0"}}, "+7",
       "Не корректно указано усиление микрофона"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ValidateCommand(c.Type, MakeSnapshot(c.Fields, c.Number)), U(c.Message)) << c.Name;
}

TEST(TemplateChecksTest, NumberAndPasswordAreCheckedForEveryCommandAndNoQuery) {
  for (int type = 1; type <= 22; ++type) {
    const bool query = type >= 13;
    EXPECT_EQ(ValidateCommand(type, MakeSnapshot({}, "+7", "")), query ? QString() : U("Не указан пароль")) << type;
    EXPECT_EQ(ValidateCommand(type, MakeSnapshot({}, "", "")), query ? QString() : U("Не указан номер телефона"))
        << type;
    EXPECT_EQ(ValidateCommand(type, MakeSnapshot({})), QString()) << type;
  }
  // Disabled request edits (a group) are checked all the same.
  TFormSnapshot group = MakeSnapshot({}, "", "");
  group.Set("edNumber").Enabled = false;
  group.Set("edPassword").Enabled = false;
  EXPECT_EQ(CheckNumberAndPassword(group), U("Не указан номер телефона"));
  // Queries check nothing, not even the fields they show.
  EXPECT_EQ(ValidateCommand(13, MakeSnapshot({{"edWritePeriod", "0"}}, "", "")), QString());
}

TEST(TemplateChecksTest, IpAddressesHaveFourSmallNumbers) {
  struct Case {
    const char* Text;
    bool Valid;
  };
  const Case cases[] = {
      {"192.168.0.1", true},  {"255.255.255.254", true}, {"0.0.0.0", true},   {"1x2y3z4", true},
      {"1Ж2.3.4", true},      {"255.255.255.255", false}, {"256.1.1.1", false}, {"1.1.256.1", false},
      {"1.1.1", false},       {"1.1.1.1.", false},        {"1.1.1.1 ", false},  {"1234.1.1.1", false},
      {"a.b.c.d", false},     {"", false},                {"1..1.1", false},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckIp(Cp1251(c.Text)), c.Valid) << c.Text;
}

}  // namespace
