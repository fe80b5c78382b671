#include "shell/OrvexMonitorForm.h"

#include "common/Text.h"
#include "shell/DispatcherNotices.h"
#include "platform/DeviceMonitor.h"
#include "platform/NamedMutex.h"
#include "shell/DispatcherFleet.h"
#include "shell/DispatcherLink.h"
#include "shell/FormServices.h"
#include "shell/SendReport.h"
#include "shell/Settings.h"
#include "shell/TrayTexts.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QThread>
#include <QTimer>

uint32_t VersionMajor = 0, VersionMinor = 0, VersionRelease = 0;

namespace {

constexpr uint32_t kFirstConnectDelayMs = 25000;  // first attempt 60 - 25 = 35 s after start
constexpr uint32_t kConnectSpacingMs = 60000;
constexpr uint32_t kReminderSpacingMs = 20000;

const char* const kUnreadText = "Имеются непрочитанные сообщения";


QTimer* MakeTimer(QObject* owner, const char* name) {
  auto* timer = new QTimer(owner);
  timer->setObjectName(name);
  timer->setInterval(1000);
  return timer;
}

}  // namespace

TOrvexMonitorForm::TOrvexMonitorForm(std::string exeDir, TTickSource tickCount, QWidget* parent)
    : QWidget(parent), Core(std::move(exeDir), *this), Ticks(std::move(tickCount)) {
  setObjectName("OrvexMonitorForm");
  setWindowTitle("Orvex Monitor");
  resize(274, 116);

  TrayPopup = new QMenu(this);
  TrayPopup->setObjectName("TrayPopup");
  auto item = [this](const char* name, const char* caption) {
    QAction* action = TrayPopup->addAction(QString::fromUtf8(caption));
    action->setObjectName(name);
    return action;
  };
  OpenModem = item("OpenModem", "Открыть модем");
  CloseModem = item("CloseModem", "Закрыть модем");
  TrayPopup->addSeparator()->setObjectName("N1");
  SendSms = item("SendSms", "Отправить СМС");
  TrayPopup->addSeparator()->setObjectName("N2");
  ChangeAutoMode = item("ChangeAutoMode", "Всплывающие сообщения");
  ChangeAutoMode->setCheckable(true);
  ChangeAutoMode->setChecked(true);
  ViewLog = item("ViewLog", "История операций");
  Settings = item("Settings", "Настройки");
  About = item("About", "О программе");
  ProgramExit = item("ProgramExit", "Выход");

  connect(OpenModem, &QAction::triggered, this, [this] { OpenModemClick(); });
  connect(CloseModem, &QAction::triggered, this, [this] { CloseModemClick(); });
  connect(SendSms, &QAction::triggered, this, [this] { SendSmsClick(); });
  connect(ChangeAutoMode, &QAction::triggered, this, [this] { ChangeAutoModeClick(); });
  connect(ViewLog, &QAction::triggered, this, [this] { ViewLogClick(); });
  connect(Settings, &QAction::triggered, this, [this] { SettingsClick(); });
  connect(About, &QAction::triggered, this, [this] { AboutClick(); });
  connect(ProgramExit, &QAction::triggered, this, [this] { ProgramExitClick(); });

  BalloonTimer = MakeTimer(this, "BalloonTimer");
  ConfirmTimer = MakeTimer(this, "ConfirmTimer");
  ConnectTimer = MakeTimer(this, "ConnectTimer");
  connect(BalloonTimer, &QTimer::timeout, this, [this] { BalloonTimerTimer(); });
  connect(ConfirmTimer, &QTimer::timeout, this, [this] { ConfirmTimerTimer(); });
  connect(ConnectTimer, &QTimer::timeout, this, [this] { ConnectTimerTimer(); });

  Tray.SetPopupMenu(TrayPopup);
  Tray.SetBalloonClickHandler([this] { TrayBalloonClicked(); });
  WindowServices = std::make_unique<TFormServices>(*this);
  DispatcherWindow = std::make_unique<TDispatcherLink>(*this);
  // A reloaded fleet refills an open send window in the same step.
  FleetLink = std::make_unique<TDispatcherFleet>(Fleet, [this] {
    if (auto* window = dynamic_cast<TSendWindow*>(SmsForm.data())) window->RefillDeviceList(Fleet);
  });
}

bool TOrvexMonitorForm::ConnectDispatcher() { return FleetLink->ConnectDispatcher(); }
void TOrvexMonitorForm::LoadFleet() { FleetLink->LoadFleet(); }
void TOrvexMonitorForm::DisconnectDispatcher() { FleetLink->DisconnectDispatcher(); }

TOrvexMonitorForm::~TOrvexMonitorForm() { FormDestroy(); }

void TOrvexMonitorForm::FormCreate() {
  LoadSettings(Core.ExeDir, SettingsMirror);
  Core.ApplyModemSettings(SettingsMirror);
  Core.CreateLogMutex();
  ChangeAutoMode->setChecked(SettingsMirror.ShowNotify);
  if (SettingsMirror.AutoConnect) {
    ConnectTimer->start();
    LastConnectTick = Ticks() - kFirstConnectDelayMs;
  } else {
    ConnectTimer->stop();
  }
  SetModemState(TModemState::Settle);
  Tray.AddTrayIcon(TTrayIcon::kIconModemClosed, Cp1251("Модем отключен."));
  Core.CheckSmsLog(Core.LogPath);
  Core.CheckUnreadSms();
  // Devices that come and go, seen as they do; without udev the link is only checked as it
  // is used.
  DeviceMonitor = std::make_unique<TDeviceMonitor>([this] { WMDeviceChange(); });
  DeviceMonitor->Start();
  // Without a session bus the dispatcher cannot reach the monitor; the monitor works on.
  DispatcherWindow->Register();
  // The dispatcher's fleet comes in the background: nothing of the start waits for it, however
  // large it is or whatever the dispatcher says of it. The link stays only with a dispatcher
  // that the user runs.
  FleetLink->LinkAtStart(IsDispatcherRunning());
}

void TOrvexMonitorForm::FormClose() { Tray.RemoveTrayIcon(); }

void TOrvexMonitorForm::FormDestroy() {
  if (Destroyed) return;
  Destroyed = true;
  // Open windows use the form's services: they go first, saving their layouts, and mark
  // nothing read.
  DestroyWindows();
  FleetLink.reset();
  DeviceMonitor.reset();
  // The workers use the link and the log: they end first, while the form can still take
  // their calls.
  Core.StopSmsSendThread();
  Core.StopModemThreads();
  // The link's packers read the log: they end before the log mutex goes.
  DispatcherWindow.reset();
  Core.CloseLogMutex();
}

void TOrvexMonitorForm::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
  emit Closed();
}

void TOrvexMonitorForm::SmsSendResult(uint8_t result, const std::string& errorText) {
  ReportSendResult(
      *this,
      [this](const std::string& title, const std::string& text, uint32_t timeoutMs, uint32_t icon) {
        ShowNoticeBalloon(title, text, timeoutMs, icon);
      },
      SettingsMirror.ShowNotify, result, errorText);
}

uint32_t TOrvexMonitorForm::NotifyDispatcher(uint32_t code, const std::string& payload) {
  return DispatcherWindow ? DispatcherWindow->NotifyDispatcher(code, payload) : 0;
}

bool TOrvexMonitorForm::IsDispatcherRunning() {
  // The dispatcher holds its mutex while it runs: not getting it within 10 ms means it runs.
  std::unique_ptr<TNamedMutex> mutex = TNamedMutex::Create("OrvexMutex");
  if (!mutex) return false;
  if (mutex->Wait(10) != TMutexWait::Obtained) return true;
  mutex->Release();
  return false;
}

void TOrvexMonitorForm::ConnectTimerTimer() {
  uint32_t now = Ticks();
  if (static_cast<uint32_t>(now - LastConnectTick) < kConnectSpacingMs) return;
  // The attempt counts as made even when a set-up still runs.
  LastConnectTick = now;
  if (!IsConfiguring()) OpenModemLink();
}

void TOrvexMonitorForm::ConfirmTimerTimer() {
  if (!Core.UnreadPending()) return;
  uint32_t now = Ticks();
  if (static_cast<uint32_t>(now - LastReminderTick) <= kReminderSpacingMs) return;
  LastReminderTick = now;
  NotifyUnread(*this);
  if (!SettingsMirror.ShowNotify) return;
  BalloonClick = [this] { UnreadNoticeClick(); };
  ShowTrayBalloon(BalloonTitle(), Cp1251(kUnreadText), 20000, TTrayIcon::kBalloonWarning);
  Tray.SetTrayIcon(TTrayIcon::kIconUnread, Cp1251(kUnreadText));
}

void TOrvexMonitorForm::BalloonTimerTimer() {
  BalloonTimer->stop();
  HideTrayBalloon();
}

void TOrvexMonitorForm::ShowTrayBalloon(const std::string& title, const std::string& text, uint32_t timeoutMs,
                                        uint32_t infoFlags) {
  Tray.ShowTrayBalloon(title, text, timeoutMs, infoFlags);
  BalloonTimer->setInterval(static_cast<int>(timeoutMs));
  BalloonTimer->start();
}

void TOrvexMonitorForm::HideTrayBalloon() { Tray.HideTrayBalloon(); }

void TOrvexMonitorForm::TrayBalloonClicked() {
  if (BalloonClick) {
    // The action may replace BalloonClick; run a copy.
    std::function<void()> action = BalloonClick;
    action();
  }
  BalloonTimer->stop();
}

void TOrvexMonitorForm::TrayBalloonTimedOut() { BalloonTimer->stop(); }

void TOrvexMonitorForm::OpenModemClick() { OpenModemLink(); }

void TOrvexMonitorForm::CloseModemClick() { CloseModemWithBalloon(); }

void TOrvexMonitorForm::CloseModemWithBalloon() {
  CloseModemLink();
  SetModemState(TModemState::Closed);
  BalloonClick = nullptr;
  // Shown also when balloons are off.
  ShowTrayBalloon(BalloonTitle(), Cp1251("Модем закрыт"), 3000, TTrayIcon::kBalloonInfo);
}

void TOrvexMonitorForm::SendSmsClick() {
  if (OpenWindow(TWindowKind::Sms, "smsForm", "Отправить СМС")) {
    if (auto* window = dynamic_cast<TSendWindow*>(SmsForm.data())) window->FillDeviceList(Fleet);
    SmsForm->show();
  }
  SmsForm->raise();
  SmsForm->activateWindow();
}

void TOrvexMonitorForm::ChangeAutoModeClick() {
  // The mark before the click is the mirror's value, whether or not the menu already flipped it.
  bool mark = !SettingsMirror.ShowNotify;
  ChangeAutoMode->setChecked(mark);
  SettingsMirror.ShowNotify = mark;
  SaveShowNotify(Core.ExeDir, SettingsMirror.ShowNotify);
}

void TOrvexMonitorForm::ViewLogClick() { OpenMessageWindow(false); }

void TOrvexMonitorForm::OpenMessageWindow(bool unreadView) {
  if (ShowSmsForm) {
    RefreshMessageWindow();
  } else {
    if (unreadView) {
      ConfirmTimer->stop();
      BalloonClick = nullptr;
    }
    OpenWindow(TWindowKind::ShowSms, "ShowSmsForm", unreadView ? "Непрочитанные сообщения" : "История операций");
    if (auto* window = dynamic_cast<TMessageWindow*>(ShowSmsForm.data())) {
      if (unreadView)
        window->ShowUnreadMessages();
      else
        window->ShowOperationHistory();
      window->RestoreLayout(SettingsMirror.ShowSmsFormLayout);
    }
    ShowSmsForm->show();
  }
  ShowSmsForm->raise();
  ShowSmsForm->activateWindow();
}

void TOrvexMonitorForm::SettingsClick() {
  if (OpenWindow(TWindowKind::Config, "ConfigForm", "Параметры")) ConfigForm->show();
  ConfigForm->raise();
  ConfigForm->activateWindow();
}

void TOrvexMonitorForm::AboutClick() {
  if (OpenWindow(TWindowKind::About, "AboutForm", "О программе")) AboutForm->show();
  AboutForm->raise();
  AboutForm->activateWindow();
}

void TOrvexMonitorForm::ProgramExitClick() {
  CloseModemLink();
  close();
}

QPointer<QWidget>& TOrvexMonitorForm::WindowSlot(TWindowKind kind) {
  switch (kind) {
    case TWindowKind::ShowSms: return ShowSmsForm;
    case TWindowKind::Sms: return SmsForm;
    case TWindowKind::Config: return ConfigForm;
    case TWindowKind::About: return AboutForm;
    case TWindowKind::SmsTemplate: break;
  }
  return SmsTemplateForm;
}

QWidget* TOrvexMonitorForm::Window(TWindowKind kind) { return WindowSlot(kind).data(); }

bool TOrvexMonitorForm::OpenWindow(TWindowKind kind, const char* objectName, const std::string& caption) {
  QPointer<QWidget>& window = WindowSlot(kind);
  if (window) return false;
  if (MakeWindow) window = MakeWindow(kind, *WindowServices);
  if (!window) {
    // No window of this kind is built into the program: an empty frame stands in.
    window = new QWidget(nullptr, Qt::Window);
    window->setObjectName(objectName);
    window->setWindowTitle(QString::fromStdString(caption));
  }
  // The window frees itself on close, which clears its instance pointer.
  window->setAttribute(Qt::WA_DeleteOnClose);
  if (auto* monitorWindow = dynamic_cast<TMonitorWindow*>(window.data())) {
    if (kind == TWindowKind::Sms) monitorWindow->RestoreLayout(SettingsMirror.SmsFormLayout);
  }
  return true;
}

QWidget* TOrvexMonitorForm::TemplateWindow() {
  if (!SmsTemplateForm && MakeWindow) SmsTemplateForm = MakeWindow(TWindowKind::SmsTemplate, *WindowServices);
  return SmsTemplateForm.data();
}

void TOrvexMonitorForm::RefreshWindow(TWindowKind kind) {
  QWidget* window = Window(kind);
  if (!window) return;
  if (auto* monitorWindow = dynamic_cast<TMonitorWindow*>(window))
    monitorWindow->RefreshWindow();
  else
    window->update();
}

void TOrvexMonitorForm::DestroyWindows() {
  for (TWindowKind kind : {TWindowKind::ShowSms, TWindowKind::Sms, TWindowKind::Config, TWindowKind::About,
                           TWindowKind::SmsTemplate})
    delete WindowSlot(kind).data();
}

void TOrvexMonitorForm::ShowNoticeBalloon(const std::string& title, const std::string& text, uint32_t timeoutMs,
                                          uint32_t icon) {
  ShowTrayBalloon(title, text, timeoutMs, icon);
  BalloonClick = nullptr;
}

void TOrvexMonitorForm::RefreshShowSmsForm() {
  if (!ShowSmsForm) return;
  RefreshMessageWindow();
  ShowSmsForm->raise();
  ShowSmsForm->activateWindow();
}

void TOrvexMonitorForm::RefreshMessageWindow() { RefreshWindow(TWindowKind::ShowSms); }

void TOrvexMonitorForm::SetModemState(TModemState state) {
  switch (state) {
    case TModemState::Closed:
      OpenModem->setEnabled(true);
      CloseModem->setEnabled(false);
      SendSms->setEnabled(false);
      Tray.SetTrayIcon(TTrayIcon::kIconModemClosed, Cp1251("Модем отключен"));
      break;
    case TModemState::Open:
      OpenModem->setEnabled(false);
      CloseModem->setEnabled(true);
      SendSms->setEnabled(true);
      Tray.SetTrayIcon(TTrayIcon::kIconModemOpen, Cp1251("Модем подключен"));
      break;
    case TModemState::Busy:
      OpenModem->setEnabled(false);
      CloseModem->setEnabled(false);
      SendSms->setEnabled(false);
      break;
    case TModemState::Settle:
      Settings->setEnabled(true);
      ProgramExit->setEnabled(true);
      SetModemState(IsModemOpen() ? TModemState::Open : TModemState::Closed);
      break;
  }
}

void TOrvexMonitorForm::NotifyUnreadSms() {
  // Always on the main thread: the core delivers the notices of its workers there.
  Core.SetUnreadPending(true);
  ConfirmTimer->setInterval(1000);
  ConfirmTimer->start();
  Tray.SetTrayIcon(TTrayIcon::kIconUnread, Cp1251(kUnreadText));
  NotifyUnread(*this);
  BalloonClick = [this] { UnreadNoticeClick(); };
  if (ShowSmsForm) {
    RefreshMessageWindow();
    ShowSmsForm->raise();
    ShowSmsForm->activateWindow();
  }
}

void TOrvexMonitorForm::UnreadNoticeClick() { OpenMessageWindow(true); }

void TOrvexMonitorForm::ClearUnreadNotice() {
  Core.SetUnreadPending(false);
  ConfirmTimer->stop();
  HideTrayBalloon();
  if (IsModemOpen())
    Tray.SetTrayIcon(TTrayIcon::kIconModemOpen, Cp1251("Модем включен"));
  else
    Tray.SetTrayIcon(TTrayIcon::kIconModemClosed, Cp1251("Модем отключен"));
  Core.MarkAllSmsRead();
}

void TOrvexMonitorForm::OpenModemLink() {
  if (IsConfiguring()) return;
  LoadSettings(Core.ExeDir, SettingsMirror);
  Core.ApplyModemSettings(SettingsMirror);
  SetModemState(TModemState::Busy);
  Core.OpenModem();
}

void TOrvexMonitorForm::ModemSetupEnded(const TSetupOutcome& outcome) {
  if (outcome.State == TModemState::Open) {
    NotifyModemOpen(*this);
    SetModemState(TModemState::Open);
    SavePinCode(Core.ExeDir, SettingsMirror.PinCode);
    SavePortSettings(Core.ExeDir, SettingsMirror.PhonePort, SettingsMirror.PhoneDesc);
    ConnectTimer->stop();
    if (SettingsMirror.ShowNotify) {
      BalloonClick = nullptr;
      ShowTrayBalloon(BalloonTitle(), Cp1251("Модем открыт"), 5000, TTrayIcon::kBalloonInfo);
    }
    return;
  }
  // The link has closed itself: the reconnect timer starts as after any close.
  RestartConnectTimer();
  NotifySetupError(*this, outcome.ErrorText);
  SetModemState(TModemState::Closed);
  if (SettingsMirror.ShowNotify) {
    BalloonClick = nullptr;
    ShowTrayBalloon(BalloonTitle(), Cp1251("Ошибка при открытии модема\r\n") + outcome.ErrorText, 10000,
                    TTrayIcon::kBalloonError);
  }
  if (!outcome.MayRetry) ConnectTimer->stop();
}

void TOrvexMonitorForm::CloseModemLink() {
  // A send in progress fails on the closed port.
  Core.CloseModem();
  RestartConnectTimer();
}

void TOrvexMonitorForm::RestartConnectTimer() {
  if (SettingsMirror.AutoConnect) {
    ConnectTimer->start();
    LastConnectTick = Ticks();
  }
}

bool TOrvexMonitorForm::ReopenModem() {
  if (IsModemOpen()) CloseModemWithBalloon();
  OpenModemLink();
  return true;
}

void TOrvexMonitorForm::WMDeviceChange() {
  if (InDeviceChange) return;
  InDeviceChange = true;
  const bool lost = Core.IsModemLost();
  if (lost) {
    CloseModemLink();
    SetModemState(TModemState::Closed);
    if (SettingsMirror.ShowNotify) {
      BalloonClick = nullptr;
      ShowTrayBalloon(BalloonTitle(), Cp1251("Потеряна связь с модемом"), 10000, TTrayIcon::kBalloonError);
    } else {
      NotifyLinkLost(*this);
    }
  }
  RefreshConfigDeviceLists();
  InDeviceChange = false;
}

void TOrvexMonitorForm::RefreshConfigDeviceLists() {
  // The settings window lists its devices anew; an empty frame has nothing to list.
  if (dynamic_cast<TMonitorWindow*>(ConfigForm.data())) RefreshWindow(TWindowKind::Config);
}
