#pragma once
// Date-time values as the system stores them: days since 1899-12-30 as a double, the
// fraction being the time of day. They are local times without a zone.

#include <string>
#include <string_view>

using TDateTime = double;

// Raise EConvertError when the numbers form no valid date (year 1 to 9999, month 1 to 12,
// day within the month) or no valid time (hour below 24, minute and second below 60,
// milliseconds below 1000).
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value);
// Date and time together; raises like the two above.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);

// True when the value names a moment from 0001-01-01 00:00:00.000 to 9999-12-31 23:59:59.999
// (to the millisecond). Any other double (NaN, an infinity, a year past 9999) decodes as
// year, month, day, hour, minute, second and milliseconds all 0, and formats so.
bool IsDateTimeInRange(TDateTime value);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
int YearOf(TDateTime value);

// The current local date and time, and today's date alone.
TDateTime Now();
TDateTime Date();

// Formats with the tokens d, dd, m, mm, mmmm (the full month name of the user's locale),
// yy, yyyy, h, hh, n, nn, s, ss, z, zzz; text in double or single quotes and every other
// character is copied as it stands. The result is code page 1251.
std::string FormatDateTime(std::string_view format, TDateTime value);
