#include "shell/DispatcherLink.h"

#include "gsm/ConfigureModem.h"
#include "shell/DispatcherNotices.h"
#include "gsm/ModemPort.h"
#include "gsm/ReadSmsFromLog.h"
#include "platform/NamedMutex.h"
#include "shell/OrvexMonitorForm.h"
#include "shell/SendReport.h"

#include <QMetaObject>

#include <cstring>
#include <limits>
#include <memory>

namespace {

// The dispatcher always sends more than a bare phone number; anything shorter is no request.
constexpr size_t kMinSendPayload = 12;

}  // namespace

std::optional<TSmsSendRequest> ParseSendSmsPayload(const char* data, size_t size) {
  if (data == nullptr || size < kMinSendPayload) return std::nullopt;
  const void* phoneEnd = std::memchr(data, '\0', size);
  // Without a zero byte the phone number has no end inside the payload: nothing to send.
  if (phoneEnd == nullptr) return std::nullopt;
  const size_t phoneLength = static_cast<size_t>(static_cast<const char*>(phoneEnd) - data);
  const char* text = data + phoneLength + 1;
  const size_t rest = size - phoneLength - 1;
  const void* textEnd = std::memchr(text, '\0', rest);
  const size_t textLength = textEnd ? static_cast<size_t>(static_cast<const char*>(textEnd) - text) : rest;
  return TSmsSendRequest{std::string(data, phoneLength), std::string(text, textLength)};
}

TDispatcherLink::TDispatcherLink(TOrvexMonitorForm& form)
    : Form(form), Window(QString::fromLatin1(kMonitorClass), [this](uint32_t code, const QByteArray& payload) {
        return WMCopyData(code, payload);
      }) {}

TDispatcherLink::~TDispatcherLink() {
  Window.Unregister();
  // A packer reads the log through the form: it must end before the form does. Destroying it
  // stops it and waits; its pending termination then finds no packer and sends nothing.
  std::set<TReadSmsFromLog*> running;
  running.swap(Packers);
  for (TReadSmsFromLog* packer : running) delete packer;
}

bool TDispatcherLink::Register() { return Window.IsRegistered() || Window.Register(); }

uint32_t TDispatcherLink::NotifyDispatcher(uint32_t code, const std::string& payload) {
  if (code > kLastNotice) return 0;
  QByteArray bytes;
  if (code == kNoticeError || code == kNoticeUnreadBlock) {
    // The length of a payload travels as 16 bits.
    const size_t length = std::min<size_t>(payload.size(), std::numeric_limits<uint16_t>::max());
    bytes = QByteArray(payload.data(), static_cast<qsizetype>(length));
  }
  uint32_t answer = 0;
  // No dispatcher, or one that does not answer in time: the notice is dropped, and no caller
  // has anything to do about it.
  if (!TDBusWindow::SendCopyData(QString::fromLatin1(kDispatcherClass), code, bytes, kNoticeTimeoutMs, &answer))
    return 0;
  return answer;
}

uint32_t TDispatcherLink::WMCopyData(uint32_t code, const QByteArray& payload) {
  switch (code) {
    case kCommandOpenModem:
      Form.OpenModemLink();
      return 1;
    case kCommandReleaseTerminal:
      // Only the USB terminal is given back; a modem on a serial port stays open.
      if (TModemPort::SelectsTerminal(Form.Mirror().PhonePort) && Form.IsModemOpen()) Form.CloseModemLink();
      return 1;
    case kCommandSendSms: {
      const std::optional<TSmsSendRequest> request =
          ParseSendSmsPayload(payload.constData(), static_cast<size_t>(payload.size()));
      if (!request) return 0;
      if (Form.QueueSmsSend(request->Phone, request->Text)) return 1;
      // A number that is no destination, a text longer than one message and a full queue are
      // refused here, before anything reaches the modem. The dispatcher hears why as it hears
      // of a failed send: a notice 2 with the reason, after the answer.
      NotifyRefusedSend(SendRefusalReason(Form.Core.Sender().Refusal(request->Phone, request->Text)));
      return 0;
    }
    case kCommandCheckModem:
      return CheckModemCommand();
    case kCommandUnreadBlock:
      StartPacker();
      return 1;
    case kCommandQuit:
      Form.CloseModemLink();
      // The form closes once the answer is on its way: closing ends the program, and the
      // dispatcher still gets its 1.
      QMetaObject::invokeMethod(&Form, [form = &Form] { form->close(); }, Qt::QueuedConnection);
      return 1;
    case kCommandStopOutCall:
      // No out-call worker runs in this program, so there is nothing to stop.
      return 1;
    case kCommandNone:
    default:
      return 0;
  }
}

void TDispatcherLink::NotifyRefusedSend(const std::string& reason) {
  if (reason.empty() || RefusedSends.size() >= kMaxRefusalNotices) return;
  RefusedSends.push_back(reason);
  if (RefusedSends.size() == 1 && !SendingRefusals)
    QMetaObject::invokeMethod(&Deferred, [this] { SendRefusalNotices(); }, Qt::QueuedConnection);
}

void TDispatcherLink::SendRefusalNotices() {
  // Each notice waits for the dispatcher's answer, serving the bus meanwhile: refusals of the
  // commands that come in that wait join the list and go from this loop, one at a time.
  SendingRefusals = true;
  while (!RefusedSends.empty()) {
    const std::string reason = std::move(RefusedSends.front());
    RefusedSends.pop_front();
    NotifySendError(Form, reason);
  }
  SendingRefusals = false;
}

uint32_t TDispatcherLink::CheckModemCommand() {
  // The check talks to the modem, so it holds the port like every exchange; a port that
  // another exchange keeps busy answers 0 instead of blocking the program for long.
  std::unique_ptr<TNamedMutex> port = TAtChannel::CreatePortMutex();
  if (!port || port->Wait(kPortWaitMs) != TMutexWait::Obtained) return 0;
  TNamedMutexHold hold(*port);
  TAtChannel* channel = Form.ModemChannel();
  return channel != nullptr && CheckModem(*channel) ? 1 : 0;
}

void TDispatcherLink::StartPacker() {
  auto* packer = new TReadSmsFromLog(
      [form = &Form](TSmsInfoList& list, std::vector<int32_t>& indexes) { form->Core.LoadUnreadSms(list, &indexes); });
  packer->SetPriority(TThreadPriority::Normal);
  packer->FreeOnTerminate = true;
  packer->OnTerminate = [this](TThread& sender) { ReadSmsFromLogTerminate(sender); };
  Packers.insert(packer);
  packer->Start();
}

void TDispatcherLink::ReadSmsFromLogTerminate(TThread& sender) {
  auto* packer = static_cast<TReadSmsFromLog*>(&sender);
  Packers.erase(packer);
  if (!packer->Completed) return;
  const std::string block(reinterpret_cast<const char*>(packer->Payload.data()),
                          static_cast<size_t>(packer->PayloadLength));
  // A block that the dispatcher does not take leaves the messages unread and the notice on.
  if (NotifyDispatcher(kNoticeUnreadBlock, block) == 0) return;
  if (!packer->MoreUnread) {
    Form.ClearUnreadNotice();
    return;
  }
  // The block carried only the oldest of the unread messages: only those become read, and the
  // notice starts again for the others, so that the dispatcher asks for them too instead of
  // never seeing them.
  Form.Core.DispatcherTookBlockUpTo(packer->LastPackedIndex);
  Form.ClearUnreadNotice();
  Form.Core.CheckUnreadSms();
}
