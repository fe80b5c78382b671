#pragma once
// 8-bit texts of the system are code page 1251 bytes held in std::string: modem, device and
// file text. This is the one place that converts them to and from UTF-8, UTF-16 and QString,
// and that applies the code page's letter case and the integer conversions to them.

#include <cstdint>
#include <string>
#include <string_view>

class QString;

// A UTF-8 text (a string literal in the sources) as code page 1251. Characters the code page
// does not have become '?'.
std::string Cp1251(std::string_view utf8);
std::string Utf8FromCp1251(std::string_view cp1251);
std::string Cp1251FromUtf16(std::u16string_view utf16);
std::u16string Utf16FromCp1251(std::string_view cp1251);
QString QStringFromCp1251(std::string_view cp1251);
std::string Cp1251FromQString(const QString& text);

// Letter case of code page 1251: ASCII and Cyrillic letters (Ё and the other letters of the
// code page included); every other byte stays as it is.
std::string AnsiLowerCase(std::string_view text);
std::string AnsiUpperCase(std::string_view text);

// Removes the leading and trailing blanks and control characters (every byte up to ' ').
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// String to integer in the usual form: optional leading blanks, an optional sign, decimal
// digits, or hexadecimal after "$", "0x" or "0X"; nothing may follow. The value must fit in
// 32 bits (hexadecimal values up to 0xFFFFFFFF wrap to negative ones).
bool TryStrToInt(std::string_view text, int32_t& value);
// Raises EConvertError "'<text>' is not a valid integer value" on failure.
int32_t StrToInt(std::string_view text);
// Gives `fallback` on failure.
int32_t StrToIntDef(std::string_view text, int32_t fallback);
