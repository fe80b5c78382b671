#include "gsm/SmsSendThread.h"

#include "common/ConvertError.h"
#include "common/RegExpr.h"
#include "common/Text.h"
#include "gsm/ConfigureModem.h"
#include "gsm/DispatcherNotices.h"
#include "gsm/ModemPort.h"
#include "gsm/MonitorCore.h"
#include "gsm/PduCodec.h"
#include "platform/NamedMutex.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr uint32_t kSendReadSize = 1024;
constexpr uint8_t kCtrlZ = 26;
// Balloon icons: information and error.
constexpr uint32_t kBalloonInfo = 1;
constexpr uint32_t kBalloonError = 3;
constexpr uint32_t kSentBalloonTime = 5000;
constexpr uint32_t kErrorBalloonTime = 15000;
// The longest step of an interruptible pause.
constexpr uint32_t kPauseStep = 20;

const char* const kBalloonTitle = "Orvex монитор";
const char* const kSentText = "Сообщение отправлено";
const char* const kErrorPrefix = "Ошибка при отправке СМС:\r\n";

// The reason of a failed send as the user and the dispatcher read it; "" for the modem's own
// error, whose text comes from the modem.
std::string FailureReason(uint8_t result) {
  switch (result) {
    case kSendPortBusy: return Cp1251("Модем занят");
    case kSendIoError: return Cp1251("Ошибка ввода вывода");
    case kSendNoAnswer: return Cp1251("Модем не отвечает");
    case kSendBadAnswer: return Cp1251("Неверный ответ модема");
    default: return std::string();
  }
}

}  // namespace

TSmsSendThread::TSmsSendThread(TMonitorCore& core, const TSendWaits& waits) : Core(core), Waits(waits) {}

// Execute uses this object's members: it must have returned before they go.
TSmsSendThread::~TSmsSendThread() { WaitFor(); }

void TSmsSendThread::Execute() {
  Pause(Waits.StartPause);
  FtdiMutex = TNamedMutex::OpenExisting(kPortMutexName);
  Pdu = BuildPdu(Phone, Text);
  if (Pdu.empty()) {
    // A number or a text that no PDU can carry: the modem is not bothered with it.
    Result = kSendBadAnswer;
  } else {
    RunDialogue();
  }
  FtdiMutex.reset();
  // Messages that arrived during the dialogue are signalled now that the port is free.
  Core.DeliverUnreadSignal();
  if (UndecodedLogged)
    Synchronize([this] {
      if (!Core.SendShutDown()) Core.NotifyUnreadSms();
    });
  Synchronize([this] { ReportResult(); });
}

void TSmsSendThread::Pause(uint32_t ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!Terminated()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left, kPauseStep)));
  }
}

void TSmsSendThread::RunDialogue() {
  // Without the mutex, because the modem was closed meanwhile, the port counts as busy.
  if (!FtdiMutex || FtdiMutex->Wait(Waits.PortMutex) != TMutexWait::Obtained) {
    Result = kSendPortBusy;
    return;
  }
  TNamedMutexHold hold(*FtdiMutex);
  if (Terminated()) {
    Result = kSendIoError;
    return;
  }
  TModemPort* modem = &Core.Modem;
  const std::string command = "AT+CMGS=" + std::to_string(SubmitTpduLength(Pdu)) + "\r\n";
  if (!modem->WriteCommand(command) || Terminated() || !ReadPrompt(*modem)) {
    Result = kSendIoError;
    return;
  }
  if (Terminated()) {
    Result = kSendBadAnswer;
    return;
  }
  if (Core.ParseModemError(LastResponse)) {
    Result = kSendModemError;
    return;
  }
  CheckUnsolicited();
  if (Terminated() || LastResponse.find('>') == std::string::npos) {
    Result = kSendBadAnswer;
    return;
  }
  // The message and Ctrl-Z; whether they went out shows in the answer.
  modem->WriteModem(reinterpret_cast<const uint8_t*>(Pdu.data()), static_cast<uint32_t>(Pdu.size()));
  modem->WriteModem(&kCtrlZ, 1);
  WaitForSendAnswer(*modem);
}

bool TSmsSendThread::ReadPrompt(TModemPort& modem) {
  // Notices the modem sent before the prompt may fill the first reads: reads go on, within
  // the wait, while they bring notices only.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Waits.PromptRead);
  uint8_t buffer[kSendReadSize];
  uint32_t wait = Waits.PromptRead;
  bool answered = false;
  for (;;) {
    uint32_t count = 0;
    if (modem.ReadModem(buffer, kSendReadSize, count, wait) != kReadData || count == 0) return answered;
    answered = true;
    LastResponse = Trim(Core.Unsolicited.Feed(buffer, count));
    if (!LastResponse.empty() || Terminated()) return true;
    CheckUnsolicited();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    wait = static_cast<uint32_t>(left.count());
  }
}

void TSmsSendThread::WaitForSendAnswer(TModemPort& modem) {
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::milliseconds(Waits.Answer);
  bool decided = false;
  uint8_t buffer[kSendReadSize];
  while (!decided && !Terminated() && std::chrono::steady_clock::now() - start < limit) {
    uint32_t count = 0;
    const uint8_t read = modem.ReadModem(buffer, kSendReadSize, count, Waits.AnswerRead);
    if (read == kReadFailed) {
      // A failed read returns at once: pace the turns as a time-out would.
      Pause(Waits.AnswerRead);
      continue;
    }
    if (read != kReadData) continue;
    LastResponse = Trim(Core.Unsolicited.Feed(buffer, count));
    if (Core.ParseModemError(LastResponse)) {
      Result = kSendModemError;
      decided = true;
      break;
    }
    CheckUnsolicited();
    if (LastResponse.find("ok") != std::string::npos) {
      Result = kSendDone;
      decided = true;
    }
  }
  if (!decided) Result = kSendBadAnswer;
}

void TSmsSendThread::CheckUnsolicited() {
  TModemNotice notice;
  while (Core.Unsolicited.Next(notice)) {
    if (notice.Kind == TModemNotice::TKind::Cmt) {
      HandleCmt(notice.Text);
    } else if (notice.Kind == TModemNotice::TKind::Cmti) {
      std::string storage, index;
      if (TMonitorCore::ParseCmti(notice.Text, storage, index)) Core.QueueSmsRead(storage, index);
    } else if (notice.Kind == TModemNotice::TKind::Stored) {
      // A message of the store's listing is read again once the send is over.
      std::string storage, index, pdu;
      if (TMonitorCore::ParseListedSms(notice.Text, storage, index, pdu)) Core.QueueSmsRead(storage, index);
    }
    // A call is not hung up in the middle of a send: the modem repeats RING, and the reader
    // hangs up the next one.
  }
}

void TSmsSendThread::HandleCmt(const std::string& text) {
  // The message is decoded and logged here, whether a reader runs or not: it exists nowhere
  // but in this notice.
  try {
    Core.HandleCmt(text);
  } catch (const EConvertError&) {
    // A reply that cannot be read is kept as it came, as an undecoded message; its notice
    // follows once the port is free.
    TSmsInfo info;
    info.Text = text;
    if (Core.AppendSmsToLog(info, 0)) UndecodedLogged = true;
  }
}

std::string TSmsSendThread::ResultBalloonText(uint8_t result, const std::string& errorText) {
  if (result == kSendDone) return Cp1251(kSentText);
  return Cp1251(kErrorPrefix) + (result == kSendModemError ? errorText : FailureReason(result));
}

std::string TSmsSendThread::ResultNoticePayload(uint8_t result, const std::string& errorText) {
  if (result == kSendDone) return std::string();
  // The modem's error text goes as it is; the monitor's own reasons carry their zero byte.
  if (result == kSendModemError) return errorText;
  return FailureReason(result) + '\0';
}

void TSmsSendThread::ReportResult() {
  // A send that ends after the modem was closed, or while the program ends, is reported to
  // no one.
  if (!Core.IsModemOpen() || Core.SendShutDown()) return;
  TLogRecord record;
  record.Direction = 1;
  record.Read = 1;
  record.Time = Core.SmsLog().Clock();
  record.Phone = Phone;
  record.Text = Text;
  record.Accepted = Result == kSendDone ? 1 : 0;
  Core.WriteSmsLogRecord(Core.LogPath, record);
  if (Core.ShowNotify)
    Core.ShowNoticeBalloon(Cp1251(kBalloonTitle), ResultBalloonText(Result, Core.LastErrorText),
                           Result == kSendDone ? kSentBalloonTime : kErrorBalloonTime,
                           Result == kSendDone ? kBalloonInfo : kBalloonError);
  if (Result == kSendDone)
    NotifySmsSent(Core);
  else
    Core.NotifyDispatcher(kNoticeError, ResultNoticePayload(Result, Core.LastErrorText));
}

// The send queue of the monitor.

void TMonitorCore::QueueSmsSend(const std::string& phone, const std::string& text) {
  SendQueue.Add(phone, text);
  if (ActiveSmsSendThread == nullptr && RunningSendThread == nullptr && !ShuttingDown) StartSmsSendThread();
}

void TMonitorCore::StartSmsSendThread() {
  TSendQueue::TPair head;
  if (!SendQueue.Front(head)) return;
  // The thread frees itself once its end has been handled here.
  auto* thread = new TSmsSendThread(*this, SendWaits);
  ActiveSmsSendThread = thread;
  RunningSendThread = thread;
  thread->FreeOnTerminate = true;
  thread->SetPriority(TThreadPriority::Normal);
  thread->Phone = head.first;
  thread->Text = head.second;
  thread->OnTerminate = [this](TThread& sender) { SendSmsTerminate(static_cast<TSmsSendThread&>(sender)); };
  thread->Start();
}

void TMonitorCore::SendSmsTerminate(TSmsSendThread& thread) {
  if (&thread == RunningSendThread) RunningSendThread = nullptr;
  ReadQueuedSms();
  SendQueue.DropFront();
  if (SendQueue.Count() > 0)
    StartSmsSendThread();
  else
    ActiveSmsSendThread = nullptr;
  RefreshShowSmsForm();
}

void TMonitorCore::TerminateSmsSendThread() {
  if (ActiveSmsSendThread == nullptr) return;
  ActiveSmsSendThread->Terminate();
  ActiveSmsSendThread = nullptr;
}

void TMonitorCore::StopSmsSendThread() {
  ShuttingDown = true;
  TSmsSendThread* thread = RunningSendThread;
  if (thread == nullptr) return;
  RunningSendThread = nullptr;
  ActiveSmsSendThread = nullptr;
  // Taken back from the event loop: no end handler, deleted here once Execute has returned
  // (its destructor waits, serving the report's synchronous call, which then does nothing).
  thread->OnTerminate = nullptr;
  thread->FreeOnTerminate = false;
  thread->Terminate();
  std::unique_ptr<TSmsSendThread> owned(thread);
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
  std::unique_ptr<TNamedMutex> portMutex = TNamedMutex::OpenExisting(kPortMutexName);
  // Without the port the pairs wait for the end of the next send.
  if (!portMutex || portMutex->Wait(SendWaits.FollowUpMutex) != TMutexWait::Obtained) return;
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
