#pragma once
// What the monitor core tells the program around it (the main form implements it): the GSM
// side reaches the GUI only through these calls, all made on the main thread.

#include <cstdint>
#include <string>

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
};
