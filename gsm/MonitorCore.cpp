#include "gsm/MonitorCore.h"

#include "common/ConvertError.h"
#include "common/RegExpr.h"
#include "common/Text.h"
#include "gsm/ReplyParser.h"
#include "platform/NamedMutex.h"

#include <vector>

namespace {

constexpr uint32_t kStoreAnswerSize = 1000;
constexpr uint32_t kListReadSize = 16384;
// The listing of the store is given up on after this much read in all (notices included).
constexpr size_t kMaxListBytes = 1 << 20;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// An error answer of the modem to a message command: no message was read.
bool IsErrorAnswer(const std::string& text) {
  return text.rfind("+cms error", 0) == 0 || text.rfind("+cme error", 0) == 0 || text == "error";
}

}  // namespace

TMonitorCore::TMonitorCore(std::string exeDir, TMonitorEvents& events)
    : ExeDir(std::move(exeDir)), LogPath(ExeDir + "OrvexMonitor.log"), Events(events), Log(ExeDir, LogLock) {}

TMonitorCore::~TMonitorCore() {
  // Normally the owner has stopped the modem side already, while its hooks still worked.
  StopSmsSendThread();
  StopModemThreads();
}

void TMonitorCore::StopModemThreads() {
  // The owner's events may be gone already; a worker's last notice is dropped.
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

void TMonitorCore::CloseModem() {
  if (Modem.UsesTerminal()) {
    if (Modem.FtHandle()) Modem.CloseTerminal();
  } else {
    Modem.ComPort.Close();
  }
  StopTermReader();
  TerminateSmsSendThread();
}

bool TMonitorCore::IsModemLost() { return Modem.UsesTerminal() ? Modem.IsTerminalLost() : Modem.IsComPortLost(); }

void TMonitorCore::StartTermReader(bool readStore) {
  auto reader = std::make_unique<TTermReader>(Channel, *this, ReaderWaits);
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
  std::string storage, index;
  if (ParseCmti(text, storage, index)) ReadStoredSms(storage, index);
}

bool TMonitorCore::ReadStoredSms(const std::string& storage, const std::string& index) {
  std::string answer;
  if (!ExchangeStore("AT+CPMS=\"" + AnsiUpperCase(storage) + "\"\r\n", answer) || !Contains(answer, "ok"))
    return false;
  if (!ExchangeStore("AT+CMGR=" + index + "\r\n", answer)) return false;
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
      if (!ExchangeStore("AT+CPMS=\"" + AnsiUpperCase(partStorage) + "\"\r\n", answer) || !Contains(answer, "ok"))
        continue;
      selected = partStorage;
    }
    DeleteStoredSms(partTag.substr(comma + 1));
  }
  SignalUnreadSms();
  return true;
}

void TMonitorCore::DeleteStoredSms(const std::string& index) {
  std::string answer;
  ExchangeStore("AT+CMGD=" + index + "\r\n", answer);
}

void TMonitorCore::QueueStoredNotice(const std::string& storage, const std::string& index) {
  Unsolicited.Add({TModemNotice::TKind::Cmti, "+cmti: \"" + AnsiLowerCase(storage) + "\"," + index});
}

void TMonitorCore::QueueAllStoredSms() {
  // New messages go to the third storage that AT+CPMS? names; "sm" when it names none.
  std::string answer;
  std::string storage = "sm";
  if (ExchangeStore("AT+CPMS?\r\n", answer)) {
    static thread_local TRegExpr usage("\\+cpms:\\s*\"(\\w+)\",\\d+,\\d+,\"(\\w+)\",\\d+,\\d+,\"(\\w+)\"");
    if (usage.Exec(answer)) storage = usage.Match(3);
  }
  if (!ExchangeStore("AT+CPMS=\"" + AnsiUpperCase(storage) + "\"\r\n", answer) || !Contains(answer, "ok")) return;

  // The listing may take several reads: it ends with the final answer or when nothing more
  // comes. A full store lists tens of kilobytes, so the reads are larger than a notice read.
  if (!Channel.Write("AT+CMGL=4\r\n")) return;
  std::string listing;
  size_t read = 0;
  while (read < kMaxListBytes) {
    uint32_t count = 0;
    std::string rest;
    if (Channel.Read(kListReadSize, ReaderWaits.ListRead, rest, &count) != kReadData || count == 0) break;
    read += count;
    listing += rest;
    const std::string text = Trim(listing);
    const size_t lastLine = text.find_last_of('\n');
    const std::string last = lastLine == std::string::npos ? text : text.substr(lastLine + 1);
    if (last == "ok" || Contains(last, "error")) break;
  }
  const std::string text = Trim(listing);
  std::vector<std::string> indexes;
  static thread_local TRegExpr entry("^\\+cmgl:\\s*(\\d+),");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (entry.Exec(Trim(std::string_view(text).substr(start, end - start)))) indexes.push_back(entry.Match(1));
    start = end + 1;
  }
  for (const std::string& index : indexes) QueueStoredNotice(storage, index);
}

bool TMonitorCore::ExchangeStore(const std::string& command, std::string& answer) {
  return Channel.Exchange(command, kStoreAnswerSize, ReaderWaits.StoreRead, TAnswerWait::EachRead, answer);
}

void TMonitorCore::BeginReading(bool readStore) {
  Decoder.ClearFragments();
  if (readStore) QueueAllStoredSms();
}

void TMonitorCore::ReportSend(const TSmsSendThread& thread) {
  // A send that ends after the modem was closed, or while the program ends, is reported to
  // no one.
  if (!IsModemOpen() || SendShutDown()) return;
  TLogRecord record;
  record.Direction = 1;
  record.Read = 1;
  record.Time = SmsLog().Clock();
  record.Phone = thread.Phone;
  record.Text = thread.Text;
  record.Accepted = thread.Result == kSendDone ? 1 : 0;
  WriteSmsLogRecord(LogPath, record);
  Events.SmsSendResult(thread.Result, LastErrorText);
}

void TMonitorCore::ReadQueuedSms() {
  if (ReadQueue.Count() == 0) return;
  if (ActiveTermReader) {
    // The reader reads them in its own turns, a few at a time: many messages announced during
    // a send would otherwise hold the port, and the windows, for as long as they all take.
    for (const TReadQueue::TPair& pair : ReadQueue.Items()) {
      QueueStoredNotice(pair.first, pair.second);
      ReadQueue.DropFront();
    }
    return;
  }
  std::unique_ptr<TNamedMutex> portMutex = TAtChannel::OpenPortMutex();
  // Without the port the pairs wait for the end of the next send.
  if (!portMutex || portMutex->Wait(Sender.Waits.FollowUpMutex) != TMutexWait::Obtained) return;
  TNamedMutexHold hold(*portMutex);
  // The pairs queued by now; the queue is not added to while no send runs.
  for (const TReadQueue::TPair& pair : ReadQueue.Items()) {
    try {
      ReadStoredSms(pair.first, pair.second);
    } catch (const EConvertError&) {
      // Not logged, so the message stays in the modem's store; the others are still read.
    }
    ReadQueue.DropFront();
  }
}
