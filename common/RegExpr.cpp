#include "common/RegExpr.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <mutex>
#include <stdexcept>
#include <unordered_map>

struct TCompiledPattern {
  pcre2_code* Code = nullptr;
  bool Jit = false;       // compiled to machine code: matched through the JIT's own entry
  int CaptureCount = 0;   // groups, not counting group 0
  ~TCompiledPattern() { pcre2_code_free(Code); }
};

struct TRegExpr::TMatchData {
  pcre2_match_data* Data = nullptr;
  ~TMatchData() { pcre2_match_data_free(Data); }
};

namespace {

// PCRE2's "\s" also takes the vertical tab; the grammars mean exactly the five blanks below.
constexpr std::string_view kBlanks = "\\t\\n\\f\\r ";

std::string TranslateBlanks(std::string_view expression) {
  std::string out;
  out.reserve(expression.size() + 16);
  ScanPattern(expression, [&out](const TPatternToken& token) {
    const bool escape = token.Kind == TPatternToken::TKind::Escape;
    if (escape && token.Text[1] == 's') {
      if (token.InClass) out += kBlanks;
      else out.append("[").append(kBlanks).append("]");
    } else if (escape && token.Text[1] == 'S' && !token.InClass) {
      out.append("[^").append(kBlanks).append("]");
    } else {
      out += token.Text;
    }
  });
  return out;
}

std::shared_ptr<const TCompiledPattern> Compile(const std::string& expression) {
  static std::mutex mutex;
  static std::unordered_map<std::string, std::shared_ptr<const TCompiledPattern>> cache;
  std::lock_guard lock(mutex);
  auto found = cache.find(expression);
  if (found != cache.end()) return found->second;

  std::string translated = TranslateBlanks(expression);
  int error = 0;
  PCRE2_SIZE offset = 0;
  auto compiled = std::make_shared<TCompiledPattern>();
  compiled->Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(),
                                 PCRE2_DOLLAR_ENDONLY | PCRE2_DOTALL, &error, &offset, nullptr);
  if (!compiled->Code) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, sizeof message);
    throw std::invalid_argument("bad regular expression \"" + expression + "\" at " + std::to_string(offset) +
                                ": " + reinterpret_cast<const char*>(message));
  }
  // Without JIT support the interpreter gives the same results, only slower.
  compiled->Jit = pcre2_jit_compile(compiled->Code, PCRE2_JIT_COMPLETE) == 0;
  uint32_t captures = 0;
  pcre2_pattern_info(compiled->Code, PCRE2_INFO_CAPTURECOUNT, &captures);
  compiled->CaptureCount = static_cast<int>(captures);
  cache.emplace(expression, compiled);
  return compiled;
}

}  // namespace

void ScanPattern(std::string_view pattern, const std::function<void(const TPatternToken&)>& visit) {
  using TKind = TPatternToken::TKind;
  bool inClass = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const size_t start = i;
    const char c = pattern[i];
    if (c == '\\' && i + 1 < pattern.size()) {
      ++i;
      visit({TKind::Escape, pattern.substr(start, 2), inClass});
    } else if (!inClass && c == '[') {
      // A "]" right after "[" or "[^" is a member of the class, not its end.
      if (i + 1 < pattern.size() && pattern[i + 1] == '^') ++i;
      if (i + 1 < pattern.size() && pattern[i + 1] == ']') ++i;
      visit({TKind::ClassOpen, pattern.substr(start, i + 1 - start), false});
      inClass = true;
    } else if (inClass && c == ']') {
      inClass = false;
      visit({TKind::ClassClose, pattern.substr(start, 1), false});
    } else {
      visit({TKind::Plain, pattern.substr(start, 1), inClass});
    }
  }
}

TRegExpr::TRegExpr() = default;

TRegExpr::TRegExpr(std::string_view expression) { SetExpression(expression); }

TRegExpr::~TRegExpr() = default;

void TRegExpr::SetExpression(std::string_view expression) {
  ExpressionText = std::string(expression);
  Pattern = Compile(ExpressionText);
  MatchData = std::make_unique<TMatchData>();
  MatchData->Data = pcre2_match_data_create_from_pattern(Pattern->Code, nullptr);
  Matched = false;
}

bool TRegExpr::Exec(std::string_view input) {
  Matched = false;
  if (!Pattern) return false;
  Input.assign(input.data(), input.size());
  const auto subject = reinterpret_cast<PCRE2_SPTR>(Input.data());
  int rc = Pattern->Jit ? pcre2_jit_match(Pattern->Code, subject, Input.size(), 0, 0, MatchData->Data, nullptr)
                         : pcre2_match(Pattern->Code, subject, Input.size(), 0, 0, MatchData->Data, nullptr);
  Matched = rc >= 0;
  return Matched;
}

int TRegExpr::SubExprMatchCount() const { return Pattern ? Pattern->CaptureCount : 0; }

int TRegExpr::MatchPos(int n) const {
  if (!Matched || n < 0 || n > SubExprMatchCount()) return -1;
  if (static_cast<uint32_t>(n) >= pcre2_get_ovector_count(MatchData->Data)) return -1;
  PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(MatchData->Data);
  if (ovector[2 * n] == PCRE2_UNSET) return -1;
  return static_cast<int>(ovector[2 * n]);
}

int TRegExpr::MatchLen(int n) const {
  int pos = MatchPos(n);
  if (pos < 0) return 0;
  PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(MatchData->Data);
  return static_cast<int>(ovector[2 * n + 1] - ovector[2 * n]);
}

std::string TRegExpr::Match(int n) const {
  int pos = MatchPos(n);
  if (pos < 0) return std::string();
  return Input.substr(static_cast<size_t>(pos), static_cast<size_t>(MatchLen(n)));
}
