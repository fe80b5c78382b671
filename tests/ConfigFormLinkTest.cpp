// The settings window opened from the real main form's tray menu, with the simulated modem on
// two pseudo-terminals: confirming another port while the modem is open reopens the link on
// the new port, and devices that come and go while the window is open show in its lists.

#include "app/WindowFactory.h"
#include "fakes/FakeFtd2xx.h"
#include "shell/ConfigForm.h"
#include "shell/OrvexMonitorForm.h"
#include "support/ModalBoxes.h"
#include "support/ModemWaits.h"
#include "support/SimModem.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// The dispatcher is not asked: its notices are dropped.
class TQuietForm : public TOrvexMonitorForm {
 public:
  using TOrvexMonitorForm::TOrvexMonitorForm;
  uint32_t NotifyDispatcher(uint32_t, const std::string&) override { return 1; }
};

TTtyDevice Modem(const std::string& node, const std::string& model) {
  return TTtyDevice{node.substr(5), node, model, "sim", false};
}

std::vector<std::string> ItemsOf(QComboBox* combo) {
  std::vector<std::string> items;
  for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
  return items;
}

bool Has(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

class ConfigFormLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Folder.IsCreated() && Runtime.IsCreated());
    ::setenv("XDG_RUNTIME_DIR", Runtime.Path().c_str(), 1);
    ExeDir = Folder.Path() + "/";
    ASSERT_TRUE(First.IsOpen() && Second.IsOpen());
    Devices = {Modem(First.SlavePath(), "First modem"), Modem(Second.SlavePath(), "Second modem")};
  }
  void TearDown() override { Form.reset(); }

  void Create(const std::string& port) {
    WriteWholeFile(ExeDir + "OrvexMonitor.ini", "[COMMON]\nPhonePort=" + port +
                                                    "\nPhoneDesc=Orvex GSM Terminal\nCheckPin=0\nAutoConnect=0\n"
                                                    "[VISUAL]\nShowNotify=1\n");
    Form = std::make_unique<TQuietForm>(ExeDir);
    TSetupWaits waits = FastSetupWaits();
    waits.PortMutex = 1000;
    waits.Network = 800;
    Form->Core.Link().SetSetupWaits(waits, TThreadPriority::Normal);
    Form->Core.Link().SetReaderWaits(FastReaderWaits());
    Form->PortSources = TPortSources{[this] { return Devices; }, {}, [](const std::string&) { return false; }};
    Form->SetWindowFactory(MakeProgramWindow);
    Form->FormCreate();
  }
  bool SetUpEnded() {
    return WaitUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr; }, 15000);
  }
  TConfigForm* OpenSettings() {
    Form->Settings->trigger();
    auto* window = qobject_cast<TConfigForm*>(Form->Window(TWindowKind::Config));
    EXPECT_NE(window, nullptr);
    EXPECT_TRUE(window && window->isVisible());
    return window;
  }

  TTempFolder Folder{"orvex-config-link"};
  TTempFolder Runtime{"orvex-config-runtime"};
  std::string ExeDir;
  TSimOnPty First;
  TSimOnPty Second;
  std::vector<TTtyDevice> Devices;
  std::unique_ptr<TQuietForm> Form;
};

}  // namespace

TEST_F(ConfigFormLinkTest, ConfirmedNewPortReopensTheOpenLinkOnIt) {
  Create(First.SlavePath());
  Form->OpenModemLink();
  ASSERT_TRUE(SetUpEnded());
  ASSERT_TRUE(Form->IsModemOpen());
  ASSERT_EQ(Form->Mirror().PhonePort, First.SlavePath());

  QPointer<TConfigForm> window = OpenSettings();
  ASSERT_TRUE(window);
  // One window: the menu item again brings the same one forward.
  Form->Settings->trigger();
  EXPECT_EQ(Form->Window(TWindowKind::Config), window.data());

  auto* ports = window->findChild<QComboBox*>("cbComPort");
  ASSERT_NE(ports, nullptr);
  EXPECT_EQ(ports->currentText().toStdString(), First.SlavePath() + " (First modem)");
  const int second = ports->findText(QString::fromStdString(Second.SlavePath() + " (Second modem)"));
  ASSERT_GE(second, 0);
  ports->setCurrentIndex(second);
  const size_t secondHeard = Second.Sim.Commands().size();

  TModalAnswerer boxes(QMessageBox::Yes);
  QTest::mouseClick(window->findChild<QPushButton*>("btnOk"), Qt::LeftButton);
  ASSERT_EQ(boxes.Seen.size(), 1u);
  EXPECT_EQ(boxes.Seen[0].Icon, QMessageBox::Warning);
  ASSERT_TRUE(SetUpEnded());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(Form->Window(TWindowKind::Config), nullptr);

  EXPECT_TRUE(Form->IsModemOpen());
  EXPECT_NE(Form->Core.Link().ActiveReader(), nullptr);
  EXPECT_EQ(Form->Mirror().PhonePort, Second.SlavePath());
  EXPECT_GT(Second.Sim.Commands().size(), secondHeard);
  EXPECT_NE(ReadWholeFile(ExeDir + "OrvexMonitor.ini").find("PhonePort=" + Second.SlavePath() + "\n"),
            std::string::npos);
  // AutoConnect stays off: the reconnect timer is stopped.
  EXPECT_FALSE(Form->ConnectTimer->isActive());
}

TEST_F(ConfigFormLinkTest, DevicesThatComeWhileTheWindowIsOpenShowInItsLists) {
  std::filesystem::copy_file(std::string(ORVEX_BINARY_DIR) + "/fakes/" + kFtdiLibraryName, ExeDir + kFtdiLibraryName);
  ::setenv("FAKE_FTDI_DEVICES", "", 1);
  Create(First.SlavePath());
  QPointer<TConfigForm> window = OpenSettings();
  ASSERT_TRUE(window);
  auto* ports = window->findChild<QComboBox*>("cbComPort");
  auto* terminals = window->findChild<QComboBox*>("cbUsbTerminal");
  ASSERT_TRUE(ports && terminals);
  EXPECT_FALSE(Has(ItemsOf(ports), "/dev/ttyUSB7 (New modem)"));
  EXPECT_TRUE(ItemsOf(terminals).empty());

  // The window's first listing loaded the library.
  auto control = TFakeFtdiControl::Find(ExeDir + kFtdiLibraryName);
  ASSERT_TRUE(control);
  control->Configure("Orvex GSM Terminal");
  Devices.push_back(Modem("/dev/ttyUSB7", "New modem"));
  Form->WMDeviceChange();
  EXPECT_TRUE(Has(ItemsOf(ports), "/dev/ttyUSB7 (New modem)"));
  EXPECT_EQ(ItemsOf(terminals), std::vector<std::string>{"Orvex GSM Terminal"});
  // The configured port is still the one selected.
  EXPECT_EQ(ports->currentText().toStdString(), First.SlavePath() + " (First modem)");

  Devices.pop_back();
  control->Configure("");
  Form->WMDeviceChange();
  EXPECT_FALSE(Has(ItemsOf(ports), "/dev/ttyUSB7 (New modem)"));
  EXPECT_TRUE(ItemsOf(terminals).empty());
  window->close();
}
