#include "gsm/MonitorCore.h"

#include "common/ConvertError.h"
#include "common/RegExpr.h"
#include "common/Text.h"
#include "gsm/ReplyParser.h"
#include "platform/NamedMutex.h"

#include <vector>

namespace {

constexpr uint32_t kStoreAnswerSize = 1000;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// An error answer of the modem to a message command: no message was read.
bool IsErrorAnswer(const std::string& text) {
  return text.rfind("+cms error", 0) == 0 || text.rfind("+cme error", 0) == 0 || text == "error";
}

// An answer is read until its final line; a modem that never sends one is given up on here.
constexpr size_t kMaxReplyBytes = 16384;

// The end (past its line break) of the first final line of an answer in `raw`: "OK", "ERROR"
// or a +CMS/+CME error; npos while none has come whole.
size_t FinalAnswerEnd(const std::string& raw) {
  size_t start = 0;
  for (;;) {
    const size_t end = raw.find_first_of("\r\n", start);
    if (end == std::string::npos) return std::string::npos;
    const std::string line = AnsiLowerCase(Trim(std::string_view(raw).substr(start, end - start)));
    size_t next = end + 1;
    if (raw[end] == '\r' && next < raw.size() && raw[next] == '\n') ++next;
    if (line == "ok" || IsErrorAnswer(line)) return next;
    start = next;
  }
}

}  // namespace

TMonitorCore::TMonitorCore(std::string exeDir)
    : ExeDir(std::move(exeDir)), LogPath(ExeDir + "OrvexMonitor.log"), Log(ExeDir, LogLock) {}

TMonitorCore::~TMonitorCore() {
  // Normally the owner has stopped the modem side already, while its hooks still worked.
  StopSmsSendThread();
  StopModemThreads();
}

void TMonitorCore::StopModemThreads() {
  // The hooks of a derived class may be gone already; a worker's last notice is dropped.
  HooksLive = false;
  ActiveTermReader = nullptr;
  ModemThreads.StopAll();
  HooksLive = true;
}

void TMonitorCore::CreateLogMutex() { LogMutex = TNamedMutex::Create(kLogMutexName); }

void TMonitorCore::CloseLogMutex() { LogMutex.reset(); }

void TMonitorCore::CheckUnreadSms() {
  if (Log.CheckUnreadSms()) NotifyUnreadSms();
}

bool TMonitorCore::TLogMutexLock::Acquire(unsigned timeoutMs) {
  return Core.LogMutex && Core.LogMutex->Wait(timeoutMs) == TMutexWait::Obtained;
}

void TMonitorCore::TLogMutexLock::Release() {
  if (Core.LogMutex) Core.LogMutex->Release();
}

void TMonitorCore::ApplyModemSettings() {
  Modem.SetPhonePort(PhonePort);
  Modem.SetPhoneDesc(PhoneDesc);
  Modem.WriteDebugLog = WriteDebugLog;
}

bool TMonitorCore::ModemLinkOpen() const {
  return Modem.UsesTerminal() ? Modem.FtHandle() != nullptr : Modem.ComPort.IsOpen();
}

void TMonitorCore::StartTermReader(bool readStore) {
  auto reader = std::make_unique<TTermReader>(*this);
  reader->ReadStoreFirst = readStore;
  reader->SetPriority(TThreadPriority::Normal);
  TTermReader* started = reader.get();
  ActiveTermReader = started;
  ModemThreads.Start(std::move(reader));
}

void TMonitorCore::StopTermReader() {
  if (TTermReader* reader = ActiveTermReader.exchange(nullptr)) reader->Terminate();
}

void TMonitorCore::SignalUnreadSms() {
  if (TThread::IsMainThread()) {
    if (HooksLive) NotifyUnreadSms();
    return;
  }
  // A worker holds the port mutex here, and the main thread may be waiting for that mutex:
  // the notice waits until the worker has let the port go.
  UnreadSignalDue = true;
}

void TMonitorCore::DeliverUnreadSignal() {
  if (!UnreadSignalDue.exchange(false)) return;
  TThread::Synchronize([this] {
    if (HooksLive) NotifyUnreadSms();
  });
}

bool TMonitorCore::StoreReceivedSms(std::vector<std::string>& parts) {
  const std::string sender = parts[0];
  const std::string text = parts[2];
  TSmsInfo info;
  try {
    ParseDeviceReply(info, parts);
  } catch (const EConvertError&) {
    // The reply cannot be read as its grammar says; it is kept as it came.
    TSmsInfo raw;
    raw.Phone = sender;
    raw.Text = text;
    return AppendSmsToLog(raw, 0);
  }
  return AppendSmsToLog(info, 0);
}

bool TMonitorCore::StoreUndecodedSms(const std::string& text) {
  TSmsInfo info;
  info.Text = text;
  return AppendSmsToLog(info, 0);
}

void TMonitorCore::HandleCmt(const std::string& text) {
  static thread_local TRegExpr pattern("\\+cmt:\\s+[^,]*,(\\d+)[\r\n]+([\\da-f]+)[\r\n]*");
  if (!pattern.Exec(text)) {
    if (StoreUndecodedSms(text)) SignalUnreadSms();
    return;
  }
  if (StrToIntDef(pattern.Match(1), 0) == 0) return;
  std::vector<std::string> parts;
  Decoder.DecodeDeliverPdu(pattern.Match(2), parts);
  if (parts.size() == 3 && StoreReceivedSms(parts)) SignalUnreadSms();
}

void TMonitorCore::HandleCmti(const std::string& text) {
  static thread_local TRegExpr pattern("\\+cmti:\\s+\"?([\\w]{2})\"?,([\\d]+)");
  if (pattern.Exec(text)) ReadStoredSms(pattern.Match(1), pattern.Match(2));
}

bool TMonitorCore::ReadStoredSms(const std::string& storage, const std::string& index) {
  std::string answer;
  if (!Modem.WriteCommand("AT+CPMS=\"" + AnsiUpperCase(storage) + "\"\r\n")) return false;
  if (!ReadReply(kStoreAnswerSize, ReaderWaits.StoreRead, answer) || !Contains(answer, "ok")) return false;
  if (!Modem.WriteCommand("AT+CMGR=" + index + "\r\n")) return false;
  if (!ReadReply(kStoreAnswerSize, ReaderWaits.StoreRead, answer)) return false;
  // An empty or unreadable slot is no message: nothing to log, nothing to delete.
  if (IsErrorAnswer(answer)) return false;

  static thread_local TRegExpr pattern("\\+cmgr:\\s+\\d+,[^,]*,(\\d+)\r\n");
  if (!pattern.Exec(answer)) {
    if (!StoreUndecodedSms(answer)) return false;
    DeleteStoredSms(index);
    SignalUnreadSms();
    return true;
  }
  if (StrToIntDef(pattern.Match(1), 0) == 0) return false;
  std::string pdu;
  const size_t first = answer.find("\r\n");
  const size_t second = answer.find("\r\n", first + 2);
  if (second != std::string::npos) pdu = answer.substr(first + 2, second - first - 2);
  // A stored part of a longer message stays in the store until the whole message is logged;
  // then every stored part of it goes, wherever it was read from.
  std::vector<std::string> parts, partTags;
  const std::string tag = AnsiLowerCase(storage) + "," + index;
  Decoder.DecodeDeliverPdu(pdu, parts, tag, &partTags);
  if (parts.size() != 3 || !StoreReceivedSms(parts)) return false;
  if (partTags.empty()) partTags.push_back(tag);
  std::string selected = AnsiLowerCase(storage);
  for (const std::string& partTag : partTags) {
    const size_t comma = partTag.find(',');
    if (comma == std::string::npos) continue;  // a part that came inline, not from the store
    const std::string partStorage = partTag.substr(0, comma);
    if (partStorage != selected) {
      if (!Modem.WriteCommand("AT+CPMS=\"" + AnsiUpperCase(partStorage) + "\"\r\n")) continue;
      if (!ReadReply(kStoreAnswerSize, ReaderWaits.StoreRead, answer) || !Contains(answer, "ok")) continue;
      selected = partStorage;
    }
    DeleteStoredSms(partTag.substr(comma + 1));
  }
  SignalUnreadSms();
  return true;
}

void TMonitorCore::DeleteStoredSms(const std::string& index) {
  std::string answer;
  if (Modem.WriteCommand("AT+CMGD=" + index + "\r\n")) ReadReply(kStoreAnswerSize, ReaderWaits.StoreRead, answer);
}

void TMonitorCore::ReadAllStoredSms(const std::function<bool()>& stop) {
  // New messages go to the third storage that AT+CPMS? names; "sm" when it names none.
  std::string answer;
  std::string storage = "sm";
  if (Modem.WriteCommand("AT+CPMS?\r\n") && ReadReply(kStoreAnswerSize, ReaderWaits.StoreRead, answer)) {
    static thread_local TRegExpr usage("\\+cpms:\\s*\"(\\w+)\",\\d+,\\d+,\"(\\w+)\",\\d+,\\d+,\"(\\w+)\"");
    if (usage.Exec(answer)) storage = usage.Match(3);
  }
  if (!Modem.WriteCommand("AT+CPMS=\"" + AnsiUpperCase(storage) + "\"\r\n")) return;
  if (!ReadReply(kStoreAnswerSize, ReaderWaits.StoreRead, answer) || !Contains(answer, "ok")) return;

  // The listing may take several reads: it ends with the final answer or when nothing more
  // comes.
  if (!Modem.WriteCommand("AT+CMGL=4\r\n")) return;
  std::string listing;
  std::vector<uint8_t> buffer(kNoticeReadSize);
  for (;;) {
    uint32_t count = 0;
    if (Modem.ReadModem(buffer.data(), kNoticeReadSize, count, ReaderWaits.ListRead) != kReadData || count == 0) break;
    listing.append(reinterpret_cast<const char*>(buffer.data()), count);
    const std::string text = TModemPort::ReplyToText(reinterpret_cast<const uint8_t*>(listing.data()),
                                                     static_cast<uint32_t>(listing.size()));
    const size_t lastLine = text.find_last_of('\n');
    const std::string last = lastLine == std::string::npos ? text : text.substr(lastLine + 1);
    if (last == "ok" || Contains(last, "error")) break;
  }
  const std::string text = SetAsideNotices(
      TModemPort::ReplyToText(reinterpret_cast<const uint8_t*>(listing.data()), static_cast<uint32_t>(listing.size())));
  std::vector<std::string> indexes;
  static thread_local TRegExpr entry("^\\+cmgl:\\s*(\\d+),");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (entry.Exec(Trim(std::string_view(text).substr(start, end - start)))) indexes.push_back(entry.Match(1));
    start = end + 1;
  }
  for (const std::string& index : indexes) {
    if (stop && stop()) return;
    ReadStoredSms(storage, index);
  }
}

bool TMonitorCore::ReadReply(uint32_t capacity, uint32_t waitMs, std::string& text) {
  // An answer may take several reads, with notices before, inside and after it. Reads go on
  // until its final line, so that no tail of it is left for the next command to take as its
  // own answer; they stop early only when nothing more comes.
  std::string raw;
  std::vector<uint8_t> buffer(capacity);
  size_t answerEnd = std::string::npos;
  while (answerEnd == std::string::npos && raw.size() < kMaxReplyBytes) {
    uint32_t count = 0;
    if (Modem.ReadModem(buffer.data(), capacity, count, waitMs) != kReadData || count == 0) break;
    raw.append(reinterpret_cast<const char*>(buffer.data()), count);
    answerEnd = FinalAnswerEnd(raw);
  }
  text.clear();
  if (raw.empty()) return false;
  const size_t split = answerEnd == std::string::npos ? raw.size() : answerEnd;
  text = SetAsideNotices(
      TModemPort::ReplyToText(reinterpret_cast<const uint8_t*>(raw.data()), static_cast<uint32_t>(split)));
  if (split < raw.size()) {
    // What came after the answer is the start of notices, the last one perhaps unfinished:
    // the reader gets it as it came and joins it with its next read.
    std::string tail = AnsiLowerCase(std::string_view(raw).substr(split));
    for (char& c : tail)
      if (c == '\0') c = ' ';
    std::lock_guard<std::mutex> lock(StrayLock);
    StrayNotices += tail;
  }
  return true;
}

std::string TMonitorCore::SetAsideNotices(const std::string& text) {
  auto lineAt = [&text](size_t start, size_t& next) {
    size_t end = text.find('\n', start);
    next = end == std::string::npos ? text.size() : end + 1;
    return Trim(std::string_view(text).substr(start, next - start));
  };
  std::string kept;
  std::string notices;
  size_t start = 0;
  while (start < text.size()) {
    size_t next = 0;
    const std::string line = lineAt(start, next);
    if (line.rfind("+cmt:", 0) == 0) {
      // The header and the PDU line after it, with the blank lines between.
      notices += line + "\r\n";
      while (next < text.size()) {
        size_t after = 0;
        const std::string pdu = lineAt(next, after);
        next = after;
        if (!pdu.empty()) {
          notices += pdu + "\r\n";
          break;
        }
      }
    } else if (line.rfind("+cmti:", 0) == 0 || line.rfind("ring", 0) == 0) {
      notices += line + "\r\n";
    } else {
      kept.append(text, start, next - start);
    }
    start = next;
  }
  if (notices.empty()) return text;
  std::lock_guard<std::mutex> lock(StrayLock);
  StrayNotices += notices;
  return Trim(kept);
}

std::string TMonitorCore::TakeStrayNotices() {
  std::lock_guard<std::mutex> lock(StrayLock);
  std::string taken;
  taken.swap(StrayNotices);
  return taken;
}

bool TMonitorCore::HasStrayNotices() const {
  std::lock_guard<std::mutex> lock(StrayLock);
  return !StrayNotices.empty();
}
