#include "gsm/SmsSender.h"

#include "gsm/AtChannel.h"
#include "gsm/PduCodec.h"

#include <memory>

TSmsSender::TSmsSender(TAtChannel& channel, TModemError& lastError, TSendHost& host)
    : Channel(channel), LastError(lastError), Host(host) {}

TSmsSender::~TSmsSender() { Stop(); }

TSendRefusal TSmsSender::Refusal(const std::string& phone, const std::string& text) const {
  if (!IsSmsDestination(phone)) return TSendRefusal::NoDestination;
  if (!SmsTextFits(text)) return TSendRefusal::TextTooLong;
  if (Room() == 0) return TSendRefusal::QueueFull;
  return TSendRefusal::None;
}

size_t TSmsSender::Room() const {
  const size_t count = SendQueue.Count();
  return count < kMaxQueuedSms ? kMaxQueuedSms - count : 0;
}

bool TSmsSender::Queue(const std::string& phone, const std::string& text) {
  const TSendRefusal refusal = Refusal(phone, text);
  if (refusal != TSendRefusal::None) {
    const char* reason = refusal == TSendRefusal::NoDestination ? "the number is no destination"
                         : refusal == TSendRefusal::TextTooLong ? "the text is longer than one message holds"
                                                                : "the send queue is full";
    Channel.Port.AppendTraceNote("SMS send refused, " + std::string(reason) + ": number " +
                                 TModemPort::TracedBytes(phone) + ", text of " + std::to_string(text.size()) +
                                 " bytes");
    return false;
  }
  SendQueue.Add(phone, text);
  if (ActiveThread == nullptr && RunningThread == nullptr && !ShuttingDown) StartThread();
  return true;
}

void TSmsSender::StartThread() {
  TSendQueue::TPair head;
  if (!SendQueue.Front(head)) return;
  // The thread frees itself once its end has been handled here.
  auto* thread = new TSmsSendThread(Channel, LastError, Host, Waits);
  ActiveThread = thread;
  RunningThread = thread;
  thread->FreeOnTerminate = true;
  thread->SetPriority(TThreadPriority::Normal);
  thread->Phone = head.first;
  thread->Text = head.second;
  thread->OnTerminate = [this](TThread& sender) { ThreadEnded(static_cast<TSmsSendThread&>(sender)); };
  thread->Start();
}

void TSmsSender::ThreadEnded(TSmsSendThread& thread) {
  if (&thread == RunningThread) RunningThread = nullptr;
  Host.ReadQueuedSms();
  SendQueue.DropFront();
  if (SendQueue.Count() > 0)
    StartThread();
  else
    ActiveThread = nullptr;
  Host.RefreshShowSmsForm();
}

void TSmsSender::Terminate() {
  if (ActiveThread == nullptr) return;
  ActiveThread->Terminate();
  ActiveThread = nullptr;
}

void TSmsSender::Stop() {
  ShuttingDown = true;
  TSmsSendThread* thread = RunningThread;
  if (thread == nullptr) return;
  RunningThread = nullptr;
  ActiveThread = nullptr;
  // Taken back from the event loop: no end handler, deleted here once Execute has returned
  // (its destructor waits, serving the report's synchronous call, which then does nothing).
  thread->OnTerminate = nullptr;
  thread->FreeOnTerminate = false;
  thread->Terminate();
  std::unique_ptr<TSmsSendThread> owned(thread);
}
