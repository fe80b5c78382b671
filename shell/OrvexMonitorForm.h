#pragma once
// The main form: never shown, it owns the tray icon and its menu, the three one-second
// timers and the GSM side (the monitor core, with the settings mirror), whose events it
// implements. Every other window is opened from its tray menu or by a notice.

#include "gsm/MonitorCore.h"
#include "platform/TickCount.h"
#include "platform/TrayIcon.h"
#include "seam/Fleet.h"
#include "seam/MonitorServices.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class TDeviceMonitor;
class TDispatcherFleet;
class TDispatcherLink;
class TNamedMutex;
class QMenu;
class QTimer;

// Program-wide values of the start-up.
extern uint32_t VersionMajor, VersionMinor, VersionRelease;

class TOrvexMonitorForm : public QWidget, public TMonitorEvents {
  Q_OBJECT

public:
  // `tickCount` replaces the machine's tick count (tests drive the timers with it).
  explicit TOrvexMonitorForm(std::string exeDir, TTickSource tickCount = GetTickCount, QWidget* parent = nullptr);
  ~TOrvexMonitorForm() override;

  // The GSM side: the modem link and its workers, the message store, the SMS log.
  TMonitorCore Core;
  const std::string& ExeDir() const { return Core.ExeDir; }
  // The settings as read from the settings file; the core gets the modem's part of them.
  TSettingsMirror& Mirror() { return SettingsMirror; }
  // What the windows and the dispatcher ask of the GSM side.
  virtual bool QueueSmsSend(const std::string& phone, const std::string& text) { return Core.QueueSmsSend(phone, text); }
  // Whether the modem link is open.
  virtual bool IsModemOpen() const { return Core.IsModemOpen(); }
  // The channel that the dispatcher's modem check talks to; null while the link is closed.
  virtual TAtChannel* ModemChannel() { return Core.ModemChannel(); }

  // Component names follow the form's design; tests find them by object name.
  QMenu* TrayPopup = nullptr;
  QAction* OpenModem = nullptr;
  QAction* CloseModem = nullptr;
  QAction* SendSms = nullptr;
  QAction* ChangeAutoMode = nullptr;
  QAction* ViewLog = nullptr;
  QAction* Settings = nullptr;
  QAction* About = nullptr;
  QAction* ProgramExit = nullptr;
  QTimer* BalloonTimer = nullptr;
  QTimer* ConfirmTimer = nullptr;
  QTimer* ConnectTimer = nullptr;

  TTrayIcon Tray;
  // What a click on the balloon runs; empty when nothing.
  std::function<void()> BalloonClick;
  uint32_t LastConnectTick = 0;
  uint32_t LastReminderTick = 0;

  // Windows opened from the tray; null while they do not exist.
  QPointer<QWidget> ShowSmsForm;
  QPointer<QWidget> SmsForm;
  QPointer<QWidget> ConfigForm;
  QPointer<QWidget> AboutForm;
  // The template window: one for the whole run, made on first use, ended with the form.
  QPointer<QWidget> SmsTemplateForm;

  // The dispatcher's vehicle groups, empty while none was lent.
  TFleet Fleet;
  // Where the settings window lists ports from; tests script it.
  TPortSources PortSources = TPortSources::System();

  // The windows are made by this factory, which the program installs; without one the form
  // opens empty frames.
  void SetWindowFactory(TWindowFactory factory) { MakeWindow = std::move(factory); }
  // What the windows see of the monitor.
  TMonitorServices& Services() { return *WindowServices; }
  // The open window of a kind, null when none is open (the template window once made).
  QWidget* Window(TWindowKind kind);
  // The template window, made on first use.
  QWidget* TemplateWindow();

  void FormCreate();
  void FormClose();
  void FormDestroy();

  void ConnectTimerTimer();
  void ConfirmTimerTimer();
  void BalloonTimerTimer();

  void OpenModemClick();
  void CloseModemClick();
  void SendSmsClick();
  void ChangeAutoModeClick();
  void ViewLogClick();
  void SettingsClick();
  void AboutClick();
  void ProgramExitClick();

  // The tray menu and icon of a link state.
  void SetModemState(TModemState state);
  // The tray's balloon, taken down by BalloonTimer when its time-out ends.
  void ShowTrayBalloon(const std::string& title, const std::string& text, uint32_t timeoutMs, uint32_t infoFlags);
  void HideTrayBalloon();
  // The unread notice; on the main thread.
  void NotifyUnreadSms() override;
  // The end of a send: its balloon and its notice to the dispatcher.
  void SmsSendResult(uint8_t result, const std::string& errorText) override;
  // A balloon of a result: shown, and its click does nothing.
  void ShowNoticeBalloon(const std::string& title, const std::string& text, uint32_t timeoutMs, uint32_t icon);
  void RefreshShowSmsForm() override;
  void UnreadNoticeClick();
  void ClearUnreadNotice();
  // A balloon notification from the tray: clicked or timed out.
  void TrayBalloonClicked();
  void TrayBalloonTimedOut();

  bool IsDispatcherRunning();
  // The window messages with the dispatcher program: the form's window, which FormCreate puts
  // on the bus, and the notices to the dispatcher.
  TDispatcherLink& DispatcherLink() { return *DispatcherWindow; }
  uint32_t NotifyDispatcher(uint32_t code, const std::string& payload) override;
  uint32_t TickCount() const { return Ticks(); }

  // Seams the modem and dispatcher sides fill: opening and closing the modem link, whether a
  // set-up runs, the dispatcher's automation link and fleet.
  // Opening loads the settings, gives them to the link and starts its set-up (nothing while
  // one runs); ModemSetupEnded shows how it ended. Closing closes the link and, with
  // AutoConnect, starts the reconnect timer.
  virtual void OpenModemLink();
  virtual void CloseModemLink();
  virtual bool IsConfiguring() const { return Core.Link().IsConfiguring(); }

  // The end of a set-up of the modem link: the tray, the balloon, the dispatcher's notice and
  // the reconnect timer.
  void ModemSetupEnded(const TSetupOutcome& outcome) override;
  // Closes an open link (with a balloon) and opens it again.
  bool ReopenModem();
  // A device came or went: closes the link when its device is gone.
  void WMDeviceChange();
  // The automation link with the dispatcher and its fleet (shell/DispatcherFleet.h).
  virtual bool ConnectDispatcher();
  virtual void LoadFleet();
  virtual void DisconnectDispatcher();
  TDispatcherFleet& DispatcherFleet() { return *FleetLink; }

signals:
  // The main form has closed: the program ends.
  void Closed();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  TSettingsMirror SettingsMirror;
  // Creates a window of the tray into its instance pointer on first use and brings it to the
  // front; true when it was created now.
  bool OpenWindow(TWindowKind kind, const char* objectName, const std::string& caption);
  QPointer<QWidget>& WindowSlot(TWindowKind kind);
  // Asks an open window of the kind to show what changed.
  void RefreshWindow(TWindowKind kind);
  void RefreshMessageWindow();
  // Opens the message window in one of its views: created when absent (the view filled, then
  // the layout applied), else refreshed; brought forward either way.
  void OpenMessageWindow(bool unreadView);
  // Destroys every window still open (their layouts are saved as they go).
  void DestroyWindows();

  // Asks an open settings window to list its devices anew.
  void RefreshConfigDeviceLists();
  // Closes the link at the user's request and says so, also when balloons are off.
  void CloseModemWithBalloon();
  // With AutoConnect the reconnect timer runs from now on: the next attempt is due a minute
  // after the close.
  void RestartConnectTimer();

  TTickSource Ticks;
  TWindowFactory MakeWindow;
  std::unique_ptr<TMonitorServices> WindowServices;
  std::unique_ptr<TDispatcherLink> DispatcherWindow;
  std::unique_ptr<TDispatcherFleet> FleetLink;
  std::unique_ptr<TDeviceMonitor> DeviceMonitor;
  bool InDeviceChange = false;
  bool Destroyed = false;
};
