#pragma once
// The GSM core of the monitor with events that go nowhere: for tests and benchmarks that run
// the reader and the store against a simulated modem and look only at the log and the modem.

#include "gsm/MonitorCore.h"

#include <string>
#include <utility>

// The settings of a modem on `port`, the rest at their defaults.
inline TSettingsMirror PortSettings(std::string port) {
  TSettingsMirror settings;
  settings.PhonePort = std::move(port);
  return settings;
}

class TQuietCore : public TMonitorEvents, public TMonitorCore {
public:
  explicit TQuietCore(const std::string& exeDir) : TMonitorCore(exeDir, static_cast<TMonitorEvents&>(*this)) {}
  ~TQuietCore() override { StopModemThreads(); }
  void NotifyUnreadSms() override {}
  void SmsSendResult(uint8_t, const std::string&) override {}
  uint32_t NotifyDispatcher(uint32_t, const std::string&) override { return 0; }
  void RefreshShowSmsForm() override {}
};
