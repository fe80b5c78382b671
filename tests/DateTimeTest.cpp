#include "common/ConvertError.h"
#include "common/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

TEST(DateTime, EncodesDaysSinceTheEpoch) {
  struct Case { int y, m, d; double days; };
  const Case cases[] = {
      {1899, 12, 30, 0}, {1900, 1, 1, 2}, {2000, 1, 1, 36526}, {2024, 3, 5, 45356},
      {2024, 2, 29, 45351}, {1899, 12, 29, -1}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
    int y, m, d;
    DecodeDate(c.days, y, m, d);
    if (c.days >= 0) {
      EXPECT_EQ((std::array{y, m, d}), (std::array{c.y, c.m, c.d}));
    }
  }
}

TEST(DateTime, ImpossibleDatesAndTimesRaise) {
  struct Case { int y, m, d; };
  const Case dates[] = {{2024, 0, 1}, {2024, 13, 5}, {2024, 1, 32}, {2023, 2, 29}, {2100, 2, 29}, {0, 1, 1}};
  for (const Case& c : dates) EXPECT_THROW(EncodeDate(c.y, c.m, c.d), EConvertError) << c.m << "/" << c.d;
  struct TimeCase { int h, n, s, ms; };
  const TimeCase times[] = {{24, 0, 0, 0}, {25, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}};
  for (const TimeCase& c : times) EXPECT_THROW(EncodeTime(c.h, c.n, c.s, c.ms), EConvertError) << c.h;
  TDateTime value = 7;
  EXPECT_FALSE(TryEncodeDate(2024, 13, 5, value));
  EXPECT_EQ(value, 7);
}

TEST(DateTime, TimeOfDayReadsBackExactly) {
  for (int h : {0, 10, 14, 23})
    for (int n : {0, 7, 59})
      for (int s : {0, 9, 59}) {
        TDateTime value = EncodeDateTime(2024, 3, 5, h, n, s, 0);
        int hh, nn, ss, ms;
        DecodeTime(value, hh, nn, ss, ms);
        EXPECT_EQ((std::array{hh, nn, ss, ms}), (std::array{h, n, s, 0}));
      }
}

TEST(DateTime, FormatsWithTheClassLibraryTokens) {
  TDateTime value = EncodeDateTime(2024, 3, 5, 14, 7, 9, 45);
  struct Case { const char* format; const char* text; };
  const Case cases[] = {
      {"dd.mm.yyyy hh:nn:ss", "05.03.2024 14:07:09"},
      {"d/m/yy", "5/3/24"},
      {"yy/mm/dd,hh:nn:ss+10", "24/03/05,14:07:09+10"},
      {"hh:mm", "14:07"},  // m after h is minutes
      {"\"at\" hh", "at 14"},
      {"zzz", "045"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDateTime(c.format, value), c.text) << c.format;
}

TEST(DateTime, EveryDoubleFormatsWithinTheDateRangeOrAsTheDamagedTime) {
  // A time field of the log may hold any double. Those that name no moment from 0001-01-01 to
  // 9999-12-31 decode and format as all zeros.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double denormal = std::numeric_limits<double>::denorm_min();
  const double first = EncodeDate(1, 1, 1);
  const double afterLast = EncodeDate(9999, 12, 31) + 1;
  const char* damaged = "00.00.0000 00:00:00.000";
  struct Case {
    const char* What;
    double Value;
    const char* Text;
  };
  const Case cases[] = {
      {"NaN", nan, damaged},
      {"-NaN", -nan, damaged},
      {"+inf", inf, damaged},
      {"-inf", -inf, damaged},
      {"1e300", 1e300, damaged},
      {"-1e300", -1e300, damaged},
      {"DBL_MAX", std::numeric_limits<double>::max(), damaged},
      {"-DBL_MAX", std::numeric_limits<double>::lowest(), damaged},
      {"the field seen in the log", 1568703935540.0, damaged},
      {"its negative", -1568703935540.0, damaged},
      {"past the long range", 1e19, damaged},
      {"denormal", denormal, "30.12.1899 00:00:00.000"},
      {"negative denormal", -denormal, "30.12.1899 00:00:00.000"},
      {"tiny", 1e-300, "30.12.1899 00:00:00.000"},
      {"negative zero", -0.0, "30.12.1899 00:00:00.000"},
      {"the first day", first, "01.01.0001 00:00:00.000"},
      {"just before the first day", std::nextafter(first, -inf), damaged},
      {"a day before the first", first - 1, damaged},
      {"the last millisecond", afterLast - 1.0 / 86400000, "31.12.9999 23:59:59.999"},
      {"rounds up past the last day", std::nextafter(afterLast, 0.0), damaged},
      {"the day after the last", afterLast, damaged},
      {"year 10000 and on", afterLast + 400, damaged},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy hh:nn:ss.zzz", c.Value), c.Text) << c.What;
    EXPECT_EQ(IsDateTimeInRange(c.Value), std::string(c.Text) != damaged) << c.What;
    // The two-digit year and the month name of the formats the program uses.
    EXPECT_FALSE(FormatDateTime("yy\"/\"mm\"/\"dd,hh:nn:ss+10 d mmmm yyyy ddmmyy_hhnnss", c.Value).empty()) << c.What;
  }
}
