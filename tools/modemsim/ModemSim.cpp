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
  if (answer && !report && ReportsInside && !ReportLines.empty()) bytes = WithReportsInside(bytes);
  uint64_t due = SimTime + (answer ? AnswerDelay : 0);
  size_t piece = (answer && SplitBytes > 0) ? SplitBytes : bytes.size();
  for (size_t position = 0; position < bytes.size(); position += piece) {
    due = std::max(due, LastDueAt);
    if (!Output.empty() && Output.back().DueAt == due && piece == bytes.size())
      Output.back().Bytes += bytes;
    else
      Output.push_back({due, bytes.substr(position, piece)});
    LastDueAt = due;
    due += SplitGap;
  }
}

void TModemSim::Feed(std::string_view bytes) {
  std::lock_guard guard(Lock);
  Received.append(bytes);
  for (char c : bytes) {
    if (InPrompt)
      TakePduByte(c);
    else
      TakeCommandByte(c);
  }
}

size_t TModemSim::PendingBytes() const {
  std::lock_guard guard(Lock);
  if (Hold) return 0;
  size_t count = 0;
  for (const TChunk& chunk : Output) {
    if (chunk.DueAt > SimTime) break;
    count += chunk.Bytes.size();
  }
  return count;
}

std::string TModemSim::Take(size_t max) {
  std::lock_guard guard(Lock);
  std::string out;
  if (Hold) return out;
  while (!Output.empty() && Output.front().DueAt <= SimTime && out.size() < max) {
    TChunk& chunk = Output.front();
    size_t count = std::min(max - out.size(), chunk.Bytes.size());
    out.append(chunk.Bytes, 0, count);
    if (count == chunk.Bytes.size())
      Output.pop_front();
    else
      chunk.Bytes.erase(0, count);
  }
  return out;
}

void TModemSim::DropDue() {
  std::lock_guard guard(Lock);
  if (Hold) return;
  while (!Output.empty() && Output.front().DueAt <= SimTime) Output.pop_front();
}

void TModemSim::RunClock(uint64_t to) {
  while (RingsLeft > 0 && NextRingAt <= to) {
    SimTime = std::max(SimTime, NextRingAt);
    Queue("\r\nRING\r\n", true);
    --RingsLeft;
    NextRingAt += RingInterval;
  }
  // A long jump of the clock sends the latest reports only, not one for every interval.
  constexpr uint64_t kMaxReportsAtOnce = 100;
  if (ReportInterval > 0 && NextReportAt <= to) {
    const uint64_t missed = (to - NextReportAt) / ReportInterval;
    if (missed > kMaxReportsAtOnce) NextReportAt += (missed - kMaxReportsAtOnce) * ReportInterval;
  }
  while (ReportInterval > 0 && NextReportAt <= to) {
    SimTime = std::max(SimTime, NextReportAt);
    Queue(NextReport(), true, true);
    if (ReportInterval > kNever - NextReportAt) {
      ReportInterval = 0;
      break;
    }
    NextReportAt += ReportInterval;
  }
  SimTime = std::max(SimTime, to);
}

void TModemSim::Advance(uint64_t ms) {
  std::lock_guard guard(Lock);
  RunClock(ms > kNever - SimTime ? kNever : SimTime + ms);
}

void TModemSim::AdvanceTo(uint64_t ms) {
  std::lock_guard guard(Lock);
  RunClock(ms);
}

uint64_t TModemSim::Now() const {
  std::lock_guard guard(Lock);
  return SimTime;
}

std::optional<uint64_t> TModemSim::NextEventIn() const {
  std::lock_guard guard(Lock);
  std::optional<uint64_t> next;
  if (!Hold)
    for (const TChunk& chunk : Output)
      if (chunk.DueAt > SimTime) {
        next = chunk.DueAt - SimTime;
        break;
      }
  if (RingsLeft > 0) {
    uint64_t ring = NextRingAt > SimTime ? NextRingAt - SimTime : 0;
    next = next ? std::min(*next, ring) : ring;
  }
  if (ReportInterval > 0) {
    uint64_t report = NextReportAt > SimTime ? NextReportAt - SimTime : 0;
    next = next ? std::min(*next, report) : report;
  }
  return next;
}

// ---- behaviour --------------------------------------------------------------------------------

void TModemSim::SetEcho(bool on) {
  std::lock_guard guard(Lock);
  EchoOn = on;
}

bool TModemSim::Echo() const {
  std::lock_guard guard(Lock);
  return EchoOn;
}

void TModemSim::SetSimCard(const TSimCard& card) {
  std::lock_guard guard(Lock);
  if (card.State == TSimCardState::Ready && Card.State != TSimCardState::Ready) ReadySince = SimTime;
  Card = card;
}

TSimCard TModemSim::SimCard() const {
  std::lock_guard guard(Lock);
  return Card;
}

void TModemSim::SetRegistration(uint64_t delayMs, std::string operatorName) {
  std::lock_guard guard(Lock);
  RegistrationFrom = SimTime;
  RegistrationDelay = delayMs;
  Operator = std::move(operatorName);
}

bool TModemSim::RegisteredNow() const {
  if (Card.State != TSimCardState::Ready || RegistrationDelay == kNever) return false;
  uint64_t from = std::max(ReadySince, RegistrationFrom);
  return RegistrationDelay <= kNever - from && SimTime >= from + RegistrationDelay;
}

bool TModemSim::Registered() const {
  std::lock_guard guard(Lock);
  return RegisteredNow();
}

void TModemSim::SetCnmiTestAnswer(std::string line) {
  std::lock_guard guard(Lock);
  CnmiTest = std::move(line);
}

void TModemSim::SetRule(std::string command, std::string answer) {
  std::lock_guard guard(Lock);
  Rules[AnsiUpperCase(command)] = std::move(answer);
}

void TModemSim::ClearRule(std::string command) {
  std::lock_guard guard(Lock);
  Rules.erase(AnsiUpperCase(command));
}

void TModemSim::ClearRules() {
  std::lock_guard guard(Lock);
  Rules.clear();
}

void TModemSim::SetSilent(bool silent) {
  std::lock_guard guard(Lock);
  Silent = silent;
}

void TModemSim::SetAnswerDelay(uint64_t ms) {
  std::lock_guard guard(Lock);
  AnswerDelay = ms;
}

void TModemSim::SetSplit(size_t pieceBytes, uint64_t gapMs) {
  std::lock_guard guard(Lock);
  SplitBytes = pieceBytes;
  SplitGap = pieceBytes > 0 ? gapMs : 0;
}

void TModemSim::SetHold(bool hold) {
  std::lock_guard guard(Lock);
  Hold = hold;
}

void TModemSim::SetSendAnswer(std::optional<std::string> answer) {
  std::lock_guard guard(Lock);
  SendAnswer = std::move(answer);
}

void TModemSim::SetStoreCapacity(std::string_view storage, int capacity) {
  std::lock_guard guard(Lock);
  Store.SetCapacity(storage, capacity);
}

// ---- injection --------------------------------------------------------------------------------

std::vector<TSimPdu> TModemSim::InjectCmt(const TSimDeliver& message) {
  std::lock_guard guard(Lock);
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
  if (pdus.empty() || !Store.HasStorage(storage) ||
      Store.Capacity(storage) - Store.Used(storage) < static_cast<int>(pdus.size()))
    return {};
  std::vector<int> indices;
  for (const TSimPdu& pdu : pdus) indices.push_back(Store.Add(storage, {0, pdu.Hex, pdu.TpduLength}));
  return indices;
}

std::vector<int> TModemSim::InjectCmti(const TSimDeliver& message, std::string_view storage) {
  std::lock_guard guard(Lock);
  return QueueCmti(message, storage);
}

std::vector<int> TModemSim::QueueCmti(const TSimDeliver& message, std::string_view storage) {
  std::vector<int> indices = StoreParts(message, storage);
  for (int index : indices)
    Queue("\r\n+CMTI: \"" + AnsiUpperCase(storage) + "\"," + std::to_string(index) + "\r\n", true);
  return indices;
}

std::vector<int> TModemSim::StoreSms(const TSimDeliver& message, std::string_view storage) {
  std::lock_guard guard(Lock);
  return StoreParts(message, storage);
}

int TModemSim::StorePdu(const TSimPdu& pdu, std::string_view storage) {
  std::lock_guard guard(Lock);
  if (!Store.HasStorage(storage) || Store.Used(storage) >= Store.Capacity(storage)) return -1;
  return Store.Add(storage, {0, pdu.Hex, pdu.TpduLength});
}

void TModemSim::InjectRing(int count, uint64_t intervalMs) {
  std::lock_guard guard(Lock);
  if (count < 1) return;
  Queue("\r\nRING\r\n", true);
  RingsLeft = std::min(count, kMaxRings) - 1;
  intervalMs = std::max<uint64_t>(intervalMs, 1);
  RingInterval = intervalMs;
  NextRingAt = intervalMs > kNever - SimTime ? kNever : SimTime + intervalMs;
}

void TModemSim::InjectRaw(std::string_view bytes) {
  std::lock_guard guard(Lock);
  Queue(std::string(bytes), true, true);
}

void TModemSim::DeliverAfter(std::string command, const TSimDeliver& message, bool stored, std::string storage) {
  std::lock_guard guard(Lock);
  Deliveries.push_back({AnsiUpperCase(command), message, stored, std::move(storage)});
}

void TModemSim::DeliverDue(const std::string& line) {
  const std::string upper = AnsiUpperCase(line);
  for (auto it = Deliveries.begin(); it != Deliveries.end();) {
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
    it = Deliveries.erase(it);
  }
}

void TModemSim::SetStatusReport(uint64_t intervalMs, std::string lines) {
  std::lock_guard guard(Lock);
  ReportLines.clear();
  NextReportLine = 0;
  for (size_t start = 0; start <= lines.size();) {
    size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    std::string line = lines.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) ReportLines.push_back(std::move(line));
    start = end + 1;
  }
  ReportInterval = ReportLines.empty() ? 0 : intervalMs;
  NextReportAt = intervalMs > kNever - SimTime ? kNever : SimTime + intervalMs;
}

void TModemSim::SetReportsInside(bool inside) {
  std::lock_guard guard(Lock);
  ReportsInside = inside;
}

std::string TModemSim::NextReport() {
  const std::string& line = ReportLines[NextReportLine];
  NextReportLine = (NextReportLine + 1) % ReportLines.size();
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
  std::lock_guard guard(Lock);
  return Store.Messages(storage);
}

std::vector<std::string> TModemSim::Commands() const {
  std::lock_guard guard(Lock);
  return ReceivedCommands;
}

std::string TModemSim::ReceivedBytes() const {
  std::lock_guard guard(Lock);
  return Received;
}

std::vector<TSimSubmit> TModemSim::SentMessages() const {
  std::lock_guard guard(Lock);
  return Sent;
}

void TModemSim::ClearRecords() {
  std::lock_guard guard(Lock);
  Received.clear();
  ReceivedCommands.clear();
  Sent.clear();
}

std::string TModemSim::CnmiSetting() const {
  std::lock_guard guard(Lock);
  return CnmiValue;
}

bool TModemSim::InSendPrompt() const {
  std::lock_guard guard(Lock);
  return InPrompt;
}

bool TModemSim::Ringing() const {
  std::lock_guard guard(Lock);
  return RingsLeft > 0;
}

// ---- command interpreter ----------------------------------------------------------------------

void TModemSim::TakeCommandByte(char c) {
  if (EchoOn && !Silent && c != '\n') Queue(std::string(1, c), false);
  if (c == '\r') {
    std::string line;
    line.swap(Line);
    RunLine(line);
  } else if (c == '\n') {
    // The line feed after a carriage return ends nothing more.
  } else if (c == kBackspace) {
    if (!Line.empty()) Line.pop_back();
  } else if (Line.size() < kMaxLine) {
    Line += c;
  }
}

void TModemSim::TakePduByte(char c) {
  if (EchoOn && !Silent && c != kCtrlZ && c != kEscape) Queue(std::string(1, c), false);
  if (c == kCtrlZ) {
    InPrompt = false;
    ReceivedCommands.push_back(PduText);
    std::string answer = FinishSend();
    if (!Silent) Queue(answer, true);
  } else if (c == kEscape) {
    InPrompt = false;
    ReceivedCommands.push_back(PduText);
    if (!Silent) Queue(kOk, true);
  } else if (c == '\r' || c == '\n' || c == ' ') {
    // Line breaks and blanks around the hex digits are not part of the PDU.
  } else if (PduText.size() < kMaxPduText) {
    PduText += c;
  }
}

void TModemSim::RunLine(const std::string& line) {
  std::string text = Trim(line);
  if (text.empty()) return;
  ReceivedCommands.push_back(text);
  if (text.size() < 2 || AnsiUpperCase(text.substr(0, 2)) != "AT") return;
  std::string answer = AnswerTo(text);
  if (!Silent) Queue(answer, true);
  DeliverDue(text);
}

std::string TModemSim::AnswerTo(const std::string& line) {
  std::string upper = AnsiUpperCase(line);

  const std::string* rule = nullptr;
  size_t ruleLength = 0;
  for (const auto& [prefix, answer] : Rules) {
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
    EchoOn = body == "E1";
    return kOk;
  }
  if (body == "H" || body == "H0") {
    RingsLeft = 0;
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
    if (restUpper == "?") return Info("+CSCS: \"" + Charset + "\"") + kOk;
    if (restUpper == "=?") return Info("+CSCS: (\"GSM\",\"IRA\",\"UCS2\")") + kOk;
    if (rest.empty() || rest[0] != '=') return kError;
    Charset = AnsiUpperCase(Params(rest).front());
    return kOk;
  }
  if (name == "+COLP") return restUpper == "?" ? Info("+COLP: 1,1") + kOk : kOk;
  if (name == "+CREG") {
    if (restUpper == "?") {
      const char* state = Card.State != TSimCardState::Ready ? "0" : RegisteredNow() ? "1" : "2";
      return Info(std::string("+CREG: 0,") + state) + kOk;
    }
    return kOk;
  }
  if (name == "+COPS") {
    if (restUpper != "?") return kOk;
    if (RegisteredNow() && !Operator.empty()) return Info("+COPS: 0,0,\"" + Operator + "\"") + kOk;
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
  switch (Card.State) {
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
    return Info(std::string("+CPIN: ") + kStates[static_cast<int>(Card.State)]) + kOk;
  }
  if (rest == "=?") return kOk;
  if (rest.empty() || rest[0] != '=') return kError;
  std::vector<std::string> params = Params(rest);
  auto unlock = [this] {
    Card.State = TSimCardState::Ready;
    ReadySince = SimTime;
    return kOk;
  };
  switch (Card.State) {
    case TSimCardState::Ready:
      return Cme(3);  // nothing to unlock
    case TSimCardState::Pin:
      return params[0] == Card.Pin ? unlock() : Cme(16);
    case TSimCardState::Pin2:
      return params[0] == Card.Pin2 ? unlock() : Cme(16);
    case TSimCardState::Puk:
    case TSimCardState::Puk2: {
      bool puk2 = Card.State == TSimCardState::Puk2;
      if (params.size() < 2 || params[1].empty()) return Cme(3);  // a new PIN must come with the PUK
      if (params[0] != (puk2 ? Card.Puk2 : Card.Puk)) return Cme(16);
      (puk2 ? Card.Pin2 : Card.Pin) = params[1];
      return unlock();
    }
  }
  return kError;
}

std::string TModemSim::Cnmi(const std::string& rest) {
  if (rest == "=?") return (CnmiTest.empty() ? std::string() : Info(CnmiTest)) + kOk;
  if (rest == "?") return Info("+CNMI: " + (CnmiValue.empty() ? std::string("0,0,0,0,0") : CnmiValue)) + kOk;
  if (rest.empty() || rest[0] != '=') return kError;
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  CnmiValue = rest.substr(1);
  return kOk;
}

std::string TModemSim::Cpms(const std::string& rest) {
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  auto usage = [this](const std::string& storage) {
    return std::to_string(Store.Used(storage)) + "," + std::to_string(Store.Capacity(storage));
  };
  if (rest == "=?") return Info("+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")") + kOk;
  if (rest == "?")
    return Info("+CPMS: \"" + ReadStorage + "\"," + usage(ReadStorage) + ",\"" + WriteStorage + "\"," +
                usage(WriteStorage) + ",\"" + ReceiveStorage + "\"," + usage(ReceiveStorage)) + kOk;
  if (rest.empty() || rest[0] != '=') return kError;
  std::vector<std::string> params = Params(rest);
  if (params.size() > 3) return kError;
  for (const std::string& storage : params)
    if (!Store.HasStorage(storage)) return Cms(302);
  ReadStorage = params[0];
  if (params.size() > 1) WriteStorage = params[1];
  if (params.size() > 2) ReceiveStorage = params[2];
  return Info("+CPMS: " + usage(ReadStorage) + "," + usage(WriteStorage) + "," + usage(ReceiveStorage)) + kOk;
}

std::string TModemSim::Cmgr(const std::string& rest) {
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  if (rest == "=?") return kOk;
  int index = 0;
  if (rest.empty() || rest[0] != '=' || !ReadIndex(Trim(rest.substr(1)), index)) return kError;
  TSimStoredSms* message = Store.Find(ReadStorage, index);
  if (!message) return Cms(321);
  std::string answer = "\r\n+CMGR: " + std::to_string(message->Status) + ",," + std::to_string(message->TpduLength) +
                       "\r\n" + message->Pdu + "\r\n" + kOk;
  if (message->Status == 0) message->Status = 1;
  return answer;
}

std::string TModemSim::Cmgd(const std::string& rest) {
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  if (rest == "=?") return Info("+CMGD: (1-" + std::to_string(Store.Capacity(ReadStorage)) + "),(0-4)") + kOk;
  if (rest.empty() || rest[0] != '=') return kError;
  std::vector<std::string> params = Params(rest);
  int index = 0, flag = 0;
  if (params.size() > 2 || !ReadIndex(params[0], index) || (params.size() == 2 && !ReadIndex(params[1], flag)) ||
      flag > 4)
    return kError;
  if (flag == 0) {
    if (index < 1 || index > Store.Capacity(ReadStorage)) return Cms(321);
    Store.Remove(ReadStorage, index);
    return kOk;
  }
  // 1 read, 2 read and sent, 3 read, sent and unsent, 4 everything.
  static const bool kDeletes[5][4] = {{}, {false, true, false, false}, {false, true, false, true},
                                      {false, true, true, true}, {true, true, true, true}};
  for (const auto& [slot, message] : Store.Messages(ReadStorage))
    if (message.Status >= 0 && message.Status < 4 && kDeletes[flag][message.Status]) Store.Remove(ReadStorage, slot);
  return kOk;
}

std::string TModemSim::Cmgl(const std::string& rest) {
  std::string locked = SimLockedError();
  if (!locked.empty()) return locked;
  if (rest == "=?") return Info("+CMGL: (0-4)") + kOk;
  int status = 0;
  if (!rest.empty() && (rest[0] != '=' || !ReadIndex(Trim(rest.substr(1)), status) || status > 4)) return kError;
  std::string answer;
  for (const auto& [slot, message] : Store.Messages(ReadStorage)) {
    if (status != 4 && message.Status != status) continue;
    answer += "\r\n+CMGL: " + std::to_string(slot) + "," + std::to_string(message.Status) + ",," +
              std::to_string(message.TpduLength) + "\r\n" + message.Pdu;
    TSimStoredSms* stored = Store.Find(ReadStorage, slot);
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
  InPrompt = true;
  AnnouncedLength = length;
  PduText.clear();
  return "\r\n> ";
}

std::string TModemSim::FinishSend() {
  TSimSubmit message;
  TSimSubmitError error = SimDecodeSubmitPdu(PduText, AnnouncedLength, message);
  if (error != TSimSubmitError::None) return Cms(static_cast<int>(error));
  if (SendAnswer) return FramedLines(*SendAnswer);
  ++NextReference;
  Sent.push_back(message);
  return Info("+CMGS: " + std::to_string(NextReference)) + kOk;
}
