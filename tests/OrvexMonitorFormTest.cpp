#include "common/Text.h"
#include "gsm/SmsLog.h"
#include "shell/OrvexMonitorForm.h"
#include "support/ProgramFolders.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>
#include <future>
#include <thread>
#include "platform/NamedMutex.h"
#include <QThread>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// The main form with the modem and dispatcher sides replaced by counters.
class TTestForm : public TOrvexMonitorForm {
public:
  TTestForm(std::string exeDir, uint32_t& ticks) : TOrvexMonitorForm(std::move(exeDir), [&ticks] { return ticks; }) {}
  int Opens = 0;
  bool Configuring = false;
  bool ModemOpen = false;
  std::vector<uint32_t> Notices;
  void OpenModemLink() override { ++Opens; }
  bool IsConfiguring() const override { return Configuring; }
  bool IsModemOpen() const override { return ModemOpen; }
  uint32_t NotifyDispatcher(uint32_t code, const std::string&) override {
    Notices.push_back(code);
    return 1;
  }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class OrvexMonitorFormTest : public ::testing::Test, protected TProgramFolders {
protected:
  uint32_t Ticks = 1000000;
  std::unique_ptr<TTestForm> Form;

  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(EnterProgramFolders());
  }

  void WriteIni(const std::string& text) { std::ofstream(ExeDir + "OrvexMonitor.ini") << text; }

  void AppendUnread(const std::string& text) {
    TLogRecord record;
    record.Time = 45356.5;
    record.Phone = "+79001234567";
    record.Text = text;
    TLogRecordBytes bytes = EncodeLogRecord(record);
    std::ofstream(ExeDir + "OrvexMonitor.log", std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

  void Create() {
    Form = std::make_unique<TTestForm>(ExeDir, Ticks);
    Form->FormCreate();
  }
};

}  // namespace

TEST_F(OrvexMonitorFormTest, StartsHiddenWithTheGreyIconAndOpensNoModem) {
  Create();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_TRUE(Form->Tray.IsAdded());
  EXPECT_EQ(Form->Tray.IconNumber(), 104);
  EXPECT_EQ(Form->Tray.Tip(), Cp1251("Модем отключен."));
  EXPECT_TRUE(Form->OpenModem->isEnabled());
  EXPECT_FALSE(Form->CloseModem->isEnabled());
  EXPECT_FALSE(Form->SendSms->isEnabled());
  EXPECT_TRUE(Form->ChangeAutoMode->isChecked());
  EXPECT_FALSE(Form->ConnectTimer->isActive());
  EXPECT_FALSE(Form->Core.UnreadPending());
  EXPECT_TRUE(fs::exists(ExeDir + "OrvexMonitor.ini"));  // the settings were loaded first
  EXPECT_EQ(Form->Opens, 0);
}

TEST_F(OrvexMonitorFormTest, ReconnectTimerKeepsItsSpacingAcrossTheTickWrap) {
  WriteIni("[COMMON]\nAutoConnect=1\n");
  Ticks = 0xFFFFFFFFu - 30000;  // the count wraps between the attempts
  Create();
  ASSERT_TRUE(Form->ConnectTimer->isActive());
  struct Step { uint32_t advanceMs; bool configuring; int opens; };
  const Step steps[] = {
      {34000, false, 0},  // the first attempt comes 35 s after start
      {1000, false, 1},
      {59000, false, 1},  // later ones 60 s after the previous attempt
      {1000, true, 1},    // a set-up still runs: the attempt counts, nothing opens
      {30000, false, 1},
      {30000, false, 2},
  };
  for (const Step& step : steps) {
    Ticks += step.advanceMs;
    Form->Configuring = step.configuring;
    Form->ConnectTimerTimer();
    EXPECT_EQ(Form->Opens, step.opens) << "at tick " << Ticks;
  }
}

TEST_F(OrvexMonitorFormTest, UnreadLogAtStartStartsTheNoticeAndTheReminderSpacing) {
  AppendUnread("12345 periodwr=60;");
  Create();
  EXPECT_TRUE(Form->Core.UnreadPending());
  EXPECT_TRUE(Form->ConfirmTimer->isActive());
  EXPECT_EQ(Form->Tray.IconNumber(), 105);
  EXPECT_EQ(Form->Tray.Tip(), Cp1251("Имеются непрочитанные сообщения"));
  EXPECT_EQ(Form->Notices, std::vector<uint32_t>{4});
  EXPECT_FALSE(Form->Tray.IsBalloonShown());

  Form->ConfirmTimerTimer();  // the first reminder of the run comes at the first tick
  EXPECT_EQ(Form->Notices.size(), 2u);
  ASSERT_TRUE(Form->Tray.IsBalloonShown());
  EXPECT_EQ(Form->Tray.LastBalloon().Title, Cp1251("Orvex монитор"));
  EXPECT_EQ(Form->Tray.LastBalloon().Text, Cp1251("Имеются непрочитанные сообщения"));
  EXPECT_EQ(Form->Tray.LastBalloon().TimeoutMs, 20000u);
  EXPECT_EQ(Form->Tray.LastBalloon().InfoFlags, 2u);
  EXPECT_TRUE(Form->BalloonTimer->isActive());
  EXPECT_EQ(Form->BalloonTimer->interval(), 20000);

  Ticks += 20000;
  Form->ConfirmTimerTimer();
  EXPECT_EQ(Form->Notices.size(), 2u);  // at most once per 20 s
  Ticks += 1;
  Form->ConfirmTimerTimer();
  EXPECT_EQ(Form->Notices.size(), 3u);

  Form->BalloonTimerTimer();
  EXPECT_FALSE(Form->BalloonTimer->isActive());
  EXPECT_FALSE(Form->Tray.IsBalloonShown());
}

TEST_F(OrvexMonitorFormTest, WithBalloonsOffTheReminderOnlyNotifiesTheDispatcher) {
  WriteIni("[VISUAL]\nShowNotify=0\n");
  AppendUnread("hello");
  Create();
  EXPECT_FALSE(Form->ChangeAutoMode->isChecked());
  EXPECT_EQ(Form->Tray.IconNumber(), 105);  // the icon still turns red once
  Form->Tray.SetTrayIcon(106, "x");
  Ticks += 25000;
  Form->ConfirmTimerTimer();
  EXPECT_EQ(Form->Notices.size(), 2u);
  EXPECT_FALSE(Form->Tray.IsBalloonShown());
  EXPECT_EQ(Form->Tray.IconNumber(), 106);  // the reminder does not touch the icon
}

TEST_F(OrvexMonitorFormTest, TwoMessagesGiveTwoNoticesAndClearingMarksTheLoadedRecordsRead) {
  Create();
  AppendUnread("first");
  Form->NotifyUnreadSms();
  AppendUnread("second");
  Form->NotifyUnreadSms();
  EXPECT_EQ(Form->Notices, (std::vector<uint32_t>{4, 4}));

  TSmsInfoList unread;
  Form->Core.LoadUnreadSms(unread);
  ASSERT_EQ(unread.size(), 2u);
  AppendUnread("arrived after the load");
  Form->ModemOpen = true;
  Form->ClearUnreadNotice();
  EXPECT_FALSE(Form->Core.UnreadPending());
  EXPECT_FALSE(Form->ConfirmTimer->isActive());
  EXPECT_EQ(Form->Tray.IconNumber(), 106);
  EXPECT_EQ(Form->Tray.Tip(), Cp1251("Модем включен"));
  std::string log = ReadFile(ExeDir + "OrvexMonitor.log");
  ASSERT_EQ(log.size(), 600u);
  EXPECT_EQ(std::string({log[0], log[200], log[400]}), std::string("\1\1\0", 3));
  Ticks += 60000;
  Form->ConfirmTimerTimer();
  EXPECT_EQ(Form->Notices.size(), 2u);  // no reminder follows
}

TEST_F(OrvexMonitorFormTest, BalloonClickRunsTheUnreadActionOnce) {
  Create();
  Form->TrayBalloonClicked();  // no action: only the balloon timer stops
  EXPECT_EQ(Form->ShowSmsForm, nullptr);

  AppendUnread("hello");
  Form->NotifyUnreadSms();
  Form->ConfirmTimerTimer();
  Form->TrayBalloonClicked();
  ASSERT_NE(Form->ShowSmsForm, nullptr);
  EXPECT_FALSE(Form->ConfirmTimer->isActive());  // the window opened by the click stops the reminders
  EXPECT_FALSE(Form->BalloonTimer->isActive());
  EXPECT_FALSE(Form->BalloonClick);
  QPointer<QWidget> window = Form->ShowSmsForm;
  Form->ViewLogClick();
  EXPECT_EQ(Form->ShowSmsForm, window);  // brought forward, not opened twice
  window->close();
  QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(Form->ShowSmsForm, nullptr);
}

TEST_F(OrvexMonitorFormTest, CloseModemShowsItsBalloonEvenWithBalloonsOff) {
  WriteIni("[VISUAL]\nShowNotify=0\n");
  Create();
  Form->BalloonClick = [] {};
  Form->CloseModemClick();
  EXPECT_FALSE(Form->BalloonClick);
  ASSERT_TRUE(Form->Tray.IsBalloonShown());
  EXPECT_EQ(Form->Tray.LastBalloon().Text, Cp1251("Модем закрыт"));
  EXPECT_EQ(Form->Tray.LastBalloon().TimeoutMs, 3000u);
  EXPECT_EQ(Form->Tray.LastBalloon().InfoFlags, 1u);
  EXPECT_EQ(Form->Tray.IconNumber(), 104);
}

TEST_F(OrvexMonitorFormTest, TrayStatesEnableTheMenuByModemState) {
  Create();
  struct Case { int state; bool modemOpen; bool open, close, send; int icon; const char* tip; };
  const Case cases[] = {
      {2, false, false, true, true, 106, "Модем подключен"},
      {3, false, false, false, false, 106, "Модем подключен"},  // icon unchanged
      {1, false, true, false, false, 104, "Модем отключен"},
      {5, true, false, true, true, 106, "Модем подключен"},
      {5, false, true, false, false, 104, "Модем отключен"},
      {4, false, true, false, false, 104, "Модем отключен"},  // any other number changes nothing
  };
  for (const Case& c : cases) {
    Form->ModemOpen = c.modemOpen;
    Form->SetModemState(static_cast<TModemState>(c.state));
    EXPECT_EQ(Form->OpenModem->isEnabled(), c.open) << c.state;
    EXPECT_EQ(Form->CloseModem->isEnabled(), c.close) << c.state;
    EXPECT_EQ(Form->SendSms->isEnabled(), c.send) << c.state;
    EXPECT_EQ(Form->Tray.IconNumber(), c.icon) << c.state;
    EXPECT_EQ(Form->Tray.Tip(), Cp1251(c.tip)) << c.state;
  }
}

TEST_F(OrvexMonitorFormTest, BalloonMenuItemFlipsAndSavesTheSetting) {
  Create();
  Form->ChangeAutoMode->trigger();
  EXPECT_FALSE(Form->Mirror().ShowNotify);
  EXPECT_FALSE(Form->ChangeAutoMode->isChecked());
  EXPECT_NE(ReadFile(ExeDir + "OrvexMonitor.ini").find("ShowNotify=0"), std::string::npos);
  Form->ChangeAutoModeClick();
  EXPECT_TRUE(Form->Mirror().ShowNotify);
  EXPECT_TRUE(Form->ChangeAutoMode->isChecked());
}

TEST_F(OrvexMonitorFormTest, DispatcherIsRunningWhileSomeoneHoldsItsMutex) {
  Create();
  EXPECT_FALSE(Form->IsDispatcherRunning());
  // Another thread plays the dispatcher: it holds "OrvexMutex" while it runs.
  std::unique_ptr<TNamedMutex> dispatcher;
  std::promise<void> held, done;
  std::thread holder([&] {
    dispatcher = TNamedMutex::Create("OrvexMutex");
    dispatcher->Wait(0);
    held.set_value();
    done.get_future().wait();
    dispatcher->Release();
  });
  held.get_future().wait();
  EXPECT_TRUE(Form->IsDispatcherRunning());
  done.set_value();
  holder.join();
  EXPECT_FALSE(Form->IsDispatcherRunning());
}

// The program itself: a second instance ends at once, the first keeps running.
TEST_F(OrvexMonitorFormTest, SecondInstanceExitsAtOnce) {
  const std::string program = ExeDir + "orvex-monitor";
  fs::copy_file(ORVEX_BINARY_DIR "/app/orvex-monitor", program);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("XDG_RUNTIME_DIR", Runtime.path());
  QProcess first, second;
  first.setProcessEnvironment(environment);
  second.setProcessEnvironment(environment);
  first.start(QString::fromStdString(program), {});
  ASSERT_TRUE(first.waitForStarted());
  // The ini beside the program shows that the first one is up (its ExeDir is the copy's folder).
  for (int i = 0; i < 100 && !fs::exists(ExeDir + "OrvexMonitor.ini"); ++i) QThread::msleep(50);
  ASSERT_TRUE(fs::exists(ExeDir + "OrvexMonitor.ini"));
  second.start(QString::fromStdString(program), {});
  ASSERT_TRUE(second.waitForFinished(5000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);
  first.kill();
  first.waitForFinished();
}
