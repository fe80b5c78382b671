#pragma once
// The main form's side of the window messages with the dispatcher program: the form's window
// "TOrvexMonitorForm", which takes the dispatcher's commands, the notices to the dispatcher's
// window "TOrvexForm", and the hand-back of the unread messages (a packer thread whose block
// returns as a notice). Everything here runs on the main thread.

#include "platform/DBusWindow.h"

#include <QByteArray>
#include <QObject>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>

class TOrvexMonitorForm;
class TReadSmsFromLog;
class TThread;

// Commands, dispatcher to monitor.
constexpr uint32_t kCommandOpenModem = 0;
constexpr uint32_t kCommandReleaseTerminal = 1;
constexpr uint32_t kCommandSendSms = 2;
constexpr uint32_t kCommandNone = 3;
constexpr uint32_t kCommandCheckModem = 4;
constexpr uint32_t kCommandUnreadBlock = 5;
constexpr uint32_t kCommandQuit = 6;
constexpr uint32_t kCommandStopOutCall = 7;

// A send request of the dispatcher, taken from the bytes of its payload.
struct TSmsSendRequest {
  std::string Phone;
  std::string Text;
};

// The payload of the send command: the phone number, a zero byte, the text (ending at the
// payload's end or at a further zero byte). Nothing for a payload shorter than 12 bytes or
// one without a zero byte: the phone number would have no end. Reads nothing outside the
// `size` bytes at `data`.
std::optional<TSmsSendRequest> ParseSendSmsPayload(const char* data, size_t size);

class TDispatcherLink {
public:
  static constexpr const char* kDispatcherClass = "TOrvexForm";
  static constexpr const char* kMonitorClass = "TOrvexMonitorForm";
  // How long a notice waits for the dispatcher's answer.
  static constexpr int kNoticeTimeoutMs = 5000;
  // How long the modem check waits for the port.
  static constexpr uint32_t kPortWaitMs = 2000;
  // The most notices of refused sends that wait to go; a dispatcher that sends faster than it
  // takes them loses those beyond.
  static constexpr size_t kMaxRefusalNotices = 100;

  explicit TDispatcherLink(TOrvexMonitorForm& form);
  // Gives the window up and stops the packers still running (their blocks are not sent).
  ~TDispatcherLink();
  TDispatcherLink(const TDispatcherLink&) = delete;
  TDispatcherLink& operator=(const TDispatcherLink&) = delete;

  // Puts the form's window on the bus; false when it cannot (no bus, or another monitor has
  // it), and the monitor then works without commands from the dispatcher.
  bool Register();
  bool IsRegistered() const { return Window.IsRegistered(); }

  // Sends a notice to the dispatcher's window and waits for its answer (kNoticeTimeoutMs at
  // most). Codes 0, 1, 3 and 4 carry no payload whatever is given; codes 2 and 5 carry at
  // most 65535 bytes of it. 0 when no dispatcher runs, it did not answer in time, or it
  // answered 0; unknown codes are not sent.
  uint32_t NotifyDispatcher(uint32_t code, const std::string& payload);

  // One command of the dispatcher; the result is its answer.
  uint32_t WMCopyData(uint32_t code, const QByteArray& payload);

  // The packer's termination handler: a completed block goes to the dispatcher, and when it
  // takes it the unread notice ends.
  void ReadSmsFromLogTerminate(TThread& sender);

  // Packers started and not ended yet.
  size_t RunningPackers() const { return Packers.size(); }

private:
  uint32_t CheckModemCommand();
  void StartPacker();
  // A send command the queue refused: notice 2 with `reason` (and its zero byte, as after a
  // failed send) goes once the command has its answer. No balloon, no log record: nothing was
  // sent.
  void NotifyRefusedSend(const std::string& reason);
  void SendRefusalNotices();

  TOrvexMonitorForm& Form;
  TDBusWindow Window;
  std::set<TReadSmsFromLog*> Packers;
  // The reasons of refused sends whose notices have not gone yet, oldest first.
  std::deque<std::string> RefusedSends;
  bool SendingRefusals = false;
  // The context of the work that follows a command's answer; it goes with the link.
  QObject Deferred;
};
