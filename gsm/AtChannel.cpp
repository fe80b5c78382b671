#include "gsm/AtChannel.h"

#include "common/Text.h"
#include "platform/NamedMutex.h"

#include <chrono>
#include <vector>

const char kPortMutexName[] = "OrvexMonitorFTDIMutex";

namespace {

using TClock = std::chrono::steady_clock;

// An answer is read until its final line; a modem that never sends one is given up on after
// this much answer text, or this much read in all (notices included).
constexpr size_t kMaxAnswerBytes = 16384;
constexpr size_t kMaxReadBytes = 1 << 20;

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsErrorLine(std::string_view line) {
  return StartsWith(line, "+cms error") || StartsWith(line, "+cme error") || line == "error";
}

// Calls `each(line)` for every line of `text` (split at CR and LF), trimmed.
template <typename TEach>
void ForEachLine(std::string_view text, TEach each) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    if (!each(Trim(text.substr(start, end - start)))) return;
    start = end + 1;
  }
}

}  // namespace

TAtChannel::TAtChannel(std::string exeDir) : Port(std::move(exeDir)) {}

std::unique_ptr<TNamedMutex> TAtChannel::CreatePortMutex() { return TNamedMutex::Create(kPortMutexName); }

std::unique_ptr<TNamedMutex> TAtChannel::OpenPortMutex() { return TNamedMutex::OpenExisting(kPortMutexName); }

bool TAtChannel::Write(std::string_view bytes) {
  return Port.WriteModem(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
}

uint8_t TAtChannel::Read(uint32_t capacity, uint32_t waitMs, std::string& rest, uint32_t* count, bool settle) {
  rest.clear();
  std::vector<uint8_t> buffer(capacity);
  uint32_t got = 0;
  const uint8_t result = settle ? Port.ReadModem(buffer.data(), capacity, got, waitMs)
                                : Port.ReadModemAsItComes(buffer.data(), capacity, got, waitMs);
  if (count) *count = result == kReadData ? got : 0;
  if (result == kReadData && got > 0) rest = Notices.Feed(buffer.data(), got);
  return result;
}

bool TAtChannel::ReadAnswer(uint32_t capacity, uint32_t waitMs, TAnswerWait wait, std::string& answer,
                            size_t* read) {
  // An answer may take several reads, with notices before, inside and after it. Reads go on
  // until its final line, so that no tail of it is left for the next command to take as its
  // own answer. The notices go to the stream; what follows the final line is dropped.
  std::string text;
  size_t total = 0;
  size_t answerEnd = std::string::npos;
  const auto end = TClock::now() + std::chrono::milliseconds(waitMs);
  uint32_t readWait = waitMs;
  while (answerEnd == std::string::npos && text.size() < kMaxAnswerBytes && total < kMaxReadBytes) {
    std::string rest;
    uint32_t count = 0;
    const uint8_t result = Read(capacity, readWait, rest, &count, wait != TAnswerWait::AsItComes);
    if (result == kReadFailed) break;
    if (result == kReadData && count > 0) {
      total += count;
      text += rest;
      answerEnd = FinalAnswerEnd(text);
    } else if (wait == TAnswerWait::EachRead) {
      break;
    }
    if (wait != TAnswerWait::EachRead) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - TClock::now()).count();
      if (left <= 0) break;
      readWait = static_cast<uint32_t>(left);
    }
  }
  answer = Trim(std::string_view(text).substr(0, answerEnd == std::string::npos ? text.size() : answerEnd));
  if (read) *read = total;
  return total > 0;
}

bool TAtChannel::Exchange(std::string_view command, uint32_t capacity, uint32_t waitMs, TAnswerWait wait,
                          std::string& answer) {
  answer.clear();
  if (!Write(command)) return false;
  return ReadAnswer(capacity, waitMs, wait, answer);
}

size_t TAtChannel::FinalAnswerEnd(std::string_view raw) {
  size_t start = 0;
  for (;;) {
    const size_t end = raw.find_first_of("\r\n", start);
    if (end == std::string_view::npos) return std::string_view::npos;
    const std::string line = AnsiLowerCase(Trim(raw.substr(start, end - start)));
    size_t next = end + 1;
    if (raw[end] == '\r' && next < raw.size() && raw[next] == '\n') ++next;
    if (line == "ok" || IsErrorLine(line)) return next;
    start = next;
  }
}

std::string TAtChannel::AnswerLine(std::string_view answer, std::string_view prefix) {
  std::string found;
  ForEachLine(answer, [&](std::string line) {
    if (!StartsWith(line, prefix)) return true;
    found = std::move(line);
    return false;
  });
  return found;
}

std::string TAtChannel::ErrorLine(std::string_view answer) {
  std::string found;
  ForEachLine(answer, [&](std::string line) {
    if (!StartsWith(line, "+cme error") && !StartsWith(line, "+cms error")) return true;
    found = std::move(line);
    return false;
  });
  return found;
}

std::string TAtChannel::WithoutReports(std::string_view answer, std::string_view command) {
  // The command's own information lines begin with its name: "+cpin" for "at+cpin?".
  std::string own;
  const std::string lowered = AnsiLowerCase(command);
  if (StartsWith(lowered, "at+")) {
    const size_t end = lowered.find_first_of("=?\r\n", 2);
    own = lowered.substr(2, end == std::string::npos ? std::string::npos : end - 2) + ":";
  }
  std::string kept;
  size_t start = 0;
  while (start < answer.size()) {
    size_t end = answer.find_first_of("\r\n", start);
    size_t next = end == std::string_view::npos ? answer.size() : end;
    while (next < answer.size() && (answer[next] == '\r' || answer[next] == '\n')) ++next;
    const std::string line = Trim(answer.substr(start, (end == std::string_view::npos ? answer.size() : end) - start));
    bool report = StartsWith(line, "^");
    if (!report && StartsWith(line, "+") && !IsErrorLine(line)) {
      const size_t colon = line.find(':');
      report = colon != std::string::npos && (own.empty() || line.compare(0, colon + 1, own) != 0);
    }
    if (!report) kept.append(answer.substr(start, next - start));
    start = next;
  }
  return Trim(kept);
}
