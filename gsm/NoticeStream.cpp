#include "gsm/NoticeStream.h"

#include "common/RegExpr.h"
#include "common/Text.h"

#include <vector>

namespace {

// An unfinished notice is kept at most this long; more is taken as it stands.
constexpr size_t kMaxUnfinishedBytes = 8192;

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// Whole lines that some modems send on their own, without a prefix.
constexpr std::string_view kBareReports[] = {"rdy", "call ready", "sms ready"};

bool IsErrorLine(std::string_view line) { return StartsWith(line, "+cme error") || StartsWith(line, "+cms error"); }

// The start of a line that may still become a notice once the rest of it arrives.
bool MayBecomeNotice(std::string_view text) {
  for (std::string_view notice : {std::string_view("+cmti:"), std::string_view("+cmt:"), std::string_view("ring")})
    if (text.size() < notice.size() && StartsWith(notice, text)) return true;
  return false;
}

// The start of a line that may still become a status report. A "+name:" line cannot be told
// from an answer's information line before its end either; it is kept back until then too.
bool MayBecomeReport(std::string_view text) {
  if (StartsWith(text, "^") || StartsWith(text, "+")) return true;
  for (std::string_view report : kBareReports)
    if (text.size() <= report.size() && StartsWith(report, text)) return true;
  return false;
}

// Past one line end (CR LF, CR or LF) at `pos`.
size_t SkipOneLineEnd(std::string_view text, size_t pos) {
  if (pos < text.size() && text[pos] == '\r') ++pos;
  if (pos < text.size() && text[pos] == '\n') ++pos;
  return pos;
}

// A +CMTI line as a notice, with the stored message it names.
TModemNotice CmtiNotice(std::string text) {
  TModemNotice notice{TModemNotice::TKind::Cmti, std::move(text), {}, {}};
  TStoredSms slot;
  if (ParseCmti(notice.Text, slot.Storage, slot.Index)) notice.Slot = std::move(slot);
  return notice;
}

}  // namespace

bool ParseCmti(const std::string& text, std::string& storage, std::string& index) {
  static thread_local TRegExpr pattern("\\+cmti:\\s+\"?([\\w]{2})\"?,([\\d]+)");
  if (!pattern.Exec(text)) return false;
  storage = pattern.Match(1);
  index = pattern.Match(2);
  return true;
}

void TNoticeStream::CommandSent(std::string_view command) {
  const std::string lowered = AnsiLowerCase(command);
  std::lock_guard<std::mutex> lock(Lock);
  CommandKnown = true;
  OwnInformation.clear();
  if (StartsWith(lowered, "at+")) {
    const size_t end = lowered.find_first_of("=?;\r\n", 2);
    OwnInformation = lowered.substr(2, end == std::string::npos ? std::string::npos : end - 2) + ":";
  }
}

bool TNoticeStream::IsReport(std::string_view line, bool inNotice) const {
  if (line.empty()) return false;
  if (line[0] == '^') return true;
  for (std::string_view report : kBareReports)
    if (line == report) return true;
  // +CMT and +CMTI are notices, and an error report is an answer.
  if (line[0] != '+' || StartsWith(line, "+cmt") || IsErrorLine(line)) return false;
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  if (inNotice) return true;
  if (!CommandKnown) return false;
  return OwnInformation.empty() || line.substr(0, colon + 1) != OwnInformation;
}

std::string TNoticeStream::Feed(std::string_view bytes) {
  std::unique_lock<std::mutex> lock(Lock);
  std::vector<std::string> droppedHeaders;
  const bool carried = !Carry.empty();
  std::string text;
  text.swap(Carry);
  text += AnsiLowerCase(bytes);
  for (char& c : text)
    if (c == '\0') c = ' ';

  std::string rest;
  size_t pos = 0;
  // The line feed of a notice whose carriage return ended the last read.
  if (LineFeedDue && !text.empty()) {
    if (text[0] == '\n') pos = 1;
    LineFeedDue = false;
  }
  const std::string_view all(text);
  // The rest of a line that the last read ended in, and that was no notice.
  if (InLine) {
    const size_t lineEnd = all.find_first_of("\r\n");
    const size_t line = lineEnd == std::string_view::npos ? all.size() : lineEnd;
    rest.append(all.substr(0, line));
    pos = line;
    InLine = lineEnd == std::string_view::npos;
  }
  // Past the line end of a notice.
  auto lineEndOfNotice = [&](size_t at) {
    const size_t next = SkipOneLineEnd(all, at);
    LineFeedDue = next == all.size() && next == at + 1 && all[at] == '\r';
    return next;
  };
  while (pos < all.size()) {
    if (IsLineEnd(all[pos])) {
      rest += all[pos++];
      continue;
    }
    size_t start = pos;
    while (start < all.size() && IsBlank(all[start])) ++start;
    const size_t lineEnd = all.find_first_of("\r\n", start);
    const size_t line = lineEnd == std::string_view::npos ? all.size() : lineEnd;
    const std::string_view content = all.substr(start, line - start);

    if (StartsWith(content, "+cmti:")) {
      if (lineEnd == std::string_view::npos) {
        Carry = all.substr(pos);
        break;
      }
      Queue.push_back(CmtiNotice(Trim(content)));
      pos = lineEndOfNotice(line);
    } else if (StartsWith(content, "+cmt:")) {
      // The header, the line break and the PDU line up to its end; status reports may stand
      // between the two lines.
      if (lineEnd == std::string_view::npos) {
        Carry = all.substr(pos);
        break;
      }
      const std::string header = Trim(content);
      size_t pduStart = line;
      bool reportsSkipped = false;
      bool complete = true;
      for (;;) {
        while (pduStart < all.size() && IsLineEnd(all[pduStart])) ++pduStart;
        const size_t candidateEnd = all.find_first_of("\r\n", pduStart);
        const std::string_view candidate =
            all.substr(pduStart, (candidateEnd == std::string_view::npos ? all.size() : candidateEnd) - pduStart);
        if (candidateEnd == std::string_view::npos) {
          // A PDU line or a report that has not come whole yet.
          size_t hexEnd = pduStart;
          while (hexEnd < all.size() && IsHexDigit(all[hexEnd])) ++hexEnd;
          complete = hexEnd != all.size() && !MayBecomeReport(Trim(candidate));
          break;
        }
        if (!IsReport(Trim(candidate), true)) break;
        pduStart = candidateEnd;
        reportsSkipped = true;
      }
      if (!complete) {
        // The reports skipped so far are not kept: only the header waits for its line.
        Carry = reportsSkipped ? std::string(all.substr(pos, line - pos)) + "\r\n" + std::string(all.substr(pduStart))
                               : std::string(all.substr(pos));
        break;
      }
      size_t pduEnd = pduStart;
      while (pduEnd < all.size() && IsHexDigit(all[pduEnd])) ++pduEnd;
      if (pduEnd == pduStart) {
        // Something else came where the PDU line belongs: the header is no message. That line
        // is read on its own; the reports before it stay reports.
        droppedHeaders.push_back(header);
        pos = pduStart;
        continue;
      }
      Queue.push_back({TModemNotice::TKind::Cmt, header + "\r\n" + std::string(all.substr(pduStart, pduEnd - pduStart))});
      pos = lineEndOfNotice(pduEnd);
    } else if (StartsWith(content, "ring")) {
      if (lineEnd == std::string_view::npos) {
        Carry = all.substr(pos);
        break;
      }
      Queue.push_back({TModemNotice::TKind::Ring, Trim(content)});
      pos = lineEndOfNotice(line);
    } else {
      if (lineEnd == std::string_view::npos && (MayBecomeNotice(content) || MayBecomeReport(Trim(content)))) {
        Carry = all.substr(pos);
        break;
      }
      if (lineEnd != std::string_view::npos && IsReport(Trim(content), false)) {
        // A status report of the modem's own, with its line end: no answer.
        pos = lineEndOfNotice(line);
        continue;
      }
      rest.append(all.substr(pos, line - pos));
      pos = line;
      InLine = lineEnd == std::string_view::npos;
    }
  }
  // The unfinished notice's wait runs from the read that began it.
  if (!Carry.empty() && !(carried && pos == 0)) CarrySince = Clock();
  // No notice is that long: what has come is all there will be of it.
  if (Carry.size() > kMaxUnfinishedBytes) QueueUnfinished();
  lock.unlock();
  if (DroppedNotice)
    for (const std::string& header : droppedHeaders) DroppedNotice(header);
  return rest;
}

bool TNoticeStream::CarryIsCmt() const {
  size_t start = 0;
  while (start < Carry.size() && static_cast<unsigned char>(Carry[start]) <= ' ') ++start;
  return StartsWith(std::string_view(Carry).substr(start), "+cmt:");
}

bool TNoticeStream::Flush(bool quiet) {
  std::string dropped;
  bool queued = false;
  {
    std::lock_guard<std::mutex> lock(Lock);
    if (Carry.empty()) return false;
    const bool waited = Clock() - CarrySince >= kCmtPduWait;
    if (CarryIsCmt()) {
      if (!waited) return false;
      dropped = Trim(Carry);
      Carry.clear();
    } else {
      if (!quiet && !waited) return false;
      queued = QueueUnfinished();
    }
  }
  if (!dropped.empty() && DroppedNotice) DroppedNotice(dropped);
  return queued;
}

bool TNoticeStream::QueueUnfinished() {
  std::string cut;
  cut.swap(Carry);
  size_t start = 0;
  while (start < cut.size() && static_cast<unsigned char>(cut[start]) <= ' ') ++start;
  const std::string_view content = std::string_view(cut).substr(start);
  if (StartsWith(content, "+cmti:")) {
    Queue.push_back(CmtiNotice(Trim(content)));
    return true;
  }
  if (StartsWith(content, "+cmt:")) {
    Queue.push_back({TModemNotice::TKind::Cmt, Trim(content)});
    return true;
  }
  if (StartsWith(content, "ring")) {
    Queue.push_back({TModemNotice::TKind::Ring, Trim(content)});
    return true;
  }
  // The start of a line that never became a notice.
  return false;
}

void TNoticeStream::Add(TModemNotice notice) {
  std::lock_guard<std::mutex> lock(Lock);
  Queue.push_back(std::move(notice));
}

void TNoticeStream::AddFirst(std::vector<TModemNotice> notices) {
  std::lock_guard<std::mutex> lock(Lock);
  Queue.insert(Queue.begin(), std::make_move_iterator(notices.begin()), std::make_move_iterator(notices.end()));
}

bool TNoticeStream::Next(TModemNotice& notice) {
  std::lock_guard<std::mutex> lock(Lock);
  if (Queue.empty()) return false;
  notice = std::move(Queue.front());
  Queue.pop_front();
  ++TakenCount;
  return true;
}

bool TNoticeStream::HasPending() const {
  std::lock_guard<std::mutex> lock(Lock);
  return !Queue.empty() || !Carry.empty();
}

bool TNoticeStream::HasQueued() const {
  std::lock_guard<std::mutex> lock(Lock);
  return !Queue.empty();
}

std::string TNoticeStream::Unfinished() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Carry;
}

uint64_t TNoticeStream::NoticesRead() const {
  std::lock_guard<std::mutex> lock(Lock);
  return TakenCount + Queue.size();
}

void TNoticeStream::DropUnfinished() {
  std::lock_guard<std::mutex> lock(Lock);
  Carry.clear();
  LineFeedDue = false;
  InLine = false;
}
