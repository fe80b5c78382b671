// The edits' character filters: the characters each filter takes, the edits each applies
// to, and pasted text losing the refused characters.

#include "composer/KeyFilters.h"

#include <gtest/gtest.h>

#include <QList>

#include <string>

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(KeyFiltersTest, EachFilterTakesItsCharactersOnly) {
  struct Case {
    TKeyFilter Filter;
    const char* Allowed;  // UTF-8
    const char* Refused;
  };
  const Case cases[] = {
      {TKeyFilter::TelNumber, "0123456789+", "aZ -()#*.Жё\"\t"},
      {TKeyFilter::Password, "09AZaz[]^_`@?:;<=>\\-", " !\"#$%&'()*+,./{|}~ЖяЁ"},
      {TKeyFilter::Ussd, "0123456789#*", "+ a.Ж"},
      {TKeyFilter::Numeric, "0123456789", "+-. a$xЖ"},
      {TKeyFilter::IpAddress, "0123456789.", ":/ a,Ж"},
      {TKeyFilter::Apn, "azAZmts.", "0129-_ @Ж"},
      {TKeyFilter::ApnUser, "azAZ", "0.9-_ Ж"},
  };
  for (const Case& c : cases) {
    for (char32_t ch : U(c.Allowed).toUcs4()) EXPECT_TRUE(IsKeyAllowed(c.Filter, ch)) << c.Allowed << " " << static_cast<uint32_t>(ch);
    for (char32_t ch : U(c.Refused).toUcs4()) EXPECT_FALSE(IsKeyAllowed(c.Filter, ch)) << c.Refused << " " << static_cast<uint32_t>(ch);
    // Ctrl+C, Backspace and Ctrl+V pass every filter.
    for (char32_t ch : {3u, 8u, 22u}) EXPECT_TRUE(IsKeyAllowed(c.Filter, ch));
    EXPECT_FALSE(IsKeyAllowed(c.Filter, 27));
  }
}

TEST(KeyFiltersTest, PastedTextKeepsOnlyTheAllowedCharacters) {
  struct Case {
    TKeyFilter Filter;
    const char* Pasted;
    const char* Kept;
  };
  const Case cases[] = {
      {TKeyFilter::TelNumber, "+7 (900) 123-45-67", "+79001234567"},
      {TKeyFilter::Password, "pass word\"1\"", "password1"},
      {TKeyFilter::Password, "Пароль", ""},
      {TKeyFilter::Numeric, "12\r\n34\x16", "1234"},
      {TKeyFilter::Apn, "internet.beeline.ru", "internet.beeline.ru"},
      {TKeyFilter::ApnUser, "user 2", "user"},
      {TKeyFilter::Ussd, "*102# ", "*102#"},
      {TKeyFilter::Password, "𝔸z", "z"},
  };
  for (const Case& c : cases) EXPECT_EQ(FilterText(c.Filter, U(c.Pasted)), U(c.Kept)) << c.Pasted;
}

TEST(KeyFiltersTest, EveryEditOfTheWindowHasItsFilter) {
  struct Case {
    const char* Edit;
    std::optional<TKeyFilter> Filter;
  };
  const Case cases[] = {
      {"edNumber", TKeyFilter::TelNumber},       {"edAkkumTel", TKeyFilter::TelNumber},
      {"edIn4TelNum", TKeyFilter::TelNumber},    {"edCP3TelNumber", TKeyFilter::TelNumber},
      {"edTelUp2", TKeyFilter::TelNumber},       {"edPassword", TKeyFilter::Password},
      {"edDevAlias", TKeyFilter::Password},      {"edIn1Alias", TKeyFilter::Password},
      {"edCP2Alias", TKeyFilter::Password},      {"edUSSD", TKeyFilter::Ussd},
      {"edWritePeriod", TKeyFilter::Numeric},    {"edReservPort", TKeyFilter::Numeric},
      {"edAIn2DigitLevel", TKeyFilter::Numeric}, {"edCP1Latmm", TKeyFilter::Numeric},
      {"edCP3Radius", TKeyFilter::Numeric},      {"edOut2Pulse", TKeyFilter::Numeric},
      {"edVoiceVol", TKeyFilter::Numeric},       {"edBaseServer", TKeyFilter::IpAddress},
      {"edReservServer", TKeyFilter::IpAddress}, {"edAPN", TKeyFilter::Apn},
      {"edAPNUser", TKeyFilter::ApnUser},        {"edAPNPassword", TKeyFilter::ApnUser},
      {"edIn5Alias", std::nullopt},              {"cbMethodWrite", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(KeyFilterOf(c.Edit), c.Filter) << c.Edit;
}

}  // namespace
