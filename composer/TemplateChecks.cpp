#include "composer/TemplateChecks.h"

#include "common/RegExpr.h"

#include <cstdint>
#include <map>

int ReadDecimal(const QString& text) {
  if (text.isEmpty()) return -1;
  int64_t value = 0;
  for (QChar ch : text) {
    if (ch < u'0' || ch > u'9') return -1;
    value = value * 10 + (ch.unicode() - u'0');
    if (value > INT32_MAX) return -1;
  }
  return static_cast<int>(value);
}

bool CheckFilled(const TFormSnapshot& snapshot, const std::string& name) {
  const TControlState& edit = snapshot[name];
  return !edit.Enabled || !edit.Text.isEmpty();
}

bool CheckRange(const TFormSnapshot& snapshot, const std::string& name, int min, bool zeroAllowed, int max) {
  const TControlState& edit = snapshot[name];
  if (!edit.Enabled) return true;
  const int value = ReadDecimal(edit.Text);
  if (value < 0) return false;
  if (value >= min && value <= max) return true;
  return value == 0 && zeroAllowed;
}

namespace {

TFieldCheck Filled(std::string field, const char* message) {
  return {std::move(field), false, 0, false, 0, QString::fromUtf8(message)};
}

TFieldCheck Range(std::string field, int min, bool zeroAllowed, int max, const char* message) {
  return {std::move(field), true, min, zeroAllowed, max, QString::fromUtf8(message)};
}

std::string Numbered(const char* prefix, int n, const char* suffix) {
  return prefix + std::to_string(n) + suffix;
}

QString NumberedMessage(const char* message, int n) { return QString::fromUtf8(message) + QString::number(n); }

std::map<int, std::vector<TFieldCheck>> MakeChecks() {
  std::map<int, std::vector<TFieldCheck>> checks;

  checks[2] = {
      Filled("edDevAlias", "Не указано имя устройства"),
      Range("edWritePeriod", 1, false, 600, "Не корректный период записи"),
      Range("edSendPeriod", 10, true, 43200, "Не корректный период отсылки данных"),
      Filled("edAPN", "Не указана точка доступа"),
      Filled("edBaseServer", "Не указан основной сервер"),
      Range("edBasePort", 1, false, 65535, "Не верно указан порт основного сервера"),
      Filled("edReservServer", "Не указан резервный сервер"),
      Range("edReservPort", 1, false, 65535, "Не верно указан порт резервного сервера"),
  };

  std::vector<TFieldCheck>& digital = checks[3];
  digital.push_back(Range("edCount1Period", 5, true, 3600, "Не корректный период отправки счетчиков 1-2"));
  digital.push_back(Range("edCount2Period", 5, true, 3600, "Не корректный период отправки счетчиков 3-4"));
  for (int n = 1; n <= 4; ++n) {
    digital.push_back({Numbered("edIn", n, "Alias"), false, 0, false, 0,
                       NumberedMessage("Не указано имя цифрового входа ", n)});
    digital.push_back({Numbered("edIn", n, "TelNum"), false, 0, false, 0,
                       NumberedMessage("Не указано телефонный номер цифрового входа ", n)});
  }

  std::vector<TFieldCheck>& analog = checks[4];
  analog.push_back(Range("edAInPeriod", 5, false, 3600, "Не корректный период записи аналоговых данных"));
  for (int n = 1; n <= 2; ++n) {
    analog.push_back({Numbered("edAIn", n, "AveragePeriod"), true, 1, false, 60,
                      NumberedMessage("Не корректный период усреднения аналогового входа ", n)});
    analog.push_back({Numbered("edAIn", n, "AdaptiveLevel"), true, 10, false, 1023,
                      NumberedMessage("Не корректный порог изменения аналогового входа ", n)});
    analog.push_back({Numbered("edAIn", n, "DigitLevel"), true, 100, false, 1000,
                      NumberedMessage("Не корректный порог переключения аналогового входа ", n)});
  }

  std::vector<TFieldCheck>& points = checks[5];
  struct TCoordinate {
    const char* Edit;
    int Max;
  };
  const TCoordinate coordinates[] = {{"Latd", 90}, {"Latm", 60}, {"Latmm", 99999},
                                     {"Lond", 180}, {"Lonm", 60}, {"Lonmm", 99999}};
  for (int n = 1; n <= 3; ++n) {
    points.push_back({Numbered("edCP", n, "Alias"), false, 0, false, 0,
                      NumberedMessage("Не указано имя контролькой точки ", n)});
    for (const TCoordinate& coordinate : coordinates)
      points.push_back({Numbered("edCP", n, coordinate.Edit), true, 0, false, coordinate.Max,
                        NumberedMessage("Не корректно указана координата контролькой точки ", n)});
    points.push_back({Numbered("edCP", n, "Radius"), true, 30, false, 10000000,
                      NumberedMessage("Не корректно указан радиус контролькой точки ", n)});
    points.push_back({Numbered("edCP", n, "TelNumber"), false, 0, false, 0,
                      NumberedMessage("Не указан номер телефона контролькой точки ", n)});
  }

  checks[6] = {
      Range("edVoiceGain", 1, false, 8, "Не корректно указано усиление микрофона"),
      Range("edVoiceVol", 1, false, 15, "Не корректно указана громкость динамиков"),
      Filled("edTelUp1", "Не указан 1-ый телефонный номер автоподнятия"),
      Filled("edTelUp2", "Не указан 2-ой телефонный номер автоподнятия"),
  };
  checks[7] = {Filled("edAkkumTel", "Не указан номер для оповещения о разряде аккумулятора")};
  checks[9] = {Filled("edUSSD", "Не указан текст USSD запроса")};
  checks[11] = {
      Range("edOut1Pulse", 1, false, 10, "Не корректно указана длительность импульса на выходе 1"),
      Range("edOut2Pulse", 1, false, 10, "Не корректно указана длительность импульса на выходе 2"),
  };
  return checks;
}

bool IsQuery(int commandType) { return commandType >= 13 && commandType <= 22; }

}  // namespace

const std::vector<TFieldCheck>& FieldChecks(int commandType) {
  static const std::map<int, std::vector<TFieldCheck>> checks = MakeChecks();
  static const std::vector<TFieldCheck> none;
  auto it = checks.find(commandType);
  return it == checks.end() ? none : it->second;
}

QString CheckNumberAndPassword(const TFormSnapshot& snapshot) {
  if (snapshot["edNumber"].Text.isEmpty()) return QString::fromUtf8("Не указан номер телефона");
  if (snapshot["edPassword"].Text.isEmpty()) return QString::fromUtf8("Не указан пароль");
  return {};
}

QString ValidateCommand(int commandType, const TFormSnapshot& snapshot) {
  if (IsQuery(commandType)) return {};
  QString error = CheckNumberAndPassword(snapshot);
  if (!error.isEmpty()) return error;
  for (const TFieldCheck& check : FieldChecks(commandType)) {
    const bool passed = check.Range ? CheckRange(snapshot, check.Field, check.Min, check.ZeroAllowed, check.Max)
                                    : CheckFilled(snapshot, check.Field);
    if (!passed) return check.Message;
  }
  return {};
}

bool CheckIp(const std::string& text) {
  TRegExpr expression(R"(^(\d{1,3}).(\d{1,3}).(\d{1,3}).(\d{1,3})$)");
  if (!expression.Exec(text)) return false;
  for (int group = 1; group <= 4; ++group) {
    const int value = ReadDecimal(QString::fromStdString(expression.Match(group)));
    if (value < 0) return false;
    if (value >= (group == 4 ? 255 : 256)) return false;
  }
  return true;
}
