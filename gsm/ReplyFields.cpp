#include "gsm/ReplyFields.h"

#include "common/RegExpr.h"
#include "common/Text.h"

#include <charconv>
#include <cmath>

void SetReplyHead(TSmsInfo& record, const TRegExpr& match, int nameGroup, int gprsGroup) {
  record.DeviceNumber = StrToIntDef(match.Match(1), 0);
  if (nameGroup > 0) {
    std::string name = match.Match(nameGroup);
    // The group always includes both parentheses when it matched.
    if (name.size() >= 2) record.DeviceName = name.substr(1, name.size() - 2);
  }
  record.Channel = GetReplyChannel(record.DeviceNumber, match.Match(gprsGroup));
}

namespace {

bool StartsWithDeviceNumber(std::string_view text) {
  if (text.size() < 5) return false;
  for (size_t i = 0; i < 5; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace

bool RecogniseReply(TSmsInfo& record, TRegExpr& pattern, const std::string& text, uint8_t kind, THeadForm head,
                    std::string_view keyword) {
  static constexpr std::string_view kAnchoredHead = "^(\\d{5})";
  if (pattern.Expression().starts_with(kAnchoredHead) && !StartsWithDeviceNumber(text)) return false;
  if (text.find(keyword) == std::string::npos) return false;
  if (!pattern.Exec(text)) return false;
  record.Kind = kind;
  if (head == THeadForm::Named) SetReplyHead(record, pattern, 2, 3);
  else SetReplyHead(record, pattern, 0, 2);
  return true;
}

namespace {

template <class T>
T ReadLeadingNumber(std::string_view text) {
  T value = 0;
  if (text.empty()) return 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (result.ec != std::errc()) return 0;
  return value;
}

int TwoDigits(std::string_view text, size_t offset) {
  if (offset >= text.size()) return 0;
  return StrToIntDef(text.substr(offset, 2), 0);
}

}  // namespace

int32_t ReadCoordinate(std::string_view text, std::string_view hemisphere, std::string_view negativeMark) {
  double degrees = ReadLeadingNumber<double>(text);
  double scaled = std::trunc(degrees * 100000.0);
  // Digits beyond any real coordinate would not fit; such a text reads as no position.
  if (!(scaled > -2147483648.0 && scaled < 2147483648.0)) return 0;
  int32_t value = static_cast<int32_t>(scaled);
  return hemisphere == negativeMark ? -value : value;
}

float ReadFloat(std::string_view text) {
  return ReadLeadingNumber<float>(text);
}

TDateTime ReadReportDate(std::string_view ddmmyy) {
  return EncodeDate(2000 + TwoDigits(ddmmyy, 4), TwoDigits(ddmmyy, 2), TwoDigits(ddmmyy, 0));
}

TDateTime ReadClockTime(std::string_view hhmmss) {
  return EncodeTime(TwoDigits(hhmmss, 0), TwoDigits(hhmmss, 2), TwoDigits(hhmmss, 4), 0);
}

int32_t ReadHex(std::string_view text, size_t maxDigits) {
  uint32_t value = 0;
  for (size_t i = 0; i < text.size() && i < maxDigits; ++i) {
    char c = text[i];
    uint32_t digit;
    if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
    else break;
    value = (value << 4) | digit;
  }
  return static_cast<int32_t>(value);
}
