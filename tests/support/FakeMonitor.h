#pragma once
// The monitor as a window under test sees it: a program folder, a settings mirror (behind the
// settings file service the program uses), a fleet,
// scripted serial ports, a modem-open flag, and records of what the window asked (sends,
// reopens, reconnect changes, cleared notices). The log operations work on a real log in the
// folder when the test asks for one, and do nothing otherwise. A test that needs other log
// contents overrides the two loads.

#include "composer/SendRules.h"
#include "gsm/SmsLog.h"
#include "seam/MonitorServices.h"
#include "shell/FileWindowSettings.h"

#include <QPointer>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

// A log lock that is always free: the test is the log's only user.
class TFreeLogLock : public TLogLock {
public:
  bool Acquire(unsigned) override { return true; }
  void Release() override {}
};

class TFakeMonitor : public TMonitorServices {
public:
  enum class TLogUse { None, InFolder };
  // `exeDir` ends with its separator.
  explicit TFakeMonitor(std::string exeDir, TLogUse log = TLogUse::None);
  ~TFakeMonitor() override;
  TFakeMonitor(const TFakeMonitor&) = delete;
  TFakeMonitor& operator=(const TFakeMonitor&) = delete;

  std::string Dir;
  TSettingsMirror Mirror;
  TFileWindowSettings WindowSettings{Dir, Mirror};
  TFleet FleetList;
  // The serial ports the port list sees (through Sources, which tests may replace).
  std::vector<TTtyDevice> Devices;
  TPortSources Sources;
  // The USB terminals' descriptions; by default the D2XX library is not there.
  std::function<std::optional<std::vector<std::string>>()> UsbTerminals;
  // Makes the template window on first use; none without it. The fake deletes it at its end.
  std::function<QWidget*(TMonitorServices&)> MakeTemplateWindow;

  bool Open = false;
  bool ReopenSucceeds = true;
  bool Reconnect = false;
  int Reopens = 0;
  int ReconnectSets = 0;
  int NoticesCleared = 0;
  std::vector<TSmsPair> Queued;
  // How many messages the send queue takes, those queued here included.
  size_t QueueRoom = 10000;

  // The log in the folder; null without one.
  TSmsLog* Log() { return OwnLog.get(); }
  const TSmsLog* Log() const { return OwnLog.get(); }

  const std::string& ExeDir() const override { return Dir; }
  TWindowSettings& Settings() override { return WindowSettings; }
  void LoadUnreadSms(TSmsInfoList& list) override;
  void LoadSmsLog(TSmsHistory& history) override;
  void MarkAllSmsRead() override;
  void ClearUnreadNotice() override;
  bool QueueSmsSend(const std::string& phone, const std::string& text) override;
  size_t SendQueueRoom() const override { return QueueRoom - std::min(QueueRoom, Queued.size()); }
  bool IsModemOpen() const override { return Open; }
  bool ReopenModem() override;
  bool ReconnectEnabled() const override { return Reconnect; }
  void SetReconnectEnabled(bool enabled) override;
  const TPortSources& PortSources() const override { return Sources; }
  std::optional<std::vector<std::string>> ListUsbTerminals() override;
  const TFleet& Fleet() const override { return FleetList; }
  TTemplateWindow* TemplateWindow() override;

private:
  TFreeLogLock Lock;
  std::unique_ptr<TSmsLog> OwnLog;
  QPointer<QWidget> Template;
};
