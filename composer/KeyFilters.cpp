#include "composer/KeyFilters.h"

#include <QList>
#include <QStringView>

#include <map>
#include <string>

namespace {

bool IsDigit(char32_t ch) { return ch >= U'0' && ch <= U'9'; }
bool IsLatinLetter(char32_t ch) { return (ch >= U'a' && ch <= U'z') || (ch >= U'A' && ch <= U'Z'); }

std::map<std::string, TKeyFilter, std::less<>> MakeEditFilters() {
  std::map<std::string, TKeyFilter, std::less<>> filters;
  auto set = [&filters](TKeyFilter filter, std::initializer_list<std::string> edits) {
    for (const std::string& edit : edits) filters[edit] = filter;
  };
  using enum TKeyFilter;
  set(TelNumber, {"edNumber", "edAkkumTel", "edTelUp1", "edTelUp2"});
  set(Password, {"edPassword", "edDevAlias"});
  set(Ussd, {"edUSSD"});
  set(Numeric, {"edWritePeriod", "edSendPeriod", "edBasePort", "edReservPort", "edCount1Period", "edCount2Period",
                "edAInPeriod", "edVoiceGain", "edVoiceVol", "edOut1Pulse", "edOut2Pulse"});
  set(IpAddress, {"edBaseServer", "edReservServer"});
  set(Apn, {"edAPN"});
  set(ApnUser, {"edAPNUser", "edAPNPassword"});
  for (int n = 1; n <= 4; ++n) {
    const std::string in = "edIn" + std::to_string(n);
    filters[in + "TelNum"] = TelNumber;
    filters[in + "Alias"] = Password;
  }
  for (int n = 1; n <= 2; ++n) {
    const std::string in = "edAIn" + std::to_string(n);
    for (const char* field : {"AveragePeriod", "AdaptiveLevel", "DigitLevel"}) filters[in + field] = Numeric;
  }
  for (int n = 1; n <= 3; ++n) {
    const std::string cp = "edCP" + std::to_string(n);
    filters[cp + "TelNumber"] = TelNumber;
    filters[cp + "Alias"] = Password;
    for (const char* field : {"Latd", "Latm", "Latmm", "Lond", "Lonm", "Lonmm", "Radius"}) filters[cp + field] = Numeric;
  }
  return filters;
}

}  // namespace

bool IsKeyAllowed(TKeyFilter filter, char32_t ch) {
  if (ch == 3 || ch == 8 || ch == 22) return true;
  switch (filter) {
    case TKeyFilter::TelNumber: return IsDigit(ch) || ch == U'+';
    case TKeyFilter::Password: return (ch >= U'0' && ch <= U'z') || ch == U'-' || ch == U'_';
    case TKeyFilter::Ussd: return IsDigit(ch) || ch == U'#' || ch == U'*';
    case TKeyFilter::Numeric: return IsDigit(ch);
    case TKeyFilter::IpAddress: return IsDigit(ch) || ch == U'.';
    case TKeyFilter::Apn: return IsLatinLetter(ch) || ch == U'.';
    case TKeyFilter::ApnUser: return IsLatinLetter(ch);
  }
  return false;
}

QString FilterText(TKeyFilter filter, const QString& text) {
  QString kept;
  for (char32_t ch : QStringView(text).toUcs4())
    if (ch >= U' ' && IsKeyAllowed(filter, ch)) kept.append(QString::fromUcs4(&ch, 1));
  return kept;
}

std::optional<TKeyFilter> KeyFilterOf(std::string_view editName) {
  static const std::map<std::string, TKeyFilter, std::less<>> filters = MakeEditFilters();
  auto it = filters.find(editName);
  if (it == filters.end()) return std::nullopt;
  return it->second;
}
