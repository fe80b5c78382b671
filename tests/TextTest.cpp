#include "common/ConvertError.h"
#include "common/Text.h"

#include <QString>
#include <gtest/gtest.h>

TEST(Text, Cp1251RoundTripsEveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Cp1251FromUtf16(Utf16FromCp1251(all)), all);
  EXPECT_EQ(Cp1251(Utf8FromCp1251(all)), all);
  EXPECT_EQ(Cp1251FromQString(QStringFromCp1251(all)), all);
}

TEST(Text, Cp1251MapsCyrillicAndReplacesWhatItLacks) {
  struct Case { const char* utf8; std::string cp1251; };
  const Case cases[] = {
      {"Модем", "\xCC\xEE\xE4\xE5\xEC"},
      {"Ёё№", "\xA8\xB8\xB9"},
      {"€", "\x88"},
      {"日本", "??"},
      {"a\xF0\x9F\x98\x80z", "a?z"},  // a character beyond the BMP is one '?'
  };
  for (const Case& c : cases) EXPECT_EQ(Cp1251(c.utf8), c.cp1251) << c.utf8;
}

TEST(Text, LetterCaseCoversCyrillic) {
  EXPECT_EQ(AnsiLowerCase(Cp1251("PERIODWR Модем ЁЖЯ Ї 123")), Cp1251("periodwr модем ёжя ї 123"));
  EXPECT_EQ(AnsiUpperCase(Cp1251("gprs: ёж")), Cp1251("GPRS: ЁЖ"));
  // Bytes that are no letters stay as they are.
  EXPECT_EQ(AnsiLowerCase(std::string("\x00\x98\xB9", 3)), std::string("\x00\x98\xB9", 3));
}

TEST(Text, TrimRemovesBlanksAndControlCharacters) {
  EXPECT_EQ(Trim("  \t\r\n12345 x \x01"), "12345 x");
  EXPECT_EQ(Trim(" \r\n "), "");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  // Cyrillic bytes are above ' ' and stay.
  EXPECT_EQ(Trim(Cp1251(" я ")), Cp1251("я"));
}

TEST(Text, StrToIntAcceptsTheUsualForms) {
  struct Case { const char* text; bool ok; int32_t value; };
  const Case cases[] = {
      {"0", true, 0},           {"60", true, 60},          {"-25", true, -25},
      {"+7", true, 7},          {"  42", true, 42},        {"$1F", true, 31},
      {"0x10", true, 16},       {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN},                    {"$FFFFFFFF", true, -1},
      {"2147483648", false, 0}, {"", false, 0},            {"-", false, 0},
      {"12a", false, 0},        {"42 ", false, 0},         {"1.5", false, 0},
      {"99999999999999999999", false, 0},                  {"$", false, 0},
  };
  for (const Case& c : cases) {
    int32_t value = 12345;
    EXPECT_EQ(TryStrToInt(c.text, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
      EXPECT_EQ(StrToInt(c.text), c.value);
      EXPECT_EQ(StrToIntDef(c.text, -9), c.value);
    } else {
      EXPECT_EQ(StrToIntDef(c.text, -9), -9) << c.text;
      EXPECT_THROW(StrToInt(c.text), EConvertError) << c.text;
    }
  }
}

TEST(Text, StrToIntErrorNamesTheText) {
  try {
    StrToInt("x");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
  }
}
