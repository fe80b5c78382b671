#include "common/RegExpr.h"
#include "common/Text.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(RegExpr, SearchesAndReadsGroupsByNumber) {
  TRegExpr re("(\\d{2})\\/(\\d{2})\\/(\\d{2}),(\\d{2}):(\\d{2}):(\\d{2})\\+\\d+");
  ASSERT_TRUE(re.Exec("xx24/03/05,14:07:09+12"));
  EXPECT_EQ(re.Match(0), "24/03/05,14:07:09+12");
  EXPECT_EQ(re.Match(1), "24");
  EXPECT_EQ(re.Match(6), "09");
  EXPECT_EQ(re.MatchPos(0), 2);
  EXPECT_EQ(re.SubExprMatchCount(), 6);
  EXPECT_FALSE(re.Exec("24/03/05,14:07:09-12"));
  EXPECT_EQ(re.Match(1), "");  // no state survives a failed search
}

TEST(RegExpr, UnmatchedAndMissingGroupsReadEmpty) {
  TRegExpr re("^(\\d{5})(\\([\\w\\d\\s]+\\))?[@#\\s]{1}(gprs:)?reset$");
  ASSERT_TRUE(re.Exec("12345 reset"));
  EXPECT_EQ(re.Match(2), "");
  EXPECT_EQ(re.MatchPos(2), -1);
  EXPECT_EQ(re.Match(3), "");
  EXPECT_EQ(re.Match(17), "");
  ASSERT_TRUE(re.Exec("12345(car 1)@gprs:reset"));
  EXPECT_EQ(re.Match(2), "(car 1)");
  EXPECT_EQ(re.Match(3), "gprs:");
}

TEST(RegExpr, MatchesWithTheGrammarsSemantics) {
  struct Case { const char* pattern; std::string input; bool matches; };
  const Case cases[] = {
      {"reset$", "12345 reset", true},
      {"reset$", "12345 reset\n", false},          // "$" only at the very end
      {"^\\w+$", Cp1251("abc_09"), true},
      {"^\\w+$", Cp1251("имя"), false},             // Cyrillic letters are no word characters
      {"^[\\w\\d\\s]+$", Cp1251("car 1\t2"), true},
      {"^\\s$", "\v", false},                       // vertical tab is no blank here
      {"^[\\s]$", "\v", false},
      {"^\\s$", "\f", true},
      {"^\\S$", "\v", true},
      {"^a.b$", "a\nb", true},                      // "." takes line ends too
      {"PERIODWR", "periodwr", false},              // case-sensitive
      {"^[^\\s]+$", "ab", true},
      {"^[]a]+$", "]a]", true},
      {"telsms(\\d{1})=(([\\+\\d]+)|(\\(null\\)));", "telsms2=(null);", true},
  };
  for (const Case& c : cases) {
    TRegExpr re(c.pattern);
    EXPECT_EQ(re.Exec(c.input), c.matches) << c.pattern;
  }
}

TEST(RegExpr, AMatcherIsReusedWithoutState) {
  TRegExpr re("(a)?(b)");
  ASSERT_TRUE(re.Exec("ab"));
  EXPECT_EQ(re.Match(1), "a");
  ASSERT_TRUE(re.Exec("b"));
  EXPECT_EQ(re.Match(1), "");
  re.SetExpression("(\\d+)");
  ASSERT_TRUE(re.Exec("x42"));
  EXPECT_EQ(re.Match(1), "42");
}

TEST(RegExpr, BadExpressionIsReported) {
  EXPECT_THROW(TRegExpr("(unclosed"), std::invalid_argument);
  TRegExpr empty;
  EXPECT_FALSE(empty.Exec("anything"));
}

// The scanner both pattern rewrites rely on: where classes start and end, escapes kept whole.
TEST(ScanPattern, TellsEscapesAndClassBounds) {
  struct Case {
    const char* pattern;
    const char* tokens;  // each token as "<kind><in class>:<text>" joined by " "
  };
  const Case cases[] = {
      {"a\\sb", "P0:a E0:\\s P0:b"},
      {"[\\w-_]x", "O0:[ E1:\\w P1:- P1:_ C0:] P0:x"},
      {"[]a]", "O0:[] P1:a C0:]"},
      {"[^]a]b", "O0:[^] P1:a C0:] P0:b"},
      {"[^a]", "O0:[^ P1:a C0:]"},
      {"\\[a]", "E0:\\[ P0:a P0:]"},
      {"[a\\]]", "O0:[ P1:a E1:\\] C0:]"},
      {"ab\\", "P0:a P0:b P0:\\"},
      {"[", "O0:["},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::string tokens;
    ScanPattern(c.pattern, [&tokens](const TPatternToken& token) {
      const char kinds[] = {'E', 'O', 'C', 'P'};
      if (!tokens.empty()) tokens += ' ';
      tokens += kinds[static_cast<int>(token.Kind)];
      tokens += token.InClass ? '1' : '0';
      tokens += ':';
      tokens += token.Text;
    });
    EXPECT_EQ(tokens, c.tokens);
  }
}
