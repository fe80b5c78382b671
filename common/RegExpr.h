#pragma once
// Regular expressions with the semantics the device grammars are written for: Perl syntax,
// one search over the whole input, groups read by number (an unmatched group reads as an
// empty string), case-sensitive and greedy, "." matching every byte, "$" only at the very end
// of the input, "\w" and "\d" ASCII only (Cyrillic letters of code page 1251 are no word
// characters) and "\s" space, tab, line feed, carriage return and form feed.
//
// A pattern is compiled (with JIT) once per process and shared; each TRegExpr keeps only its
// own match state, which every Exec replaces. A grammar on a hot path may therefore keep one
// `static thread_local TRegExpr` per pattern and still see each input with no state from an
// earlier match.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct TCompiledPattern;

// One piece of a pattern as ScanPattern meets it, with its bytes as written.
struct TPatternToken {
  enum class TKind {
    Escape,      // a backslash and the character after it ("\s", "\-")
    ClassOpen,   // "[" with a "^" and a "]" right after it, which belong to the class
    ClassClose,  // the "]" that ends a class
    Plain,       // any other single character (a backslash at the very end too)
  };
  TKind Kind = TKind::Plain;
  std::string_view Text;
  bool InClass = false;  // inside a bracket class (a class's own "[" and "]" are not)
};

// Walks a pattern once, left to right, telling where each bracket class starts and ends, for
// the rewrites a pattern gets before it is compiled.
void ScanPattern(std::string_view pattern, const std::function<void(const TPatternToken&)>& visit);

class TRegExpr {
public:
  TRegExpr();
  explicit TRegExpr(std::string_view expression);
  ~TRegExpr();
  TRegExpr(const TRegExpr&) = delete;
  TRegExpr& operator=(const TRegExpr&) = delete;

  // Throws std::invalid_argument when the expression does not compile.
  void SetExpression(std::string_view expression);
  const std::string& Expression() const { return ExpressionText; }

  // Searches the input from its start; true when a match was found. The input is copied, so
  // it need not outlive the call.
  bool Exec(std::string_view input);

  // Group n of the last match (0 is the whole match); "" when there was no match, when the
  // group did not take part or when n is beyond the pattern's groups.
  std::string Match(int n) const;
  // Offset of group n in the input, -1 when it did not match; its length, 0 then.
  int MatchPos(int n) const;
  int MatchLen(int n) const;
  // Number of groups of the pattern (not counting group 0).
  int SubExprMatchCount() const;

private:
  std::string ExpressionText;
  std::shared_ptr<const TCompiledPattern> Pattern;
  struct TMatchData;
  std::unique_ptr<TMatchData> MatchData;
  std::string Input;
  bool Matched = false;
};
