#include "gsm/AtChannel.h"

#include "common/Text.h"
#include "platform/NamedMutex.h"

#include <algorithm>
#include <chrono>
#include <vector>

const char kPortMutexName[] = "OrvexMonitorFTDIMutex";

namespace {

using TClock = std::chrono::steady_clock;

// An answer is read until its final line; a modem that never sends one is given up on after
// this much read in all (notices and reports included), whatever the waits say.
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
  if (bytes.size() >= 2 && (bytes[0] == 'a' || bytes[0] == 'A') && (bytes[1] == 't' || bytes[1] == 'T'))
    Notices.CommandSent(bytes);
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
                            size_t* read, size_t maxAnswerBytes) {
  // An answer may take several reads, with notices and reports before, inside and after it.
  // Reads go on until its final line, so that no tail of it is left for the next command to
  // take as its own answer. The notices go to the stream, the reports are dropped there; what
  // follows the final line is dropped too. Answer text and notices (the answer may come behind
  // a burst of them) restart the wait of EachRead; reports do not, so a modem that reports all
  // the time does not keep the reading going.
  std::string text;
  size_t total = 0;
  size_t answerEnd = std::string::npos;
  auto end = TClock::now() + std::chrono::milliseconds(waitMs);
  while (answerEnd == std::string::npos && text.size() < maxAnswerBytes && total < kMaxReadBytes) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - TClock::now()).count();
    if (left <= 0) break;
    std::string rest;
    uint32_t count = 0;
    const uint64_t noticesBefore = Notices.NoticesRead();
    const std::string unfinishedBefore = Notices.Unfinished();
    const uint8_t result =
        Read(capacity, static_cast<uint32_t>(left), rest, &count, wait != TAnswerWait::AsItComes);
    if (result == kReadFailed) break;
    if (result != kReadData || count == 0) continue;
    total += count;
    text += rest;
    const bool answerText = !Trim(rest).empty();
    if (answerText) answerEnd = FinalAnswerEnd(text);
    const std::string unfinished = Notices.Unfinished();
    const bool notice =
        Notices.NoticesRead() != noticesBefore || (!unfinished.empty() && unfinished != unfinishedBefore);
    if (wait == TAnswerWait::EachRead && (answerText || notice))
      end = TClock::now() + std::chrono::milliseconds(waitMs);
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

std::string TAtChannel::NextLine(std::string_view answer, size_t from) {
  size_t start = answer.find_first_of("\r\n", from);
  while (start != std::string_view::npos && start < answer.size()) {
    const size_t end = std::min(answer.find_first_of("\r\n", start + 1), answer.size());
    const std::string line = Trim(answer.substr(start, end - start));
    if (!line.empty()) return line;
    start = end;
  }
  return std::string();
}
