#include "gsm/MonitorCore.h"

#include "common/ConvertError.h"
#include "common/RegExpr.h"
#include "common/Text.h"
#include "gsm/ReplyParser.h"
#include "platform/NamedMutex.h"

#include <algorithm>
#include <vector>

namespace {

constexpr uint32_t kStoreAnswerSize = 1000;
constexpr uint32_t kListReadSize = 16384;
// The listing of the store is given up on after this much of it without its final line.
constexpr size_t kMaxListBytes = 1 << 20;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The longest storage name and slot number that go back to the modem in a store command. The
// modem's stores have names of two letters ("SM", "ME"), their slots numbers of a few digits.
constexpr size_t kMaxStorageName = 8;
constexpr size_t kMaxSlotDigits = 5;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsStorageName(const std::string& storage) {
  return !storage.empty() && storage.size() <= kMaxStorageName &&
         std::all_of(storage.begin(), storage.end(), [](char c) {
           return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
         });
}

bool IsSlotNumber(const std::string& index) {
  return !index.empty() && index.size() <= kMaxSlotDigits && std::all_of(index.begin(), index.end(), IsDigit);
}

// An error answer of the modem to a message command: no message was read.
bool IsErrorAnswer(const std::string& text) {
  return text.rfind("+cms error", 0) == 0 || text.rfind("+cme error", 0) == 0 || text == "error";
}

}  // namespace

TMonitorCore::TMonitorCore(std::string exeDir, TMonitorEvents& events)
    : ExeDir(std::move(exeDir)), LogPath(ExeDir + "OrvexMonitor.log"), Events(events), Log(ExeDir, LogLock) {
  // A +CMT header whose PDU line never came is no message; the trace says it was dropped.
  Unsolicited.DroppedNotice = [this](const std::string& header) {
    const std::string note = "+CMT header dropped, its PDU line did not come: " + header + "\r\n";
    Modem.AppendDebugLog(reinterpret_cast<const uint8_t*>(note.data()), static_cast<uint32_t>(note.size()),
                         kTraceNote);
  };
}

TMonitorCore::~TMonitorCore() {
  // Normally the owner has stopped the modem side already, while its hooks still worked.
  StopSmsSendThread();
  StopModemThreads();
}

void TMonitorCore::StopModemThreads() {
  // The owner's events may be gone already; a worker's last notice is dropped.
  HooksLive = false;
  ActiveTermReader = nullptr;
  DueReader.reset();
  ModemThreads.StopAll();
  RunningReader = nullptr;
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
  StopTermReader();
  auto reader = std::make_unique<TTermReader>(Channel, *this, ReaderWaits);
  reader->ReadStoreFirst = readStore;
  reader->SetPriority(TThreadPriority::Normal);
  ActiveTermReader = reader.get();
  // The last reader may still be in its turn, or waiting for the port: the new one waits for
  // its end.
  if (RunningReader)
    DueReader = std::move(reader);
  else
    LaunchTermReader(std::move(reader));
}

void TMonitorCore::LaunchTermReader(std::unique_ptr<TTermReader> reader) {
  RunningReader = ModemThreads.Start(std::move(reader), [this](TThread& ended) { ReaderEnded(ended); });
}

void TMonitorCore::ReaderEnded(TThread& reader) {
  if (&reader != RunningReader) return;
  RunningReader = nullptr;
  if (DueReader) LaunchTermReader(std::move(DueReader));
}

void TMonitorCore::StopTermReader() {
  TTermReader* reader = ActiveTermReader.exchange(nullptr);
  if (!reader) return;
  if (reader == DueReader.get())
    DueReader.reset();  // never started
  else
    reader->Terminate();
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
  std::vector<std::string> parts, partTags;
  Decoder.DecodeDeliverPdu(pattern.Match(2), parts, std::string(), &partTags);
  if (parts.size() == 3 && StoreReceivedSms(parts)) {
    // A message whose other parts were placed in the store leaves it once it is logged.
    DeleteStoredParts(partTags);
    SignalUnreadSms();
  }
  StoreGivenUpSms();
}

void TMonitorCore::StoreGivenUpSms() {
  // A message whose parts stopped coming is logged with the parts that came; its stored parts
  // then leave the store, which would otherwise fill up with them.
  for (TIncompleteSms& message : Decoder.TakeGivenUp()) {
    std::vector<std::string> parts{message.Sender, message.Time, message.Text};
    if (!StoreReceivedSms(parts)) continue;
    DeleteStoredParts(message.Tags);
    SignalUnreadSms();
  }
}

void TMonitorCore::DeleteStoredParts(const std::vector<std::string>& tags, TAnswerWait wait) {
  std::string answer;
  for (const std::string& partTag : tags) {
    const size_t comma = partTag.find(',');
    if (comma == std::string::npos) continue;  // a part that came inline, not from the store
    const std::string partStorage = partTag.substr(0, comma);
    if (!StorageFits(partStorage)) continue;
    if (partStorage != SelectedStorage) {
      SelectedStorage.clear();
      if (!ExchangeStore("AT+CPMS=\"" + AnsiUpperCase(partStorage) + "\"\r\n", answer, wait) ||
          !Contains(answer, "ok"))
        continue;
      SelectedStorage = partStorage;
    }
    DeleteStoredSms(partTag.substr(comma + 1), wait);
  }
}

void TMonitorCore::HandleCmti(const std::string& text) {
  std::string storage, index;
  if (ParseCmti(text, storage, index)) ReadStoredSms(storage, index);
}

bool TMonitorCore::ReadStoredSms(const std::string& storage, const std::string& index) {
  if (!StorageFits(storage) || !SlotFits(index)) return false;
  std::string answer;
  SelectedStorage.clear();
  if (!ExchangeStore("AT+CPMS=\"" + AnsiUpperCase(storage) + "\"\r\n", answer) || !Contains(answer, "ok"))
    return false;
  SelectedStorage = AnsiLowerCase(storage);
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
  // The PDU is the line after the head, whatever stands before the head.
  const std::string pdu = TAtChannel::NextLine(answer, answer.find("+cmgr:"));
  return StoreStoredPdu(storage, index, pdu);
}

void TMonitorCore::HandleListedSms(const std::string& text) {
  std::string storage, index, pdu;
  // The sweep is the monitor's own: its deletes take their answers as they come.
  if (ParseListedSms(text, storage, index, pdu)) StoreStoredPdu(storage, index, pdu, TAnswerWait::AsItComes);
}

bool TMonitorCore::StoreStoredPdu(const std::string& storage, const std::string& index, const std::string& pdu,
                                  TAnswerWait wait) {
  // A stored part of a longer message stays in the store until the whole message is logged;
  // then every stored part of it goes, wherever it was read from.
  std::vector<std::string> parts, partTags;
  const std::string tag = AnsiLowerCase(storage) + "," + index;
  Decoder.DecodeDeliverPdu(pdu, parts, tag, &partTags);
  const bool logged = parts.size() == 3 && StoreReceivedSms(parts);
  if (logged) {
    if (partTags.empty()) partTags.push_back(tag);
    // Every stored part and every stored copy of a part goes, wherever it was read from.
    DeleteStoredParts(partTags, wait);
    SignalUnreadSms();
  }
  StoreGivenUpSms();
  return logged;
}

void TMonitorCore::DeleteStoredSms(const std::string& index, TAnswerWait wait) {
  if (!SlotFits(index)) return;
  std::string answer;
  ExchangeStore("AT+CMGD=" + index + "\r\n", answer, wait);
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
    if (usage.Exec(answer) && StorageFits(usage.Match(3))) storage = usage.Match(3);
  }
  SelectedStorage.clear();
  if (!ExchangeStore("AT+CPMS=\"" + AnsiUpperCase(storage) + "\"\r\n", answer) || !Contains(answer, "ok")) return;
  SelectedStorage = AnsiLowerCase(storage);

  // The listing may take several reads: it ends with the final answer, or when no more of it
  // comes for a read's wait. A full store lists tens of kilobytes, so the reads are larger than
  // a notice read.
  if (!Channel.Write("AT+CMGL=4\r\n")) return;
  std::string text;
  Channel.ReadAnswer(kListReadSize, ReaderWaits.ListRead, TAnswerWait::EachRead, text, nullptr, kMaxListBytes);
  // Each entry is its head line "+cmgl: index,stat,[alpha],length" and its PDU line: the
  // message is taken from the listing itself, without reading it again.
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(std::string_view(text).substr(start, end - start));
    if (!line.empty()) lines.push_back(std::move(line));
    start = end + 1;
  }
  static thread_local TRegExpr entry("^\\+cmgl:\\s*(\\d+),[^,]*,[^,]*,(\\d+)");
  static thread_local TRegExpr indexOnly("^\\+cmgl:\\s*(\\d+),");
  const std::string lowerStorage = AnsiLowerCase(storage);
  // The listed messages go before the notices that came meanwhile: a +CMTI of a message the
  // listing holds then finds its slot empty, and the message is logged once.
  std::vector<TModemNotice> listed;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (entry.Exec(lines[i])) {
      const std::string index = entry.Match(1);
      const std::string pdu = i + 1 < lines.size() ? lines[i + 1] : std::string();
      const bool hex = !pdu.empty() && pdu.find_first_not_of("0123456789abcdef") == std::string::npos;
      if (StrToIntDef(entry.Match(2), 0) != 0 && hex) {
        listed.push_back({TModemNotice::TKind::Stored, lowerStorage + "," + index + "\n" + pdu});
        ++i;
      } else {
        listed.push_back({TModemNotice::TKind::Cmti, "+cmti: \"" + lowerStorage + "\"," + index});
      }
    } else if (indexOnly.Exec(lines[i])) {
      listed.push_back({TModemNotice::TKind::Cmti, "+cmti: \"" + lowerStorage + "\"," + indexOnly.Match(1)});
    }
  }
  Unsolicited.AddFirst(std::move(listed));
}

bool TMonitorCore::StorageFits(const std::string& storage) {
  if (IsStorageName(storage)) return true;
  Modem.AppendTraceNote("Store command refused, the storage name is not 1 to 8 letters or digits: storage " +
                        TModemPort::TracedBytes(storage));
  return false;
}

bool TMonitorCore::SlotFits(const std::string& index) {
  if (IsSlotNumber(index)) return true;
  Modem.AppendTraceNote("Store command refused, the slot number is not 1 to 5 digits: index " +
                        TModemPort::TracedBytes(index));
  return false;
}

bool TMonitorCore::ExchangeStore(const std::string& command, std::string& answer, TAnswerWait wait) {
  return Channel.Exchange(command, kStoreAnswerSize, ReaderWaits.StoreRead, wait, answer);
}

void TMonitorCore::BeginReading(bool readStore) {
  // A new link: which storage the modem has selected is not known.
  SelectedStorage.clear();
  Decoder.ClearFragments();
  if (readStore) QueueAllStoredSms();
}

void TMonitorCore::GiveUpStaleSms() {
  Decoder.GiveUpStale();
  StoreGivenUpSms();
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
