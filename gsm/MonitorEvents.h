#pragma once
// What the monitor core tells the program around it (the main form implements it): the GSM
// side reaches the GUI only through these calls, all made on the main thread.

#include <cstdint>
#include <string>

// The states of the modem link as the tray shows them. Settle is no state of its own: it
// enables the settings and the exit and shows the link as it is, open or closed.
enum class TModemState { Closed = 1, Open = 2, Busy = 3, Settle = 5 };

// How a set-up of the modem link ended, as far as the GUI shows it.
struct TSetupOutcome {
  // Open: the modem is ready and its reader runs. Closed: the set-up failed and the link is
  // closed again; ErrorText says why.
  TModemState State = TModemState::Closed;
  std::string ErrorText;
  // False after a refused PIN, which is not tried again by itself.
  bool MayRetry = true;
};

class TMonitorEvents {
 public:
  virtual ~TMonitorEvents() = default;
  // A new unread message is stored, or the log holds unread records at start.
  virtual void NotifyUnreadSms() = 0;
  // A send has ended with `result` (kSendDone ...); `errorText` is the last modem error.
  virtual void SmsSendResult(uint8_t result, const std::string& errorText) = 0;
  // A notice to the dispatcher program; the dispatcher's answer, 0 when it was dropped.
  virtual uint32_t NotifyDispatcher(uint32_t code, const std::string& payload) = 0;
  // The message list may have changed: the message window, when open, shows it anew.
  virtual void RefreshShowSmsForm() = 0;
  // A set-up of the modem link has ended with the modem ready or with a failure. A set-up that
  // found no operator, or was stopped, leaves the port open without a reader and is not told.
  // Owners that show no link (benchmarks, the store's tests) need not hear it.
  virtual void ModemSetupEnded(const TSetupOutcome& outcome) { (void)outcome; }
};
