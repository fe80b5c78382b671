// The message detail: the exact lines (label and highlighted value) of each reply kind, of
// each parameter answer shape and of the outgoing entries; the device text decoding; the UTC
// offset; the pane text with its highlighted ranges.

#include "viewer/SmsDetail.h"

#include "common/Text.h"
#include "gsm/ParamReply.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using TLines = std::vector<TDetailLine>;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
TDetailLine L(const char* label, const QString& value) { return {U(label), value}; }
TDetailLine L(const char* label, const char* value) { return {U(label), U(value)}; }
TDetailLine Plain(const char* text) { return {U(text), QString()}; }
TDetailLine Whole(const QString& value) { return {QString(), value}; }
TDetailLine Whole(const char* value) { return {QString(), U(value)}; }

// Expected texts follow the user's locale as the pane does: month names and separator.
QString Sep(const char* number) { return U(number).replace('.', QLocale::system().decimalPoint()); }
QString Time(int day, int month, int year, const char* clock) {
  // Dates are code page 1251 texts: a month name passes through it.
  const QString monthName = QStringFromCp1251(Cp1251FromQString(QLocale::system().monthName(month, QLocale::LongFormat)));
  return QString::number(day) + " " + monthName + " " +
         QString::number(year) + ", " + U(clock);
}
// 554512340 / 373756780: 55°45.1234' N, 37°37.5678' E.
QString Moscow(const char* separator = " ") {
  return "55" + U(separator) + Sep("45.1234") + "N 37" + U(separator) + Sep("37.5678") + "E";
}
constexpr int32_t kLat = 554512340, kLon = 373756780;
// Functions, not constants: the date unit's own constants may not be set up yet while this
// file's statics are.
TDateTime Fix() { return EncodeDateTime(2024, 3, 5, 14, 15, 30, 0); }
TDateTime LateFix() { return EncodeDateTime(2024, 3, 5, 22, 40, 0, 0); }

template <typename T>
TSmsInfo Record(uint8_t kind, std::function<void(T&)> fill, std::string name = "", uint8_t channel = 0) {
  TSmsInfo info;
  info.Kind = kind;
  info.DeviceNumber = 12345;
  info.DeviceName = Cp1251(name);
  info.Channel = channel;
  auto payload = std::make_unique<T>();
  fill(*payload);
  info.Payload = std::move(payload);
  return info;
}
TSmsInfo Bare(uint8_t kind, std::string name = "", std::string text = "") {
  TSmsInfo info;
  info.Kind = kind;
  info.DeviceName = Cp1251(name);
  info.Text = text;
  return info;
}

void FillGet(TSmsGet& get) {
  get.FixTime = Fix();
  get.Speed = 10;
  get.Course = 270.3f;
  get.Latitude = kLat;
  get.Longitude = kLon;
  get.Valid = 1;
}

TLines GetLines(const QString& gprs, bool withName) {
  TLines lines = {L("Тип: ", "ответ на запрос координат")};
  if (withName) lines.push_back(L("Имя устройства: ", "Газель"));
  TLines rest = {L("Положение: ", Moscow()), L("Скорость движения: ", "18.00 км/час"),
                 L("Направление движения: ", "270.3°."), L("Время координат: ", Time(5, 3, 2024, "17:15:30")),
                 L("Координаты: ", "верные")};
  lines.insert(lines.end(), rest.begin(), rest.end());
  if (!gprs.isEmpty()) lines.push_back(L("GPRS: ", gprs));
  return lines;
}

TLines InputLines(int i, const char* mode, const char* level, const char* gprs, const char* sms) {
  return {L("Цифровой вход ", QString::number(i)), L("Режим работы входа: ", mode),
          L("Уровень входа для отправки: ", level), L("Отправлять по GPRS: ", gprs), L("Отправлять по СМС: ", sms)};
}

TLines Concat(std::initializer_list<TLines> parts) {
  TLines all;
  for (const TLines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct Case {
  const char* Name;
  std::function<TSmsInfo()> Make;
  TLines Lines;
  bool Export;
};

std::vector<Case> Cases() {
  const QString kAllEntry = U("     Выдать импульс на первом выходе\n     Выдать импульс на втором выходе\n"
                              "     Отсылать данные через GPRS\n     Отправить SMS\n");
  const QString kNone = U("     Нет действия");
  return {
      {"GetChannel0NoGprsLine", [] { return Record<TSmsGet>(kKindGet, FillGet); }, GetLines("", false), true},
      {"GetChannel1", [] { return Record<TSmsGet>(kKindGet, FillGet, "", 1); }, GetLines(U("присутствует"), false),
       true},
      {"GetChannel2NameAfterType", [] { return Record<TSmsGet>(kKindGet, FillGet, "Газель", 2); },
       GetLines(U("недоступен"), true), true},
      {"GetSouthWest",
       [] {
         return Record<TSmsGet>(kKindGet, [](TSmsGet& g) {
           FillGet(g);
           g.Latitude = -334512340;
           g.Longitude = -703756780;
           g.Valid = 0;
           g.Speed = 0;
           g.Course = 0;
         });
       },
       {L("Тип: ", "ответ на запрос координат"), L("Положение: ", "33 " + Sep("45.1234") + "S 70 " + Sep("37.5678") + "W"),
        L("Скорость движения: ", "0.00 км/час"), L("Направление движения: ", "0.0°."),
        L("Время координат: ", Time(5, 3, 2024, "17:15:30")), L("Координаты: ", "ошибочные")},
       true},
      {"Set", [] { return Record<TSmsSet>(kKindSet, [](TSmsSet& s) { s.WritePeriod = 30; s.SendPeriod = -1; }); },
       {L("Тип: ", "ответ на установку периодов записи-отправки"), L("Период записи координат: ", "30"),
        L("Период отправки данных: ", "-1")},
       false},
      {"Chg", [] { return Record<TSmsChg>(kKindChg, [](TSmsChg& c) { c.ServerIp = "10.0.0.1"; c.Port = 8080; }); },
       {L("Тип: ", "ответ на установку параметров прибора"), L("IP адрес сервера: ", "10.0.0.1"),
        L("Порт сервера: ", "8080")},
       false},
      {"UssdAnswerNotDecoded",
       [] { return Record<TSmsUssd>(kKindUssd, [](TSmsUssd& u) { u.Answer = "\x04\x1f  ok"; }, "Газель"); },
       {L("Тип: ", "запрос USSD"), L("Имя устройства: ", "Газель"), L("Ответ прибора: ", QStringFromCp1251("\x04\x1f  ok"))},
       false},
      {"SoutNotKept", [] { return Record<TSmsOutput>(kKindSout, [](TSmsOutput& o) { o.Output = 2; o.State = 1; }); },
       {L("Тип: ", "установка выхода"), L("Выход: ", "2"), L("Установлено состояние: ", "1"),
        L("После перезагрузки прибора состояние: ", "не сохраняется")},
       false},
      {"MoutKept", [] { return Record<TSmsOutput>(kKindMout, [](TSmsOutput& o) { o.Output = 1; o.State = 0; }); },
       {L("Тип: ", "установка выхода"), L("Выход: ", "1"), L("Установлено состояние: ", "0"),
        L("После перезагрузки прибора состояние: ", "сохраняется")},
       false},
      {"PulseOutputLow16Bits",
       [] { return Record<TSmsNumberedValue>(kKindPulse, [](TSmsNumberedValue& p) { p.Number = 0x1FFFF; p.Value = 5; }); },
       {L("Тип: ", "выдать импульс на выходе"), L("Выход: ", "65535"),
        L("Сгенерирован импульс длительностью ", "5 сек.")},
       false},
      {"SaniMinimum", [] { return Record<TSmsSani>(kKindSani, [](TSmsSani& s) { s.Value = 60; s.Mode = 'f'; }); },
       {L("Тип: ", "установка периода записи аналоговых данных"), L("Период записи аналоговых данных: ", "60"),
        L("способ адаптивной записи: ", "не реже периода записи")},
       false},
      {"SaniOtherModeLabelOnly", [] { return Record<TSmsSani>(kKindSani, [](TSmsSani& s) { s.Value = 5; s.Mode = 'F'; }); },
       {L("Тип: ", "установка периода записи аналоговых данных"), L("Период записи аналоговых данных: ", "5"),
        L("способ адаптивной записи: ", "")},
       false},
      {"ScountPair34",
       [] { return Record<TSmsNumberedValue>(kKindScount, [](TSmsNumberedValue& c) { c.Number = 0x10002; c.Value = 7; }); },
       {L("Тип: ", "установка периода записи показаний счетчиков"), L("Счетчики: ", "3 и 4"),
        L("Период записи показаний счетчиков: ", "7")},
       false},
      {"ScountPair12",
       [] { return Record<TSmsNumberedValue>(kKindScount, [](TSmsNumberedValue& c) { c.Number = 0x20001; c.Value = 7; }); },
       {L("Тип: ", "установка периода записи показаний счетчиков"), L("Счетчики: ", "1 и 2"),
        L("Период записи показаний счетчиков: ", "7")},
       false},
      {"AlarmByNumberTimesMove",
       [] {
         return Record<TSmsAlarm>(kKindAlarm, [](TSmsAlarm& a) {
           a.InputNumber = 2; a.EventTime = LateFix(); a.GpsTime = Fix(); a.Speed = 1; a.Course = 90;
           a.Latitude = kLat; a.Longitude = kLon; a.Valid = 1;
         }, "", 1);
       },
       {L("Тип: ", "сработал вход"), L("Вход: ", "2"), L("Время срабатывания: ", Time(6, 3, 2024, "01:40:00")),
        L("Положение: ", Moscow()), L("Скорость движения: ", "1.80 км/час"), L("Направление движения: ", "90.0°."),
        L("Время координат: ", Time(5, 3, 2024, "17:15:30")), L("Координаты: ", "верные"), L("GPRS: ", "присутствует")},
       true},
      {"AlarmByName",
       [] {
         return Record<TSmsAlarm>(kKindAlarm, [](TSmsAlarm& a) {
           a.InputName = Cp1251("дверь"); a.EventTime = Fix(); a.GpsTime = Fix();
         });
       },
       {L("Тип: ", "сработал вход"), L("Имя входа: ", "дверь"), L("Время срабатывания: ", Time(5, 3, 2024, "17:15:30")),
        L("Положение: ", "0 0N 0 0E"), L("Скорость движения: ", "0.00 км/час"), L("Направление движения: ", "0.0°."),
        L("Время координат: ", Time(5, 3, 2024, "17:15:30")), L("Координаты: ", "ошибочные")},
       true},
      {"CGetChangeDateWithoutOffset",
       [] { return Record<TSmsCGet>(kKindCGet, [](TSmsCGet& c) { c.ChangeTime = Fix(); c.Phone = "+79001112233"; }, "Газель"); },
       {L("Тип: ", "последнее изменение настроек через СМС"), L("Имя устройства: ", "Газель"),
        L("Дата изменения: ", Time(5, 3, 2024, "14:15:30")), L("Номер телефона: ", "+79001112233")},
       false},
      {"SinWithSmsPhone",
       [] {
         return Record<TSmsSin>(kKindSin, [](TSmsSin& s) {
           s.Input = 3; s.Mode = 'b'; s.Level = 1; s.SendGprs = 0; s.SendSms = 1; s.SmsPhone = "+7900";
         });
       },
       {L("Тип: ", "Ответ на настройки цифровых входов"), L("Номер входа: ", "3"),
        L("Режим работы входа: ", "накопительный счётчик"), L("Уровень входа для отправки: ", "питание (+)"),
        L("Отправлять по GPRS: ", "нет"), L("Отправлять по СМС: ", "да"), L("Номер для отправки СМС: ", "+7900")},
       false},
      {"SinWithoutSms",
       [] { return Record<TSmsSin>(kKindSin, [](TSmsSin& s) { s.Input = 1; s.Mode = 'x'; s.SendGprs = 1; }); },
       {L("Тип: ", "Ответ на настройки цифровых входов"), L("Номер входа: ", "1"), L("Режим работы входа: ", ""),
        L("Уровень входа для отправки: ", "масса (-)"), L("Отправлять по GPRS: ", "да"), L("Отправлять по СМС: ", "нет")},
       false},
      {"Sain",
       [] {
         return Record<TSmsSain>(kKindSain, [](TSmsSain& s) {
           s.Aper = 10; s.Amod = 'v'; s.Ad1 = 'a'; s.Alv1 = 5; s.Us1 = 6; s.Ad2 = 'd'; s.Alv2 = 7; s.Us2 = 8;
         });
       },
       {L("Тип: ", "Настройки аналоговых входов"), L("Период записи аналоговых данных: ", "10"),
        L("способ адаптивной записи: ", "не чаще периода записи"), L("Номер входа: ", "1"),
        L("Режим работы входа: ", "аналоговый вход"), L("Интервал изменения состояния входа: ", "5"),
        L("Период усреднения показаний: ", "6"), L("Номер входа: ", "2"),
        L("Режим работы входа: ", "аналоговый + цифровой вход"), L("Интервал изменения состояния входа: ", "7"),
        L("Период усреднения показаний: ", "8")},
       false},
      {"PointCleared", [] { return Record<TSmsPointCleared>(kKindPcl, [](TSmsPointCleared& p) { p.Point = 4; }); },
       {L("Тип: ", "Стирание контрольной точки"), Whole("Контрольная точка № 4 удалена")}, false},
      {"Smode", [] { return Record<TSmsSmode>(kKindSmode, [](TSmsSmode& s) { s.M = 1; s.O = 1; s.W = 0; }); },
       {L("Тип: ", "Установка расширенных параметров"), L("Статический режим: ", "выключен"),
        L("Расширенный тип записи: ", "включен")},
       false},
      {"Telup", [] { return Record<TSmsTeleup>(kKindTelup, [](TSmsTeleup& t) { t.Index = 2; t.Phone = "+7911"; }); },
       {L("Тип: ", "Установлен телефон автоподнятия трубки"), L("Номер ячейки: ", "2"), L("Номер телефона: ", "+7911")},
       false},
      {"ApnUnsetUserAndPassword",
       [] { return Record<TSmsApn>(kKindApn, [](TSmsApn& a) { a.Apn = "internet"; }); },
       {L("Тип: ", "Настройки точки доступа"), L("APN: ", "internet"), L("пользователь (user): ", "не установлен"),
        L("пароль (password): ", "не установлен")},
       false},
      {"ResetWithName", [] { return Bare(kKindReset, "Газель"); },
       {L("Тип: ", "Прибор перезагружен"), L("Имя устройства: ", "Газель")}, false},
      {"Gconf1",
       [] {
         return Record<TSmsGconf1>(kKindGconf1, [](TSmsGconf1& c) {
           c.Apn = "apn"; c.User = "u"; c.ServerIp = "1.2.3.4"; c.Port = 40000; c.WritePeriod = 15;
           c.WriteMode = 'a'; c.SendPeriod = 99; c.M = 0; c.O = 1; c.W = 1;
         });
       },
       {L("Тип: ", "настройки прибора часть 1"), L("Точка доступа (APN): ", "apn"), L("пользователь (user): ", "u"),
        L("пароль (password): ", "не установлен"), L("IP адрес сервера: ", "1.2.3.4"), L("Порт сервера: ", "40000"),
        L("Период записи (интервал записи): ", "15"), L("Режим записи: ", "адаптивная запись"),
        L("Статический режим: ", "включен"), L("Расширенный тип записи: ", "выключен")},
       false},
      {"Gconf2Code0x66AndOthers",
       [] {
         return Record<TSmsGconf2>(kKindGconf2, [](TSmsGconf2& c) {
           c.Telup1 = "+71"; c.Telup2 = ""; c.Akn = "+73"; c.Ro = 'y'; c.Count12 = 10; c.Count34 = 20;
           c.Inputs[0] = {0x66, "+7a"};
           c.Inputs[1] = {0x41, "+7b"};
           c.Inputs[2] = {0x20, "+7c"};
           c.Inputs[3] = {0x04, "+7d"};
         });
       },
       Concat({{L("Тип: ", "настройки прибора часть 2"), L("Телефон для автоподнятия трубки 1: ", "+71"),
                L("Телефон для автоподнятия трубки 2: ", ""), L("Телефон уведомления о разряде батареи: ", "+73"),
                L("Индикация звонка на выходе прибора: ", "включена"),
                L("Период записи показаний счётчиков 1 и 2: ", "10"),
                L("Период записи показаний счётчиков 3 и 4: ", "20"), Plain("Настройки цифровых входов.")},
               InputLines(1, "обычный вход", "масса (-)", "нет", "нет"),
               InputLines(2, "накопительный счётчик", "питание (+)", "да", "да"),
               {L("Номер для отправки СМС: ", "+7b")},
               InputLines(3, "периодический счётчик", "масса (-)", "да", "да"),
               {L("Номер для отправки СМС: ", "+7c")},
               InputLines(4, "периодический счётчик", "масса (-)", "нет", "да"),
               {L("Номер для отправки СМС: ", "+7d")}}),
       false},
      {"Gconf4EntryAllOnExitAllOff",
       [] {
         return Record<TSmsGconf4>(kKindGconf4, [](TSmsGconf4& c) {
           c.Points[0] = {kLat, kLon, 100, 0xB8};
           c.Points[1] = {0, 0, 0, 0x41 | 0x80 | 0x20};
           c.Points[2] = {0, 0, 5, 0xFF};
         });
       },
       {L("Тип: ", "настройки контрольных точек"),
        L("Контрольная точка (КТ) ", "1"), L("Положение КТ: ", Moscow()), L("Радиус КТ: ", "100"),
        Plain("При входе в контрольную точку: "), Whole(kAllEntry), Plain("При выходе из контрольной точки: "),
        Whole(kNone),
        L("Контрольная точка (КТ) ", "2"), L("Положение КТ: ", "0 0N 0 0E"), L("Радиус КТ: ", "0"),
        Plain("При входе в контрольную точку: "),
        Whole(U("     Отсылать данные через GPRS\n     Отправить SMS\n")), Plain("При выходе из контрольной точки: "),
        Whole(U("     Выдать импульс на первом выходе\n     Отсылать данные через GPRS\n")),
        L("Контрольная точка (КТ) ", "3"), L("Положение КТ: ", "0 0N 0 0E"), L("Радиус КТ: ", "5"),
        Plain("При входе в контрольную точку: "), Whole(kNone), Plain("При выходе из контрольной точки: "),
        Whole(kNone)},
       false},
      {"Battery", [] { return Bare(kKindBattery, "Газель"); },
       {L("Тип: ", "Аккумулятор резервного питания разряжен")}, false},
      {"IOPointExitByNumber",
       [] {
         return Record<TSmsIOPoint>(kKindIOPoint, [](TSmsIOPoint& p) {
           p.PointNumber = 3; p.Direction = 1; p.Time = Fix(); p.Valid = 1; p.Latitude = kLat; p.Longitude = kLon;
           p.Speed = 2.5f; p.Course = 12.5f;
         }, "", 2);
       },
       {L("Тип: ", "Выход из контрольной точки"), L("Контрольная точка: ", "3"),
        L("Время входа (выхода): ", Time(5, 3, 2024, "17:15:30")), L("Координаты точки: ", Moscow()),
        L("Скорость движения: ", "4.50 км/час"), L("Направление движения: ", "12.5°."), L("Координаты: ", "верные"),
        L("GPRS: ", "недоступен")},
       true},
      {"IOPointEntryByName",
       [] { return Record<TSmsIOPoint>(kKindIOPoint, [](TSmsIOPoint& p) { p.PointName = "base"; p.Time = Fix(); }); },
       {L("Тип: ", "Вход в контрольную точку"), L("Имя контрольной точки: ", "base"),
        L("Время входа (выхода): ", Time(5, 3, 2024, "17:15:30")), L("Координаты точки: ", "0 0N 0 0E"),
        L("Скорость движения: ", "0.00 км/час"), L("Направление движения: ", "0.0°."), L("Координаты: ", "ошибочные")},
       true},
      {"BadShowsTextAsReceived", [] { return Bare(kKindBad, "", "12345 hello  world"); },
       {L("Тип: ", "Входящее сообщение."), Plain("Исходный текст:"), Whole("12345 hello  world")}, false},
      {"UnknownDecodesMarks", [] { return Bare(kKindUnknown, "", "\x04\x1f\x04\x40\x20\x20\x04\x3f"); },
       {L("Тип: ", "Входящее сообщение."), Plain("Исходный текст:"), Whole("Пр п")}, false},
      {"GaniHasNoBranch", [] { return Bare(kKindGani, "", "ani"); },
       {L("Тип: ", "Входящее сообщение."), Plain("Исходный текст:"), Whole("ani")}, false},
      {"PositionKindWithoutPayloadShowsText", [] { return Bare(kKindGet, "", "broken"); },
       {L("Тип: ", "Входящее сообщение."), Plain("Исходный текст:"), Whole("broken")}, false},
      // Parameter answers: the name line before the type line.
      {"ParamValue40000NameFirst",
       [] { return Record<TSmsParamValue>(128, [](TSmsParamValue& v) { v.Value = -25536; }, "Газель"); },
       {L("Имя устройства: ", "Газель"), L("Тип: ", QStringFromCp1251(ParamCaption(0))), L("Значение: ", "40000")},
       false},
      {"ParamMode1", [] { return Record<TSmsParamValue>(146, [](TSmsParamValue& v) { v.Value = 0; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(18))), L("Значение: ", "включен")}, false},
      {"ParamModeWide", [] { return Record<TSmsParamValue>(147, [](TSmsParamValue& v) { v.Value = 1; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(19))), L("Значение: ", "включена")}, false},
      {"ParamString", [] { return Record<TSmsUssd>(133, [](TSmsUssd& u) { u.Answer = "1.2.3.4"; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(5))), L("Значение: ", "1.2.3.4")}, false},
      {"ParamModeWrTime", [] { return Record<TSmsUssd>(145, [](TSmsUssd& u) { u.Answer = "n"; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(17))), L("Значение: ", "запись по времени")}, false},
      {"ParamModeWrCaseSensitive", [] { return Record<TSmsUssd>(145, [](TSmsUssd& u) { u.Answer = "N"; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(17))), L("Значение: ", "адаптивная запись")}, false},
      {"ParamRingOut", [] { return Record<TSmsUssd>(149, [](TSmsUssd& u) { u.Answer = "y"; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(21))), L("Значение: ", "подавать сигнал на выход")}, false},
      {"ParamOnlyButton", [] { return Record<TSmsUssd>(153, [](TSmsUssd& u) { u.Answer = "n"; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(25))), L("Значение: ", "разрешить работу с другими устройствами")},
       false},
      {"ParamModeAnalog", [] { return Record<TSmsUssd>(162, [](TSmsUssd& u) { u.Answer = "f"; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(34))), L("Значение: ", "записывать не реже периода записи")}, false},
      {"ParamPair", [] { return Record<TSmsParamPair>(142, [](TSmsParamPair& p) { p.Index = 2; p.Value = -1; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(14))), L("Номер входа (контрольной точки): ", "2"),
        L("Значение: ", "65535")},
       false},
      {"ParamIndexedString", [] { return Record<TSmsTeleup>(137, [](TSmsTeleup& t) { t.Index = 1; t.Phone = "+7"; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(9))), L("Номер входа (контрольной точки): ", "1"),
        L("Значение: ", "+7")},
       false},
      {"ParamModeAd", [] { return Record<TSmsTeleup>(159, [](TSmsTeleup& t) { t.Index = 1; t.Phone = "d"; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(31))), L("Номер входа (контрольной точки): ", "1"),
        L("Значение: ", "аналоговый + цифровой")},
       false},
      {"ParamApnFull", [] { return Record<TSmsApn>(136, [](TSmsApn& a) { a.Apn = "a"; a.Password = "p"; }); },
       {L("Тип: ", QStringFromCp1251(ParamCaption(8))), L("APN: ", "a"), L("пользователь (user): ", "не установлен"),
        L("пароль (password): ", "p")},
       false},
      {"ParamInputFlagsNoPhoneLine",
       [] {
         return Record<TSmsSin>(139, [](TSmsSin& s) { s.Input = 2; s.Mode = 'c'; s.SendSms = 1; s.SmsPhone = "+7"; });
       },
       {L("Тип: ", QStringFromCp1251(ParamCaption(11))), L("Номер входа: ", "2"),
        L("Режим работы входа: ", "периодический счётчик"), L("Уровень входа для отправки: ", "масса (-)"),
        L("Отправлять по GPRS: ", "нет"), L("Отправлять по СМС: ", "да")},
       false},
      {"ParamControlFlags",
       [] {
         return Record<TSmsControlFlags>(140, [](TSmsControlFlags& f) {
           f.Index = 2;
           f.Flags = {true, false, true, false, false, false, true, false};
         });
       },
       {L("Тип: ", QStringFromCp1251(ParamCaption(12))), Plain("При входе в контрольную точку 2 выполнить действия:"),
        Whole("Подать импульс на выход 1\r\nПодать импульс на выход 2\r\nОтправить SMS"),
        Plain("При выходе из контрольной точки 2 выполнить действия:"), Whole("")},
       false},
      {"ParamPointExports",
       [] {
         return Record<TSmsParamPoint>(141, [](TSmsParamPoint& p) { p.Index = 1; p.Latitude = kLat; p.Longitude = kLon; });
       },
       {L("Тип: ", QStringFromCp1251(ParamCaption(13))), L("Номер контрольной точки: ", "1"),
        L("Центр контрольной точки: ", Moscow("° "))},
       true},
      {"EventFormNameHasNoLines", [] { return Bare(165, "Газель"); },
       {L("Имя устройства: ", "Газель"), L("Тип: ", QStringFromCp1251(ParamCaption(37)))}, false},
  };
}

std::string Show(const TLines& lines) {
  std::string text;
  for (const TDetailLine& line : lines)
    text += "[" + line.Label.toStdString() + "|" + line.Value.toStdString() + "]\n";
  return text;
}

TEST(SmsDetail, EveryKindWritesItsLinesWithTheValuesHighlighted) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.Name);
    const TSmsInfo record = c.Make();
    const TSmsDetail detail = MessageDetail(record, 3);
    EXPECT_EQ(Show(detail.Lines), Show(c.Lines));
    EXPECT_EQ(detail.Export, c.Export);
  }
}

TEST(SmsDetail, DeviceTimesFollowTheOffsetAndTheChangeDateDoesNot) {
  struct Case {
    uint8_t Kind;
    const char* Label;
  };
  const Case cases[] = {{kKindGet, "Время координат: "}, {kKindAlarm, "Время срабатывания: "},
                        {kKindIOPoint, "Время входа (выхода): "}, {kKindCGet, "Дата изменения: "}};
  for (const Case& c : cases) {
    TSmsInfo record;
    switch (c.Kind) {
      case kKindGet: record = Record<TSmsGet>(c.Kind, [](TSmsGet& g) { g.FixTime = Fix(); }); break;
      case kKindAlarm: record = Record<TSmsAlarm>(c.Kind, [](TSmsAlarm& a) { a.EventTime = Fix(); }); break;
      case kKindIOPoint: record = Record<TSmsIOPoint>(c.Kind, [](TSmsIOPoint& p) { p.Time = Fix(); }); break;
      default: record = Record<TSmsCGet>(c.Kind, [](TSmsCGet& g) { g.ChangeTime = Fix(); }); break;
    }
    for (int offset : {-5, 0, 10}) {
      QString value;
      for (const TDetailLine& line : MessageDetail(record, offset).Lines)
        if (line.Label == U(c.Label)) value = line.Value;
      const int expectedHour = c.Kind == kKindCGet ? 14 : 14 + offset;
      const int day = expectedHour >= 24 ? 6 : 5;
      EXPECT_EQ(value, Time(day, 3, 2024, "") + QString::asprintf("%02d:15:30", expectedHour % 24))
          << int(c.Kind) << " offset " << offset;
    }
  }
}

TEST(SmsDetail, OutgoingEntryShowsItsTextAndARefusal) {
  struct Case {
    uint8_t Accepted;
    std::string Text;
    TLines Lines;
  };
  const Case cases[] = {
      {1, "12345 get", {L("Тип: ", "исходящее сообщение"), Plain("Текст сообщения:"), Whole("12345 get")}},
      {0, "\x04\x1f\x04\x40", {L("Тип: ", "исходящее сообщение"), Plain("Текст сообщения:"), Whole("Пр"),
                                Whole("Сообщение не принято к доставке")}},
  };
  for (const Case& c : cases) {
    TLogEntry entry;
    entry.Direction = 1;
    entry.Accepted = c.Accepted;
    entry.Text = c.Text;
    const TSmsDetail detail = OutgoingDetail(entry);
    EXPECT_EQ(Show(detail.Lines), Show(c.Lines)) << int(c.Accepted);
    EXPECT_FALSE(detail.Export);
  }
}

TEST(SmsDetail, DeviceTextMarksBecomeCyrillicAndGapsThin) {
  struct Case {
    std::string In;
    std::string Out;  // code page 1251
  };
  const Case cases[] = {
      {"plain  text   stays ", "plain  text   stays "},
      {"\x04\x1f\x04\x40\x20\x20\x04\x3f", Cp1251("Пр п")},
      {"\x04\x04\x10", Cp1251("А")},
      {"\x04\x01\x04\x71\x04\x51", Cp1251("Ёёб")},
      {"\x04\x10\x04\x2f\x04\x30\x04\x4f", Cp1251("АЯая")},
      {"\x04\x10 a  b   c    d", Cp1251("Аa b c  d")},
      {" \x04\x10", Cp1251("А")},
      {"\x04\xff", std::string("\xaf")},
      {"end\x04", "end"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeDeviceText(c.In), c.Out) << Utf8FromCp1251(c.Out);
}

TEST(SmsDetail, UtcOffsetIsInWholeHoursAcrossADateChange) {
  struct Case {
    const char* Name;
    TDateTime Local, Utc;
    int Offset;
  };
  const TDateTime day = EncodeDate(2024, 3, 5);
  auto at = [](TDateTime date, int h, int m) { return date + EncodeTime(h, m, 0, 0); };
  const Case cases[] = {
      {"Moscow", at(day, 15, 0), at(day, 12, 0), 3},
      {"HalfHourZone", at(day, 17, 30), at(day, 12, 0), 5},
      {"HalfHourZoneMinutesCarry", at(day, 12, 29), at(day, 6, 59), 6},
      {"LocalADayLater", at(day + 1, 1, 0), at(day, 20, 0), 5},
      {"LocalADayEarlier", at(day - 1, 19, 0), at(day, 2, 0), -7},
      {"Utc", at(day, 0, 0), at(day, 0, 0), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(GetUtcOffsetHours(c.Local, c.Utc), c.Offset) << c.Name;
}

TEST(SmsDetail, CoordinatesShowDegreesMinutesAndHemisphere) {
  struct Case {
    int32_t Lat, Lon;
    const char* Separator;
    QString Text;
  };
  const Case cases[] = {
      {kLat, kLon, " ", Moscow()},
      {kLat, kLon, "° ", Moscow("° ")},
      {-1, 1800000000, " ", "0 1E-5S 180 0E"},
      {1, 1, " ", "0 1E-5N 0 1E-5E"},
      {INT32_MIN, INT32_MAX, " ", "214 " + Sep("74.83648") + "S 214 " + Sep("74.83647") + "E"},
  };
  for (const Case& c : cases) EXPECT_EQ(CoordinateText(c.Lat, c.Lon, U(c.Separator)), c.Text) << c.Lat;
}

TEST(SmsDetail, PaneTextJoinsLinesAndSpansCoverOnlyValues) {
  const TLines lines = {L("Тип: ", "x"), Plain("plain"), Whole("a\r\nbc"), L("empty: ", "")};
  std::vector<TDetailSpan> spans;
  const QString text = DetailText(lines, &spans);
  EXPECT_EQ(text, U("Тип: x\nplain\na\nbc\nempty: "));
  EXPECT_EQ(spans, (std::vector<TDetailSpan>{{5, 1}, {13, 4}}));
}

}  // namespace
