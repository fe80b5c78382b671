#include "gsm/SmsSender.h"

#include "gsm/AtChannel.h"
#include "gsm/PduCodec.h"

#include <memory>

namespace {

// The refused number as the trace shows it: printable ASCII as it is, every other byte as
// \xNN, and no more than the first 32 bytes.
std::string TracedNumber(const std::string& phone) {
  constexpr size_t kShown = 32;
  static const char kHex[] = "0123456789ABCDEF";
  std::string shown = "\"";
  for (size_t i = 0; i < phone.size() && i < kShown; ++i) {
    const auto byte = static_cast<unsigned char>(phone[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
      shown.push_back(static_cast<char>(byte));
    } else {
      shown += "\\x";
      shown.push_back(kHex[byte >> 4]);
      shown.push_back(kHex[byte & 0x0F]);
    }
  }
  shown += "\"";
  if (phone.size() > kShown) shown += " (" + std::to_string(phone.size()) + " bytes)";
  return shown;
}

}  // namespace

TSmsSender::TSmsSender(TAtChannel& channel, TModemError& lastError, TSendHost& host)
    : Channel(channel), LastError(lastError), Host(host) {}

TSmsSender::~TSmsSender() { Stop(); }

const char* TSmsSender::Refusal(const std::string& phone, const std::string& text) const {
  if (!IsSmsDestination(phone)) return "the number is no destination";
  if (!SmsTextFits(text)) return "the text is longer than one message holds";
  if (Room() == 0) return "the send queue is full";
  return nullptr;
}

size_t TSmsSender::Room() const {
  const size_t count = SendQueue.Count();
  return count < kMaxQueuedSms ? kMaxQueuedSms - count : 0;
}

bool TSmsSender::Queue(const std::string& phone, const std::string& text) {
  if (const char* refusal = Refusal(phone, text)) {
    const std::string note = "SMS send refused, " + std::string(refusal) + ": number " + TracedNumber(phone) +
                             ", text of " + std::to_string(text.size()) + " bytes\r\n";
    Channel.Port.AppendDebugLog(reinterpret_cast<const uint8_t*>(note.data()), static_cast<uint32_t>(note.size()),
                                kTraceNote);
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
