#pragma once
// What the device reply grammars share: the reply head (device number, optional name,
// channel mark) and the field forms that several replies use (coordinates, speed and course,
// report dates and clock times, letter and hexadecimal fields).

#include "common/DateTime.h"
#include "common/SmsInfo.h"

#include <cstdint>
#include <string>
#include <string_view>

class TRegExpr;

// Group 1 of `match` is the device number; `nameGroup` (0 when the pattern has none) is the
// optional "(name)" group, whose text without the parentheses becomes DeviceName when it is
// not empty; `gprsGroup` is the optional "gprs:" group that decides the channel.
void SetReplyHead(TSmsInfo& record, const TRegExpr& match, int nameGroup, int gprsGroup);

// Where the head groups of a grammar sit: patterns with the optional "(name)" group have it
// as group 2 and the "gprs:" group as group 3; the others have the "gprs:" group as group 2.
enum class THeadForm { Named, Plain };

// The first step of every grammar: one search of its pattern over the whole text. On a
// match the record takes `kind` and the head values (before any payload field is read, so
// that a field that raises leaves the record with its kind and head but no payload).
// `keyword` is a literal that every text of the grammar contains; a text without it, or one
// without the leading device number that a pattern anchored with "^(\d{5})" needs, is
// turned away before the pattern runs. It only saves time: the result is the same.
bool RecogniseReply(TSmsInfo& record, TRegExpr& pattern, const std::string& text, uint8_t kind, THeadForm head,
                    std::string_view keyword);

// A ddmm.mmmm or dddmm.mmmm text as the coordinate integer (times 100000, truncated toward
// zero), negated when `hemisphere` is `negativeMark`. An empty or unreadable text, or one
// whose value does not fit the integer, gives 0.
int32_t ReadCoordinate(std::string_view text, std::string_view hemisphere, std::string_view negativeMark);

// Speed or course: the leading decimal number of the text; 0 when the text is empty or does
// not start with one.
float ReadFloat(std::string_view text);

// 1 when the fix flag is "a", else 0.
inline uint8_t ReadValid(std::string_view flag) { return flag == "a" ? 1 : 0; }

// The first character of the text, 0 for an empty text.
inline char FirstLetter(std::string_view text) { return text.empty() ? '\0' : text.front(); }

// A report date "ddmmyy" (year 2000 + yy) and a clock time "hhmmss". Raise EConvertError when
// the numbers form no valid date or time.
TDateTime ReadReportDate(std::string_view ddmmyy);
TDateTime ReadClockTime(std::string_view hhmmss);

// Hexadecimal digits as an integer, reading at most `maxDigits` of them from the start and
// keeping the low 32 bits; 0 when the text does not start with a hexadecimal digit.
int32_t ReadHex(std::string_view text, size_t maxDigits);
