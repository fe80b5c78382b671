#include "gsm/SmsSendThread.h"

#include "common/ConvertError.h"
#include "common/RegExpr.h"
#include "common/Text.h"
#include "gsm/AtChannel.h"
#include "gsm/ModemErrors.h"
#include "gsm/NoticeStream.h"
#include "gsm/PduCodec.h"
#include "platform/NamedMutex.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr uint32_t kSendReadSize = 1024;
constexpr char kCtrlZ = 26;
// The longest step of an interruptible pause.
constexpr uint32_t kPauseStep = 20;

}  // namespace

TSmsSendThread::TSmsSendThread(TAtChannel& channel, TModemError& lastError, TSendHost& host, const TSendWaits& waits)
    : Channel(channel), LastError(lastError), Host(host), Waits(waits) {}

// Execute uses this object's members: it must have returned before they go.
TSmsSendThread::~TSmsSendThread() { WaitFor(); }

void TSmsSendThread::Execute() {
  Pause(Waits.StartPause);
  PortMutex = TAtChannel::OpenPortMutex();
  Pdu = BuildPdu(Phone, Text);
  if (Pdu.empty()) {
    // A number or a text that no PDU can carry: the modem is not bothered with it.
    Result = kSendBadAnswer;
  } else {
    RunDialogue();
  }
  PortMutex.reset();
  // Messages that arrived during the dialogue are signalled now that the port is free.
  Host.DeliverUnreadSignal();
  if (UndecodedLogged)
    Synchronize([this] {
      if (!Host.SendShutDown()) Host.NotifyUnreadSms();
    });
  Synchronize([this] { Host.ReportSend(*this); });
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
  if (!PortMutex || PortMutex->Wait(Waits.PortMutex) != TMutexWait::Obtained) {
    Result = kSendPortBusy;
    return;
  }
  TNamedMutexHold hold(*PortMutex);
  // The notices read during the dialogue are handled at its end, still holding the port: while
  // the modem waits for the message, or is sending it, no other command may reach it (a
  // message logged now may delete its stored parts from the store).
  struct TNoticesAtEnd {
    TSmsSendThread& Thread;
    ~TNoticesAtEnd() { Thread.CheckUnsolicited(); }
  } noticesAtEnd{*this};
  if (Terminated()) {
    Result = kSendIoError;
    return;
  }
  TAtChannel& channel = Channel;
  const std::string command = "AT+CMGS=" + std::to_string(SubmitTpduLength(Pdu)) + "\r\n";
  if (!channel.Write(command) || Terminated() || !ReadPrompt(channel)) {
    Result = kSendIoError;
    return;
  }
  if (Terminated()) {
    Result = kSendBadAnswer;
    return;
  }
  if (LastError.ParseModemError(LastResponse)) {
    Result = kSendModemError;
    return;
  }
  if (Terminated() || LastResponse.find('>') == std::string::npos) {
    Result = kSendBadAnswer;
    return;
  }
  // The message and Ctrl-Z; whether they went out shows in the answer.
  channel.Write(Pdu);
  channel.Write(std::string_view(&kCtrlZ, 1));
  WaitForSendAnswer(channel);
}

bool TSmsSendThread::ReadPrompt(TAtChannel& channel) {
  // Notices and reports the modem sent before the prompt may fill the first reads: reads go
  // on, within the wait, while they bring nothing else.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Waits.PromptRead);
  uint32_t wait = Waits.PromptRead;
  bool answered = false;
  for (;;) {
    uint32_t count = 0;
    std::string rest;
    if (channel.Read(kSendReadSize, wait, rest, &count) != kReadData || count == 0) return answered;
    answered = true;
    LastResponse = Trim(rest);
    if (!LastResponse.empty() || Terminated()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    wait = static_cast<uint32_t>(left.count());
  }
}

void TSmsSendThread::WaitForSendAnswer(TAtChannel& channel) {
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::milliseconds(Waits.Answer);
  bool decided = false;
  while (!decided && !Terminated() && std::chrono::steady_clock::now() - start < limit) {
    std::string rest;
    const uint8_t read = channel.Read(kSendReadSize, Waits.AnswerRead, rest);
    if (read == kReadFailed) {
      // A failed read returns at once: pace the turns as a time-out would.
      Pause(Waits.AnswerRead);
      continue;
    }
    if (read != kReadData) continue;
    LastResponse = Trim(rest);
    if (LastError.ParseModemError(LastResponse)) {
      Result = kSendModemError;
      decided = true;
      break;
    }
    if (LastResponse.find("ok") != std::string::npos) {
      Result = kSendDone;
      decided = true;
    }
  }
  if (!decided) Result = kSendBadAnswer;
}

void TSmsSendThread::CheckUnsolicited() {
  TModemNotice notice;
  while (Channel.Notices.Next(notice)) {
    if (notice.Kind == TModemNotice::TKind::Cmt) {
      HandleCmt(notice.Text);
    } else if (notice.Kind == TModemNotice::TKind::Cmti || notice.Kind == TModemNotice::TKind::Stored) {
      // A stored message, announced or of the store's listing, is read once the send is over.
      if (!notice.Slot.Index.empty()) Host.QueueSmsRead(notice.Slot);
    }
    // A call is not hung up in the middle of a send: the modem repeats RING, and the reader
    // hangs up the next one.
  }
}

void TSmsSendThread::HandleCmt(const std::string& text) {
  // The message is decoded and logged here, whether a reader runs or not: it exists nowhere
  // but in this notice.
  try {
    Host.HandleCmt(text);
  } catch (const EConvertError&) {
    // A reply that cannot be read is kept as it came, as an undecoded message; its notice
    // follows once the port is free.
    if (Host.LogUndecodedSms(text)) UndecodedLogged = true;
  }
}
