#include "tools/modemsim/ModemSim.h"

#include "common/Text.h"

#include <algorithm>

namespace {

constexpr size_t kMaxLine = 4096;     // a longer command line is cut (and then refused)
constexpr size_t kMaxPduText = 2048;  // hex digits kept of one AT+CMGS dialogue
constexpr char kCtrlZ = 0x1A;
constexpr char kEscape = 0x1B;
constexpr char kBackspace = 0x08;

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

std::string Info(std::string_view line) { return "\r\n" + std::string(line) + "\r\n"; }
std::string Cme(int code) { return Info("+CME ERROR: " + std::to_string(code)); }
std::string Cms(int code) { return Info("+CMS ERROR: " + std::to_string(code)); }

// Lines separated by '\n', each framed as an answer line.
std::string FramedLines(std::string_view lines) {
  std::string out;
  while (!lines.empty()) {
    size_t end = lines.find('\n');
    std::string_view line = lines.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out += Info(line);
    if (end == std::string_view::npos) break;
    lines.remove_prefix(end + 1);
  }
  return out;
}

// The parameters after "=": split at commas, blanks and double quotes removed.
std::vector<std::string> Params(std::string_view rest) {
  std::vector<std::string> params;
  if (!rest.empty() && rest.front() == '=') rest.remove_prefix(1);
  std::string current;
  bool quoted = false;
  for (char c : rest) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      params.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  params.push_back(Trim(current));
  return params;
}

bool ReadIndex(const std::string& text, int& value) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  return TryStrToInt(text, value);
}

}  // namespace

TModemSim::TModemSim() = default;

// ---- byte stream and clock ------------------------------------------------------------------

void TModemSim::Queue(std::string bytes, bool answer, bool report) {
  if (bytes.empty()) return;
  if (answer && !report && ReportsInside_ && !ReportLines_.empty()) bytes = WithReportsInside(bytes);
  uint64_t due = Now_ + (answer ? AnswerDelay_ : 0);
  size_t piece = (answer && SplitBytes_ > 0) ? SplitBytes_ : bytes.size();
  for (size_t position = 0; position < bytes.size(); position += piece) {
    due = std::max(due, LastDueAt_);
    if (!Output_.empty() && Output_.back().DueAt == due && piece == bytes.size())
      Output_.back().Bytes += bytes;
    else
      Output_.push_back({due, bytes.substr(position, piece)});
    LastDueAt_ = due;
    due += SplitGap_;
  }
}

void TModemSim::Feed(std::string_view bytes) {
  std::lock_guard guard(Lock_);
  Received_.append(bytes);
  for (char c : bytes) {
    if (InPrompt_)
      TakePduByte(c);
    else
      TakeCommandByte(c);
  }
}

size_t TModemSim::PendingBytes() const {
  std::lock_guard guard(Lock_);
  if (Hold_) return 0;
  size_t count = 0;
  for (const TChunk& chunk : Output_) {
    if (chunk.DueAt > Now_) break;
    count += chunk.Bytes.size();
  }
  return count;
}

std::string TModemSim::Take(size_t max) {
  std::lock_guard guard(Lock_);
  std::string out;
  if (Hold_) return out;
  while (!Output_.empty() && Output_.front().DueAt <= Now_ && out.size() < max) {
    TChunk& chunk = Output_.front();
    size_t count = std::min(max - out.size(), chunk.Bytes.size());
    out.append(chunk.Bytes, 0, count);
    if (count == chunk.Bytes.size())
      Output_.pop_front();
    else
      chunk.Bytes.erase(0, count);
  }
  return out;
}

void TModemSim::DropDue() {
  std::lock_guard guard(Lock_);
  if (Hold_) return;
  while (!Output_.empty() && Output_.front().DueAt <= Now_) Output_.pop_front();
}

void TModemSim::RunClock(uint64_t to) {
  while (RingsLeft_ > 0 && NextRingAt_ <= to) {
    Now_ = std::max(Now_, NextRingAt_);
    Queue("\r\nRING\r\n", true);
    --RingsLeft_;
    NextRingAt_ += RingInterval_;
  }
  // A long jump of the clock sends the latest reports only, not one for every interval.
  constexpr uint64_t kMaxReportsAtOnce = 100;
  if (ReportInterval_ > 0 && NextReportAt_ <= to) {
    const uint64_t missed = (to - NextReportAt_) / ReportInterval_;
    if (missed > kMaxReportsAtOnce) NextReportAt_ += (missed - kMaxReportsAtOnce) * ReportInterval_;
  }
  while (ReportInterval_ > 0 && NextReportAt_ <= to) {
    Now_ = std::max(Now_, NextReportAt_);
    Queue(NextReport(), true, true);
    if (ReportInterval_ > kNever - NextReportAt_) {
      ReportInterval_ = 0;
      break;
    }
    NextReportAt_ += ReportInterval_;
  }
  Now_ = std::max(Now_, to);
}

void TModemSim::Advance(uint64_t ms) {
  std::lock_guard guard(Lock_);
  RunClock(ms > kNever - Now_ ? kNever : Now_ + ms);
}

void TModemSim::AdvanceTo(uint64_t ms) {
  std::lock_guard guard(Lock_);
  RunClock(ms);
}

uint64_t TModemSim::Now() const {
  std::lock_guard guard(Lock_);
  return Now_;
}

std::optional<uint64_t> TModemSim::NextEventIn() const {
  std::lock_guard guard(Lock_);
  std::optional<uint64_t> next;
  if (!Hold_)
    for (const TChunk& chunk : Output_)
      if (chunk.DueAt > Now_) {
        next = chunk.DueAt - Now_;
        break;
      }
  if (RingsLeft_ > 0) {
    uint64_t ring = NextRingAt_ > Now_ ? NextRingAt_ - Now_ : 0;
    next = next ? std::min(*next, ring) : ring;
  }
  if (ReportInterval_ > 0) {
    uint64_t report = NextReportAt_ > Now_ ? NextReportAt_ - Now_ : 0;
    next = next ? std::min(*next, report) : report;
  }
  return next;
}

// ---- behaviour --------------------------------------------------------------------------------

void TModemSim::SetEcho(bool on) {
  std::lock_guard guard(Lock_);
  Echo_ = on;
}

bool TModemSim::Echo() const {
  std::lock_guard guard(Lock_);
  return Echo_;
}

void TModemSim::SetSimCard(const TSimCard& card) {
  std::lock_guard guard(Lock_);
  if (card.State == TSimCardState::Ready && Card_.State != TSimCardState::Ready) ReadySince_ = Now_;
  Card_ = card;
}

TSimCard TModemSim::SimCard() const {
  std::lock_guard guard(Lock_);
  return Card_;
}

void TModemSim::SetRegistration(uint64_t delayMs, std::string operatorName) {
  std::lock_guard guard(Lock_);
  RegistrationFrom_ = Now_;
  RegistrationDelay_ = delayMs;
  Operator_ = std::move(operatorName);
}

bool TModemSim::RegisteredNow() const {
  if (Card_.State != TSimCardState::Ready || RegistrationDelay_ == kNever) return false;
  uint64_t from = std::max(ReadySince_, RegistrationFrom_);
  return RegistrationDelay_ <= kNever - from && Now_ >= from + RegistrationDelay_;
}

bool TModemSim::Registered() const {
  std::lock_guard guard(Lock_);
  return RegisteredNow();
}

void TModemSim::SetCnmiTestAnswer(std::string line) {
  std::lock_guard guard(Lock_);
  CnmiTest_ = std::move(line);
}

void TModemSim::SetRule(std::string command, std::string answer) {
  std::lock_guard guard(Lock_);
  Rules_[AnsiUpperCase(command)] = std::move(answer);
}

void TModemSim::ClearRule(std::string command) {
  std::lock_guard guard(Lock_);
  Rules_.erase(AnsiUpperCase(command));
}

void TModemSim::ClearRules() {
  std::lock_guard guard(Lock_);
  Rules_.clear();
}

void TModemSim::SetSilent(bool silent) {
  std::lock_guard guard(Lock_);
  Silent_ = silent;
}

void TModemSim::SetAnswerDelay(uint64_t ms) {
  std::lock_guard guard(Lock_);
  AnswerDelay_ = ms;
}

void TModemSim::SetSplit(size_t pieceBytes, uint64_t gapMs) {
  std::lock_guard guard(Lock_);
  SplitBytes_ = pieceBytes;
  SplitGap_ = pieceBytes > 0 ? gapMs : 0;
}

void TModemSim::SetHold(bool hold) {
  std::lock_guard guard(Lock_);
  Hold_ = hold;
}

void TModemSim::SetSendAnswer(std::optional<std::string> answer) {
  std::lock_guard guard(Lock_);
  SendAnswer_ = std::move(answer);
}

void TModemSim::SetStoreCapacity(std::string_view storage, int capacity) {
  std::lock_guard guard(Lock_);
  Store_.SetCapacity(storage, capacity);
}

// ---- injection --------------------------------------------------------------------------------

std::vector<TSimPdu> TModemSim::InjectCmt(const TSimDeliver& message) {
  std::lock_guard guard(Lock_);
  return QueueCmt(message);
}

std::vector<TSimPdu> TModemSim::QueueCmt(const TSimDeliver& message) {
  std::vector<TSimPdu> pdus = SimBuildDeliverPdus(message);
  for (const TSimPdu& pdu : pdus)
    Queue("\r\n+CMT: ," + std::to_string(pdu.TpduLength) + "\r\n" + pdu.Hex + "\r\n", true);
  return pdus;
}

std::vector<int> TModemSim::StoreParts(const TSimDeliver& message, std::string_view storage) {
  std::vector<TSimPdu> pdus = SimBuildDeliverPdus(message);
  if (pdus.empty() || !Store_.HasStorage(storage) ||
      Store_.Capacity(storage) - Store_.Used(storage) < static_cast<int>(pdus.size()))
    return {};
  std::vector<int> indices;
  for (const TSimPdu& pdu : pdus) indices.push_back(Store_.Add(storage, {0, pdu.Hex, pdu.TpduLength}));
  return indices;
}

std::vector<int> TModemSim::InjectCmti(const TSimDeliver& message, std::string_view storage) {
  std::lock_guard guard(Lock_);
  return QueueCmti(message, storage);
}

std::vector<int> TModemSim::QueueCmti(const TSimDeliver& message, std::string_view storage) {
  std::vector<int> indices = StoreParts(message, storage);
  for (int index : indices)
    Queue("\r\n+CMTI: \"" + AnsiUpperCase(storage) + "\"," + std::to_string(index) + "\r\n", true);
  return indices;
}

std::vector<int> TModemSim::StoreSms(const TSimDeliver& message, std::string_view storage) {
  std::lock_guard guard(Lock_);
  return StoreParts(message, storage);
}

int TModemSim::StorePdu(const TSimPdu& pdu, std::string_view storage) {
  std::lock_guard guard(Lock_);
  if (!Store_.HasStorage(storage) || Store_.Used(storage) >= Store_.Capacity(storage)) return -1;
  return Store_.Add(storage, {0, pdu.Hex, pdu.TpduLength});
}

void TModemSim::InjectRing(int count, uint64_t intervalMs) {
  std::lock_guard guard(Lock_);
  if (count < 1) return;
  Queue("\r\nRING\r\n", true);
  RingsLeft_ = std::min(count, kMaxRings) - 1;
  intervalMs = std::max<uint64_t>(intervalMs, 1);
  RingInterval_ = intervalMs;
  NextRingAt_ = intervalMs > kNever - Now_ ? kNever : Now_ + intervalMs;
}

void TModemSim::InjectRaw(std::string_view bytes) {
  std::lock_guard guard(Lock_);
  Queue(std::string(bytes), true, true);
}

void TModemSim::DeliverAfter(std::string command, const TSimDeliver& message, bool stored, std::string storage) {
  std::lock_guard guard(Lock_);
  Deliveries_.push_back({AnsiUpperCase(command), message, stored, std::move(storage)});
}

void TModemSim::DeliverDue(const std::string& line) {
  const std::string upper = AnsiUpperCase(line);
  for (auto it = Deliveries_.begin(); it != Deliveries_.end();) {
    const std::string& prefix = it->Command;
    // As with the answer rules, a prefix ending in "=" does not catch the test form "=?".
    const bool testForm = !prefix.empty() && prefix.back() == '=' && upper.size() > prefix.size() &&
                          upper[prefix.size()] == '?';
    if (upper.compare(0, prefix.size(), prefix) != 0 || testForm) {
      ++it;
      continue;
    }
    if (it->Stored)
      QueueCmti(it->Message, it->Storage);
    else
      QueueCmt(it->Message);
    it = Deliveries_.erase(it);
  }
}

void TModemSim::SetStatusReport(uint64_t intervalMs, std::string lines) {
  std::lock_guard guard(Lock_);
  ReportLines_.clear();
  NextReportLine_ = 0;
  for (size_t start = 0; start <= lines.size();) {
    size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    std::string line = lines.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) ReportLines_.push_back(std::move(line));
    start = end + 1;
  }
  ReportInterval_ = ReportLines_.empty() ? 0 : intervalMs;
  NextReportAt_ = intervalMs > kNever - Now_ ? kNever : Now_ + intervalMs;
}

void TModemSim::SetReportsInside(bool inside) {
  std::lock_guard guard(Lock_);
  ReportsInside_ = inside;
}

std::string TModemSim::NextReport() {
  const std::string& line = ReportLines_[NextReportLine_];
  NextReportLine_ = (NextReportLine_ + 1) % ReportLines_.size();
  return Info(line);
}

std::string TModemSim::WithReportsInside(const std::string& bytes) {
  std::string out;
  size_t start = 0;
  for (;;) {
    const size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos || end + 2 == bytes.size()) break;
    out.append(bytes, start, end + 2 - start);
    // The report's own line break ends it; the answer goes on after it.
    const std::string report = NextReport();
    out.append(report, 2, std::string::npos);
    start = end + 2;
  }
  out.append(bytes, start, std::string::npos);
  return out;
}

// ---- records ----------------------------------------------------------------------------------

std::map<int, TSimStoredSms> TModemSim::StoredMessages(std::string_view storage) const {
  std::lock_guard guard(Lock_);
  return Store_.Messages(storage);
}

std::vector<std::string> TModemSim::Commands() const {
  std::lock_guard guard(Lock_);
  return Commands_;
}

std::string TModemSim::ReceivedBytes() const {
  std::lock_guard guard(Lock_);
  return Received_;
}

std::vector<TSimSubmit> TModemSim::SentMessages() const {
  std::lock_guard guard(Lock_);
  return Sent_;
}

void TModemSim::ClearRecords() {
  std::lock_guard guard(Lock_);
  Received_.clear();
  Commands_.clear();
  Sent_.clear();
}

std::string TModemSim::CnmiSetting() const {
  std::lock_guard guard(Lock_);
  return Cnmi_;
}

bool TModemSim::InSendPrompt() const {
  std::lock_guard guard(Lock_);
  return InPrompt_;
}

bool TModemSim::Ringing() const {
  std::lock_guard guard(Lock_);
  return RingsLeft_ > 0;
}

// ---- command interpreter ----------------------------------------------------------------------

void TModemSim::TakeCommandByte(char c) {
  if (Echo_ && !Silent_ && c != '\n') Queue(std::string(1, c), false);
  if (c == '\r') {
    std::string line;
    line.swap(Line_);
    RunLine(line);
  } else if (c == '\n') {
    // The line feed after a carriage return ends nothing more.
  } else if (c == kBackspace) {
    if (!Line_.empty()) Line_.pop_back();
  } else if (Line_.size() < kMaxLine) {
    Line_ += c;
  }
}

void TModemSim::TakePduByte(char c) {
  if (Echo_ && !Silent_ && c != kCtrlZ && c != kEscape) Queue(std::string(1, c), false);
  if (c == kCtrlZ) {
    InPrompt_ = false;
    Commands_.push_back(PduText_);
    std::string answer = FinishSend();
    if (!Silent_) Queue(answer, true);
  } else if (c == kEscape) {
    InPrompt_ = false;
    Commands_.push_back(PduText_);
    if (!Silent_) Queue(kOk, true);
  } else if (c == '\r' || c == '\n' || c == ' ') {
    // Line breaks and blanks around the hex digits are not part of the PDU.
  } else if (PduText_.size() < kMaxPduText) {
    PduText_ += c;
  }
}

void TModemSim::RunLine(const std::string& line) {
  std::string text = Trim(line);
  if (text.empty()) return;
  Commands_.push_back(text);
  if (text.size() < 2 || AnsiUpperCase(text.substr(0, 2)) != "AT") return;
  std::string answer = AnswerTo(text);
  if (!Silent_) Queue(answer, true);
  DeliverDue(text);
}

std::string TModemSim::AnswerTo(const std::string& line) {
  std::string upper = AnsiUpperCase(line);

  const std::string* rule = nullptr;
  size_t ruleLength = 0;
  for (const auto& [prefix, answer] : Rules_) {
    if (upper.compare(0, prefix.size(), prefix) != 0 || prefix.size() < ruleLength) continue;
    if (!prefix.empty() && prefix.back() == '=' && upper.size() > prefix.size() && upper[prefix.size()] == '?')
      continue;
    rule = &answer;
    ruleLength = prefix.size();
  }
  if (rule) return FramedLines(*rule);

  std::string body = upper.substr(2);
  if (body.empty()) return kOk;
  if (body == "E" || body == "E0" || body == "E1") {
    Echo_ = body == "E1";
    return kOk;
  }
  if (body == "H" || body == "H0") {
    RingsLeft_ = 0;
    return kOk;
  }
  if (body[0] != '+') return kError;

  size_t nameEnd = body.find_first_of("=?");
  std::string name = body.substr(0, nameEnd);
  // The rest keeps the host's letter case: a PIN or an index is taken as written.
  std::string rest = nameEnd == std::string::npos ? std::string() : line.substr(2 + nameEnd);
  std::string restUpper = AnsiUpperCase(rest);

  if (name == "+CPIN") return Cpin(rest);
  if (name == "+CNMI") return Cnmi(rest);
  if (name == "+CMGF") {
    if (restUpper == "?") return Info("+CMGF: 0") + kOk;
    if (restUpper == "=?") return Info("+CMGF: (0)") + kOk;
    std::string locked = SimLockedError();
    if (!locked.empty()) return locked;
    if (restUpper == "=0") return kOk;
    if (restUpper == "=1") return Cms(303);  // text mode is not offered
    return kError;
  }
  if (name == "+CSCS") {
    if (restUpper == "?") return Info("+CSCS: \"" + Charset_ + "\"") + kOk;
    if (restUpper == "=?") return Info("+CSCS: (\"GSM\",\"IRA\",\"UCS2\")") + kOk;
    if (rest.empty() || rest[0] != '=') return kError;
    Charset_ = AnsiUpperCase(Params(rest).front());
    return kOk;
  }
  if (name == "+COLP") return restUpper == "?" ? Info("+COLP: 1,1") + kOk : kOk;
  if (name == "+CREG") {
    if (restUpper == "?") {
      const char* state = Card_.State != TSimCardState::Ready ? "0" : RegisteredNow() ? "1" : "2";
      return Info(std::string("+CREG: 0,") + state) + kOk;
    }
    return kOk;
  }
  if (name == "+COPS") {
    if (restUpper != "?") return kOk;
    if (RegisteredNow() && !Operator_.empty()) return Info("+COPS: 0,0,\"" + Operator_ + "\"") + kOk;
    return Info("+COPS: 0") + kOk;
  }
  if (name == "+CPMS") return Cpms(restUpper);
  if (name == "+CMGR") return Cmgr(restUpper);
  if (name == "+CMGD") return Cmgd(restUpper);
  if (name == "+CMGL") return Cmgl(restUpper);
  if (name == "+CMGS") return Cmgs(restUpper);
  return kError;
}

std::string TModemSim::SimLockedError() const {
  switch (Card_.State) {
    case TSimCardState::Ready: return {};
    case TSimCardState::Pin: return Cms(311);
    case TSimCardState::Puk: return Cms(316);
    case TSimCardState::Pin2: return Cms(317);
    case TSimCardState::Puk2: return Cms(318);
  }
  return {};
}

std::string TModemSim::Cpin(const std::string& rest) {
  if (rest == "?") {
    static const char* const kStates[] = {"READY", "SIM PIN", "SIM PIN2", "SIM PUK", "SIM PUK2"};
    return Info(std::string("+CPIN: ") + kStates[static_cast<int>(Card_.State)]) + kOk;
  }
  if (rest == "=?") return kOk;
  if (rest.empty() || rest[0] != '=') return kError;
  std::vector<std::string> params = Params(rest);
  auto unlock = [this] {
    Card_.State = TSimCardState::Ready;
    ReadySince_ = Now_;
    return kOk;
  };
  switch (Card_.State) {
    case TSimCardState::Ready:
      return Cme(3);  // nothing to unlock
    case TSimCardState::Pin:
      return params[0] == Card_.Pin ? unlock() : Cme(16);
    case TSimCardState::Pin2:
      return params[0] == Card_.Pin2 ? unlock() : Cme(16);
    case TSimCardState::Puk:
    case TSimCardState::Puk2: {
      bool puk2 = Card_.State == TSimCardState::Puk2;
      if (params.size() < 2 || params[1].empty()) return Cme(3);  // a new PIN must come with the PUK
      if (params[0] != (puk2 ? Card_.Puk2 : Card_.Puk)) return Cme(16);
      (puk2 ? Card_.Pin2 : Card_.Pin) = params[1];
      return unlock();
    }
  }
  return kError;
}

std::string TModemSim::Cnmi(const std::string& rest) {
  if (rest == "=?") return (CnmiTest_.empty() ? std::string() : Info(CnmiTest_)) + kOk;
  if (rest == "?") return Info("+CNMI: " + (Cnmi_.empty() ? std::string("0,0,0,0,0") : Cnmi_)) + kOk;
  if (rest.empty() || rest[0] != '=') return kError;
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  Cnmi_ = rest.substr(1);
  return kOk;
}

std::string TModemSim::Cpms(const std::string& rest) {
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  auto usage = [this](const std::string& storage) {
    return std::to_string(Store_.Used(storage)) + "," + std::to_string(Store_.Capacity(storage));
  };
  if (rest == "=?") return Info("+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")") + kOk;
  if (rest == "?")
    return Info("+CPMS: \"" + ReadStorage_ + "\"," + usage(ReadStorage_) + ",\"" + WriteStorage_ + "\"," +
                usage(WriteStorage_) + ",\"" + ReceiveStorage_ + "\"," + usage(ReceiveStorage_)) + kOk;
  if (rest.empty() || rest[0] != '=') return kError;
  std::vector<std::string> params = Params(rest);
  if (params.size() > 3) return kError;
  for (const std::string& storage : params)
    if (!Store_.HasStorage(storage)) return Cms(302);
  ReadStorage_ = params[0];
  if (params.size() > 1) WriteStorage_ = params[1];
  if (params.size() > 2) ReceiveStorage_ = params[2];
  return Info("+CPMS: " + usage(ReadStorage_) + "," + usage(WriteStorage_) + "," + usage(ReceiveStorage_)) + kOk;
}

std::string TModemSim::Cmgr(const std::string& rest) {
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  if (rest == "=?") return kOk;
  int index = 0;
  if (rest.empty() || rest[0] != '=' || !ReadIndex(Trim(rest.substr(1)), index)) return kError;
  TSimStoredSms* message = Store_.Find(ReadStorage_, index);
  if (!message) return Cms(321);
  std::string answer = "\r\n+CMGR: " + std::to_string(message->Status) + ",," + std::to_string(message->TpduLength) +
                       "\r\n" + message->Pdu + "\r\n" + kOk;
  if (message->Status == 0) message->Status = 1;
  return answer;
}

std::string TModemSim::Cmgd(const std::string& rest) {
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  if (rest == "=?") return Info("+CMGD: (1-" + std::to_string(Store_.Capacity(ReadStorage_)) + "),(0-4)") + kOk;
  if (rest.empty() || rest[0] != '=') return kError;
  std::vector<std::string> params = Params(rest);
  int index = 0, flag = 0;
  if (params.size() > 2 || !ReadIndex(params[0], index) || (params.size() == 2 && !ReadIndex(params[1], flag)) ||
      flag > 4)
    return kError;
  if (flag == 0) {
    if (index < 1 || index > Store_.Capacity(ReadStorage_)) return Cms(321);
    Store_.Remove(ReadStorage_, index);
    return kOk;
  }
  // 1 read, 2 read and sent, 3 read, sent and unsent, 4 everything.
  static const bool kDeletes[5][4] = {{}, {false, true, false, false}, {false, true, false, true},
                                      {false, true, true, true}, {true, true, true, true}};
  for (const auto& [slot, message] : Store_.Messages(ReadStorage_))
    if (message.Status >= 0 && message.Status < 4 && kDeletes[flag][message.Status]) Store_.Remove(ReadStorage_, slot);
  return kOk;
}

std::string TModemSim::Cmgl(const std::string& rest) {
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  if (rest == "=?") return Info("+CMGL: (0-4)") + kOk;
  int status = 0;
  if (!rest.empty() && (rest[0] != '=' || !ReadIndex(Trim(rest.substr(1)), status) || status > 4)) return kError;
  std::string answer;
  for (const auto& [slot, message] : Store_.Messages(ReadStorage_)) {
    if (status != 4 && message.Status != status) continue;
    answer += "\r\n+CMGL: " + std::to_string(slot) + "," + std::to_string(message.Status) + ",," +
              std::to_string(message.TpduLength) + "\r\n" + message.Pdu;
    TSimStoredSms* stored = Store_.Find(ReadStorage_, slot);
    if (stored->Status == 0) stored->Status = 1;
  }
  if (!answer.empty()) answer += "\r\n";
  return answer + kOk;
}

std::string TModemSim::Cmgs(const std::string& rest) {
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  if (rest == "=?") return kOk;
  int length = 0;
  if (rest.empty() || rest[0] != '=' || !ReadIndex(Trim(rest.substr(1)), length)) return kError;
  if (length < 1 || length > 255) return Cms(304);
  InPrompt_ = true;
  AnnouncedLength_ = length;
  PduText_.clear();
  return "\r\n> ";
}

std::string TModemSim::FinishSend() {
  TSimSubmit message;
  TSimSubmitError error = SimDecodeSubmitPdu(PduText_, AnnouncedLength_, message);
  if (error != TSimSubmitError::None) return Cms(static_cast<int>(error));
  if (SendAnswer_) return FramedLines(*SendAnswer_);
  ++NextReference_;
  Sent_.push_back(message);
  return Info("+CMGS: " + std::to_string(NextReference_)) + kOk;
}
