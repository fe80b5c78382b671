#include "gsm/SmsSender.h"

#include <memory>

TSmsSender::TSmsSender(TAtChannel& channel, TModemError& lastError, TSendHost& host)
    : Channel(channel), LastError(lastError), Host(host) {}

TSmsSender::~TSmsSender() { Stop(); }

void TSmsSender::Queue(const std::string& phone, const std::string& text) {
  SendQueue.Add(phone, text);
  if (ActiveThread == nullptr && RunningThread == nullptr && !ShuttingDown) StartThread();
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
