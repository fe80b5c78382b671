#include "composer/ControlPointPick.h"

#include <cmath>
#include <cstdint>

TDegreesMinutes DegreesMinutesOf(double degrees) {
  TDegreesMinutes result;
  if (!std::isfinite(degrees) || std::fabs(degrees) > 180) return result;
  // Rounded in extended precision, with 0.6 as the nearest double: the fraction is rounded
  // once, on the whole thousandths, so 9.99999 gives 9 59 999 and never 60 minutes.
  long double magnitude = std::fabs(static_cast<long double>(degrees));
  int64_t n = static_cast<int64_t>(magnitude * 100000.0L + 0.5L);
  int64_t r = n % 100000;
  int64_t m = static_cast<int64_t>(static_cast<long double>(r) * static_cast<long double>(0.6) + 0.5L);
  result.Degrees = static_cast<int>(n / 100000);
  result.Minutes = static_cast<int>(m / 1000);
  result.Thousandths = static_cast<int>(m % 1000);
  return result;
}

TControlPointTexts ControlPointTextsOf(double latitude, double longitude) {
  TControlPointTexts texts;
  TDegreesMinutes lat = DegreesMinutesOf(latitude);
  TDegreesMinutes lon = DegreesMinutesOf(longitude);
  texts.Latd = QString::number(lat.Degrees);
  texts.Latm = QString::number(lat.Minutes);
  texts.Latmm = QStringLiteral("%1").arg(lat.Thousandths, 3, 10, QLatin1Char('0'));
  texts.Lond = QString::number(lon.Degrees);
  texts.Lonm = QString::number(lon.Minutes);
  texts.Lonmm = QStringLiteral("%1").arg(lon.Thousandths, 3, 10, QLatin1Char('0'));
  texts.NorthSouth = latitude < 0 ? QStringLiteral("S") : QStringLiteral("N");
  texts.EastWest = longitude < 0 ? QStringLiteral("W") : QStringLiteral("E");
  return texts;
}

int ControlPointOfButton(const QString& buttonName) {
  for (int point = 1; point <= 3; ++point) {
    if (buttonName == QStringLiteral("btnCP%1FromGoogle").arg(point)) return point;
  }
  return 0;
}
