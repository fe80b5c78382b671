// The message window behind the real main form and the program's window factory: messages
// arrive from the simulated modem on a pseudo-terminal, the unread balloon opens the unread
// view, the tray menu's history refreshes it, closing marks the messages read and ends the
// reminders; at program end an open window goes first and marks nothing read.

#include "app/WindowFactory.h"
#include "common/Text.h"
#include "gsm/ParamReply.h"
#include "gsm/SmsLog.h"
#include "shell/OrvexMonitorForm.h"
#include "support/LogFile.h"
#include "support/ModemWaits.h"
#include "support/ProgramFolders.h"
#include "support/SimModem.h"
#include "support/TestApp.h"
#include "viewer/ShowSmsForm.h"

#include <QAction>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTableView>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

constexpr int kLinkWaitMs = 8000;
const char kSender[] = "+79001234567";

class TLinkForm : public TOrvexMonitorForm {
public:
  TLinkForm(std::string exeDir, uint32_t& ticks) : TOrvexMonitorForm(std::move(exeDir), [&ticks] { return ticks; }) {}
  int UnreadNotices = 0;
  uint32_t NotifyDispatcher(uint32_t code, const std::string&) override {
    if (code == 4) ++UnreadNotices;
    return 1;
  }
};

TSimDeliver Message(const std::string& text) {
  TSimDeliver message;
  message.Sender = kSender;
  message.Text = text;
  return message;
}

class MessageWindowLinkTest : public ::testing::Test, protected TProgramFolders {
protected:
  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(EnterProgramFolders());
  }
  void TearDown() override { Form.reset(); }

  void Create(const std::string& port) {
    std::ofstream(ExeDir + "OrvexMonitor.ini") << "[COMMON]\nPhonePort=" << port
                                               << "\nPhoneDesc=Orvex GSM\nCheckPin=0\nAutoConnect=0\n"
                                               << "[VISUAL]\nShowNotify=1\n";
    Form = std::make_unique<TLinkForm>(ExeDir, Ticks);
    TSetupWaits waits = FastSetupWaits();
    waits.PortMutex = 1000;
    waits.Network = 800;
    Form->Core.Link().SetSetupWaits(waits, TThreadPriority::Normal);
    Form->Core.Link().SetReaderWaits(FastReaderWaits());
    Form->SetWindowFactory(MakeProgramWindow);
    Form->FormCreate();
  }
  std::vector<TLogRecord> Records() const {
    return ReadFolderLog(ExeDir);
  }
  TShowSmsForm* Window() { return dynamic_cast<TShowSmsForm*>(Form->Window(TWindowKind::ShowSms)); }
  // The detail pane's text for a row of the open window.
  QString DetailOf(int row) {
    QTableView* list = Window()->findChild<QTableView*>("lvSmsList");
    list->setCurrentIndex(Window()->ListModel().index(row, 0));
    return Window()->findChild<QTextEdit*>("reSmsDetail")->toPlainText();
  }

  uint32_t Ticks = 5000000;
  std::unique_ptr<TLinkForm> Form;
};

}  // namespace

TEST_F(MessageWindowLinkTest, BalloonOpensTheUnreadViewAndClosingMarksTheMessagesRead) {
  TSimOnPty modem;
  ASSERT_TRUE(modem.IsOpen());
  Create(modem.SlavePath());
  Form->OpenModemLink();
  ASSERT_TRUE(WaitUntil([&] { return Form->Core.Link().ActiveSetupThread() == nullptr; }, 15000));
  ASSERT_TRUE(Form->IsModemOpen());

  const std::vector<std::string> texts = {
      "12345 141530.000,a,5545.1234,n,03737.5678,e,10.0,270.0,050324",
      "12345@input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,90.0,050324",
      "12345 periodwr=60;",
  };
  for (const std::string& text : texts) {
    ASSERT_FALSE(modem.Sim.InjectCmt(Message(text)).empty());
    // One at a time, so the log keeps their order.
    const size_t count = static_cast<size_t>(&text - texts.data()) + 1;
    ASSERT_TRUE(WaitUntil([&] { return Records().size() >= count; }, kLinkWaitMs));
  }
  ASSERT_TRUE(WaitUntil([&] { return Form->Core.UnreadPending(); }, kLinkWaitMs));
  ASSERT_TRUE(Form->BalloonClick);
  ASSERT_FALSE(Records()[0].Phone.empty());
  EXPECT_TRUE(Form->ConfirmTimer->isActive());

  Form->BalloonClick();
  TShowSmsForm* window = Window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->ViewMode, 1);
  EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Непрочитанные сообщения"));
  EXPECT_FALSE(Form->ConfirmTimer->isActive());
  ASSERT_EQ(window->ListModel().rowCount(), 3);
  RunFor(50);  // the first sort: newest first

  struct Row {
    const char* Kind;
    std::vector<QString> Lines;  // lines the detail must hold
  };
  const Row rows[] = {
      {"PERIODWR", {"Тип: " + QStringFromCp1251(ParamCaption(0)), QString::fromUtf8("Значение: 60")}},
      {"ALARM",
       {QString::fromUtf8("Тип: сработал вход"), QString::fromUtf8("Вход: 2"),
        QString::fromUtf8("Скорость движения: 22.50 км/час"), QString::fromUtf8("Направление движения: 90.0°.")}},
      {"GET",
       {QString::fromUtf8("Тип: ответ на запрос координат"),
        QString::fromUtf8("Положение: 55 ") + QString("45.1234").replace('.', QLocale::system().decimalPoint()) +
            "N 37 " + QString("37.5678").replace('.', QLocale::system().decimalPoint()) + "E",
        QString::fromUtf8("Скорость движения: 18.00 км/час"), QString::fromUtf8("GPRS: недоступен")}},
  };
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(rows[i].Kind);
    EXPECT_EQ(window->ListModel().index(i, 4).data().toString(), rows[i].Kind);
    EXPECT_EQ(window->ListModel().index(i, 2).data().toString(), QStringFromCp1251(Records()[0].Phone));
    EXPECT_EQ(window->ListModel().index(i, 3).data().toString(), "12345");
    const QStringList lines = DetailOf(i).split('\n');
    for (const QString& line : rows[i].Lines) EXPECT_TRUE(lines.contains(line)) << line.toStdString();
  }

  // The tray's history item with the unread view open only reloads the unread view.
  Form->ViewLog->trigger();
  EXPECT_EQ(Window(), window);
  EXPECT_EQ(window->ViewMode, 1);
  EXPECT_EQ(window->ListModel().rowCount(), 3);

  const int noticesBefore = Form->UnreadNotices;
  QTest::mouseClick(window->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return Window() == nullptr; }, 2000));
  for (const TLogRecord& record : Records()) EXPECT_EQ(record.Read, 1);
  EXPECT_FALSE(Form->Core.UnreadPending());
  EXPECT_FALSE(Form->ConfirmTimer->isActive());
  EXPECT_EQ(Form->Tray.IconNumber(), TTrayIcon::kIconModemOpen);
  // No reminder any more, however long.
  Ticks += 60000;
  Form->ConfirmTimerTimer();
  RunFor(100);
  EXPECT_EQ(Form->UnreadNotices, noticesBefore);
  EXPECT_FALSE(Form->Tray.IsBalloonShown());
  Form->CloseModemLink();
}

TEST_F(MessageWindowLinkTest, HistoryOpenAtProgramEndSavesItsLayoutAndMarksNothingRead) {
  Create("COM9");
  TLogRecord record;
  record.Time = EncodeDateTime(2024, 3, 5, 10, 0, 0, 0);
  record.Phone = kSender;
  record.Text = "12345 reset";
  ASSERT_TRUE(Form->Core.WriteSmsLogRecord(ExeDir + "OrvexMonitor.log", record));
  Form->Mirror().ShowSmsFormLayout = "300,400,600,500,70,0,0,0,0";
  Form->ViewLog->trigger();
  TShowSmsForm* window = Window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->ViewMode, 2);
  EXPECT_EQ(window->windowTitle(), QString::fromUtf8("История операций"));
  EXPECT_EQ(window->ListModel().rowCount(), 1);
  EXPECT_EQ(window->frameGeometry().topLeft(), QPoint(400, 300));
  Form.reset();
  EXPECT_EQ(Records().at(0).Read, 0);
  std::ifstream in(ExeDir + "OrvexMonitor.ini");
  const std::string ini((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(ini.find("ShowSmsForm=300,400,600,500,70,120,130,130,120"), std::string::npos) << ini;
}
