// The main form's modem link from end to end, against the simulated modem on a
// pseudo-terminal and behind the stand-in D2XX library: opening through the set-up and its
// outcomes, messages received while the link is open, a lost device and the reconnect.

#include "common/Text.h"
#include "gsm/SmsLog.h"
#include "platform/NamedMutex.h"
#include "shell/OrvexMonitorForm.h"
#include "support/LogFile.h"
#include "support/ProgramFolders.h"
#include "support/QuietCore.h"
#include "support/SimModem.h"
#include "support/ModemWaits.h"
#include "support/TestApp.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdlib.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// The link tests run whole set-ups and readers: a longer port wait, a shorter network wait
// and a longer patience than the unit tests.
constexpr int kLinkWaitMs = 8000;

TSetupWaits LinkSetupWaits() {
  TSetupWaits waits = FastSetupWaits();
  waits.PortMutex = 1000;
  waits.Network = 800;
  return waits;
}

const char kSender[] = "+79001234567";

class TLinkForm : public TOrvexMonitorForm {
 public:
  TLinkForm(std::string exeDir, uint32_t& ticks)
      : TOrvexMonitorForm(std::move(exeDir), [&ticks] { return ticks; }) {}
  std::vector<std::pair<uint32_t, std::string>> Notices;
  uint32_t NotifyDispatcher(uint32_t code, const std::string& payload) override {
    Notices.emplace_back(code, payload);
    return 1;
  }
  bool Noticed(uint32_t code) const {
    for (const auto& notice : Notices)
      if (notice.first == code) return true;
    return false;
  }
};

// The settings window as the form sees it: it lists its devices anew on request.
class TDeviceListWindow : public QWidget, public TMonitorWindow {
 public:
  std::function<void()> OnRefresh;
  int Refreshes = 0;
  void RefreshWindow() override {
    ++Refreshes;
    if (OnRefresh) OnRefresh();
  }
};

TSimDeliver Message(const std::string& text, int parts = 0) {
  TSimDeliver message;
  message.Sender = kSender;
  message.Text = text;
  message.Parts = parts;
  return message;
}

class ModemLinkTest : public ::testing::Test, protected TProgramFolders {
 protected:
  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(EnterProgramFolders());
  }
  void TearDown() override { Form.reset(); }

  void WriteIni(const std::string& port, bool autoConnect, bool showNotify, const std::string& extra = "") {
    std::ofstream(ExeDir + "OrvexMonitor.ini")
        << "[COMMON]\nPhonePort=" << port << "\nPhoneDesc=Orvex GSM\nCheckPin=0\nAutoConnect=" << (autoConnect ? 1 : 0)
        << "\n" << extra << "[VISUAL]\nShowNotify=" << (showNotify ? 1 : 0) << "\n";
  }
  void Create() {
    Form = std::make_unique<TLinkForm>(ExeDir, Ticks);
    Form->Core.Link().SetSetupWaits(LinkSetupWaits(), TThreadPriority::Normal);
    Form->Core.Link().SetReaderWaits(FastReaderWaits());
    Form->FormCreate();
  }
  // Opens the link and waits for the set-up's outcome.
  void OpenAndWait() {
    Form->OpenModemLink();
    ASSERT_NE(Form->Core.Link().ActiveSetupThread(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr; }, 15000));
  }
  bool ShowsOpen() const {
    return Form->IsModemOpen() && Form->Core.Link().ActiveReader() != nullptr && !Form->OpenModem->isEnabled() &&
           Form->CloseModem->isEnabled() && Form->Tray.IconNumber() == TTrayIcon::kIconModemOpen;
  }
  bool ShowsClosed() const {
    return !Form->IsModemOpen() && Form->Core.Link().ActiveReader() == nullptr && Form->OpenModem->isEnabled() &&
           !Form->CloseModem->isEnabled() && Form->Tray.IconNumber() == TTrayIcon::kIconModemClosed;
  }

  std::vector<TLogRecord> Records() const {
    return ReadFolderLog(ExeDir);
  }
  std::vector<std::string> Texts() const { return ReadFolderLogTexts(ExeDir); }
  bool Contains(const std::vector<std::string>& texts, const std::string& text) const {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }

  // Messages of every road while the link is open: delivered, stored, in two parts, a call.
  void ReceiveOverTheLink(TModemSim& sim) {
    const int noticesBefore = static_cast<int>(Form->Notices.size());
    const size_t before = Records().size();
    ASSERT_FALSE(sim.InjectCmt(Message("12345 reset delivered")).empty());
    ASSERT_FALSE(sim.InjectCmti(Message("12345 reset stored")).empty());
    ASSERT_TRUE(WaitUntil([&] { return Records().size() >= before + 2; }, kLinkWaitMs));
    const std::vector<std::string> texts = Texts();
    EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<long>(before), texts.end()),
              (std::vector<std::string>{"12345 reset delivered", "12345 reset stored"}));
    for (const TLogRecord& record : Records()) EXPECT_EQ(record.Read, 0);
    EXPECT_TRUE(WaitUntil([&] { return Form->Core.UnreadPending(); }, kLinkWaitMs));
    EXPECT_EQ(Form->Tray.IconNumber(), TTrayIcon::kIconUnread);
    EXPECT_TRUE(WaitUntil([&] { return static_cast<int>(Form->Notices.size()) > noticesBefore; }, kLinkWaitMs));
    EXPECT_TRUE(Form->Noticed(4));
    EXPECT_TRUE(WaitUntil([&] { return sim.StoredMessages("SM").empty(); }, kLinkWaitMs));

    const std::string joined = "12345 a reply long enough for two parts of a concatenated message";
    ASSERT_EQ(sim.InjectCmt(Message(joined, 2)).size(), 2u);
    ASSERT_TRUE(WaitUntil([&] { return Records().size() >= before + 3; }, kLinkWaitMs));
    EXPECT_EQ(Records().back().Text, joined);

    sim.InjectRing(5, 100);
    EXPECT_TRUE(WaitUntil([&] { return !sim.Ringing(); }, kLinkWaitMs));
    const auto commands = sim.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "ATH"), commands.end());
    RunFor(200);
    EXPECT_EQ(Records().size(), before + 3);
  }

  uint32_t Ticks = 5000000;
  std::unique_ptr<TLinkForm> Form;
};

}  // namespace

TEST_F(ModemLinkTest, OpenedLinkReceivesMessagesAndReadsWhatTheStoreHeld) {
  TSimOnPty modem;
  ASSERT_TRUE(modem.IsOpen());
  ASSERT_EQ(modem.Sim.StoreSms(Message("12345 reset waiting")).size(), 1u);
  WriteIni(modem.SlavePath(), true, true);
  Create();
  OpenAndWait();
  ASSERT_TRUE(ShowsOpen());
  EXPECT_TRUE(Form->Noticed(1));
  EXPECT_FALSE(Form->ConnectTimer->isActive());
  ASSERT_TRUE(Form->Tray.IsBalloonShown());
  EXPECT_EQ(Form->Tray.LastBalloon().Text, Cp1251("Модем открыт"));
  EXPECT_EQ(Form->Tray.LastBalloon().TimeoutMs, 5000u);
  EXPECT_EQ(Form->Tray.LastBalloon().InfoFlags, TTrayIcon::kBalloonInfo);

  // What the store held while nobody listened.
  ASSERT_TRUE(WaitUntil([&] { return Records().size() == 1; }, kLinkWaitMs));
  EXPECT_EQ(Records()[0].Text, "12345 reset waiting");
  EXPECT_TRUE(WaitUntil([&] { return modem.Sim.StoredMessages("SM").empty(); }, kLinkWaitMs));

  ReceiveOverTheLink(modem.Sim);
}

TEST_F(ModemLinkTest, FailedSetUpIsReportedAndClosesTheLink) {
  struct Case {
    const char* name;
    bool missingPort;
    bool wrongPin;
    bool autoConnect;
    bool showNotify;
    bool timerAfter;
  };
  const Case cases[] = {
      {"no such port, retried", true, false, true, true, true},
      {"no such port, balloons off", true, false, false, false, false},
      {"pin refused, not retried", false, true, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSimOnPty modem;
    ASSERT_TRUE(modem.IsOpen());
    const std::string port = c.missingPort ? ExeDir + "no-such-port" : modem.SlavePath();
    if (c.wrongPin) {
      TSimCard card;
      card.State = TSimCardState::Pin;
      modem.Sim.SetSimCard(card);
    }
    WriteIni(port, c.autoConnect, c.showNotify, c.wrongPin ? "CheckPin=1\nPinCode=0000\n" : "");
    Create();
    OpenAndWait();
    EXPECT_TRUE(ShowsClosed());
    const std::string text = c.wrongPin ? Cp1251("CME Error 16: Введен неверный PIN код.")
                                        : Cp1251("Не удалось открыть порт ") + port + ".";
    EXPECT_EQ(Form->Core.LastError().LastErrorText, text);
    ASSERT_FALSE(Form->Notices.empty());
    EXPECT_EQ(Form->Notices.back(), std::make_pair(uint32_t{2}, text));
    EXPECT_EQ(Form->Tray.IsBalloonShown(), c.showNotify);
    if (c.showNotify) {
      EXPECT_EQ(Form->Tray.LastBalloon().Text, Cp1251("Ошибка при открытии модема\r\n") + text);
      EXPECT_EQ(Form->Tray.LastBalloon().TimeoutMs, 10000u);
      EXPECT_EQ(Form->Tray.LastBalloon().InfoFlags, TTrayIcon::kBalloonError);
    }
    EXPECT_EQ(Form->ConnectTimer->isActive(), c.timerAfter);
    Form.reset();
  }
}

TEST_F(ModemLinkTest, SetUpWithoutOperatorLeavesThePortOpenWithoutReaderAndSaysNothing) {
  TSimOnPty modem;
  modem.Sim.SetRegistration(0, "");
  WriteIni(modem.SlavePath(), false, true);
  Create();
  OpenAndWait();
  EXPECT_TRUE(Form->IsModemOpen());
  EXPECT_EQ(Form->Core.Link().ActiveReader(), nullptr);
  EXPECT_FALSE(Form->OpenModem->isEnabled());
  EXPECT_FALSE(Form->CloseModem->isEnabled());
  EXPECT_TRUE(Form->Notices.empty());
  EXPECT_FALSE(Form->Tray.IsBalloonShown());
}

TEST_F(ModemLinkTest, OpenWhileASetUpRunsChangesNothing) {
  TSimOnPty modem;
  WriteIni(modem.SlavePath(), false, true);
  Create();
  Form->OpenModemLink();
  const TConfigureModem* running = Form->Core.Link().ActiveSetupThread();
  ASSERT_NE(running, nullptr);
  EXPECT_TRUE(Form->IsConfiguring());
  Form->OpenModemLink();
  EXPECT_EQ(Form->Core.Link().ActiveSetupThread(), running);
  ASSERT_TRUE(WaitUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr; }, 15000));
  EXPECT_TRUE(ShowsOpen());
  EXPECT_EQ(Form->Core.Link().ThreadCount(), 2u) << "one set-up, one reader";
}

// However the link is opened again, one reader at most reads the port: an open request while
// the link is open, and a reopen, each end the reader that ran before the next one starts
// (the open request left two readers running side by side, against a modem that talks all the
// time).
TEST_F(ModemLinkTest, OpeningAgainNeverLeavesTwoReaders) {
  TSimOnPty modem;
  modem.Sim.SetStatusReport(50, "^RSSI:18\n+CREG: 1");
  WriteIni(modem.SlavePath(), false, false);
  Create();
  int most = 0;
  auto watchUntil = [&](const std::function<bool()>& done, int ms) {
    return WaitUntil(
        [&] {
          most = std::max(most, TTermReader::Running());
          return done();
        },
        ms);
  };
  OpenAndWait();
  ASSERT_TRUE(watchUntil([] { return TTermReader::Running() == 1; }, kLinkWaitMs));
  struct Case {
    const char* name;
    std::function<void()> openAgain;
  };
  const Case cases[] = {
      {"open request while open", [&] { Form->OpenModemLink(); }},
      {"reopen", [&] { Form->ReopenModem(); }},
      {"open request while open, twice", [&] {
         Form->OpenModemLink();
         ASSERT_TRUE(watchUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr; }, 15000));
         Form->OpenModemLink();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.openAgain();
    ASSERT_TRUE(watchUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr; }, 15000));
    EXPECT_TRUE(ShowsOpen());
    // Time for a reader that was left running to show itself.
    watchUntil([] { return false; }, 1500);
    EXPECT_LE(most, 1) << "two readers at once";
    EXPECT_EQ(TTermReader::Running(), 1);
  }
  ReceiveOverTheLink(modem.Sim);
}

TEST_F(ModemLinkTest, ReopenClosesAnOpenLinkWithItsBalloonEvenWithBalloonsOff) {
  TSimOnPty modem;
  WriteIni(modem.SlavePath(), false, false);
  Create();
  Form->ReopenModem();  // closed: only opens
  EXPECT_FALSE(Form->Tray.IsBalloonShown());
  ASSERT_TRUE(WaitUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr; }, 15000));
  ASSERT_TRUE(ShowsOpen());
  const TTermReader* first = Form->Core.Link().ActiveReader();

  Form->ReopenModem();
  ASSERT_TRUE(Form->Tray.IsBalloonShown());
  EXPECT_EQ(Form->Tray.LastBalloon().Text, Cp1251("Модем закрыт"));
  EXPECT_EQ(Form->Tray.LastBalloon().TimeoutMs, 3000u);
  EXPECT_EQ(Form->Core.Link().ActiveReader(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr; }, 15000));
  EXPECT_TRUE(ShowsOpen());
  EXPECT_NE(Form->Core.Link().ActiveReader(), first);
}

// The port is reached through a name of its own, which the test removes as the system removes
// a device that is unplugged.
TEST_F(ModemLinkTest, LostSerialPortClosesTheLinkAndTheReconnectTimerOpensItAgain) {
  struct Case {
    const char* name;
    bool showNotify;
  };
  const Case cases[] = {{"balloons on", true}, {"balloons off", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSimOnPty modem;
    const std::string port = ExeDir + "ttyModem";
    std::filesystem::remove(port);
    std::filesystem::create_symlink(modem.SlavePath(), port);
    WriteIni(port, true, c.showNotify);
    Create();
    OpenAndWait();
    ASSERT_TRUE(ShowsOpen());
    Form->Notices.clear();

    Form->WMDeviceChange();  // some other device: the link stays
    EXPECT_TRUE(ShowsOpen());

    std::filesystem::remove(port);
    Form->WMDeviceChange();
    EXPECT_TRUE(ShowsClosed());
    EXPECT_EQ(Form->Noticed(3), !c.showNotify);
    if (c.showNotify) {
      ASSERT_TRUE(Form->Tray.IsBalloonShown());
      EXPECT_EQ(Form->Tray.LastBalloon().Text, Cp1251("Потеряна связь с модемом"));
      EXPECT_EQ(Form->Tray.LastBalloon().InfoFlags, TTrayIcon::kBalloonError);
    }
    ASSERT_TRUE(Form->ConnectTimer->isActive());

    // The device comes back; the next attempt is due 60 s after the close.
    std::filesystem::create_symlink(modem.SlavePath(), port);
    Ticks += 59000;
    Form->ConnectTimerTimer();
    EXPECT_EQ(Form->Core.Link().ActiveSetupThread(), nullptr);
    Ticks += 1000;
    Form->ConnectTimerTimer();
    ASSERT_NE(Form->Core.Link().ActiveSetupThread(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr; }, 15000));
    EXPECT_TRUE(ShowsOpen());
    EXPECT_FALSE(Form->ConnectTimer->isActive());
    Form.reset();
  }
}

TEST_F(ModemLinkTest, DeviceChangeWhileClosedReportsNothing) {
  WriteIni(ExeDir + "no-such-port", false, false);
  Create();
  Form->WMDeviceChange();
  EXPECT_TRUE(ShowsClosed());
  EXPECT_TRUE(Form->Notices.empty());
  EXPECT_FALSE(Form->Tray.IsBalloonShown());
}

TEST_F(ModemLinkTest, DeviceChangeRefreshesAnOpenSettingsWindowOnceAndIgnoresOneInsideIt) {
  TSimOnPty modem;
  const std::string port = ExeDir + "ttyModem";
  std::filesystem::create_symlink(modem.SlavePath(), port);
  WriteIni(port, false, false);
  Create();
  OpenAndWait();
  ASSERT_TRUE(ShowsOpen());
  auto* window = new TDeviceListWindow;
  Form->ConfigForm = window;
  int nestedCloses = 0;
  window->OnRefresh = [&] {
    // A device change that arrives while the handler runs changes nothing.
    std::filesystem::remove(port);
    Form->WMDeviceChange();
    if (!Form->IsModemOpen()) ++nestedCloses;
  };
  Form->WMDeviceChange();
  EXPECT_EQ(window->Refreshes, 1);
  EXPECT_EQ(nestedCloses, 0);
  EXPECT_TRUE(ShowsOpen());
  window->OnRefresh = nullptr;
  Form->WMDeviceChange();  // the next one sees the port gone
  EXPECT_TRUE(ShowsClosed());
  EXPECT_EQ(window->Refreshes, 2);
  delete window;
}

// The link as the core owns it, without the form: the end of a set-up reaches the events as the
// state of the link, with the link already in that state.
class TOutcomeCore : public TQuietCore {
 public:
  using TQuietCore::TQuietCore;
  void ModemSetupEnded(const TSetupOutcome& outcome) override {
    Outcomes.push_back(outcome);
    OpenWhenTold = IsModemOpen();
    ReaderWhenTold = Link().ActiveReader() != nullptr;
  }
  std::vector<TSetupOutcome> Outcomes;
  bool OpenWhenTold = false;
  bool ReaderWhenTold = false;
};

class CoreLinkTest : public ::testing::Test, protected TProgramFolders {
 protected:
  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(EnterProgramFolders());
  }
};

TEST_F(CoreLinkTest, SetUpOutcomeReachesTheEventsAsTheLinkState) {
  struct Case {
    const char* name;
    bool missingPort;
    bool wrongPin;
    TModemState state;
    bool mayRetry;
  };
  const Case cases[] = {
      {"ready", false, false, TModemState::Open, true},
      {"no such port", true, false, TModemState::Closed, true},
      {"pin refused", false, true, TModemState::Closed, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSimOnPty modem;
    ASSERT_TRUE(modem.IsOpen());
    if (c.wrongPin) {
      TSimCard card;
      card.State = TSimCardState::Pin;
      modem.Sim.SetSimCard(card);
    }
    TOutcomeCore core(ExeDir);
    TSettingsMirror settings = PortSettings(c.missingPort ? ExeDir + "no-such-port" : modem.SlavePath());
    settings.CheckPin = c.wrongPin;
    settings.PinCode = "0000";
    core.ApplyModemSettings(settings);
    core.Link().SetSetupWaits(LinkSetupWaits(), TThreadPriority::Normal);
    core.Link().SetReaderWaits(FastReaderWaits());
    ASSERT_TRUE(core.OpenModem());
    EXPECT_FALSE(core.OpenModem()) << "a second set-up while one runs";
    ASSERT_TRUE(WaitUntil([&] { return !core.Link().IsConfiguring(); }, 15000));
    ASSERT_EQ(core.Outcomes.size(), 1u);
    const TSetupOutcome& outcome = core.Outcomes[0];
    EXPECT_EQ(outcome.State, c.state);
    EXPECT_EQ(outcome.MayRetry, c.mayRetry);
    const bool open = c.state == TModemState::Open;
    EXPECT_EQ(core.OpenWhenTold, open);
    EXPECT_EQ(core.ReaderWhenTold, open);
    EXPECT_EQ(outcome.ErrorText.empty(), open);
    if (!open) EXPECT_EQ(outcome.ErrorText, core.LastError().LastErrorText);

    core.CloseModem();
    EXPECT_FALSE(core.IsModemOpen());
    EXPECT_EQ(core.Link().ActiveReader(), nullptr);
    EXPECT_EQ(core.Outcomes.size(), 1u) << "a close is no set-up outcome";
  }
}

// The USB terminal of the stand-in D2XX library with the simulated modem behind it.
class TerminalLinkTest : public ModemLinkTest {
 protected:
  void SetUp() override {
    ModemLinkTest::SetUp();
    std::filesystem::copy_file(std::string(ORVEX_BINARY_DIR) + "/fakes/" + kFtdiLibraryName,
                               ExeDir + kFtdiLibraryName);
    WriteIni("direct", true, true);
    Create();
    ASSERT_TRUE(Form->Core.Modem().Ftdi());
    auto control = TFakeFtdiControl::Find(ExeDir + kFtdiLibraryName);
    ASSERT_TRUE(control);
    Control = *control;
    Control.Configure("USB Serial Converter|Orvex GSM Terminal");
    Control.AttachModem(1, &Behind);
  }
  void TearDown() override {
    // The library goes with the form: the modem is taken from it first.
    if (Form) {
      Form->Core.StopModemThreads();
      if (Control.AttachModem) Control.AttachModem(1, nullptr);
    }
    Form.reset();
  }

  TFakeFtdiControl Control;
  TSimModemLink Behind;
};

TEST_F(TerminalLinkTest, TerminalLinkReceivesMessagesAndComesBackAfterItIsUnplugged) {
  ASSERT_EQ(Behind.Sim.StoreSms(Message("12345 reset waiting")).size(), 1u);
  OpenAndWait();
  ASSERT_TRUE(ShowsOpen());
  ASSERT_TRUE(WaitUntil([&] { return Records().size() == 1; }, kLinkWaitMs));
  EXPECT_EQ(Records()[0].Text, "12345 reset waiting");
  EXPECT_TRUE(WaitUntil([&] { return Behind.Sim.StoredMessages("SM").empty(); }, kLinkWaitMs));

  ReceiveOverTheLink(Behind.Sim);

  Control.SetPresent(1, 0);
  Form->WMDeviceChange();
  EXPECT_TRUE(ShowsClosed());
  EXPECT_EQ(Form->Tray.LastBalloon().Text, Cp1251("Потеряна связь с модемом"));
  ASSERT_TRUE(Form->ConnectTimer->isActive());

  Control.SetPresent(1, 1);
  Ticks += 60000;
  Form->ConnectTimerTimer();
  ASSERT_NE(Form->Core.Link().ActiveSetupThread(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr; }, 15000));
  EXPECT_TRUE(ShowsOpen());
  ASSERT_FALSE(Behind.Sim.InjectCmt(Message("12345 reset again")).empty());
  ASSERT_TRUE(WaitUntil([&] { return Contains(Texts(), "12345 reset again"); }, kLinkWaitMs));
}

TEST_F(TerminalLinkTest, ConversionErrorReplyIsLoggedRawAndTheLinkGoesOn) {
  OpenAndWait();
  ASSERT_TRUE(ShowsOpen());
  const std::string impossible = "12345 103015.000,a,,,,,,,311324";  // day 31 of month 13
  ASSERT_FALSE(Behind.Sim.InjectCmti(Message(impossible)).empty());
  ASSERT_TRUE(WaitUntil([&] { return Records().size() == 1; }, kLinkWaitMs));
  EXPECT_EQ(Records()[0].Text, impossible);
  ASSERT_FALSE(Behind.Sim.InjectCmt(Message("12345 reset next")).empty());
  ASSERT_TRUE(WaitUntil([&] { return Records().size() == 2; }, kLinkWaitMs));
  EXPECT_EQ(Records()[1].Text, "12345 reset next");
  EXPECT_TRUE(Behind.Sim.StoredMessages("SM").empty());
}

