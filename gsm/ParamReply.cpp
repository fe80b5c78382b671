#include "gsm/ParamReply.h"

#include "gsm/ReplyFields.h"

#include "common/DateTime.h"
#include "common/RegExpr.h"
#include "common/Text.h"

#include <cstdint>
#include <string_view>

const std::array<const char*, kParamKindCount> ParamReplyPatterns = {
    R"~(periodwr=(\d+);)~",
    R"~(periodcount12=(\d+);)~",
    R"~(periodcount34=(\d+);)~",
    R"~(periodanalog=(\d+);)~",
    R"~(periodsend=(\d+);)~",
    R"~(ip=(\d{1,3}.\d{1,3}.\d{1,3}.\d{1,3});)~",
    R"~(port=(\d+);)~",
    R"~(alias=([\s\d\w_-]+);)~",
    R"~(apnfull="([^"]*)","([^"]*)","([^"]*)";)~",
    R"~(telsms(\d{1})=(([\+\d]+)|(\(null\)));)~",
    R"~(inalias(\d{1})=([\s\d\w_-]+);)~",
    R"~(inpflags(\d{1})=([01]),([01]),([01]),([01]),([abc]),([01]),([01]),([01]),([01]);)~",
    R"~(controlflags(\d{1})=([01]),([01]),([01]),([01]),([01]),([01]),([01]),([01]),([01]),([01]);)~",
    R"~(controlpoint(\d{1})=([\d]+)?,([ns]{1})?,([\d]+)?,([we]{1})?;)~",
    R"~(radius(\d{1})=(\d+);)~",
    R"~(cpalias(\d{1})=([\s\d\w-_]+);)~",
    R"~(cptelnum(\d{1})=(([\+\d]+)|(\(null\)));)~",
    R"~(modewr=([an]);)~",
    R"~(mode1=([01]);)~",
    R"~(modewide=([01]);)~",
    R"~(telup(\d{1})=([\+\d]+);)~",
    R"~(ringout=([yn]);)~",
    R"~(pulse(\d{1})=(\d+);)~",
    R"~(sout(\d{1})=([01]);)~",
    R"~(mout(\d{1})=([01]);)~",
    R"~(onlybutton=([yn]);)~",
    R"~(telakn=(([\+\d]+)|(\(null\)));)~",
    R"~(resip=(\d{1,3}.\d{1,3}.\d{1,3}.\d{1,3});)~",
    R"~(resport=(\d+);)~",
    R"~(micamp=(\d);)~",
    R"~(dynamp=(\d+);)~",
    R"~(modead(\d{1})=([ad]);)~",
    R"~(alevel(\d{1})=(\d+);)~",
    R"~(periodusr(\d{1})=(\d+);)~",
    R"~(modeanalog=([fv]);)~",
    R"~(porog(\d{1})=(\d+);)~",
    R"~(([\s\d\w_-]+):(\d{6}):(\d{6}).\d+,([av]{1}),([\d.]+)?,([ns]{1})?,([\d.]+)?,([we]{1})?,([\d.]+)?,([\d.]+)?,([\d]{6}))~",
    R"~(battery low;)~",
    R"~(([\s\d\w_-]+)\s+(in|out):(\d{6}).\d+,([av]{1}),([\d.]+)?,([ns]{1})?,([\d.]+)?,([we]{1})?,([\d.]+)?,([\d.]+)?,([\d]{6}))~",
};

namespace {

const std::array<const char*, kParamKindCount> kCaptionsUtf8 = {
    "Период записи данных",
    "Период записи показаний счетчиков 1-2",
    "Период записи показаний счетчиков 3-4",
    "Период записи аналоговых данных",
    "Период отправки данных",
    "IP адрес основного сервера",
    "Порт основного сервера",
    "Имя прибора",
    "Точка доступа",
    "Телефон уведомления о срабатывании входа",
    "Имя входа",
    "Настройки входов",
    "Настройки контрольных точек",
    "Центр контрольной точки",
    "Радиус контрольной точки",
    "Имя контрольной точки",
    "Номер телефона контрольной точки",
    "Режим записи",
    "Статического режима",
    "Запись с вектором скорости",
    "Номер автоподнятия трубки",
    "Ундикация звонка на выходе прибора",
    "Сгенерировать импульс",
    "Установить выход",
    "Установить выход и запомнить состояние",
    "Разрешить работу устройств по 1-wire",
    "Номер уведомления о разряде аккумулятора",
    "IP адрес резервного сервера",
    "Порт резервного сервера",
    "Усиление микрофона",
    "Громкость динамика",
    "Аналоговый вход как цифровой",
    "Порог изменения записи для адаптивного режима",
    "Период усреднения аналогового входа",
    "Режим записи аналоговых данных",
    "Порог переключения аналогового входа",
    "alarm",
    "battery low",
    "iopoint",
};

// The payload shape that each row builds from its groups.
enum class TShape : uint8_t {
  Value,         // TSmsParamValue from g1
  Text,          // TSmsUssd from g1
  Apn,           // TSmsApn from g1 to g3
  IndexedText,   // TSmsTeleup from g1, g2
  InputFlags,    // TSmsSin
  ControlFlags,  // TSmsControlFlags
  Point,         // TSmsParamPoint
  Pair,          // TSmsParamPair from g1, g2
  Alarm,         // event form, kind 11
  Battery,       // event form, kind 24, no payload
  IOPoint,       // event form, kind 25
};

constexpr std::array<TShape, kParamKindCount> kShapes = {
    TShape::Value,       TShape::Value,        TShape::Value,       TShape::Value,
    TShape::Value,       TShape::Text,         TShape::Value,       TShape::Text,
    TShape::Apn,         TShape::IndexedText,  TShape::IndexedText, TShape::InputFlags,
    TShape::ControlFlags, TShape::Point,       TShape::Pair,        TShape::IndexedText,
    TShape::IndexedText, TShape::Text,         TShape::Value,       TShape::Value,
    TShape::IndexedText, TShape::Text,         TShape::Pair,        TShape::Pair,
    TShape::Pair,        TShape::Text,         TShape::Text,        TShape::Text,
    TShape::Value,       TShape::Value,        TShape::Value,       TShape::IndexedText,
    TShape::Pair,        TShape::Pair,         TShape::Text,        TShape::Pair,
    TShape::Alarm,       TShape::Battery,      TShape::IOPoint,
};

// PCRE2 rejects a "-" right after a class escape inside brackets ("[\w-_]") as a bad range;
// the devices mean a literal hyphen there, as in the other name bodies, so it is escaped.
std::string CompilableExpression(std::string_view body) {
  static constexpr std::string_view kClassEscapes = "dwsDWS";
  std::string out = "^";
  bool afterClassEscape = false;
  ScanPattern(body, [&](const TPatternToken& token) {
    const bool hyphen = afterClassEscape && token.Kind == TPatternToken::TKind::Plain && token.Text == "-";
    out += hyphen ? "\\-" : token.Text;
    afterClassEscape = token.InClass && token.Kind == TPatternToken::TKind::Escape &&
                       kClassEscapes.find(token.Text[1]) != std::string_view::npos;
  });
  out.push_back('$');
  return out;
}

// The literal text every match of an anchored body starts with ("periodwr=", "telsms",
// "battery low;"), so that a rest can be turned away without running the matcher. It stops
// before the first metacharacter and before a character that a quantifier follows.
std::string LiteralPrefix(std::string_view body) {
  static constexpr std::string_view kMeta = "\\^$.|?*+()[]{}";
  static constexpr std::string_view kQuantifiers = "?*+{";
  std::string prefix;
  for (size_t i = 0; i < body.size(); ++i) {
    if (kMeta.find(body[i]) != std::string_view::npos) break;
    if (i + 1 < body.size() && kQuantifiers.find(body[i + 1]) != std::string_view::npos) break;
    prefix.push_back(body[i]);
  }
  return prefix;
}

struct TParamMatchers {
  std::array<TRegExpr, kParamKindCount> Rows;
  std::array<std::string, kParamKindCount> Prefixes;

  TParamMatchers() {
    for (int i = 0; i < kParamKindCount; ++i) {
      Rows[i].SetExpression(CompilableExpression(ParamReplyPatterns[i]));
      Prefixes[i] = LiteralPrefix(ParamReplyPatterns[i]);
    }
  }
};

// One set of compiled matchers per thread: the reader and send threads parse concurrently.
TParamMatchers& Matchers() {
  static thread_local TParamMatchers matchers;
  return matchers;
}

int16_t Low16(const std::string& text) { return static_cast<int16_t>(StrToIntDef(text, 0)); }

// `text` read as `word` followed by a number, the way "input %d" scans: the word must be
// there exactly, blanks after it are skipped (none are needed), then an optionally signed
// number of at least one digit; what follows the number does not matter. Digits beyond 32
// bits wrap instead of being undefined.
bool ReadWordNumber(const std::string& text, std::string_view word, int32_t& number) {
  if (text.compare(0, word.size(), word) != 0) return false;
  size_t i = word.size();
  auto isBlank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10u + uint32_t(text[i] - '0');
  if (negative) value = 0u - value;
  number = static_cast<int32_t>(value);
  return true;
}

std::unique_ptr<TSmsPayload> BuildAlarm(const TRegExpr& m) {
  auto alarm = std::make_unique<TSmsAlarm>();
  TDateTime date = ReadReportDate(m.Match(11));
  std::string input = m.Match(1);
  int32_t number = 0;
  if (ReadWordNumber(input, "input", number)) alarm->InputNumber = static_cast<int16_t>(number);
  else alarm->InputName = input;
  alarm->GpsTime = date + ReadClockTime(m.Match(3));
  alarm->EventTime = date + ReadClockTime(m.Match(2));
  alarm->Speed = ReadFloat(m.Match(9));
  alarm->Course = ReadFloat(m.Match(10));
  alarm->Valid = m.Match(4) == "a" ? 1 : 0;
  alarm->Latitude = ReadCoordinate(m.Match(5), m.Match(6), "s");
  alarm->Longitude = ReadCoordinate(m.Match(7), m.Match(8), "w");
  return alarm;
}

std::unique_ptr<TSmsPayload> BuildIOPoint(const TRegExpr& m) {
  auto point = std::make_unique<TSmsIOPoint>();
  std::string name = m.Match(1);
  int32_t number = 0;
  if (ReadWordNumber(name, "point", number)) point->PointNumber = static_cast<int16_t>(number);
  else point->PointName = name;
  point->Direction = m.Match(2) == "in" ? 0 : 1;
  point->Time = ReadReportDate(m.Match(11)) + ReadClockTime(m.Match(3));
  point->Valid = m.Match(4) == "a" ? 1 : 0;
  point->Latitude = ReadCoordinate(m.Match(5), m.Match(6), "s");
  point->Longitude = ReadCoordinate(m.Match(7), m.Match(8), "w");
  point->Speed = ReadFloat(m.Match(9));
  point->Course = ReadFloat(m.Match(10));
  return point;
}

std::unique_ptr<TSmsPayload> BuildPayload(TShape shape, const TRegExpr& m) {
  switch (shape) {
    case TShape::Value: {
      auto value = std::make_unique<TSmsParamValue>();
      value->Value = Low16(m.Match(1));
      return value;
    }
    case TShape::Text: {
      auto text = std::make_unique<TSmsUssd>();
      text->Answer = m.Match(1);
      return text;
    }
    case TShape::Apn: {
      auto apn = std::make_unique<TSmsApn>();
      apn->Apn = m.Match(1);
      apn->User = m.Match(2);
      apn->Password = m.Match(3);
      return apn;
    }
    case TShape::IndexedText: {
      auto indexed = std::make_unique<TSmsTeleup>();
      indexed->Index = Low16(m.Match(1));
      indexed->Phone = m.Match(2);
      return indexed;
    }
    case TShape::InputFlags: {
      auto flags = std::make_unique<TSmsSin>();
      flags->Input = Low16(m.Match(1));
      flags->Level = Low16(m.Match(2));
      flags->SendGprs = Low16(m.Match(3));
      flags->SendSms = Low16(m.Match(4));
      flags->Mode = FirstLetter(m.Match(6));
      return flags;
    }
    case TShape::ControlFlags: {
      auto flags = std::make_unique<TSmsControlFlags>();
      flags->Index = StrToIntDef(m.Match(1), 0);
      for (int k = 0; k < 8; ++k) flags->Flags[k] = StrToIntDef(m.Match(2 + k), 0) != 0;
      return flags;
    }
    case TShape::Point: {
      auto point = std::make_unique<TSmsParamPoint>();
      point->Index = Low16(m.Match(1));
      int32_t latitude = StrToIntDef(m.Match(2), 0);
      int32_t longitude = StrToIntDef(m.Match(4), 0);
      point->Latitude = m.Match(3) == "s" ? -latitude : latitude;
      point->Longitude = m.Match(5) == "w" ? -longitude : longitude;
      return point;
    }
    case TShape::Pair: {
      auto pair = std::make_unique<TSmsParamPair>();
      pair->Index = Low16(m.Match(1));
      pair->Value = Low16(m.Match(2));
      return pair;
    }
    case TShape::Alarm: return BuildAlarm(m);
    case TShape::IOPoint: return BuildIOPoint(m);
    case TShape::Battery: break;
  }
  return nullptr;
}

}  // namespace

const std::string& ParamCaption(int row) {
  static const std::array<std::string, kParamKindCount> captions = [] {
    std::array<std::string, kParamKindCount> converted;
    for (int i = 0; i < kParamKindCount; ++i) converted[i] = Cp1251(kCaptionsUtf8[i]);
    return converted;
  }();
  static const std::string none;
  if (row < 0 || row >= kParamKindCount) return none;
  return captions[row];
}

bool MatchParamReply(TSmsInfo& record, const std::string& rest) {
  record.Kind = kKindUnknown;
  record.Payload.reset();
  TParamMatchers& matchers = Matchers();
  for (int i = 0; i < kParamKindCount; ++i) {
    const std::string& prefix = matchers.Prefixes[i];
    if (!prefix.empty() && (rest.empty() || rest[0] != prefix[0])) continue;
    if (rest.compare(0, prefix.size(), prefix) != 0) continue;
    TRegExpr& matcher = matchers.Rows[i];
    if (!matcher.Exec(rest)) continue;
    TShape shape = kShapes[i];
    // The event forms are stored under their event kinds, set before the payload is built so
    // that a date that fails to encode leaves an event record without payload, never one of
    // the name-only kinds.
    switch (shape) {
      case TShape::Alarm: record.Kind = kKindAlarm; break;
      case TShape::Battery: record.Kind = kKindBattery; break;
      case TShape::IOPoint: record.Kind = kKindIOPoint; break;
      default: record.Kind = static_cast<uint8_t>(kFirstParamKind + i); break;
    }
    record.Payload = BuildPayload(shape, matcher);
    return true;
  }
  return true;
}
