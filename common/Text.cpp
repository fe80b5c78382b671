#include "common/Text.h"

#include "common/ConvertError.h"

#include <QChar>
#include <QString>

#include <array>
#include <limits>

namespace {

// Code page 1251, bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F. The one byte the
// code page leaves undefined (0x98) maps to U+0098 so that every byte survives a round trip.
constexpr std::array<char16_t, 64> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char16_t ToUnicode(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte >= 0xC0) return char16_t(0x0410 + (byte - 0xC0));
  return kHighHalf[byte - 0x80];
}

// 0 when the code page has no byte for the character.
unsigned char FromUnicode(char32_t ch) {
  if (ch < 0x80) return static_cast<unsigned char>(ch);
  if (ch >= 0x0410 && ch <= 0x044F) return static_cast<unsigned char>(0xC0 + (ch - 0x0410));
  for (size_t i = 0; i < kHighHalf.size(); ++i)
    if (kHighHalf[i] == ch) return static_cast<unsigned char>(0x80 + i);
  return 0;
}

unsigned char FromUnicodeOrQuestion(char32_t ch) {
  if (ch == 0) return 0;
  unsigned char byte = FromUnicode(ch);
  return byte ? byte : '?';
}

struct TCaseTables {
  std::array<unsigned char, 256> Lower{};
  std::array<unsigned char, 256> Upper{};
  TCaseTables() {
    for (int b = 0; b < 256; ++b) {
      char16_t ch = ToUnicode(static_cast<unsigned char>(b));
      unsigned char lower = FromUnicode(QChar(ch).toLower().unicode());
      unsigned char upper = FromUnicode(QChar(ch).toUpper().unicode());
      Lower[b] = (lower || b == 0) ? lower : static_cast<unsigned char>(b);
      Upper[b] = (upper || b == 0) ? upper : static_cast<unsigned char>(b);
    }
  }
};

const TCaseTables& CaseTables() {
  static const TCaseTables tables;
  return tables;
}

std::string MapBytes(std::string_view text, const std::array<unsigned char, 256>& table) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
  return out;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string Cp1251FromUtf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t ch = utf16[i];
    if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < utf16.size()) {
      char32_t low = utf16[i + 1];
      if (low >= 0xDC00 && low <= 0xDFFF) {
        ch = 0x10000 + ((ch - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    out.push_back(static_cast<char>(FromUnicodeOrQuestion(ch)));
  }
  return out;
}

std::u16string Utf16FromCp1251(std::string_view cp1251) {
  std::u16string out;
  out.reserve(cp1251.size());
  for (char c : cp1251) out.push_back(ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::string Cp1251(std::string_view utf8) {
  QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  return Cp1251FromQString(text);
}

std::string Utf8FromCp1251(std::string_view cp1251) {
  QByteArray bytes = QStringFromCp1251(cp1251).toUtf8();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString QStringFromCp1251(std::string_view cp1251) {
  std::u16string utf16 = Utf16FromCp1251(cp1251);
  return QString(reinterpret_cast<const QChar*>(utf16.data()), static_cast<qsizetype>(utf16.size()));
}

std::string Cp1251FromQString(const QString& text) {
  return Cp1251FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                             static_cast<size_t>(text.size())));
}

std::string AnsiLowerCase(std::string_view text) { return MapBytes(text, CaseTables().Lower); }
std::string AnsiUpperCase(std::string_view text) { return MapBytes(text, CaseTables().Upper); }

std::string TrimLeft(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  return std::string(text.substr(begin));
}

std::string TrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(0, end));
}

std::string Trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

bool TryStrToInt(std::string_view text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (magnitude > 0xFFFFFFFFull) return false;
  }
  if (hex) {
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    value = static_cast<int32_t>(bits);
    return true;
  }
  const uint64_t limit = negative ? uint64_t(std::numeric_limits<int32_t>::max()) + 1
                                  : uint64_t(std::numeric_limits<int32_t>::max());
  if (magnitude > limit) return false;
  value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                   : static_cast<int32_t>(magnitude);
  return true;
}

int32_t StrToInt(std::string_view text) {
  int32_t value = 0;
  if (!TryStrToInt(text, value))
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return value;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
  int32_t value = 0;
  return TryStrToInt(text, value) ? value : fallback;
}
