// The send window driven through its widgets on the offscreen platform, against a small fake
// of the monitor that records the queued messages and makes the real template window.

#include "common/Text.h"
#include "composer/SmsForm.h"
#include "composer/SmsTemplateForm.h"
#include "support/FakeMonitor.h"
#include "support/ModalBoxes.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace {

using TPairs = std::vector<TSmsPair>;

std::unique_ptr<TCarEntry> Car(int32_t device, const char* caption, const char* phone, const char* handle) {
  return MakeCarEntry(device, QString::fromUtf8(caption), QString::fromUtf8(phone), QString::fromUtf8(handle));
}

// "Автобусы": a series-4 vehicle with a 3-character password, a series-5 one without phone, a
// series-5 one without password and a series-5 one with both; then a group without vehicles.
TFleet SampleFleet() {
  TFleet fleet;
  auto buses = std::make_unique<TGroupEntry>();
  buses->Name = Cp1251("Автобусы");
  buses->Index = 1;
  buses->Cars.push_back(Car(22001, "Bus 1", "+79001", "pas"));
  buses->Cars.push_back(Car(32500, "Bus 2", "", "secret12"));
  buses->Cars.push_back(Car(32501, "Bus 3", "+79003", ""));
  buses->Cars.push_back(Car(40000, "Zoo z", "+79004", "zzzzzzzz"));
  fleet.push_back(std::move(buses));
  auto empty = std::make_unique<TGroupEntry>();
  empty->Name = "Empty";
  empty->Index = 2;
  fleet.push_back(std::move(empty));
  return fleet;
}

constexpr int kBuses = 5;
constexpr int kBus1 = 6;
constexpr int kBus3 = 8;
constexpr int kZoo = 9;
constexpr int kEmpty = 10;

// Runs `action`; the modal window it opens (the template window) is given to `answer`, which
// closes it. A message box on the way is a failure, answered so that it never blocks the test.
void Answering(const std::function<void(QWidget*)>& answer, const std::function<void()>& action) {
  const std::vector<TSeenBox> boxes = AnswerModals(action, [&](QWidget* modal) {
    QPointer<QWidget> window = modal;
    answer(modal);
    if (window && window->isVisible()) {
      ADD_FAILURE() << "the modal window was left open";
      window->close();
    }
  });
  EXPECT_TRUE(boxes.empty()) << boxes.front().Text.toStdString();
}

class SmsFormTest : public ::testing::Test {
protected:
  TTempFolder Folder{"smsform"};
  std::unique_ptr<TFakeMonitor> Monitor;
  QPointer<TsmsForm> Window;

  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Folder.IsCreated());
    Monitor = std::make_unique<TFakeMonitor>(Folder.Path() + "/");
    Monitor->Open = true;
    Monitor->MakeTemplateWindow = [](TMonitorServices& monitor) { return new TSmsTemplateForm(monitor); };
    Monitor->FleetList = SampleFleet();
  }
  void TearDown() override {
    delete Window.data();
    Monitor.reset();
  }

  // Opens the window as the main form does.
  void Open(const std::string& layout = "200,400,") {
    Window = new TsmsForm(*Monitor);
    Window->setAttribute(Qt::WA_DeleteOnClose);
    Window->RestoreLayout(layout);
    Window->FillDeviceList(Monitor->FleetList);
    Window->show();
  }

  template <typename T>
  T* Child(const char* name) const {
    T* child = Window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  QComboBox* Targets() const { return Child<QComboBox>("cDevice"); }
  QLineEdit* Number() const { return Child<QLineEdit>("edNumber"); }
  QTextEdit* Text() const { return Child<QTextEdit>("redText"); }
  QString CountText() const { return Child<QLabel>("lblMsgCount")->text(); }
  TSmsTemplateForm* Template() const { return dynamic_cast<TSmsTemplateForm*>(Monitor->TemplateWindow()); }

  // Picks a target as the user does.
  void Pick(int index) {
    Targets()->setCurrentIndex(index);
    emit Targets()->activated(index);
  }
  // Types a text and lets the count timer fire.
  void Type(const QString& text) {
    Text()->setFocus();
    Text()->clear();
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
      if (i > 0) QTest::keyClick(Text(), Qt::Key_Return);
      QTest::keyClicks(Text(), lines[i]);
    }
    EXPECT_EQ(Text()->toPlainText(), text);
    Window->reChangeTimerTimer();
  }
  void Send() { QTest::mouseClick(Child<QPushButton>("btnSend"), Qt::LeftButton); }
  // Runs a menu command and approves the template window it opens with the given lists, as
  // its OK would after composing them.
  void ApproveTemplate(const char* action, const TCommandLists& lists) {
    bool approved = false;
    Answering(
        [&](QWidget* modal) {
          auto* form = qobject_cast<TSmsTemplateForm*>(modal);
          ASSERT_NE(form, nullptr);
          form->CommandLists = lists;
          form->QDialog::done(TSmsTemplateForm::kResultOk);
          approved = true;
        },
        [&] { Trigger(action); });
    EXPECT_TRUE(approved);
  }
  void Trigger(const char* action) { Child<QAction>(action)->trigger(); }
};

TEST_F(SmsFormTest, LayoutSelectsTheRememberedTargetAndPlacesTheWindow) {
  constexpr int kDesigned = -100000;
  struct Case {
    const char* Layout;
    int Selected;
    int Top;   // kDesigned: as designed
    int Left;
  };
  const Case cases[] = {
      {"120,340,Прибор серии 32500+", 4, 120, 340},
      {"120,-5,Zoo z (40000)", 0, 120, -5},
      {"30,40,Zoo z (40000)", kZoo, 30, 40},
      {"0,0,Автобусы", kBuses, kDesigned, kDesigned},
      {"nothing", 0, kDesigned, kDesigned},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Layout);
    Window = new TsmsForm(*Monitor);
    const QPoint designed = Window->pos();
    Window->RestoreLayout(Cp1251(c.Layout));
    Window->FillDeviceList(Monitor->FleetList);
    EXPECT_EQ(Targets()->currentIndex(), c.Selected);
    EXPECT_EQ(Window->y(), c.Top == kDesigned ? designed.y() : c.Top);
    EXPECT_EQ(Window->x(), c.Left == kDesigned ? designed.x() : c.Left);
    delete Window.data();
  }
  // Group entries are drawn bold.
  Open();
  EXPECT_TRUE(Targets()->itemData(kBuses, Qt::FontRole).value<QFont>().bold());
  EXPECT_FALSE(Targets()->itemData(kBus1, Qt::FontRole).isValid());
}

TEST_F(SmsFormTest, LayoutIsSavedWhenTheWindowGoes) {
  Open("200,400,Bus 3 (32501)");
  EXPECT_EQ(Targets()->currentIndex(), kBus3);
  Window->move(15, 25);
  Window->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(Window);
  EXPECT_EQ(Monitor->Mirror.SmsFormLayout, "25,15,Bus 3 (32501)");
  EXPECT_NE(ReadWholeFile(Folder.Path() + "/OrvexMonitor.ini").find("SmsForm=25,15,Bus 3 (32501)"), std::string::npos);
}

TEST_F(SmsFormTest, MenuOffersTheCommandsOfTheTargetsLevel) {
  Open();
  struct Case {
    int Selected;
    const char* Number;
    bool NumberEnabled;
    // Enabled state of cmdGet(1), cmdDigitInPrm(2), cmdResetDevice(3), cmdVoicePrm(4),
    // cmdControlPointPrm(5), the submenu "Запросить настройки"(4), getBasePrm(5).
    const char* Enabled;
    const char* Count;
  };
  const Case cases[] = {
      {0, "", true, "1000000", "Всего 0 сообщений на 1 устройство"},
      {1, "", true, "1100000", "Всего 0 сообщений на 1 устройство"},
      {2, "", true, "1110000", "Всего 0 сообщений на 1 устройство"},
      {3, "", true, "1111010", "Всего 0 сообщений на 1 устройство"},
      {4, "", true, "1111111", "Всего 0 сообщений на 1 устройство"},
      {kBuses, "Группа", false, "1111111", "Всего 0 сообщений на 3 устройства"},
      {kBus1, "+79001", true, "1111010", "Всего 0 сообщений на 1 устройство"},
      {kZoo, "+79004", true, "1111111", "Всего 0 сообщений на 1 устройство"},
      {kEmpty, "Группа", false, "1111111", "Всего 0 сообщений на 0 устройств"},
  };
  const char* const actions[] = {"cmdGet", "cmdDigitInPrm", "cmdResetDevice", "cmdVoicePrm", "cmdControlPointPrm"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Selected);
    Pick(c.Selected);
    EXPECT_EQ(Number()->text(), QString::fromUtf8(c.Number));
    EXPECT_EQ(Number()->isEnabled(), c.NumberEnabled);
    std::string enabled;
    for (const char* action : actions) enabled += Child<QAction>(action)->isEnabled() ? '1' : '0';
    enabled += Child<QMenu>("cmdGetSettings")->menuAction()->isEnabled() ? '1' : '0';
    enabled += Child<QAction>("getBasePrm")->isEnabled() ? '1' : '0';
    EXPECT_EQ(enabled, c.Enabled);
    EXPECT_EQ(CountText(), QString::fromUtf8(c.Count));
  }
  // 25 entries with the separator named N3 among them.
  int entries = 0;
  std::function<void(QMenu*)> walk = [&](QMenu* menu) {
    for (QAction* action : menu->actions()) {
      ++entries;
      if (action->menu() != nullptr) walk(action->menu());
    }
  };
  walk(Child<QMenu>("pSmsTemplate"));
  EXPECT_EQ(entries, 25);
  EXPECT_TRUE(Child<QAction>("N3")->isSeparator());
}

TEST_F(SmsFormTest, FreeTextGoesLineByLineToEveryReachableVehicleOfAGroup) {
  Open();
  Pick(kBuses);
  Type(QStringLiteral("first\n\nsecond"));
  EXPECT_EQ(CountText(), QStringLiteral("Всего 6 сообщений на 3 устройства"));
  Send();
  EXPECT_EQ(Monitor->Queued, (TPairs{{"+79001", "first"},
                                     {"+79003", "first"},
                                     {"+79004", "first"},
                                     {"+79001", "second"},
                                     {"+79003", "second"},
                                     {"+79004", "second"}}));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(Window);
}

TEST_F(SmsFormTest, EmptyTextOrNumberIsRefusedWithABoxAndTheWindowStays) {
  Open();
  Pick(kBus1);
  struct Case {
    const char* Text;
    const char* Number;
    const char* Box;
    const char* Focus;
  };
  const std::string longLine(160, 'a');
  const Case cases[] = {
      {"", "+79001", "Пустой текст сообщения", "redText"},
      {"hello", "", "Неверный номер", "edNumber"},
      {"hello", "+7 900 1234567", "Неверный номер", "edNumber"},
      {"hello", "8-900-123-45-67", "Неверный номер", "edNumber"},
      {"hello", "+7900123456789", "Неверный номер", "edNumber"},
      {"hello", "A\x1a+TMCDG1=\n\r", "Неверный номер", "edNumber"},
      {"hello", "+79001\r", "Неверный номер", "edNumber"},
      {"hello", "+７９００", "Неверный номер", "edNumber"},  // digits, but not ASCII ones
      {longLine.c_str(), "+79001", "Слишком длинный текст сообщения", "redText"},
      {"ok\nэто сообщение длиннее семидесяти букв кириллицы, и в одно СМС оно не входит", "+79001",
       "Слишком длинный текст сообщения", "redText"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Box << " " << testing::PrintToString(std::string(c.Number)));
    if (std::string(c.Text).size() > 100) {
      Text()->setPlainText(QString::fromUtf8(c.Text));  // typing it key by key takes long
    } else {
      Type(QString::fromUtf8(c.Text));
    }
    Number()->setText(QString::fromUtf8(c.Number));
    Child<QPushButton>("btnSend")->setFocus();
    const std::vector<TSeenBox> boxes = AnswerModals([&] { Send(); }, {}, QMessageBox::Ok);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, QStringLiteral("Orvex монитор"));
    EXPECT_EQ(boxes[0].Text, QString::fromUtf8(c.Box));
    EXPECT_TRUE(Monitor->Queued.empty());
    ASSERT_TRUE(Window);
    EXPECT_TRUE(Window->isVisible());
    ASSERT_NE(Window->focusWidget(), nullptr);
    EXPECT_EQ(Window->focusWidget()->objectName(), QString::fromLatin1(c.Focus));
  }
  // Only empty lines pass the check and send nothing; the window still closes.
  Type(QStringLiteral("\n\n"));
  Number()->setText(QStringLiteral("+7"));
  Send();
  EXPECT_TRUE(Monitor->Queued.empty());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(Window);
}

// The phones of a group come from the fleet and the phone book of the settings file: a send to
// a group with a phone that is no destination, or with more messages than the queue takes, is
// refused whole with its box, and the window stays.
TEST_F(SmsFormTest, GroupSendIsRefusedWholeWhenAnyMessageCannotGo) {
  struct Case {
    const char* What;
    const char* Bus3Phone;   // from the dispatcher's fleet
    const char* PhoneBook;   // section TELNUMBERS of the settings file
    size_t QueueRoom;
    const char* Box;         // "" when the send goes
  };
  const Case cases[] = {
      {"a command in the fleet's phone", "A\x1a+TMCDG1=\n\r", "", 100, "Неверный номер"},
      {"a formatted phone in the fleet", "+7 (900) 123-45-67", "", 100, "Неверный номер"},
      {"a command in the phone book", "+79003", "[TELNUMBERS]\n32501=\"+7\x1a\"AT+CFUN=0\n", 100, "Неверный номер"},
      {"a phone book number with blanks", "+79003", "[TELNUMBERS]\n22001=+7 900 1\n", 100, "Неверный номер"},
      {"more messages than the queue takes", "+79003", "", 5, "Очередь отправки переполнена"},
      {"room for all", "+79003", "", 6, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    WriteWholeFile(Folder.Path() + "/OrvexMonitor.ini", c.PhoneBook);
    Monitor->FleetList = SampleFleet();
    Monitor->FleetList[0]->Cars[2]->Phone = QString::fromUtf8(c.Bus3Phone);
    Monitor->Queued.clear();
    Monitor->QueueRoom = c.QueueRoom;
    Open();
    Pick(kBuses);
    Type(QStringLiteral("first\nsecond"));
    const std::vector<TSeenBox> boxes = AnswerModals([&] { Send(); }, {}, QMessageBox::Ok);
    if (*c.Box == '\0') {
      EXPECT_TRUE(boxes.empty());
      EXPECT_EQ(Monitor->Queued.size(), 6u);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      EXPECT_FALSE(Window);
      continue;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, QString::fromUtf8(c.Box));
    EXPECT_EQ(boxes[0].Icon, QMessageBox::Critical);
    EXPECT_TRUE(Monitor->Queued.empty());
    ASSERT_TRUE(Window);
    EXPECT_TRUE(Window->isVisible());
    delete Window.data();
  }
}

TEST_F(SmsFormTest, TypedNumberOfAVehicleIsKeptInThePhoneBook) {
  struct Case {
    int Selected;
    const char* Typed;
    const char* Stored;  // the TELNUMBERS line after the send, "" when none
  };
  const Case cases[] = {
      {kBus1, "+79001", ""},
      {3, "+7555", ""},
      {kBus1, "+79001112222", "22001=+79001112222"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Typed);
    WriteWholeFile(Folder.Path() + "/OrvexMonitor.ini", "");
    Open();
    Pick(c.Selected);
    Number()->setText(QString::fromUtf8(c.Typed));
    Type(QStringLiteral("x"));
    Send();
    const std::string ini = ReadWholeFile(Folder.Path() + "/OrvexMonitor.ini");
    if (*c.Stored) {
      EXPECT_NE(ini.find(c.Stored), std::string::npos) << ini;
    }
    EXPECT_EQ(ini.find("[TELNUMBERS]") != std::string::npos, *c.Stored != '\0') << ini;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  // The next window reaches the vehicle at the stored number.
  Open();
  Pick(kBus1);
  EXPECT_EQ(Number()->text(), QStringLiteral("+79001112222"));
}

TEST_F(SmsFormTest, EachCommandPreparesTheTemplateWindowForTheTarget) {
  Open();
  struct Case {
    int Selected;
    const char* Action;
    int CommandType;
    const char* Number;
    bool NumberEnabled;
    const char* Password;
    std::vector<int> Series;
  };
  const Case cases[] = {
      {kBuses, "cmdBasePrm", 2, "Автобусы", false, "Автобусы", {4, 5}},
      {kBus1, "cmdGet", 1, "+79001", true, "pas", {4}},
      {kBus3, "getGconf4", 22, "+79003", true, "", {5}},
      {3, "cmdResetDevice", 12, "", true, "", {4}},
      {0, "cmdExexuteUSSD", 9, "", true, "", {1}},
      {kZoo, "cmdGetSettinsgChange", 8, "+79004", true, "zzzzzzzz", {5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Action);
    Pick(c.Selected);
    Type(QStringLiteral("free text"));
    bool seen = false;
    Answering([&](QWidget* modal) {
      auto* form = qobject_cast<TSmsTemplateForm*>(modal);
      ASSERT_NE(form, nullptr);
      seen = true;
      EXPECT_EQ(form->CommandType, c.CommandType);
      EXPECT_EQ(form->edNumber->text(), QString::fromUtf8(c.Number));
      EXPECT_EQ(form->edNumber->isEnabled(), c.NumberEnabled);
      EXPECT_EQ(form->edPassword->text(), QString::fromUtf8(c.Password));
      EXPECT_EQ(form->edPassword->isEnabled(), c.NumberEnabled);
      std::vector<int> series(form->TargetVersions.Items().begin(), form->TargetVersions.Items().end());
      EXPECT_EQ(series, c.Series);
      form->reject();
    }, [&] { Trigger(c.Action); });
    EXPECT_TRUE(seen);
    EXPECT_FALSE(Window->FromTemplate);
    EXPECT_EQ(Text()->toPlainText(), QStringLiteral("free text"));
    EXPECT_FALSE(Text()->isReadOnly());
  }
}

TEST_F(SmsFormTest, EveryMenuCommandOpensTheTemplateWindowInItsMode) {
  Open();
  Pick(4);  // series 5: every command is offered
  struct Case {
    const char* Action;
    int CommandType;
    bool QueryMode;
  };
  const Case cases[] = {
      {"cmdGet", 1, false},           {"cmdBasePrm", 2, false},          {"cmdDigitInPrm", 3, false},
      {"cmdAnalogInPrm", 4, false},   {"cmdControlPointPrm", 5, false},  {"cmdVoicePrm", 6, false},
      {"cmdAdditionPrm", 7, false},   {"cmdGetSettinsgChange", 8, false}, {"cmdExexuteUSSD", 9, false},
      {"cmdSetOutput", 10, false},    {"cmdPulseOutput", 11, false},     {"cmdResetDevice", 12, false},
      {"getBasePrm", 13, true},       {"getDigitInPrm", 14, true},       {"getAnalogInPrm", 15, true},
      {"getControlPointPrm", 16, true}, {"getVoicePrm", 17, true},       {"getAdditionPrm", 18, true},
      {"getGconf1", 19, true},        {"getGconf2", 20, true},           {"getGconf3", 21, true},
      {"getGconf4", 22, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Action);
    int type = 0;
    bool query = false;
    QAction* action = Child<QAction>(c.Action);
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(action->isEnabled());
    Answering(
        [&](QWidget* modal) {
          auto* form = qobject_cast<TSmsTemplateForm*>(modal);
          ASSERT_NE(form, nullptr);
          type = form->CommandType;
          query = form->QueryMode;
          form->reject();
        },
        [&] { action->trigger(); });
    EXPECT_EQ(type, c.CommandType);
    EXPECT_EQ(query, c.QueryMode);
  }
}

TEST_F(SmsFormTest, CountFollowsTheTextAfterASecondOfQuiet) {
  Open();
  Pick(kBuses);
  Text()->setFocus();
  QTest::keyClicks(Text(), QStringLiteral("abc"));
  EXPECT_TRUE(Window->reChangeTimer->isActive());
  EXPECT_EQ(CountText(), QStringLiteral("Всего 0 сообщений на 3 устройства"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return CountText() == QStringLiteral("Всего 3 сообщения на 3 устройства"); }, 5000));
  EXPECT_FALSE(Window->reChangeTimer->isActive());
}

TEST_F(SmsFormTest, ApprovedTemplateIsJournalledShownAndSentVehicleByVehicle) {
  Open();
  Pick(kBuses);
  TCommandLists lists;
  lists[4] = {"A4 %PASS% %PASS%"};
  lists[5] = {"%PASS% B5=1;", "%PASS% C5=2;"};
  ApproveTemplate("cmdBasePrm", lists);
  EXPECT_TRUE(Window->FromTemplate);
  EXPECT_TRUE(Text()->isReadOnly());
  EXPECT_EQ(Text()->toPlainText(), QStringLiteral("A4 %PASS% %PASS%\n%PASS% B5=1;\n%PASS% C5=2;"));
  Window->reChangeTimerTimer();
  // The count includes the vehicle without password, which the send skips.
  EXPECT_EQ(CountText(), QStringLiteral("Всего 5 сообщений на 3 устройства"));
  EXPECT_EQ(ReadWholeFile(Folder.Path() + "/smsList.txt"),
            "SMS_V1.0\r\nSMS_V1.1\r\nSMS_V1.2\r\nSMS_V4.0\r\nA4 47125093 %PASS%\r\nSMS_V5.0\r\n47125093 B5=1;\r\n"
            "47125093 C5=2;\r\n\\" + std::string(51, '-') + "\\\r\n");
  Send();
  EXPECT_EQ(Monitor->Queued, (TPairs{{"+79001", "A4 pas %PASS%"},
                                     {"+79004", "zzzzzzzz B5=1;"},
                                     {"+79004", "zzzzzzzz C5=2;"}}));
}

TEST_F(SmsFormTest, ApprovedTemplateForAVehicleTakesTheTemplatesNumber) {
  Open();
  Pick(kZoo);
  TCommandLists lists;
  lists[5] = {"zzzzzzzz GPERIOD;"};
  Answering(
      [&](QWidget* modal) {
        auto* form = qobject_cast<TSmsTemplateForm*>(modal);
        ASSERT_NE(form, nullptr);
        form->edNumber->setText(QStringLiteral("+79990000000"));
        form->CommandLists = lists;
        form->QDialog::done(TSmsTemplateForm::kResultOk);
      },
      [&] { Trigger("getBasePrm"); });
  EXPECT_EQ(Number()->text(), QStringLiteral("+79990000000"));
  Send();
  EXPECT_EQ(Monitor->Queued, (TPairs{{"+79990000000", "zzzzzzzz GPERIOD;"}}));
  EXPECT_NE(ReadWholeFile(Folder.Path() + "/OrvexMonitor.ini").find("40000=+79990000000"), std::string::npos);
}

TEST_F(SmsFormTest, RefillThatSelectsAnotherTargetFollowsIt) {
  Open("200,400,Zoo z (40000)");
  EXPECT_EQ(Targets()->currentIndex(), kZoo);
  // The user picks the group and approves a template for it.
  Pick(kBuses);
  TCommandLists lists;
  lists[5] = {"%PASS% X=1;"};
  ApproveTemplate("cmdBasePrm", lists);
  ASSERT_TRUE(Window->FromTemplate);

  // The reload brings the remembered vehicle back into selection, with a new phone.
  TFleet fleet = SampleFleet();
  fleet[0]->Cars[3]->Phone = QStringLiteral("+79444");
  Window->RefillDeviceList(fleet);
  Monitor->FleetList = std::move(fleet);
  EXPECT_EQ(Targets()->currentIndex(), kZoo);
  EXPECT_EQ(Number()->text(), QStringLiteral("+79444"));
  EXPECT_TRUE(Number()->isEnabled());
  EXPECT_FALSE(Window->FromTemplate);
  EXPECT_TRUE(Text()->toPlainText().isEmpty());
  EXPECT_EQ(CountText(), QStringLiteral("Всего 0 сообщений на 1 устройство"));

  // A refill that keeps the same target keeps what the user typed.
  Number()->setText(QStringLiteral("+7555"));
  Type(QStringLiteral("hi"));
  Window->RefillDeviceList(Monitor->FleetList);
  EXPECT_EQ(Number()->text(), QStringLiteral("+7555"));
  Send();
  EXPECT_EQ(Monitor->Queued, (TPairs{{"+7555", "hi"}}));
}

}  // namespace
