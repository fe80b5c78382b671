#include "viewer/SmsDetail.h"

#include "common/Text.h"
#include "gsm/ParamReply.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <cmath>
#include <cstdlib>

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
QString Ansi(const std::string& cp1251) { return QStringFromCp1251(cp1251); }

// int16 payload fields are shown as the device meant them: unsigned 16-bit values.
QString Number(int16_t value) { return QString::number(static_cast<uint16_t>(value)); }
QString Number(uint16_t value) { return QString::number(value); }
QString Number(int32_t value) { return QString::number(value); }

QString Speed(float speed) { return QString::asprintf("%.2f км/час", static_cast<double>(speed) * 1.8); }
QString Course(float course) { return QString::asprintf("%.1f°.", static_cast<double>(course)); }
QString Validity(uint8_t valid) { return valid != 0 ? U("верные") : U("ошибочные"); }
QString TextOrUnset(const std::string& text) { return text.empty() ? U("не установлен") : Ansi(text); }

QString DateText(TDateTime value) {
  if (!std::isfinite(value)) value = 0;
  return Ansi(FormatDateTime("d mmmm yyyy, hh:nn:ss", value));
}

// A value in the general floating format: up to 15 significant digits, no trailing zeros,
// the user's decimal separator; very small values in the exponent form "1E-5".
QString FloatText(double value) {
  QString text = QString::number(value, 'g', 15);
  int e = text.indexOf('e');
  if (e >= 0) {
    QString exponent = text.mid(e + 1);
    bool negative = exponent.startsWith('-');
    exponent.remove(0, exponent.startsWith('-') || exponent.startsWith('+') ? 1 : 0);
    while (exponent.size() > 1 && exponent.startsWith('0')) exponent.remove(0, 1);
    text = text.left(e) + "E" + (negative ? "-" : "") + exponent;
  }
  return text.replace('.', QLocale::system().decimalPoint());
}

QString CoordinatePart(int32_t value, const QString& separator, char positive, char negative) {
  int64_t magnitude = std::llabs(static_cast<int64_t>(value));
  return QString::number(magnitude / 10000000) + separator + FloatText((magnitude % 10000000) * 0.00001) +
         QChar(value < 0 ? negative : positive);
}

class TBuilder {
public:
  explicit TBuilder(int utcOffsetHours) : Offset(utcOffsetHours) {}
  TSmsDetail Detail;

  void Labelled(const char* label, const QString& value) { Detail.Lines.push_back({U(label), value}); }
  void Whole(const QString& value) { Detail.Lines.push_back({QString(), value}); }
  void Plain(const QString& text) { Detail.Lines.push_back({text, QString()}); }
  void Type(const char* value) { Labelled("Тип: ", U(value)); }
  void DeviceName(const TSmsInfo& record) {
    if (!record.DeviceName.empty()) Labelled("Имя устройства: ", Ansi(record.DeviceName));
  }
  void Gprs(const TSmsInfo& record) {
    if (record.Channel != 0) Labelled("GPRS: ", record.Channel == 1 ? U("присутствует") : U("недоступен"));
  }
  QString DeviceTime(TDateTime value) const { return DateText(value + Offset / 24.0); }
  static QString Position(int32_t latitude, int32_t longitude) {
    return CoordinateText(latitude, longitude, " ");
  }

  void Fallback(const TSmsInfo& record) {
    Type("Входящее сообщение.");
    Plain(U("Исходный текст:"));
    Whole(Ansi(DecodeDeviceText(record.Text)));
  }

  void InputMode(char mode) {
    const char* text = mode == 'a' ? "обычный вход"
                       : mode == 'b' ? "накопительный счётчик"
                       : mode == 'c' ? "периодический счётчик"
                                     : "";
    Labelled("Режим работы входа: ", U(text));
  }
  void AdaptiveMode(char mode) {
    const char* text = mode == 'f' ? "не реже периода записи" : mode == 'v' ? "не чаще периода записи" : "";
    Labelled("способ адаптивной записи: ", U(text));
  }
  void InputFlags(const TSmsSin& sin) {
    Labelled("Номер входа: ", Number(sin.Input));
    InputMode(sin.Mode);
    Labelled("Уровень входа для отправки: ", sin.Level != 0 ? U("питание (+)") : U("масса (-)"));
    Labelled("Отправлять по GPRS: ", sin.SendGprs != 0 ? U("да") : U("нет"));
    Labelled("Отправлять по СМС: ", sin.SendSms != 0 ? U("да") : U("нет"));
  }
  void AccessPoint(const char* apnLabel, const std::string& apn, const std::string& user,
                   const std::string& password) {
    Labelled(apnLabel, Ansi(apn));
    Labelled("пользователь (user): ", TextOrUnset(user));
    Labelled("пароль (password): ", TextOrUnset(password));
  }
  void StaticAndWide(int16_t m, int16_t w) {
    Labelled("Статический режим: ", m != 0 ? U("выключен") : U("включен"));
    Labelled("Расширенный тип записи: ", w != 0 ? U("выключен") : U("включен"));
  }

  // Returns false when the record has not the payload its kind needs.
  bool ShowMessageDetail(const TSmsInfo& record);
  bool ShowSettingReplyDetail(const TSmsInfo& record);

private:
  int Offset;
};

bool TBuilder::ShowMessageDetail(const TSmsInfo& record) {
  switch (record.Kind) {
    case kKindGet: {
      auto* get = record.PayloadAs<TSmsGet>();
      if (!get) return false;
      Type("ответ на запрос координат");
      DeviceName(record);
      Labelled("Положение: ", Position(get->Latitude, get->Longitude));
      Labelled("Скорость движения: ", Speed(get->Speed));
      Labelled("Направление движения: ", Course(get->Course));
      Labelled("Время координат: ", DeviceTime(get->FixTime));
      Labelled("Координаты: ", Validity(get->Valid));
      Gprs(record);
      Detail.Export = true;
      return true;
    }
    case kKindSet: {
      auto* set = record.PayloadAs<TSmsSet>();
      if (!set) return false;
      Type("ответ на установку периодов записи-отправки");
      Labelled("Период записи координат: ", Number(set->WritePeriod));
      Labelled("Период отправки данных: ", Number(set->SendPeriod));
      return true;
    }
    case kKindChg: {
      auto* chg = record.PayloadAs<TSmsChg>();
      if (!chg) return false;
      Type("ответ на установку параметров прибора");
      Labelled("IP адрес сервера: ", Ansi(chg->ServerIp));
      Labelled("Порт сервера: ", Number(chg->Port));
      return true;
    }
    case kKindUssd: {
      auto* ussd = record.PayloadAs<TSmsUssd>();
      if (!ussd) return false;
      Type("запрос USSD");
      DeviceName(record);
      Labelled("Ответ прибора: ", Ansi(ussd->Answer));
      return true;
    }
    case kKindSout:
    case kKindMout: {
      auto* output = record.PayloadAs<TSmsOutput>();
      if (!output) return false;
      Type("установка выхода");
      Labelled("Выход: ", Number(output->Output));
      Labelled("Установлено состояние: ", Number(output->State));
      Labelled("После перезагрузки прибора состояние: ",
               record.Kind == kKindMout ? U("сохраняется") : U("не сохраняется"));
      return true;
    }
    case kKindPulse: {
      auto* pulse = record.PayloadAs<TSmsNumberedValue>();
      if (!pulse) return false;
      Type("выдать импульс на выходе");
      Labelled("Выход: ", Number(static_cast<int16_t>(pulse->Number & 0xFFFF)));
      Labelled("Сгенерирован импульс длительностью ", QString::asprintf("%d сек.", pulse->Value));
      return true;
    }
    case kKindSani: {
      auto* sani = record.PayloadAs<TSmsSani>();
      if (!sani) return false;
      Type("установка периода записи аналоговых данных");
      Labelled("Период записи аналоговых данных: ", Number(sani->Value));
      AdaptiveMode(sani->Mode);
      return true;
    }
    case kKindScount: {
      auto* count = record.PayloadAs<TSmsNumberedValue>();
      if (!count) return false;
      Type("установка периода записи показаний счетчиков");
      Labelled("Счетчики: ", (count->Number & 0xFFFF) == 1 ? U("1 и 2") : U("3 и 4"));
      Labelled("Период записи показаний счетчиков: ", Number(count->Value));
      return true;
    }
    case kKindAlarm: {
      auto* alarm = record.PayloadAs<TSmsAlarm>();
      if (!alarm) return false;
      Type("сработал вход");
      if (alarm->InputNumber != 0)
        Labelled("Вход: ", Number(alarm->InputNumber));
      else
        Labelled("Имя входа: ", Ansi(alarm->InputName));
      Labelled("Время срабатывания: ", DeviceTime(alarm->EventTime));
      Labelled("Положение: ", Position(alarm->Latitude, alarm->Longitude));
      Labelled("Скорость движения: ", Speed(alarm->Speed));
      Labelled("Направление движения: ", Course(alarm->Course));
      Labelled("Время координат: ", DeviceTime(alarm->GpsTime));
      Labelled("Координаты: ", Validity(alarm->Valid));
      Gprs(record);
      Detail.Export = true;
      return true;
    }
    case kKindCGet: {
      auto* cget = record.PayloadAs<TSmsCGet>();
      if (!cget) return false;
      Type("последнее изменение настроек через СМС");
      DeviceName(record);
      Labelled("Дата изменения: ", DateText(cget->ChangeTime));
      Labelled("Номер телефона: ", Ansi(cget->Phone));
      return true;
    }
    case kKindSin: {
      auto* sin = record.PayloadAs<TSmsSin>();
      if (!sin) return false;
      Type("Ответ на настройки цифровых входов");
      InputFlags(*sin);
      if (sin->SendSms != 0) Labelled("Номер для отправки СМС: ", Ansi(sin->SmsPhone));
      return true;
    }
    case kKindSain: {
      auto* sain = record.PayloadAs<TSmsSain>();
      if (!sain) return false;
      Type("Настройки аналоговых входов");
      Labelled("Период записи аналоговых данных: ", Number(sain->Aper));
      AdaptiveMode(sain->Amod);
      struct TInput {
        char Ad;
        int32_t Alv, Us;
      };
      const TInput inputs[] = {{sain->Ad1, sain->Alv1, sain->Us1}, {sain->Ad2, sain->Alv2, sain->Us2}};
      int number = 1;
      for (const TInput& input : inputs) {
        Labelled("Номер входа: ", QString::number(number++));
        Labelled("Режим работы входа: ", U(input.Ad == 'a'   ? "аналоговый вход"
                                           : input.Ad == 'd' ? "аналоговый + цифровой вход"
                                                             : ""));
        Labelled("Интервал изменения состояния входа: ", Number(input.Alv));
        Labelled("Период усреднения показаний: ", Number(input.Us));
      }
      return true;
    }
    case kKindPcl: {
      auto* cleared = record.PayloadAs<TSmsPointCleared>();
      if (!cleared) return false;
      Type("Стирание контрольной точки");
      Whole(QString::asprintf("Контрольная точка № %d удалена", static_cast<int>(cleared->Point)));
      return true;
    }
    case kKindSmode: {
      auto* smode = record.PayloadAs<TSmsSmode>();
      if (!smode) return false;
      Type("Установка расширенных параметров");
      StaticAndWide(smode->M, smode->W);
      return true;
    }
    case kKindTelup: {
      auto* telup = record.PayloadAs<TSmsTeleup>();
      if (!telup) return false;
      Type("Установлен телефон автоподнятия трубки");
      Labelled("Номер ячейки: ", Number(telup->Index));
      Labelled("Номер телефона: ", Ansi(telup->Phone));
      return true;
    }
    case kKindApn: {
      auto* apn = record.PayloadAs<TSmsApn>();
      if (!apn) return false;
      Type("Настройки точки доступа");
      AccessPoint("APN: ", apn->Apn, apn->User, apn->Password);
      return true;
    }
    case kKindReset:
      Type("Прибор перезагружен");
      DeviceName(record);
      return true;
    case kKindGconf1: {
      auto* conf = record.PayloadAs<TSmsGconf1>();
      if (!conf) return false;
      Type("настройки прибора часть 1");
      AccessPoint("Точка доступа (APN): ", conf->Apn, conf->User, conf->Password);
      Labelled("IP адрес сервера: ", Ansi(conf->ServerIp));
      Labelled("Порт сервера: ", Number(conf->Port));
      Labelled("Период записи (интервал записи): ", Number(conf->WritePeriod));
      Labelled("Режим записи: ", U(conf->WriteMode == 'n'   ? "запись по времени"
                                   : conf->WriteMode == 'a' ? "адаптивная запись"
                                                            : ""));
      StaticAndWide(conf->M, conf->W);
      return true;
    }
    case kKindGconf2: {
      auto* conf = record.PayloadAs<TSmsGconf2>();
      if (!conf) return false;
      Type("настройки прибора часть 2");
      Labelled("Телефон для автоподнятия трубки 1: ", Ansi(conf->Telup1));
      Labelled("Телефон для автоподнятия трубки 2: ", Ansi(conf->Telup2));
      Labelled("Телефон уведомления о разряде батареи: ", Ansi(conf->Akn));
      Labelled("Индикация звонка на выходе прибора: ", conf->Ro == 'y' ? U("включена") : U("выключена"));
      Labelled("Период записи показаний счётчиков 1 и 2: ", Number(conf->Count12));
      Labelled("Период записи показаний счётчиков 3 и 4: ", Number(conf->Count34));
      Plain(U("Настройки цифровых входов."));
      for (int i = 0; i < 4; ++i) {
        const TSmsGconf2Input& input = conf->Inputs[i];
        const int32_t c = input.Code;
        Labelled("Цифровой вход ", QString::number(i + 1));
        const int mode = c & 0x60;
        Labelled("Режим работы входа: ", U(mode == 0x60   ? "обычный вход"
                                           : mode == 0x40 ? "накопительный счётчик"
                                                          : "периодический счётчик"));
        Labelled("Уровень входа для отправки: ", (c & 0x01) ? U("питание (+)") : U("масса (-)"));
        Labelled("Отправлять по GPRS: ", (c & 0x04) ? U("нет") : U("да"));
        Labelled("Отправлять по СМС: ", (c & 0x02) ? U("нет") : U("да"));
        if (!(c & 0x02)) Labelled("Номер для отправки СМС: ", Ansi(input.Text));
      }
      return true;
    }
    case kKindGconf4: {
      auto* conf = record.PayloadAs<TSmsGconf4>();
      if (!conf) return false;
      Type("настройки контрольных точек");
      // A set bit switches the action off; each block names its own actions only.
      auto actions = [](int32_t flags, int first, int second, int gprs, int sms) {
        QString block;
        if (!(flags & first)) block += U("     Выдать импульс на первом выходе\n");
        if (!(flags & second)) block += U("     Выдать импульс на втором выходе\n");
        if (!(flags & gprs)) block += U("     Отсылать данные через GPRS\n");
        if (!(flags & sms)) block += U("     Отправить SMS\n");
        return block.isEmpty() ? U("     Нет действия") : block;
      };
      for (int i = 0; i < 3; ++i) {
        const TSmsControlPoint& point = conf->Points[i];
        Labelled("Контрольная точка (КТ) ", QString::number(i + 1));
        Labelled("Положение КТ: ", Position(point.Latitude, point.Longitude));
        Labelled("Радиус КТ: ", Number(point.Radius));
        Plain(U("При входе в контрольную точку: "));
        Whole(actions(point.Flags, 0x01, 0x40, 0x02, 0x04));
        Plain(U("При выходе из контрольной точки: "));
        Whole(actions(point.Flags, 0x08, 0x80, 0x10, 0x20));
      }
      return true;
    }
    case kKindBattery:
      Type("Аккумулятор резервного питания разряжен");
      return true;
    case kKindIOPoint: {
      auto* io = record.PayloadAs<TSmsIOPoint>();
      if (!io) return false;
      Type(io->Direction != 0 ? "Выход из контрольной точки" : "Вход в контрольную точку");
      if (io->PointNumber != 0)
        Labelled("Контрольная точка: ", Number(io->PointNumber));
      else
        Labelled("Имя контрольной точки: ", Ansi(io->PointName));
      Labelled("Время входа (выхода): ", DeviceTime(io->Time));
      Labelled("Координаты точки: ", Position(io->Latitude, io->Longitude));
      Labelled("Скорость движения: ", Speed(io->Speed));
      Labelled("Направление движения: ", Course(io->Course));
      Labelled("Координаты: ", Validity(io->Valid));
      Gprs(record);
      Detail.Export = true;
      return true;
    }
    default:
      return false;
  }
}

bool TBuilder::ShowSettingReplyDetail(const TSmsInfo& record) {
  const int kind = record.Kind;
  DeviceName(record);
  Labelled("Тип: ", Ansi(ParamCaption(kind - kFirstParamKind)));
  switch (kind) {
    case 128: case 129: case 130: case 131: case 132: case 134: case 146: case 147: case 156: case 157:
    case 158: {
      auto* value = record.PayloadAs<TSmsParamValue>();
      if (!value) return false;
      QString text = Number(value->Value);
      if (kind == 146) text = value->Value != 0 ? U("выключен") : U("включен");
      if (kind == 147) text = value->Value != 0 ? U("включена") : U("выключена");
      Labelled("Значение: ", text);
      return true;
    }
    case 133: case 135: case 145: case 149: case 153: case 154: case 155: case 162: {
      auto* answer = record.PayloadAs<TSmsUssd>();
      if (!answer) return false;
      const std::string& a = answer->Answer;
      QString text = Ansi(a);
      if (kind == 145) text = a == "n" ? U("запись по времени") : U("адаптивная запись");
      if (kind == 149) text = a == "y" ? U("подавать сигнал на выход") : U("не подавать сигнал на выход");
      if (kind == 153)
        text = a == "y" ? U("разрешить работу только iButton") : U("разрешить работу с другими устройствами");
      if (kind == 162) text = a == "f" ? U("записывать не реже периода записи") : U("записывать не чаще периода записи");
      Labelled("Значение: ", text);
      return true;
    }
    case 142: case 150: case 151: case 152: case 160: case 161: case 163: {
      auto* pair = record.PayloadAs<TSmsParamPair>();
      if (!pair) return false;
      Labelled("Номер входа (контрольной точки): ", Number(pair->Index));
      Labelled("Значение: ", Number(pair->Value));
      return true;
    }
    case 137: case 138: case 143: case 144: case 148: case 159: {
      auto* indexed = record.PayloadAs<TSmsTeleup>();
      if (!indexed) return false;
      Labelled("Номер входа (контрольной точки): ", Number(indexed->Index));
      QString text = Ansi(indexed->Phone);
      if (kind == 159) text = indexed->Phone == "d" ? U("аналоговый + цифровой") : U("только аналоговый");
      Labelled("Значение: ", text);
      return true;
    }
    case 136: {
      auto* apn = record.PayloadAs<TSmsApn>();
      if (!apn) return false;
      AccessPoint("APN: ", apn->Apn, apn->User, apn->Password);
      return true;
    }
    case 139: {
      auto* sin = record.PayloadAs<TSmsSin>();
      if (!sin) return false;
      InputFlags(*sin);
      return true;
    }
    case 140: {
      auto* control = record.PayloadAs<TSmsControlFlags>();
      if (!control) return false;
      auto actions = [&](int first) {
        QString block;
        if (control->Flags[first]) block += U("Подать импульс на выход 1\r\n");
        if (control->Flags[first + 2]) block += U("Подать импульс на выход 2\r\n");
        if (control->Flags[first + 4]) block += U("Начать передачу данных\r\n");
        if (control->Flags[first + 6]) block += U("Отправить SMS");
        return block;
      };
      Plain(QString::asprintf("При входе в контрольную точку %d выполнить действия:", control->Index));
      Whole(actions(0));
      Plain(QString::asprintf("При выходе из контрольной точки %d выполнить действия:", control->Index));
      Whole(actions(1));
      return true;
    }
    case 141: {
      auto* point = record.PayloadAs<TSmsParamPoint>();
      if (!point) return false;
      Labelled("Номер контрольной точки: ", Number(point->Index));
      Labelled("Центр контрольной точки: ", CoordinateText(point->Latitude, point->Longitude, U("° ")));
      Detail.Export = true;
      return true;
    }
    default:
      // The event forms (164 to 166) and codes past them carry no lines of their own.
      return true;
  }
}

}  // namespace

TSmsDetail MessageDetail(const TSmsInfo& record, int utcOffsetHours) {
  TBuilder builder(utcOffsetHours);
  const bool written =
      record.Kind >= kFirstParamKind ? builder.ShowSettingReplyDetail(record) : builder.ShowMessageDetail(record);
  if (!written) {
    // A kind without a branch of its own, or a record that lacks the payload of its kind: the
    // text as received.
    builder.Detail = {};
    builder.Fallback(record);
  }
  return std::move(builder.Detail);
}

TSmsDetail OutgoingDetail(const TLogEntry& entry) {
  TBuilder builder(0);
  builder.Type("исходящее сообщение");
  builder.Plain(U("Текст сообщения:"));
  builder.Whole(Ansi(DecodeDeviceText(entry.Text)));
  if (entry.Accepted == 0) builder.Whole(U("Сообщение не принято к доставке"));
  return std::move(builder.Detail);
}

std::string DecodeDeviceText(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  bool marked = false;
  bool anyMark = false;
  for (unsigned char byte : text) {
    if (byte == 0x04) {
      marked = true;
      anyMark = true;
      continue;
    }
    if (marked) {
      if (byte == 0x01)
        byte = 0xA8;
      else if (byte == 0x71)
        byte = 0xB8;
      else if (byte >= 0x50 && byte <= 0x7F)
        byte = static_cast<unsigned char>(byte + 0x90);
      else
        byte = static_cast<unsigned char>(byte + 0xB0);
      marked = false;
    }
    decoded.push_back(static_cast<char>(byte));
  }
  if (!anyMark) return decoded;
  // In every run of spaces the first, third, fifth ... go.
  std::string thinned;
  thinned.reserve(decoded.size());
  bool lastDropped = false;
  for (char c : decoded) {
    if (c == ' ' && !lastDropped) {
      lastDropped = true;
      continue;
    }
    lastDropped = false;
    thinned.push_back(c);
  }
  return thinned;
}

int GetUtcOffsetHours(TDateTime local, TDateTime utc) {
  int hour, minute, second, msec;
  DecodeTime(local, hour, minute, second, msec);
  int utcHour;
  DecodeTime(utc, utcHour, minute, second, msec);
  int offset = hour - utcHour;
  const double localDay = std::floor(local), utcDay = std::floor(utc);
  if (localDay > utcDay) offset += 24;
  if (localDay < utcDay) offset -= 24;
  return offset;
}

int GetUtcOffsetHours() {
  const QDateTime now = QDateTime::currentDateTime();
  auto value = [](const QDateTime& time) {
    const QDate date = time.date();
    const QTime clock = time.time();
    return EncodeDateTime(date.year(), date.month(), date.day(), clock.hour(), clock.minute(), clock.second(), 0);
  };
  return GetUtcOffsetHours(value(now), value(now.toUTC()));
}

QString CoordinateText(int32_t latitude, int32_t longitude, const QString& separator) {
  return CoordinatePart(latitude, separator, 'N', 'S') + " " + CoordinatePart(longitude, separator, 'E', 'W');
}

QString DetailText(const std::vector<TDetailLine>& lines, std::vector<TDetailSpan>* spans) {
  QString text;
  if (spans) spans->clear();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    QString label = lines[i].Label, value = lines[i].Value;
    label.replace("\r\n", "\n");
    value.replace("\r\n", "\n");
    text += label;
    if (spans && !value.isEmpty()) spans->push_back({static_cast<int>(text.size()), static_cast<int>(value.size())});
    text += value;
  }
  return text;
}
