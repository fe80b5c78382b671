#pragma once
// The character filters of the template window's edits: which typed characters an edit
// takes. Characters that reach device command lines are kept to what the devices and the
// 7-bit SMS alphabet carry.

#include <QString>

#include <optional>
#include <string_view>

enum class TKeyFilter {
  TelNumber,  // 0-9, +
  Password,   // every character from '0' to 'z', and '-'
  Ussd,       // 0-9, #, *
  Numeric,    // 0-9
  IpAddress,  // 0-9, .
  Apn,        // a-z, A-Z, .
  ApnUser,    // a-z, A-Z
};

// Whether an edit with the filter takes the character. Ctrl+C (3), Backspace (8) and Ctrl+V
// (22) pass every filter.
bool IsKeyAllowed(TKeyFilter filter, char32_t ch);
// The text without the characters the filter refuses and without control characters (for
// pasted, dropped and composed text).
QString FilterText(TKeyFilter filter, const QString& text);

// The filter of an edit of the window by its component name; none for a name without one.
std::optional<TKeyFilter> KeyFilterOf(std::string_view editName);
