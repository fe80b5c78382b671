#include "common/DateTime.h"

#include "common/ConvertError.h"
#include "common/Text.h"

#include <QLocale>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>

namespace {

constexpr double kMsecPerDay = 86400000.0;

constexpr bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

constexpr int DaysInMonth(int year, int month) {
  constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days from 0001-01-01 to the given date (proleptic Gregorian calendar).
constexpr long DaysFromCivil(int year, int month, int day) {
  long y = year - 1;
  long days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

// A compile-time constant, so that dates encoded by other files' static initialisers are right.
constexpr long kEpochDays = DaysFromCivil(1899, 12, 30);

// The days from 0001-01-01 of the last day a date can name, 9999-12-31.
constexpr long kLastDay = DaysFromCivil(9999, 12, 31);

// Splits a value into whole days from 0001-01-01 and milliseconds of the day, rounding to
// the nearest millisecond so that encoded times read back exactly. False for a value that
// names no day from 0001-01-01 to 9999-12-31 (a damaged time field may hold any double: NaN,
// an infinity, 1e300); then both are 0.
bool Split(TDateTime value, long& days, long& msecOfDay) {
  days = 0;
  msecOfDay = 0;
  // Checked on the double, before any conversion to an integer could overflow.
  if (!(value >= -static_cast<double>(kEpochDays) && value < static_cast<double>(kLastDay - kEpochDays + 1)))
    return false;
  double whole = std::floor(value);
  double msec = std::round((value - whole) * kMsecPerDay);
  long day = static_cast<long>(whole) + kEpochDays;
  long ms = static_cast<long>(msec);
  if (ms >= 86400000) {
    ms -= 86400000;
    ++day;
  }
  if (day > kLastDay) return false;
  days = day;
  msecOfDay = ms;
  return true;
}

void CivilFromDays(long days, int& year, int& month, int& day) {
  // 400-year cycles of 146097 days, then centuries, 4-year cycles and years.
  long n400 = days / 146097;
  long rest = days % 146097;
  long n100 = std::min(rest / 36524, 3L);
  rest -= n100 * 36524;
  long n4 = rest / 1461;
  rest %= 1461;
  long n1 = std::min(rest / 365, 3L);
  rest -= n1 * 365;
  year = static_cast<int>(n400 * 400 + n100 * 100 + n4 * 4 + n1 + 1);
  month = 1;
  while (rest >= DaysInMonth(year, month)) {
    rest -= DaysInMonth(year, month);
    ++month;
  }
  day = static_cast<int>(rest) + 1;
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  value = static_cast<double>(DaysFromCivil(year, month, day) - kEpochDays);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value) {
  if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 || msec < 0 ||
      msec >= 1000)
    return false;
  value = ((hour * 3600.0 + minute * 60.0 + second) * 1000.0 + msec) / kMsecPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime value = 0;
  if (!TryEncodeDate(year, month, day, value)) throw EConvertError("Invalid argument to date encode");
  return value;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime value = 0;
  if (!TryEncodeTime(hour, minute, second, msec, value)) throw EConvertError("Invalid argument to time encode");
  return value;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, msec);
}

bool IsDateTimeInRange(TDateTime value) {
  long days = 0, msec = 0;
  return Split(value, days, msec);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  long days = 0, msec = 0;
  if (!Split(value, days, msec)) {
    year = month = day = 0;
    return;
  }
  CivilFromDays(days, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
  long days = 0, ms = 0;
  Split(value, days, ms);  // out of range: all 0
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

int YearOf(TDateTime value) {
  int year, month, day;
  DecodeDate(value, year, month, day);
  return year;
}

TDateTime Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), static_cast<int>(now.tv_nsec / 1000000));
}

TDateTime Date() { return std::floor(Now()); }

std::string FormatDateTime(std::string_view format, TDateTime value) {
  int year, month, day, hour, minute, second, msec;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, msec);
  std::string out;
  out.reserve(format.size() + 8);
  auto number = [&out](int n, int width) {
    // Non-negative numbers of at most 4 digits, zero-padded to `width`.
    char digits[12];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + n % 10);
      n /= 10;
    } while (n > 0 && count < 11);
    for (int pad = count; pad < width; ++pad) out.push_back('0');
    while (count > 0) out.push_back(digits[--count]);
  };
  auto run = [&format](size_t at, char c) {
    size_t n = 0;
    while (at + n < format.size() && (format[at + n] | 0x20) == c) ++n;
    return n;
  };
  bool afterHour = false;
  for (size_t i = 0; i < format.size();) {
    char c = format[i];
    char lower = static_cast<char>(c | 0x20);
    if (c == '"' || c == '\'') {
      size_t end = format.find(c, i + 1);
      if (end == std::string_view::npos) end = format.size();
      out += format.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    size_t n = std::isalpha(static_cast<unsigned char>(c)) ? run(i, lower) : 0;
    switch (n ? lower : 0) {
      case 'd': number(day, n >= 2 ? 2 : 1); break;
      case 'y': n >= 3 ? number(year, 4) : number(year % 100, 2); break;
      case 'h': number(hour, n >= 2 ? 2 : 1); break;
      case 'n': number(minute, n >= 2 ? 2 : 1); break;
      case 's': number(second, n >= 2 ? 2 : 1); break;
      case 'z': number(msec, n >= 3 ? 3 : 1); break;
      case 'm':
        if (afterHour && n <= 2) number(minute, n == 2 ? 2 : 1);
        else if (n >= 4) out += Cp1251FromQString(QLocale::system().monthName(month, QLocale::LongFormat));
        else if (n == 3) out += Cp1251FromQString(QLocale::system().monthName(month, QLocale::ShortFormat));
        else number(month, n == 2 ? 2 : 1);
        break;
      default:
        out.push_back(c);
        n = 1;
        break;
    }
    if (std::isalpha(static_cast<unsigned char>(c))) afterHour = lower == 'h';
    i += n;
  }
  return out;
}
