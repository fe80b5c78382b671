#pragma once
// The notices the monitor sends to the dispatcher program, each with its payload as the
// dispatcher reads it. Every notice goes through TMonitorEvents::NotifyDispatcher, whose answer
// is the dispatcher's result: 0 when it did not take the notice or does not run.

#include "gsm/MonitorEvents.h"

#include <cstdint>
#include <string>

constexpr uint32_t kNoticeSmsSent = 0;      // no payload
constexpr uint32_t kNoticeModemOpen = 1;    // no payload
constexpr uint32_t kNoticeError = 2;        // an error text, code page 1251
constexpr uint32_t kNoticeLinkLost = 3;     // no payload
constexpr uint32_t kNoticeUnread = 4;       // no payload
constexpr uint32_t kNoticeUnreadBlock = 5;  // the packed unread messages
constexpr uint32_t kLastNotice = 5;

inline uint32_t NotifySmsSent(TMonitorEvents& core) { return core.NotifyDispatcher(kNoticeSmsSent, {}); }
inline uint32_t NotifyModemOpen(TMonitorEvents& core) { return core.NotifyDispatcher(kNoticeModemOpen, {}); }
inline uint32_t NotifyLinkLost(TMonitorEvents& core) { return core.NotifyDispatcher(kNoticeLinkLost, {}); }
inline uint32_t NotifyUnread(TMonitorEvents& core) { return core.NotifyDispatcher(kNoticeUnread, {}); }

// A failed send: the text with its terminating zero byte.
inline uint32_t NotifySendError(TMonitorEvents& core, const std::string& text) {
  return core.NotifyDispatcher(kNoticeError, text + '\0');
}

// A failed modem set-up: the bytes of the text alone, no terminating zero (none for an empty
// text).
inline uint32_t NotifySetupError(TMonitorEvents& core, const std::string& text) {
  return core.NotifyDispatcher(kNoticeError, text);
}
