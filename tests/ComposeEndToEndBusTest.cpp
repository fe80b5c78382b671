// Composed commands end to end: the program's own main form and windows in the test process,
// the stand-in dispatcher lending its fleet on the test's session bus, and the modem simulator
// on a pseudo-terminal taking the messages. The send window opens the template window in the
// base-settings mode, the settings are ticked and typed there, OK composes them, and the send
// puts every line out as one message with the vehicle's own password.

#include "app/WindowFactory.h"
#include "shell/OrvexMonitorForm.h"
#include "support/ModalBoxes.h"
#include "support/ModemWaits.h"
#include "support/ProgramFolders.h"
#include "support/SimModem.h"
#include "support/StandinProcess.h"
#include "support/TestApp.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

const QString kStandin = QStringLiteral(ORVEX_BINARY_DIR "/tools/dispatcher/orvex-dispatcher-standin");

// A series-4 bus and two series-5 lorries in one group, and a series-5 truck of its own.
const char kFleet[] =
    "[Колонна]\n"
    "22001|Bus 1||+79001110001|pass1\n"
    "32501||Volvo|+79001110002|pass2\n"
    "32502|MAN||+79001110003|abc\n"
    "[Одиночки]\n"
    "32600|Truck 9||+79001110009|pw5\n";

using TPairs = std::vector<std::pair<std::string, std::string>>;

class ComposeEndToEndTest : public ::testing::Test, protected TProgramFolders {
protected:
  std::unique_ptr<TStandinProcess> Standin;
  std::unique_ptr<TSimOnPty> Modem;
  std::unique_ptr<TOrvexMonitorForm> Form;

  void SetUp() override {
    ASSERT_TRUE(EnterProgramFolders());
    TestApplication();
    const QString fleet = Dir.filePath(QStringLiteral("fleet.txt"));
    QFile file(fleet);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kFleet);
    file.close();
    Standin = std::make_unique<TStandinProcess>(kStandin, QStringList{QStringLiteral("--fleet"), fleet});
    ASSERT_TRUE(Standin->Ready());
    Modem = std::make_unique<TSimOnPty>();
    ASSERT_TRUE(Modem->IsOpen());
    std::ofstream(ExeDir + "OrvexMonitor.ini")
        << "[COMMON]\nPhonePort=" << Modem->SlavePath() << "\nCheckPin=0\nAutoConnect=0\n[VISUAL]\nShowNotify=0\n";

    Form = std::make_unique<TOrvexMonitorForm>(ExeDir);
    Form->Core.Link().SetSetupWaits(FastSetupWaits(), TThreadPriority::Normal);
    Form->Core.Link().SetReaderWaits(FastReaderWaits());
    Form->Core.Sender().Waits.StartPause = 200;
    Form->SetWindowFactory(MakeProgramWindow);
    Form->FormCreate();
    // The fleet comes in the background.
    ASSERT_TRUE(WaitUntil([&] { return Form->Fleet.size() == 2u; }, 15000));
    Form->OpenModemLink();
    ASSERT_TRUE(WaitUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr && Form->IsModemOpen(); }, 15000));
  }

  void TearDown() override {
    Form.reset();
    Modem.reset();
    Standin.reset();
  }

  // Opens the send window and selects the target whose entry text contains `target`.
  QWidget* OpenSendWindowOn(const QString& target) {
    Form->SendSmsClick();
    QWidget* window = Form->Window(TWindowKind::Sms);
    if (window == nullptr) return nullptr;
    auto* targets = window->findChild<QComboBox*>(QStringLiteral("cDevice"));
    if (targets == nullptr) return nullptr;
    for (int i = 0; i < targets->count(); ++i)
      if (targets->itemText(i).contains(target)) {
        targets->setCurrentIndex(i);
        emit targets->activated(i);
        return window;
      }
    return nullptr;
  }

  // Runs a command of the send window's menu; `fill` works the modal template window, which
  // is then closed with OK. A message box on the way is a failure and is answered; a window
  // still open after OK is cancelled, so that a failed step never leaves the test waiting.
  QPointer<QWidget> Template;

  void ComposeInTemplate(QWidget* sendWindow, const char* command, const std::function<void(QWidget&)>& fill) {
    QAction* action = sendWindow->findChild<QAction*>(QString::fromLatin1(command));
    ASSERT_NE(action, nullptr) << command;
    ASSERT_TRUE(action->isEnabled()) << command;
    bool filled = false;
    const std::vector<TSeenBox> boxes = AnswerModals(
        [&] { action->trigger(); },
        [&](QWidget* modal) {
          QPointer<QWidget> window = modal;
          Template = window;
          fill(*window);
          filled = true;
          if (auto* ok = window->findChild<QPushButton*>(QStringLiteral("btnOK")))
            QTest::mouseClick(ok, Qt::LeftButton);
          if (window && window->isVisible()) {
            ADD_FAILURE() << "the template window stayed open after OK";
            if (auto* cancel = window->findChild<QPushButton*>(QStringLiteral("btnCancel"))) cancel->click();
          }
        },
        QMessageBox::Ok);
    for (const TSeenBox& box : boxes) ADD_FAILURE() << "message box: " << box.Text.toStdString();
    EXPECT_TRUE(filled);
  }

  // The messages the simulated modem accepted, as (recipient, text).
  TPairs Sent() const {
    TPairs pairs;
    for (const TSimSubmit& message : Modem->Sim.SentMessages()) pairs.emplace_back(message.Recipient, message.Text);
    return pairs;
  }
};

void Tick(QWidget& window, const char* name) {
  auto* box = window.findChild<QCheckBox*>(QString::fromLatin1(name));
  ASSERT_NE(box, nullptr) << name;
  ASSERT_TRUE(box->isEnabled()) << name;
  // On the tick mark: a box with a caption is wider than what takes a click.
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  EXPECT_TRUE(box->isChecked()) << name;
}

void Type(QWidget& window, const char* name, const QString& text) {
  auto* edit = window.findChild<QLineEdit*>(QString::fromLatin1(name));
  ASSERT_NE(edit, nullptr) << name;
  ASSERT_TRUE(edit->isEnabled()) << name;
  edit->selectAll();
  QTest::keyClicks(edit, text);
  EXPECT_EQ(edit->text(), text) << name;
}

void Choose(QWidget& window, const char* name, int item) {
  auto* combo = window.findChild<QComboBox*>(QString::fromLatin1(name));
  ASSERT_NE(combo, nullptr) << name;
  ASSERT_TRUE(combo->isEnabled()) << name;
  combo->setCurrentIndex(item);
}

TEST_F(ComposeEndToEndTest, BaseSettingsForAVehicleAndAGroupReachTheModemWithEachPassword) {
  // One series-5 truck: its alias, the write period and recording by time.
  QWidget* window = OpenSendWindowOn(QStringLiteral("(32600)"));
  ASSERT_NE(window, nullptr);
  ComposeInTemplate(window, "cmdBasePrm", [](QWidget& tmpl) {
    Tick(tmpl, "selDevAlias");
    Type(tmpl, "edDevAlias", QStringLiteral("Truck9"));
    Tick(tmpl, "selWritePeriod");
    Type(tmpl, "edWritePeriod", QStringLiteral("60"));
    Tick(tmpl, "selMethodWrite");
    Choose(tmpl, "cbMethodWrite", 1);
  });
  auto* text = window->findChild<QTextEdit*>(QStringLiteral("redText"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->toPlainText(), QStringLiteral("pw5      ALIAS=Truck9;\npw5      PERIODWR=60;\npw5      MODEWR=N;"));
  QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnSend")), Qt::LeftButton);
  const TPairs truck = {{"79001110009", "pw5      ALIAS=Truck9;"},
                        {"79001110009", "pw5      PERIODWR=60;"},
                        {"79001110009", "pw5      MODEWR=N;"}};
  ASSERT_TRUE(WaitUntil([&] { return Sent().size() == truck.size(); }, 20000));
  EXPECT_EQ(Sent(), truck);

  // The group of a series-4 bus and two series-5 lorries: the periods and the navigation
  // modes, composed once with the password placeholder and sent with each vehicle's password.
  window = OpenSendWindowOn(QStringLiteral("Колонна"));
  ASSERT_NE(window, nullptr);
  ComposeInTemplate(window, "cmdBasePrm", [](QWidget& tmpl) {
    Tick(tmpl, "selWritePeriod");  // the send period follows for series 4
    Type(tmpl, "edWritePeriod", QStringLiteral("30"));
    Type(tmpl, "edSendPeriod", QStringLiteral("600"));
    Tick(tmpl, "selWideRecord");  // static processing follows for series 4
    Tick(tmpl, "cbStaticNav");
  });
  QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnSend")), Qt::LeftButton);
  TPairs expected = truck;
  const TPairs group = {
      {"79001110001", "SET pass1 30,600"},     {"79001110001", "SMODE pass1 0,0,1"},
      {"79001110002", "pass2 PERIODWR=30;"},   {"79001110002", "pass2 PERIODSEND=600;"},
      {"79001110002", "pass2 MODE1=0;"},       {"79001110002", "pass2 MODEWIDE=0;"},
      {"79001110003", "abc PERIODWR=30;"},     {"79001110003", "abc PERIODSEND=600;"},
      {"79001110003", "abc MODE1=0;"},         {"79001110003", "abc MODEWIDE=0;"},
  };
  expected.insert(expected.end(), group.begin(), group.end());
  ASSERT_TRUE(WaitUntil([&] { return Sent().size() == expected.size(); }, 30000));
  EXPECT_EQ(Sent(), expected);

  // The journal: one block per approved template, the group's placeholder as the dummy
  // password.
  std::ifstream in(ExeDir + "smsList.txt", std::ios::binary);
  const std::string journal((std::istreambuf_iterator<char>(in)), {});
  const std::string closing = "\\" + std::string(51, '-') + "\\\r\n";
  EXPECT_EQ(journal,
            "SMS_V1.0\r\nSMS_V1.1\r\nSMS_V1.2\r\nSMS_V4.0\r\nSMS_V5.0\r\n"
            "pw5      ALIAS=Truck9;\r\npw5      PERIODWR=60;\r\npw5      MODEWR=N;\r\n" +
                closing +
                "SMS_V1.0\r\nSMS_V1.1\r\nSMS_V1.2\r\nSMS_V4.0\r\nSET 47125093 30,600\r\nSMODE 47125093 0,0,1\r\n"
                "SMS_V5.0\r\n47125093 PERIODWR=30;\r\n47125093 PERIODSEND=600;\r\n47125093 MODE1=0;\r\n"
                "47125093 MODEWIDE=0;\r\n" +
                closing);
}

TEST_F(ComposeEndToEndTest, ControlPointIsSentWithPaddedCoordinatesThatTheWindowKeeps) {
  QWidget* window = OpenSendWindowOn(QStringLiteral("(32600)"));
  ASSERT_NE(window, nullptr);
  ComposeInTemplate(window, "cmdControlPointPrm", [](QWidget& tmpl) {
    Tick(tmpl, "selCP1");
    Type(tmpl, "edCP1Latd", QStringLiteral("5"));
    Type(tmpl, "edCP1Latm", QStringLiteral("7"));
    Type(tmpl, "edCP1Latmm", QStringLiteral("5"));
    Choose(tmpl, "cbCP1ns", 0);
    Type(tmpl, "edCP1Lond", QStringLiteral("37"));
    Type(tmpl, "edCP1Lonm", QStringLiteral("3"));
    Type(tmpl, "edCP1Lonmm", QStringLiteral("12"));
    Choose(tmpl, "cbCP1ew", 0);
  });
  ASSERT_NE(Template, nullptr);
  // The next showing of the box shows the coordinates as they were sent.
  const std::pair<const char*, const char*> padded[] = {{"edCP1Latd", "05"},  {"edCP1Latm", "07"},
                                                        {"edCP1Latmm", "50000"}, {"edCP1Lond", "037"},
                                                        {"edCP1Lonm", "03"},  {"edCP1Lonmm", "12000"}};
  for (const auto& [name, text] : padded) {
    auto* edit = Template->findChild<QLineEdit*>(QString::fromLatin1(name));
    ASSERT_NE(edit, nullptr) << name;
    EXPECT_EQ(edit->text(), QString::fromLatin1(text)) << name;
  }
  QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnSend")), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return Sent().size() == 1; }, 20000));
  EXPECT_EQ(Sent(), (TPairs{{"79001110009", "pw5      CONTROLPOINT1=050750000,N,0370312000,E;"}}));
}

}  // namespace
