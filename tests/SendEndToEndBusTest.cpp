// A text to a group of the fleet, end to end: the program's own main form and windows in the
// test process, the stand-in dispatcher serving the fleet on the test's session bus, and the
// modem simulator on a pseudo-terminal taking the messages.

#include "app/WindowFactory.h"
#include "gsm/SmsLog.h"
#include "shell/OrvexMonitorForm.h"
#include "support/LogFile.h"
#include "support/ModemWaits.h"
#include "support/ProgramFolders.h"
#include "support/SimModem.h"
#include "support/StandinProcess.h"
#include "support/TestApp.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const QString kStandin = QStringLiteral(ORVEX_BINARY_DIR "/tools/dispatcher/orvex-dispatcher-standin");

class SendEndToEndTest : public ::testing::Test, protected TProgramFolders {
protected:

  void SetUp() override {
    ASSERT_TRUE(EnterProgramFolders());
    TestApplication();
  }

  std::vector<TLogRecord> Records() const {
    return ReadFolderLog(ExeDir);
  }
};

TEST_F(SendEndToEndTest, LineToAGroupOfTwoGoesOutAsTwoMessagesAndTwoSentRecords) {
  const QString fleet = Dir.filePath(QStringLiteral("fleet.txt"));
  {
    QFile file(fleet);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Пара]\n22001|Bus 1||+79001110001|pass1\n32500||Volvo|+79001110002|pass2\n");
  }
  TStandinProcess standin(kStandin, {QStringLiteral("--fleet"), fleet});
  ASSERT_TRUE(standin.Ready());
  TSimOnPty modem;
  ASSERT_TRUE(modem.IsOpen());
  std::ofstream(ExeDir + "OrvexMonitor.ini")
      << "[COMMON]\nPhonePort=" << modem.SlavePath() << "\nCheckPin=0\nAutoConnect=0\n[VISUAL]\nShowNotify=0\n";

  TOrvexMonitorForm form(ExeDir);
  form.Core.Link().SetSetupWaits(FastSetupWaits(), TThreadPriority::Normal);
  form.Core.Link().SetReaderWaits(FastReaderWaits());
  form.Core.Sender().Waits.StartPause = 200;
  form.SetWindowFactory(MakeProgramWindow);
  form.FormCreate();
  // The fleet comes in the background.
  ASSERT_TRUE(WaitUntil([&] { return form.Fleet.size() == 1u; }, 15000));
  form.OpenModemLink();
  ASSERT_TRUE(WaitUntil([&] { return form.Core.Link().ActiveSetupThread() == nullptr && form.IsModemOpen(); }, 15000));

  form.SendSmsClick();
  QWidget* window = form.Window(TWindowKind::Sms);
  ASSERT_NE(window, nullptr);
  auto* targets = window->findChild<QComboBox*>(QStringLiteral("cDevice"));
  auto* text = window->findChild<QTextEdit*>(QStringLiteral("redText"));
  auto* send = window->findChild<QPushButton*>(QStringLiteral("btnSend"));
  ASSERT_TRUE(targets && text && send);
  const int group = targets->findText(QStringLiteral("Пара"));
  ASSERT_EQ(group, 5);
  targets->setCurrentIndex(group);
  emit targets->activated(group);
  QTest::keyClicks(text, QStringLiteral("Report position now"));
  QTest::mouseClick(send, Qt::LeftButton);

  ASSERT_TRUE(WaitUntil([&] { return modem.Sim.SentMessages().size() == 2; }, 20000));
  const std::vector<TSimSubmit> sent = modem.Sim.SentMessages();
  EXPECT_EQ(sent[0].Recipient, "79001110001");
  EXPECT_EQ(sent[1].Recipient, "79001110002");
  for (const TSimSubmit& message : sent) EXPECT_EQ(message.Text, "Report position now");
  const std::vector<std::string> commands = modem.Sim.Commands();
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const std::string& command) { return command.rfind("AT+CMGS=", 0) == 0; }),
            2);

  auto sentRecords = [&] {
    std::vector<std::string> lines;
    for (const TLogRecord& record : Records())
      if (record.Direction == 1) lines.push_back(record.Phone + " " + record.Text);
    return lines;
  };
  ASSERT_TRUE(WaitUntil([&] { return sentRecords().size() == 2; }, 10000));
  EXPECT_EQ(sentRecords(), (std::vector<std::string>{"79001110001 Report position now",
                                                     "79001110002 Report position now"}));
}

}  // namespace
