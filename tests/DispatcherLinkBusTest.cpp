// The main form's window messages with the dispatcher program, on a session bus of its own:
// the stand-in dispatcher, a separate process, sends the commands and takes the notices.

#include "common/Text.h"
#include "gsm/ConfigureModem.h"
#include "shell/DispatcherNotices.h"
#include "gsm/ModemPort.h"
#include "gsm/SmsLog.h"
#include "platform/DBusWindow.h"
#include "platform/NamedMutex.h"
#include "shell/DispatcherLink.h"
#include "shell/OrvexMonitorForm.h"
#include "support/PseudoTerminal.h"
#include "support/StandinProcess.h"
#include "support/TestApp.h"

#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const QString kStandin = QStringLiteral(ORVEX_BINARY_DIR "/tools/dispatcher/orvex-dispatcher-standin");

// The application, and a lock folder of the test's own for the named mutexes (the stand-in
// inherits it), set before anything opens a mutex.
class TEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    Runtime = std::make_unique<QTemporaryDir>();
    setenv("XDG_RUNTIME_DIR", Runtime->path().toUtf8().constData(), 1);
    TestApplication();
  }
  void TearDown() override { Runtime.reset(); }

private:
  std::unique_ptr<QTemporaryDir> Runtime;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TEnvironment);

QByteArray Bytes(const std::string& bytes) { return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())); }

// The main form with the modem side replaced by counters and, for the modem check, a modem
// port of the test's choosing.
class TLinkForm : public TOrvexMonitorForm {
public:
  explicit TLinkForm(std::string exeDir) : TOrvexMonitorForm(std::move(exeDir)) {
    connect(this, &TOrvexMonitorForm::Closed, this, [this] { ClosedSeen = true; });
  }
  int Opens = 0;
  int Closes = 0;
  bool ModemOpen = false;
  bool ClosedSeen = false;
  TAtChannel* Link = nullptr;

  void OpenModemLink() override { ++Opens; }
  void CloseModemLink() override {
    ++Closes;
    ModemOpen = false;
  }
  bool IsModemOpen() const override { return ModemOpen; }
  TAtChannel* ModemChannel() override { return Link; }
};

class DispatcherLinkTest : public ::testing::Test {
protected:
  QTemporaryDir Dir;
  std::string ExeDir;
  std::unique_ptr<TLinkForm> Form;

  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    ExeDir = Dir.path().toStdString() + "/";
  }

  void TearDown() override {
    Form.reset();
    // The next form registers the same window name.
    SpinUntil([] { return !TDBusWindow::FindWindow(TDispatcherLink::kMonitorClass); });
  }

  void Create() {
    Form = std::make_unique<TLinkForm>(ExeDir);
    Form->FormCreate();
    ASSERT_TRUE(Form->DispatcherLink().IsRegistered());
  }

  void AppendUnread(const std::string& text) { Append(text, 0); }
  void AppendRead(const std::string& text) { Append(text, 1); }

  void Append(const std::string& text, uint8_t read, TDateTime time = 45356.5 /* 2024-03-07 12:00:00 */) {
    TLogRecord record;
    record.Read = read;
    record.Time = time;
    record.Phone = "79001234567";
    record.Text = text;
    TLogRecordBytes bytes = EncodeLogRecord(record);
    std::ofstream(ExeDir + "OrvexMonitor.log", std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

  // The read byte of every record of the log.
  std::string ReadMarks() {
    std::ifstream in(ExeDir + "OrvexMonitor.log", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), {});
    std::string marks;
    for (size_t at = 0; at + kLogRecordSize <= log.size(); at += kLogRecordSize) marks += log[at] ? '1' : '0';
    return marks;
  }

  static QString Command(TStandinProcess& standin, uint32_t code, const QByteArray& payload = {}) {
    QString line = QStringLiteral("command %1").arg(code);
    if (!payload.isEmpty()) line += u' ' + QString::fromLatin1(payload.toHex());
    return standin.Ask(line);
  }

  // The next notice line of the stand-in, as text that a failure shows readably.
  static std::string NextNotice(TStandinProcess& standin) {
    return standin.Next(QStringLiteral("notice")).value_or(QString()).toStdString();
  }

  static QString Result(uint32_t code, uint32_t answer) { return QStringLiteral("result %1 %2").arg(code).arg(answer); }
};

using TPairs = std::vector<TSendQueue::TPair>;

TEST_F(DispatcherLinkTest, EveryCommandAnswersAndActs) {
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  struct Case {
    const char* What;
    uint32_t Code;
    QByteArray Payload;
    const char* PhonePort;
    bool ModemOpen;
    uint32_t Answer;
    int Opens;
    int Closes;
    TPairs Queued;
  };
  const Case cases[] = {
      {"open the modem", 0, {}, "direct", false, 1, 1, 0, {}},
      {"release an open USB terminal", 1, {}, "direct", true, 1, 0, 1, {}},
      {"a modem on a serial port stays open", 1, {}, "/dev/ttyS0", true, 1, 0, 0, {}},
      {"release with nothing open", 1, {}, "direct", false, 1, 0, 0, {}},
      {"send: a 12-digit number, a NUL and 11 characters", 2, QByteArray("790012345678\0Hello world", 24), "direct",
       true, 1, 0, 0, {{"790012345678", "Hello world"}}},
      {"send: the text ends at a second NUL", 2, QByteArray("790012345678\0Hello\0world", 25), "direct", true, 1, 0,
       0, {{"790012345678", "Hello"}}},
      {"send: code page 1251 bytes pass unchanged", 2,
       Bytes("+79001234567" + std::string(1, '\0') + Cp1251("Привет, водитель")), "direct", false, 1, 0, 0,
       {{"+79001234567", Cp1251("Привет, водитель")}}},
      {"send: 11 bytes are too short", 2, QByteArray("7900123\0abc", 11), "direct", true, 0, 0, 0, {}},
      {"send without payload", 2, {}, "direct", true, 0, 0, 0, {}},
      {"code 3 does nothing", 3, {}, "direct", true, 0, 0, 0, {}},
      {"check the modem with none to talk to", 4, {}, "direct", false, 0, 0, 0, {}},
      {"stop the out-call", 7, {}, "direct", true, 1, 0, 0, {}},
      {"an unknown code", 8, QByteArray("\x01\x02", 2), "direct", true, 0, 0, 0, {}},
      {"the largest code", 0xFFFFFFFFu, {}, "direct", true, 0, 0, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    Form->Opens = Form->Closes = 0;
    Form->Core.Sender().SendQueue.Clear();
    Form->Mirror().PhonePort = c.PhonePort;
    Form->ModemOpen = c.ModemOpen;
    EXPECT_EQ(Command(standin, c.Code, c.Payload), Result(c.Code, c.Answer));
    EXPECT_EQ(Form->Opens, c.Opens);
    EXPECT_EQ(Form->Closes, c.Closes);
    EXPECT_EQ(Form->Core.Sender().SendQueue.Items(), c.Queued);
  }
  EXPECT_FALSE(Form->ClosedSeen);
}

// The notice line of the stand-in for a send the queue refused: notice 2 with the reason and
// its terminating NUL, as after a failed send.
std::string RefusalNotice(const char* reason) {
  const std::string payload = Cp1251(reason) + '\0';
  return "notice 2 " + std::to_string(payload.size()) + " " + Bytes(payload).toHex().toStdString();
}

// The payload of the send command comes from another program: whatever it holds, the answer
// is defined and nothing is read outside it. Only a number of digits and a text that one
// message holds are queued; everything else answers 0. A message the queue refuses is also
// told by notice 2 with the reason, as a failed send is; a payload that holds no message at
// all is not. Neither shows a balloon or leaves a log record.
TEST_F(DispatcherLinkTest, UntrustedSendPayloadsGetADefinedAnswer) {
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  Form->Mirror().ShowNotify = true;
  const QByteArray megabyte(1 << 20, 'x');
  QByteArray everyByte("+7900\0", 6);
  for (int i = 1; i < 256; ++i) everyByte.append(static_cast<char>(i));
  QByteArray everyAscii("+7900\0", 6);
  for (int i = 1; i < 128; ++i) everyAscii.append(static_cast<char>(i));
  const std::string badNumber = RefusalNotice("Неверный номер");
  const std::string tooLong = RefusalNotice("Слишком длинный текст сообщения");
  struct Case {
    const char* What;
    QByteArray Payload;
    uint32_t Answer;
    TPairs Queued;
    std::string Notice;  // "" when none comes
  };
  const Case cases[] = {
      {"12 bytes without a NUL", QByteArray("790012345678"), 0, {}, ""},
      {"a megabyte without a NUL", megabyte, 0, {}, ""},
      {"a NUL only at the very end", megabyte + '\0', 0, {}, badNumber},
      {"a megabyte of text", QByteArray("+79001234567\0", 13) + megabyte, 0, {}, tooLong},
      {"160 characters of text", QByteArray("+79001234567\0", 13) + QByteArray(160, 'x'), 0, {}, tooLong},
      {"159 characters of text", QByteArray("+79001234567\0", 13) + QByteArray(159, 'x'), 1,
       {{"+79001234567", std::string(159, 'x')}}, ""},
      {"every byte value after the NUL: too long for one message", everyByte, 0, {}, tooLong},
      {"every ASCII value after the NUL", everyAscii, 1, {{"+7900", everyAscii.mid(6).toStdString()}}, ""},
      {"twelve NULs", QByteArray(12, '\0'), 0, {}, badNumber},
      // Swapped in pairs into the PDU, this number spelled a Ctrl-Z and "AT+CMGD=1".
      {"a command inside the number", QByteArray("A\x1a+TMCDG1=\n\r\0hello", 18), 0, {}, badNumber},
      {"a number with blanks", QByteArray("+7 900 1234\0hello", 17), 0, {}, badNumber},
      {"a bad number and a text too long: the number is named", QByteArray("+7 900 1234\0", 12) + megabyte, 0, {},
       badNumber},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    Form->Core.Sender().SendQueue.Clear();
    EXPECT_EQ(Command(standin, kCommandSendSms, c.Payload), Result(kCommandSendSms, c.Answer));
    EXPECT_EQ(Form->Core.Sender().SendQueue.Items(), c.Queued);
    if (c.Notice.empty())
      EXPECT_EQ(standin.Pending(QStringLiteral("notice")), 0);
    else
      EXPECT_EQ(NextNotice(standin), c.Notice);
  }
  EXPECT_FALSE(Form->Tray.IsBalloonShown());
  EXPECT_FALSE(std::filesystem::exists(ExeDir + "OrvexMonitor.log"));
}

// A dispatcher that sends without end fills the send queue only up to its bound: the command
// past it answers 0, is told why, and leaves the queue as it was.
TEST_F(DispatcherLinkTest, SendCommandsBeyondTheQueuesBoundAnswerZero) {
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  for (size_t i = 1; i < TSmsSender::kMaxQueuedSms; ++i) Form->Core.Sender().SendQueue.Add("+79001234567", "queued");
  const QByteArray payload("+79005550000\0one more", 22);
  EXPECT_EQ(Command(standin, kCommandSendSms, payload), Result(kCommandSendSms, 1));
  EXPECT_EQ(Form->Core.Sender().SendQueue.Count(), TSmsSender::kMaxQueuedSms);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Command(standin, kCommandSendSms, payload), Result(kCommandSendSms, 0));
    EXPECT_EQ(NextNotice(standin), RefusalNotice("Очередь отправки переполнена"));
  }
  EXPECT_EQ(Form->Core.Sender().SendQueue.Count(), TSmsSender::kMaxQueuedSms);
  EXPECT_EQ(Form->Core.Sender().SendQueue.Items().back(), TSendQueue::TPair("+79005550000", "one more"));
}

// Refusals that come faster than the dispatcher takes their notices: every command has its
// answer at once, the notices follow one at a time, in order, and no more of them wait than
// the link keeps.
TEST_F(DispatcherLinkTest, RefusalNoticesOfAFloodAreBounded) {
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  const size_t kept = TDispatcherLink::kMaxRefusalNotices;
  const QByteArray badNumber("+7 900\0hello", 12);
  const QByteArray tooLong = QByteArray("+7900\0", 6) + QByteArray(200, 'x');
  for (size_t i = 0; i < kept + 50; ++i)
    EXPECT_EQ(Form->DispatcherLink().WMCopyData(kCommandSendSms, i % 2 == 0 ? badNumber : tooLong), 0u);
  for (size_t i = 0; i < kept; ++i) {
    const char* reason = i % 2 == 0 ? "Неверный номер" : "Слишком длинный текст сообщения";
    ASSERT_EQ(NextNotice(standin), RefusalNotice(reason)) << i;
  }
  EXPECT_EQ(standin.Pending(QStringLiteral("notice")), 0);
}

TEST_F(DispatcherLinkTest, NoticesCarryTheirExactBytes) {
  TStandinProcess standin(kStandin, {QStringLiteral("--answer"), QStringLiteral("7")});
  ASSERT_TRUE(standin.Ready());
  Create();
  const std::string longText(70000, 'e');
  struct Case {
    const char* What;
    std::function<uint32_t(TMonitorEvents&)> Send;
    std::string Notice;
  };
  const Case cases[] = {
      {"an SMS was sent", NotifySmsSent, "notice 0 0"},
      {"the modem is open", NotifyModemOpen, "notice 1 0"},
      {"a failed send counts the terminating NUL",
       [](TMonitorEvents& core) { return NotifySendError(core, Cp1251("Модем не отвечает")); },
       "notice 2 18 cceee4e5ec20ede520eef2e2e5f7e0e5f200"},
      {"a failed set-up sends the text alone",
       [](TMonitorEvents& core) { return NotifySetupError(core, Cp1251("Модем занят")); },
       "notice 2 11 cceee4e5ec20e7e0edfff2"},
      {"a failed set-up with an empty text", [](TMonitorEvents& core) { return NotifySetupError(core, ""); },
       "notice 2 0"},
      {"the link was lost", NotifyLinkLost, "notice 3 0"},
      {"unread messages wait", NotifyUnread, "notice 4 0"},
      {"codes without payload drop what they are given",
       [](TMonitorEvents& core) { return core.NotifyDispatcher(kNoticeUnread, "junk"); }, "notice 4 0"},
      {"a block of bytes", [](TMonitorEvents& core) { return core.NotifyDispatcher(5, std::string("\x00\xff\x01", 3)); },
       "notice 5 3 00ff01"},
      {"a payload travels with at most 65535 bytes",
       [&](TMonitorEvents& core) { return core.NotifyDispatcher(kNoticeError, longText); },
       "notice 2 65535 " + QByteArray(65535, 'e').toHex().toStdString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(c.Send(*Form), 7u);
    EXPECT_EQ(NextNotice(standin), c.Notice);
  }
  // An unknown code is not sent at all.
  EXPECT_EQ(Form->NotifyDispatcher(6, "x"), 0u);
  EXPECT_EQ(standin.Pending(QStringLiteral("notice")), 0);
  // The answer is the dispatcher's, 0 included.
  ASSERT_EQ(standin.Ask(QStringLiteral("answer 0")), QStringLiteral("ok"));
  EXPECT_EQ(NotifySmsSent(*Form), 0u);
}

// Two unread messages from 79001234567, stored 2024-03-07 12:00 (day 45356.5), each a record
// of kind 1 of 2 + 1 + 12 + 8 + 4 bytes.
const std::string kUnreadNotice = (
    "notice 5 54 "
    "1b0001373930303132333435363700000000009025e640616263001b0001373930303132333435363700000000009025e64064656600");

TEST_F(DispatcherLinkTest, UnreadNoticeEndsOnlyWhenTheDispatcherTakesTheBlock) {
  AppendUnread("abc");
  AppendUnread("def");
  TStandinProcess standin(kStandin, {QStringLiteral("--answer"), QStringLiteral("0")});
  ASSERT_TRUE(standin.Ready());
  Create();
  // The log's unread records started the notice, and the dispatcher heard of them.
  EXPECT_EQ(NextNotice(standin), "notice 4 0");
  ASSERT_TRUE(Form->Core.UnreadPending());

  // Refused: the messages stay unread and the red icon and reminder stay on.
  EXPECT_EQ(Command(standin, kCommandUnreadBlock), Result(5, 1));
  EXPECT_EQ(NextNotice(standin), kUnreadNotice);
  EXPECT_TRUE(SpinUntil([&] { return Form->DispatcherLink().RunningPackers() == 0; }));
  SpinUntil([] { return false; }, 100);
  EXPECT_TRUE(Form->Core.UnreadPending());
  EXPECT_TRUE(Form->ConfirmTimer->isActive());
  EXPECT_EQ(Form->Tray.IconNumber(), TTrayIcon::kIconUnread);
  EXPECT_EQ(ReadMarks(), "00");

  // Taken: the notice ends and the records are read.
  ASSERT_EQ(standin.Ask(QStringLiteral("answer 1")), QStringLiteral("ok"));
  EXPECT_EQ(Command(standin, kCommandUnreadBlock), Result(5, 1));
  EXPECT_EQ(NextNotice(standin), kUnreadNotice);
  EXPECT_TRUE(SpinUntil([&] { return !Form->Core.UnreadPending(); }));
  EXPECT_FALSE(Form->ConfirmTimer->isActive());
  EXPECT_EQ(Form->Tray.IconNumber(), TTrayIcon::kIconModemClosed);
  EXPECT_EQ(ReadMarks(), "11");

  // Nothing unread: an empty block, still a notice.
  EXPECT_EQ(Command(standin, kCommandUnreadBlock), Result(5, 1));
  EXPECT_EQ(NextNotice(standin), "notice 5 0");
}

// More unread messages than one block carries: taking the block marks only the messages in
// it read, and the notice goes on for the rest until they have been taken too.
TEST_F(DispatcherLinkTest, MessagesLeftOutOfABlockStayUnreadAndAreAnnounced) {
  for (int i = 0; i < 30; ++i) AppendUnread("abc");
  AppendRead("seen");
  for (int i = 0; i < 30; ++i) AppendUnread("abc");
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  ASSERT_EQ(NextNotice(standin), "notice 4 0");

  EXPECT_EQ(Command(standin, kCommandUnreadBlock), Result(5, 1));
  EXPECT_EQ(NextNotice(standin).substr(0, 14), "notice 5 1350 ");  // fifty records of 27 bytes
  EXPECT_EQ(NextNotice(standin), "notice 4 0");
  EXPECT_TRUE(Form->Core.UnreadPending());
  EXPECT_EQ(ReadMarks(), std::string(51, '1') + std::string(10, '0'));

  EXPECT_EQ(Command(standin, kCommandUnreadBlock), Result(5, 1));
  EXPECT_EQ(NextNotice(standin).substr(0, 13), "notice 5 270 ");
  EXPECT_TRUE(SpinUntil([&] { return !Form->Core.UnreadPending(); }));
  EXPECT_EQ(ReadMarks(), std::string(61, '1'));
  EXPECT_EQ(standin.Pending(QStringLiteral("notice")), 0);
}

// A stored message whose time field names no date (1e300, record 5 of 8) still goes to the
// dispatcher, as a message that could not be read, and taking the block marks every message
// read: the block is handed over once and the unread notice ends.
TEST_F(DispatcherLinkTest, AnUnreadableMessageIsHandedOverWithAllTheOthersOnce) {
  for (int i = 0; i < 8; ++i) {
    if (i == 4)
      Append("12345 periodwr=60;", 0, 1e300);
    else
      AppendUnread("abc");
  }
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  ASSERT_EQ(NextNotice(standin), "notice 4 0");

  EXPECT_EQ(Command(standin, kCommandUnreadBlock), Result(5, 1));
  // Seven records of kind 1 (27 bytes each), and the unreadable one: its length, kind 0 and
  // its text.
  const std::string unreadable = "160000" + QByteArray("12345 periodwr=60;").toHex().toStdString() + "00";
  const std::string abc = "1b0001373930303132333435363700000000009025e64061626300";
  EXPECT_EQ(NextNotice(standin), "notice 5 211 " + abc + abc + abc + abc + unreadable + abc + abc + abc);
  EXPECT_TRUE(SpinUntil([&] { return !Form->Core.UnreadPending(); }));
  EXPECT_EQ(ReadMarks(), std::string(8, '1'));

  EXPECT_EQ(Command(standin, kCommandUnreadBlock), Result(5, 1));
  EXPECT_EQ(NextNotice(standin), "notice 5 0");
  EXPECT_EQ(standin.Pending(QStringLiteral("notice")), 0);
}

// A dispatcher that hangs in its handler holds the monitor up for the bounded wait only: its
// late answer is not taken.
TEST_F(DispatcherLinkTest, AHangingDispatcherIsWaitedForBoundedly) {
  TStandinProcess standin(kStandin, {QStringLiteral("--delay"), QStringLiteral("7000")});
  ASSERT_TRUE(standin.Ready());
  Create();
  EXPECT_EQ(NotifySmsSent(*Form), 0u);
  EXPECT_EQ(NextNotice(standin), "notice 0 0");
}

TEST_F(DispatcherLinkTest, WithoutDispatcherNothingFails) {
  AppendUnread("abc");
  Create();
  ASSERT_TRUE(Form->Core.UnreadPending());
  EXPECT_EQ(NotifySmsSent(*Form), 0u);
  EXPECT_EQ(NotifyModemOpen(*Form), 0u);
  EXPECT_EQ(NotifySendError(*Form, "x"), 0u);
  EXPECT_EQ(NotifySetupError(*Form, "x"), 0u);
  EXPECT_EQ(NotifyLinkLost(*Form), 0u);
  Form->NotifyUnreadSms();
  Form->ConfirmTimerTimer();
  // A block that nobody takes leaves the messages unread.
  EXPECT_EQ(Form->DispatcherLink().WMCopyData(kCommandUnreadBlock, {}), 1u);
  EXPECT_TRUE(SpinUntil([&] { return Form->DispatcherLink().RunningPackers() == 0; }));
  SpinUntil([] { return false; }, 100);
  EXPECT_TRUE(Form->Core.UnreadPending());
  EXPECT_EQ(ReadMarks(), "0");
}

TEST_F(DispatcherLinkTest, FormEndedWhilePackingSendsNoBlock) {
  AppendUnread("abc");
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  ASSERT_TRUE(standin.Next(QStringLiteral("notice 4")).has_value());
  EXPECT_EQ(Form->DispatcherLink().WMCopyData(kCommandUnreadBlock, {}), 1u);
  // No event is served in between: the packer's end cannot have been handled yet.
  Form.reset();
  EXPECT_EQ(standin.Pending(QStringLiteral("notice"), 300), 0);
  EXPECT_EQ(ReadMarks(), "0");
}

TEST_F(DispatcherLinkTest, QuitClosesTheModemAndTheFormAndStillAnswers) {
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  Form->ModemOpen = true;
  EXPECT_EQ(Command(standin, kCommandQuit), Result(6, 1));
  EXPECT_EQ(Form->Closes, 1);
  EXPECT_TRUE(SpinUntil([&] { return Form->ClosedSeen; }));
}

// A modem on a pseudo-terminal for the modem check.
class ModemCheckTest : public DispatcherLinkTest {
protected:
  TPseudoTerminal Line;
  std::unique_ptr<TAtChannel> Link;

  void OpenModem() {
    ASSERT_TRUE(Line.IsOpen());
    Link = std::make_unique<TAtChannel>(ExeDir);
    Link->Port.SetPhonePort(Line.SlavePath());
    std::string message;
    ASSERT_TRUE(Link->Port.OpenComPort(Line.SlavePath(), message)) << message;
    Form->Link = Link.get();
    Form->ModemOpen = true;
  }

  void TearDown() override {
    if (Form) Form->Link = nullptr;
    DispatcherLinkTest::TearDown();
  }
};

TEST_F(ModemCheckTest, HoldsThePortWhileTheModemAnswers) {
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  OpenModem();
  std::atomic<int> answered{0};
  std::atomic<int> portFree{0};
  std::thread modem([&] {
    for (int i = 0; i < 2; ++i) {
      if (Line.ReceiveUntil("AT\r\n", 5000).find("AT\r\n") == std::string::npos) return;
      // Whoever talks to the modem holds the port: nobody else gets it now.
      std::unique_ptr<TNamedMutex> port = TNamedMutex::Create(kPortMutexName);
      if (port && port->Wait(0) == TMutexWait::Obtained) {
        ++portFree;
        port->Release();
      }
      Line.Send("\r\nOK\r\n");
      ++answered;
    }
  });
  EXPECT_EQ(Command(standin, kCommandCheckModem), Result(4, 1));
  modem.join();
  EXPECT_EQ(answered, 2);
  EXPECT_EQ(portFree, 0);
  // Released afterwards: another thread gets the port at once.
  std::atomic<bool> obtained{false};
  std::thread other([&] {
    std::unique_ptr<TNamedMutex> handle = TNamedMutex::Create(kPortMutexName);
    obtained = handle && handle->Wait(0) == TMutexWait::Obtained;
    if (obtained) handle->Release();
  });
  other.join();
  EXPECT_TRUE(obtained);
}

TEST_F(ModemCheckTest, SilentModemAnswersZero) {
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  OpenModem();
  EXPECT_EQ(Command(standin, kCommandCheckModem), Result(4, 0));
  EXPECT_NE(Line.Receive().find("AT\r\n"), std::string::npos);
}

TEST_F(ModemCheckTest, BusyPortAnswersZeroWithoutTalkingToTheModem) {
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  Create();
  OpenModem();
  // Another exchange keeps the port for longer than the check waits.
  std::mutex mutex;
  std::condition_variable changed;
  bool held = false;
  bool done = false;
  std::thread holder([&] {
    std::unique_ptr<TNamedMutex> port = TNamedMutex::Create(kPortMutexName);
    const bool obtained = port && port->Wait(0) == TMutexWait::Obtained;
    std::unique_lock<std::mutex> lock(mutex);
    held = obtained;
    changed.notify_all();
    changed.wait(lock, [&] { return done; });
    if (obtained) port->Release();
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return held; });
  }
  EXPECT_EQ(Command(standin, kCommandCheckModem), Result(4, 0));
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  changed.notify_all();
  holder.join();
  EXPECT_EQ(Line.Receive(50, 300), "");
}

}  // namespace
