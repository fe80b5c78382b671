#include "gsm/ModemErrors.h"

#include "common/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Range {
  uint32_t first;
  uint32_t last;
};

bool InRanges(uint32_t code, const Range* begin, const Range* end) {
  for (const Range* r = begin; r != end; ++r)
    if (code >= r->first && code <= r->last) return true;
  return false;
}

// A numbered error report and what it is to be read as.
struct TReportCase {
  const char* reply;
  uint16_t code;
  const char* text;  // UTF-8
};

void ExpectReported(const TReportCase& c) {
  TModemError error;
  EXPECT_TRUE(error.ParseModemError(c.reply)) << c.reply;
  EXPECT_EQ(error.LastErrorKind, kModemErrorReported) << c.reply;
  EXPECT_EQ(error.LastErrorCode, c.code) << c.reply;
  EXPECT_EQ(error.LastErrorText, Cp1251(c.text)) << c.reply;
}

}  // namespace

TEST(ModemErrors, ReportsBecomeNumberedTexts) {
  const TReportCase cases[] = {
      {"+cme error: 10", 10, "CME Error 10: Вставте SIM карту"},
      {"+cme error: 16", 16, "CME Error 16: Введен неверный PIN код."},
      {"+cme error: 8", 8, "CME Error 8: NU"},
      {"+cme error: 0", 0, "CME Error 0: phone failure"},
      {"+cme error: 100", 100, "CME Error 100: unknown"},
      {"+cme error: 578", 578, "CME Error 578: PRS - unspecified activation rejection"},
      {"+cme error: 773", 773, "CME Error 773: SIM File not present"},
      {"+cms error: 304", 304, "CMS Error 304: invalid PDU mode"},
      {"+cms error: 500", 500, "CMS Error 500: unknown"},
      {"+cms error: 300", 300, "CMS Error 300: ME failure"},
      {"+cms error: 540", 540, "CMS Error 540: Invalid User Data Header IE"},
      {"+cms error: 535", 535, "CMS Error 535: NU"},
      // The same number means different things in the two families.
      {"+cme error: 322", 322, "CME Error 322: NU"},
      {"+cms error: 322", 322, "CMS Error 322: memory full"},
      // The number may follow without a blank, after several, or with leading zeros, and
      // whatever follows it (the rest of the reply) is not read.
      {"+cme error:11", 11, "CME Error 11: SIM PIN required"},
      {"+cme error:   012", 12, "CME Error 12: SIM PUK required"},
      {"+cms error: 330\r\n\r\nok", 330, "CMS Error 330: SMSC address unknown"},
  };
  for (const TReportCase& c : cases) ExpectReported(c);
}

TEST(ModemErrors, CodesOutsideTheTableAreStillErrors) {
  const TReportCase cases[] = {
      {"+cme error: 774", 774, "CME Error 774: NU"},
      {"+cme error: 1014", 1014, "CME Error 1014: NU"},  // the last slot is a CMS text
      {"+cms error: 299", 299, "CMS Error 299: NU"},
      {"+cms error: 541", 541, "CMS Error 541: NU"},
      {"+cms error: 0", 0, "CMS Error 0: NU"},
      {"+cms error: 65535", 65535, "CMS Error 65535: NU"},
      // Numbers beyond the 16-bit field keep their text; the field saturates instead of
      // wrapping onto a code of the table (65546 would otherwise read as 10).
      {"+cme error: 65546", 65535, "CME Error 65546: NU"},
      {"+cme error: 123456789012345678901", 65535, "CME Error 123456789012345678901: NU"},
  };
  for (const TReportCase& c : cases) ExpectReported(c);
}

TEST(ModemErrors, ReportsWithoutANumberAreErrorsWithTheirWords) {
  struct Case {
    const char* reply;
    const char* text;
  };
  const Case cases[] = {
      {"+cme error: sim not inserted", "CME Error: sim not inserted"},
      {"+cms error: unknown error\r\nok", "CMS Error: unknown error"},
      {"+cme error: -5", "CME Error: -5"},
      {"+cme error:", "CME Error"},
      {"+cme error", "CME Error"},
      {"+cms erro", "CMS Error"},
      {"+cme errorr 10", "CME Error: r 10"},
  };
  for (const Case& c : cases) {
    TModemError error;
    error.LastErrorCode = 77;
    EXPECT_TRUE(error.ParseModemError(c.reply)) << c.reply;
    EXPECT_EQ(error.LastErrorKind, kModemErrorReported) << c.reply;
    EXPECT_EQ(error.LastErrorCode, 0) << c.reply;
    EXPECT_EQ(error.LastErrorText, c.text) << c.reply;
  }
}

TEST(ModemErrors, OtherRepliesChangeNothing) {
  const char* replies[] = {
      "ok",
      "error",
      "",
      "+cme",
      "+cme err",
      "at+cpin=1234\r\n+cme error: 16",  // an echoed command first: not an error to this test
      " +cme error: 10",
      "+CME ERROR: 10",                   // replies are matched in their lower-cased form
      "+cmserror: 10",
  };
  for (const char* reply : replies) {
    TModemError error;
    error.LastErrorKind = 1;
    error.LastErrorCode = 42;
    error.LastErrorText = "before";
    EXPECT_FALSE(error.ParseModemError(reply)) << reply;
    EXPECT_EQ(error.LastErrorKind, 1) << reply;
    EXPECT_EQ(error.LastErrorCode, 42) << reply;
    EXPECT_EQ(error.LastErrorText, "before") << reply;
  }
}

TEST(ModemErrors, ErrorKeepsUntilTheNextOne) {
  TModemError error;
  ASSERT_TRUE(error.ParseModemError("+cme error: 10"));
  EXPECT_FALSE(error.ParseModemError("ok"));
  EXPECT_EQ(error.LastErrorCode, 10);
  ASSERT_TRUE(error.ParseModemError("+cms error: 304"));
  EXPECT_EQ(error.LastErrorCode, 304);
  EXPECT_EQ(error.LastErrorText, "CMS Error 304: invalid PDU mode");
}

// The codes without a text of their own, range by range; every code outside them has one.
TEST(ModemErrors, TableHoldsNuExactlyWhereNoTextIsGiven) {
  const Range cmeEmpty[] = {
      {8, 9},     {19, 19},   {28, 29},   {33, 39},   {48, 99},   {101, 102}, {104, 105},
      {108, 110}, {114, 131}, {135, 147}, {151, 576}, {647, 672}, {675, 704}, {708, 736},
      {739, 740}, {747, 748}, {751, 752}, {760, 764},
  };
  const Range cmsEmpty[] = {
      {306, 309}, {319, 319}, {323, 329}, {333, 499}, {501, 511}, {516, 516}, {518, 527}, {535, 535},
  };
  for (uint32_t code = 0; code <= kLastCmeErrorCode; ++code) {
    bool empty = InRanges(code, std::begin(cmeEmpty), std::end(cmeEmpty));
    EXPECT_EQ(CmeErrorText(code) == "NU", empty) << "CME " << code;
    EXPECT_FALSE(CmeErrorText(code).empty()) << "CME " << code;
    EXPECT_EQ(&ModemErrorText(int(code)), &CmeErrorText(code)) << "CME " << code;
  }
  for (uint32_t code = kFirstCmsErrorCode; code <= kLastCmsErrorCode; ++code) {
    bool empty = InRanges(code, std::begin(cmsEmpty), std::end(cmsEmpty));
    EXPECT_EQ(CmsErrorText(code) == "NU", empty) << "CMS " << code;
    EXPECT_FALSE(CmsErrorText(code).empty()) << "CMS " << code;
    EXPECT_EQ(&ModemErrorText(int(474 + code)), &CmsErrorText(code)) << "CMS " << code;
  }
}

TEST(ModemErrors, TextsAtTheEdgesOfTheirRanges) {
  struct Case {
    bool cms;
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {false, 7, "PH-FSIM PUK required"},
      {false, 32, "network not allowed - emergency calls only"},
      {false, 47, "corporate personalization PUK required"},
      {false, 103, "illegal MS"},
      {false, 150, "invalid mobile class"},
      {false, 577, "GPRS - activation rejected by GGSN"},
      {false, 616, "PRS - no echo reply"},
      {false, 642, "PRS - too many RXJs"},
      {false, 646, "GPRS - QOS invalid parameter"},
      {false, 673, "audio manager not ready"},
      {false, 674, "audio format cannot be configured"},
      {false, 705, "SIM toolkit menu has not been configured"},
      {false, 707, "SIM toolkit not enabled"},
      {false, 737, "+CSCS type not supported"},
      {false, 741, "must include <format> with <oper>"},
      {false, 746, "network operator not recognized"},
      {false, 759, "invalid characters in command data"},
      {false, 765, "invalid input value"},
      {true, 305, "invalid text mode"},
      {true, 310, "SIM not inserted"},
      {true, 318, "SIM PUK2 required"},
      {true, 332, "network timeout"},
      {true, 517, "SM BL not ready"},
      {true, 528, "Invalid (non-hex) chars in PDU"},
      {true, 534, "Incorrect SCA length"},
      {true, 536, "Invalid First Octet (should be 2 or 34)"},
  };
  for (const Case& c : cases) {
    const std::string& text = c.cms ? CmsErrorText(c.code) : CmeErrorText(c.code);
    EXPECT_EQ(text, c.text) << (c.cms ? "CMS " : "CME ") << c.code;
  }
}

TEST(ModemErrors, SlotsOutsideTheTableReadNu) {
  EXPECT_EQ(kModemErrorTextCount, 1015);
  EXPECT_EQ(ModemErrorText(-1), "NU");
  EXPECT_EQ(ModemErrorText(1015), "NU");
  EXPECT_EQ(ModemErrorText(1014), "Invalid User Data Header IE");
  EXPECT_EQ(CmeErrorText(UINT32_MAX), "NU");
  EXPECT_EQ(CmsErrorText(UINT32_MAX), "NU");
}
