// Arbitrary bytes as the payload of the dispatcher's send command, taken the whole way to the
// modem: the payload parse, the send queue's entry, the SMS-SUBMIT PDU and the bytes of the send
// dialogue, fed to the simulated modem. Whatever the number and the text hold, the message is
// refused at the queue, or the modem gets "AT+CMGS=" with the length, the hex PDU and Ctrl-Z and
// nothing else: it runs no other command, keeps the message it stores, and sends one message to
// the number's digits.

#include "gsm/AtChannel.h"
#include "gsm/ModemErrors.h"
#include "gsm/PduCodec.h"
#include "gsm/SmsSender.h"
#include "shell/DispatcherLink.h"
#include "tools/modemsim/ModemSim.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

// The queue's entry is all that runs here: no send thread starts, so the host hears nothing.
class TQuietHost : public TSendHost {
 public:
  void HandleCmt(const std::string&) override {}
  void QueueSmsRead(const TStoredSms&) override {}
  bool LogUndecodedSms(const std::string&) override { return false; }
  void DeliverUnreadSignal() override {}
  void NotifyUnreadSms() override {}
  bool SendShutDown() const override { return true; }
  void ReportSend(const TSmsSendThread&) override {}
  void ReadQueuedSms() override {}
  void RefreshShowSmsForm() override {}
};

TSmsSender& Sender() {
  static TAtChannel channel;
  static TModemError lastError;
  static TQuietHost host;
  static TSmsSender* sender = [] {
    static TSmsSender made(channel, lastError, host);
    made.Stop();  // from now on a queued message starts no send thread
    return &made;
  }();
  return *sender;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<TSmsSendRequest> request = ParseSendSmsPayload(reinterpret_cast<const char*>(data), size);
  if (!request) return 0;
  TSmsSender& sender = Sender();
  sender.SendQueue.Clear();
  if (!sender.Queue(request->Phone, request->Text)) {
    // Only what no message can carry is refused (the queue is empty).
    if (IsSmsDestination(request->Phone) && SmsTextFits(request->Text)) __builtin_trap();
    return 0;
  }
  if (sender.SendQueue.Count() != 1) __builtin_trap();

  std::string phone = request->Phone;
  const std::string pdu = BuildPdu(phone, request->Text);
  if (pdu.empty() || pdu.find_first_not_of("0123456789ABCDEF") != std::string::npos) __builtin_trap();
  const std::string command = "AT+CMGS=" + std::to_string(SubmitTpduLength(pdu));

  TModemSim sim;
  sim.SetEcho(false);
  TSimDeliver stored;
  stored.Sender = "+79001234567";
  stored.Text = "stored";
  sim.StoreSms(stored);
  sim.Feed(command + "\r\n");
  sim.Advance(TModemSim::kNever);
  if (!sim.InSendPrompt()) __builtin_trap();
  sim.Take();
  sim.Feed(pdu);
  sim.Feed(std::string(1, '\x1a'));
  sim.Advance(TModemSim::kNever);
  sim.Take();

  if (sim.Commands() != std::vector<std::string>{command, pdu}) __builtin_trap();
  const auto sent = sim.SentMessages();
  if (sent.size() != 1 || sent[0].Recipient != phone) __builtin_trap();
  if (sim.StoredMessages("SM").size() != 1) __builtin_trap();
  return 0;
}
