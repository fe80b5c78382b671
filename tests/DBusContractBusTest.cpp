// The link between the monitor and the dispatcher program on a session bus of its own: this
// test plays the monitor (its window, its automation client) against the stand-in dispatcher
// running as a separate process.

#include "common/Text.h"
#include "platform/DBusWindow.h"
#include "platform/DispatcherAutomation.h"
#include "platform/NamedMutex.h"
#include "support/PrivateBus.h"
#include "support/StandinProcess.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <csignal>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

const QString kStandinPath =
    QStringLiteral(ORVEX_BINARY_DIR "/tools/dispatcher/orvex-dispatcher-standin");
const QString kDispatcherClass = QStringLiteral("TOrvexForm");
const QString kMonitorClass = QStringLiteral("TOrvexMonitorForm");
// Bounds for things that should happen at once; they only keep a broken build from hanging.
constexpr int kPatienceMs = 10000;

// The event loop of the test, and a lock folder of its own for the named mutexes (inherited by
// the stand-ins), so that no other program of the user that takes "OrvexMutex" meets this test.
class TQtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "DBusContractBusTest";
    static char* argv[] = {name, nullptr};
    App = std::make_unique<QCoreApplication>(argc, argv);
    RuntimeDir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(RuntimeDir->path()));
  }
  void TearDown() override {
    RuntimeDir.reset();
    App.reset();
  }

private:
  std::unique_ptr<QCoreApplication> App;
  std::unique_ptr<QTemporaryDir> RuntimeDir;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

QString Hex(const QByteArray& bytes) {
  return QString::fromLatin1(bytes.toHex());
}

QByteArray Bytes(const std::string& bytes) {
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The stand-in dispatcher built with this test, as a child process.
class TStandin : public TStandinProcess {
public:
  explicit TStandin(const QStringList& arguments = {}) : TStandinProcess(kStandinPath, arguments) {}
};

// The monitor's window as the test plays it: records each command and answers it.
class TMonitorWindow {
public:
  struct TMessage {
    uint32_t Code;
    QByteArray Payload;
  };

  explicit TMonitorWindow(std::function<uint32_t(uint32_t, const QByteArray&)> answer = {})
      : Answer(std::move(answer)),
        Window(kMonitorClass, [this](uint32_t code, const QByteArray& payload) {
          Received.push_back({code, payload});
          return Answer ? Answer(code, payload) : 1u;
        }) {}

  bool Register() { return Window.Register(); }

  std::vector<TMessage> Received;

private:
  std::function<uint32_t(uint32_t, const QByteArray&)> Answer;
  TDBusWindow Window;
};

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
  const QString path = dir.filePath(name);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
  file.write(text);
  return path;
}

TEST(DBusWindow, ClassNamesThatCannotBeBusNamesFindNothing) {
  EXPECT_EQ(TDBusWindow::BusName(kDispatcherClass), QStringLiteral("org.orvex.window.TOrvexForm"));
  const QString invalid[] = {QString(), QStringLiteral("1Form"), QStringLiteral("T.Form"),
                             QStringLiteral("T Form"), QStringLiteral("ТФорма")};
  for (const QString& name : invalid) {
    SCOPED_TRACE(name.toStdString());
    EXPECT_TRUE(TDBusWindow::BusName(name).isEmpty());
    EXPECT_FALSE(TDBusWindow::FindWindow(name));
    uint32_t result = 99;
    EXPECT_FALSE(TDBusWindow::SendCopyData(name, 1, {}, 1000, &result));
    EXPECT_EQ(result, 0u);
    TDBusWindow window(name, {});
    EXPECT_FALSE(window.Register());
  }
}

TEST(DBusWindow, FindWindowTellsWhetherTheDispatcherRuns) {
  EXPECT_FALSE(TDBusWindow::FindWindow(kDispatcherClass));
  uint32_t result = 99;
  EXPECT_FALSE(TDBusWindow::SendCopyData(kDispatcherClass, 4, {}, 1000, &result));
  EXPECT_EQ(result, 0u);
  {
    TStandin standin;
    ASSERT_TRUE(standin.Ready());
    EXPECT_TRUE(TDBusWindow::FindWindow(kDispatcherClass));
    EXPECT_FALSE(TDBusWindow::FindWindow(kMonitorClass));
    EXPECT_EQ(standin.Quit(), 0);
  }
  EXPECT_TRUE(SpinUntil([] { return !TDBusWindow::FindWindow(kDispatcherClass); }));
  EXPECT_FALSE(TDBusWindow::SendCopyData(kDispatcherClass, 4, {}, 1000, &result));
}

TEST(DBusWindow, TakenWindowClassIsRefused) {
  TDBusWindow first(kMonitorClass, {});
  TDBusWindow second(kMonitorClass, {});
  ASSERT_TRUE(first.Register());
  EXPECT_FALSE(second.Register());
  first.Unregister();
  EXPECT_TRUE(SpinUntil([&] { return second.Register(); }));

  // A second dispatcher does not start beside a window that has the dispatcher's class.
  TDBusWindow squatter(kDispatcherClass, {});
  ASSERT_TRUE(squatter.Register());
  TStandin standin;
  EXPECT_FALSE(standin.Ready());
  EXPECT_EQ(standin.ExitCode(), 1);
}

TEST(DBusWindow, HandlerExceptionIsAFailedCallNotAnAnswer) {
  TDBusWindow window(kMonitorClass, [](uint32_t code, const QByteArray&) -> uint32_t {
    if (code == 13) throw std::runtime_error("broken");
    return code + 1;
  });
  ASSERT_TRUE(window.Register());
  struct Case {
    uint32_t code;
    bool delivered;
    uint32_t result;
  };
  const Case cases[] = {{1, true, 2}, {13, false, 0}, {6, true, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    uint32_t result = 99;
    EXPECT_EQ(TDBusWindow::SendCopyData(kMonitorClass, c.code, {}, 2000, &result), c.delivered);
    EXPECT_EQ(result, c.result);
  }
}

// The quit command ends the window from inside its own handler; its answer still arrives.
TEST(DBusWindow, WindowEndedByItsOwnHandlerStillAnswers) {
  struct Case {
    const char* what;
    bool destroy;  // destroy the window object, or only unregister it
  };
  const Case cases[] = {{"unregistered", false}, {"destroyed", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<TDBusWindow> window;
    window = std::make_unique<TDBusWindow>(kMonitorClass, [&](uint32_t code, const QByteArray&) {
      if (c.destroy) window.reset();
      else window->Unregister();
      return code;
    });
    ASSERT_TRUE(window->Register());
    uint32_t result = 0;
    EXPECT_TRUE(TDBusWindow::SendCopyData(kMonitorClass, 6, {}, 2000, &result));
    EXPECT_EQ(result, 6u);
    EXPECT_TRUE(SpinUntil([] { return !TDBusWindow::FindWindow(kMonitorClass); }));
  }
}

TEST(DispatcherStandin, NoticesArriveWithTheirExactBytesAndTheConfiguredAnswer) {
  QByteArray everyByte;
  for (int i = 0; i < 256; ++i) everyByte.append(static_cast<char>(i));
  QByteArray largest(10240, '\0');
  for (qsizetype i = 0; i < largest.size(); ++i) largest[i] = static_cast<char>(i * 7);

  struct Case {
    const char* what;
    uint32_t code;
    QByteArray payload;
    uint32_t answer;
  };
  const Case cases[] = {
      {"no payload", 4, {}, 1},
      {"text with its NUL counted", 2, Bytes(Cp1251("Ошибка открытия порта") + '\0'), 1},
      {"every byte value", 5, everyByte, 7},
      {"the largest unread block", 5, largest, 1},
      {"answer 0 still arrives", 0, {}, 0},
      {"answer in the top bit", 3, {}, 0x80000001u},
  };
  TStandin standin;
  ASSERT_TRUE(standin.Ready());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(standin.Ask(QStringLiteral("answer %1").arg(c.answer)), QStringLiteral("ok"));
    uint32_t result = 99;
    ASSERT_TRUE(TDBusWindow::SendCopyData(kDispatcherClass, c.code, c.payload, 5000, &result));
    EXPECT_EQ(result, c.answer);
    QString expected = QStringLiteral("notice %1 %2").arg(c.code).arg(c.payload.size());
    if (!c.payload.isEmpty()) expected += u' ' + Hex(c.payload);
    EXPECT_EQ(standin.Next(QStringLiteral("notice")).value_or(QString()), expected);
  }
}

TEST(DispatcherStandin, CommandsReachTheMonitorWindowWithTheirBytes) {
  TStandin standin;
  ASSERT_TRUE(standin.Ready());
  // Nobody has the monitor's window yet.
  EXPECT_EQ(standin.Ask(QStringLiteral("command 0")), QStringLiteral("undelivered 0"));

  struct Case {
    const char* what;
    uint32_t code;
    QByteArray payload;
  };
  const Case cases[] = {
      {"open the modem", 0, {}},
      {"send an SMS", 2, QByteArray("+79001234567\0Hello world", 24)},
      {"an SMS text in code page 1251", 2,
       Bytes("89001234567" + std::string(1, '\0') + Cp1251("Привет, водитель"))},
      {"an unknown command", 99, QByteArray("\xff\x00\x80", 3)},
  };
  TMonitorWindow monitor([](uint32_t code, const QByteArray&) { return code == 99 ? 0u : 1u; });
  ASSERT_TRUE(monitor.Register());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    monitor.Received.clear();
    QString line = QStringLiteral("command %1").arg(c.code);
    if (!c.payload.isEmpty()) line += u' ' + Hex(c.payload);
    EXPECT_EQ(standin.Ask(line),
              QStringLiteral("result %1 %2").arg(c.code).arg(c.code == 99 ? 0 : 1));
    ASSERT_EQ(monitor.Received.size(), 1u);
    EXPECT_EQ(monitor.Received[0].Code, c.code);
    EXPECT_EQ(monitor.Received[0].Payload, c.payload);
  }
  // Malformed control lines send nothing.
  monitor.Received.clear();
  const QString malformed[] = {QStringLiteral("command 2 123"), QStringLiteral("command 2 zz"),
                               QStringLiteral("command two"), QStringLiteral("command")};
  for (const QString& line : malformed)
    EXPECT_TRUE(standin.Ask(line).startsWith(QLatin1String("error"))) << line.toStdString();
  EXPECT_TRUE(monitor.Received.empty());
}

TEST(DispatcherStandin, WaitForAPeerThatDoesNotAnswerIsBounded) {
  constexpr int kPeerBlocksMs = 3000;
  TStandin standin({QStringLiteral("--delay"), QString::number(kPeerBlocksMs)});
  ASSERT_TRUE(standin.Ready());
  QElapsedTimer timer;
  timer.start();
  uint32_t result = 99;
  EXPECT_FALSE(TDBusWindow::SendCopyData(kDispatcherClass, 4, {}, 300, &result));
  // The call gave up before the peer would have answered it.
  EXPECT_LT(timer.elapsed(), kPeerBlocksMs);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(standin.Next(QStringLiteral("notice")).value_or(QString()),
            QStringLiteral("notice 4 0"));

  // The link works on once the peer answers again; its late answer is not taken for this one.
  ASSERT_EQ(standin.Ask(QStringLiteral("delay 0")), QStringLiteral("ok"));
  ASSERT_EQ(standin.Ask(QStringLiteral("answer 5")), QStringLiteral("ok"));
  EXPECT_TRUE(TDBusWindow::SendCopyData(kDispatcherClass, 1, {}, 5000, &result));
  EXPECT_EQ(result, 5u);
}

// A call from a thread other than the main one has its answer, or fails within its bound: the
// wait there does not run on the main thread's events.
TEST(DispatcherStandin, CallsFromAWorkerThreadAreAnsweredOrBounded) {
  constexpr int kPeerBlocksMs = 3000;
  TStandin standin;
  ASSERT_TRUE(standin.Ready());
  ASSERT_EQ(standin.Ask(QStringLiteral("answer 7")), QStringLiteral("ok"));
  struct Case {
    const char* what;
    QString className;
    int peerDelayMs;
    int timeoutMs;
    bool delivered;
    uint32_t result;
  };
  const Case cases[] = {
      {"answered", kDispatcherClass, 0, 5000, true, 7},
      {"no such window", kMonitorClass, 0, 5000, false, 0},
      {"peer too slow", kDispatcherClass, kPeerBlocksMs, 300, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(standin.Ask(QStringLiteral("delay %1").arg(c.peerDelayMs)), QStringLiteral("ok"));
    uint32_t result = 99;
    bool delivered = !c.delivered;
    qint64 elapsedMs = 0;
    std::thread worker([&] {
      QElapsedTimer timer;
      timer.start();
      delivered = TDBusWindow::SendCopyData(c.className, 4, {}, c.timeoutMs, &result);
      elapsedMs = timer.elapsed();
    });
    worker.join();
    EXPECT_EQ(delivered, c.delivered);
    EXPECT_EQ(result, c.result);
    EXPECT_LT(elapsedMs, c.peerDelayMs > 0 ? c.peerDelayMs : c.timeoutMs + 2000);
  }
}

TEST(DispatcherStandin, PeerCallingBackBeforeItAnswersIsServed) {
  TStandin standin;
  ASSERT_TRUE(standin.Ready());

  // The dispatcher, handling our notice, first sends us a command and waits for its answer.
  {
    TMonitorWindow monitor;
    ASSERT_TRUE(monitor.Register());
    ASSERT_EQ(standin.Ask(QStringLiteral("callback 4")), QStringLiteral("ok"));
    uint32_t result = 0;
    EXPECT_TRUE(TDBusWindow::SendCopyData(kDispatcherClass, 1, {}, 5000, &result));
    EXPECT_EQ(result, 1u);
    ASSERT_EQ(monitor.Received.size(), 1u);  // served during our own call
    EXPECT_EQ(monitor.Received[0].Code, 4u);
    EXPECT_EQ(standin.Next(QStringLiteral("result")).value_or(QString()),
              QStringLiteral("result 4 1"));
    EXPECT_EQ(standin.Next(QStringLiteral("notice")).value_or(QString()),
              QStringLiteral("notice 1 0"));
  }

  // The other way round: our handler of the dispatcher's command sends it a notice first.
  bool noticeDelivered = false;
  uint32_t noticeAnswer = 0;
  TMonitorWindow monitor([&](uint32_t code, const QByteArray&) {
    noticeDelivered = TDBusWindow::SendCopyData(kDispatcherClass, 5, QByteArray("\x01\x02", 2),
                                                5000, &noticeAnswer);
    return code == 5 ? 1u : 0u;
  });
  ASSERT_TRUE(SpinUntil([&] { return monitor.Register(); }));
  EXPECT_EQ(standin.Ask(QStringLiteral("command 5")), QStringLiteral("result 5 1"));
  EXPECT_TRUE(noticeDelivered);
  EXPECT_EQ(noticeAnswer, 1u);
  EXPECT_EQ(standin.Next(QStringLiteral("notice")).value_or(QString()),
            QStringLiteral("notice 5 2 0102"));
}

// Three groups, one of them empty; Cyrillic names, an absent alias, CRLF line ends, comments.
const QByteArray kFleet =
    "# fleet of the test\r\n"
    "[Автобусы]\r\n"
    "1234|Bus 12|Volvo|+79001234567|pass1234\r\n"
    "99||ГАЗель|+79007654321| a b\n"
    "\n"
    "[Пустая]\n"
    "[Vans]\n"
    "123456|||8900|\n";

TEST(DispatcherAutomation, OperationsReadTheWholeFleet) {
  QTemporaryDir dir;
  TStandin standin(
      {QStringLiteral("--fleet"), WriteFile(dir, QStringLiteral("fleet.txt"), kFleet)});
  ASSERT_TRUE(standin.Ready());
  TDispatcherAutomation automation;
  ASSERT_TRUE(automation.Connect()) << automation.LastError().toStdString();

  struct Group {
    const char* name;
    int32_t cars;
  };
  const Group groups[] = {{"Автобусы", 2}, {"Пустая", 0}, {"Vans", 1}};
  int32_t count = -1;
  ASSERT_TRUE(automation.get_GroupsNum(count));
  ASSERT_EQ(count, 3);
  for (int32_t g = 1; g <= 3; ++g) {
    SCOPED_TRACE(g);
    ASSERT_TRUE(automation.SelectGroup(g));
    QString name;
    ASSERT_TRUE(automation.get_GroupName(name));
    EXPECT_EQ(name, QString::fromUtf8(groups[g - 1].name));
    ASSERT_TRUE(automation.get_GroupCarsNum(count));
    EXPECT_EQ(count, groups[g - 1].cars);
  }

  struct Car {
    int32_t group, car, device;
    const char *alias, *model, *phone, *handle;
  };
  const Car cars[] = {
      {1, 1, 1234, "Bus 12", "Volvo", "+79001234567", "pass1234"},
      {1, 2, 99, "", "ГАЗель", "+79007654321", " a b"},
      {3, 1, 123456, "", "", "8900", ""},
  };
  for (const Car& c : cars) {
    SCOPED_TRACE(c.device);
    ASSERT_TRUE(automation.SelectGroup(c.group));
    ASSERT_TRUE(automation.SelectCar(c.car));
    int32_t device = 0;
    QString alias, model, phone, handle;
    ASSERT_TRUE(automation.get_CarAlias(alias));
    ASSERT_TRUE(automation.get_CarModel(model));
    ASSERT_TRUE(automation.get_CarHandle(handle));
    ASSERT_TRUE(automation.get_CarTelNum(phone));
    ASSERT_TRUE(automation.get_CarDevice(device));
    EXPECT_EQ(device, c.device);
    EXPECT_EQ(alias, QString::fromUtf8(c.alias));
    EXPECT_EQ(model, QString::fromUtf8(c.model));
    EXPECT_EQ(phone, QString::fromUtf8(c.phone));
    EXPECT_EQ(handle, QString::fromUtf8(c.handle));
  }
}

TEST(DispatcherAutomation, FailuresAreErrorReplies) {
  TDispatcherAutomation automation;
  int32_t count = 0;
  EXPECT_FALSE(automation.get_GroupsNum(count));  // not linked
  EXPECT_FALSE(automation.Connect());             // nothing runs, nothing can be started
  EXPECT_FALSE(automation.Advise([](int32_t) {}));

  QTemporaryDir dir;
  TStandin standin(
      {QStringLiteral("--fleet"), WriteFile(dir, QStringLiteral("fleet.txt"), kFleet)});
  ASSERT_TRUE(standin.Ready());
  ASSERT_TRUE(automation.Connect());

  const QString outOfRange = QStringLiteral("org.orvex.Error.OutOfRange");
  const QString nothingSelected = QStringLiteral("org.orvex.Error.NothingSelected");
  QString text;
  int32_t number = 0;
  struct Case {
    const char* what;
    std::function<bool()> call;  // the last call's outcome, which must fail
    QString error;
  };
  const Case cases[] = {
      // Before anything was selected.
      {"group name", [&] { return automation.get_GroupName(text); }, nothingSelected},
      {"vehicle count", [&] { return automation.get_GroupCarsNum(number); }, nothingSelected},
      {"vehicle without a group", [&] { return automation.SelectCar(1); }, nothingSelected},
      {"group 0", [&] { return automation.SelectGroup(0); }, outOfRange},
      {"group after the last", [&] { return automation.SelectGroup(4); }, outOfRange},
      {"negative group", [&] { return automation.SelectGroup(-1); }, outOfRange},
      {"vehicle getter with only a group selected",
       [&] { return automation.SelectGroup(1) && automation.get_CarDevice(number); },
       nothingSelected},
      {"vehicle after the last",
       [&] { return automation.SelectGroup(1) && automation.SelectCar(3); }, outOfRange},
      {"vehicle of an empty group",
       [&] { return automation.SelectGroup(2) && automation.SelectCar(1); }, outOfRange},
      {"getter after a failed group selection",
       [&] {
         return automation.SelectGroup(1) && (automation.SelectGroup(9) || true) &&
                automation.get_GroupName(text);
       },
       nothingSelected},
      {"getter after a failed vehicle selection",
       [&] {
         return automation.SelectGroup(1) && automation.SelectCar(1) &&
                (automation.SelectCar(0) || true) && automation.get_CarHandle(text);
       },
       nothingSelected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(c.call());
    EXPECT_TRUE(automation.LastError().startsWith(c.error)) << automation.LastError().toStdString();
  }

  // A dispatcher that ended is not started again by a call on the old link.
  ASSERT_EQ(standin.Quit(), 0);
  EXPECT_FALSE(automation.get_GroupsNum(count));
  EXPECT_FALSE(TDBusWindow::FindWindow(kDispatcherClass));
}

TEST(DispatcherAutomation, EventsReachTheSubscriberInOrder) {
  QTemporaryDir dir;
  TStandin standin(
      {QStringLiteral("--fleet"), WriteFile(dir, QStringLiteral("fleet.txt"), kFleet)});
  ASSERT_TRUE(standin.Ready());
  TDispatcherAutomation automation;
  ASSERT_TRUE(automation.Connect());

  // As the monitor does: on 201 read the fleet again, on 203 drop the link, both from inside
  // the event.
  std::vector<int32_t> events;
  int32_t groupsSeen = -1;
  ASSERT_TRUE(automation.Advise([&](int32_t dispId) {
    events.push_back(dispId);
    if (dispId == TDispatcherAutomation::kEventFleetChanged) automation.get_GroupsNum(groupsSeen);
    if (dispId == TDispatcherAutomation::kEventLinkEnds) automation.Disconnect();
  }));
  const QString smaller = WriteFile(dir, QStringLiteral("smaller.txt"), "[Один]\n7|a|b|c|d\n");
  ASSERT_EQ(standin.Ask(QLatin1String("fleet ") + smaller), QStringLiteral("ok"));
  for (const char* line : {"event 201", "event 7", "event 203"})
    ASSERT_EQ(standin.Ask(QString::fromLatin1(line)), QStringLiteral("ok"));
  ASSERT_TRUE(SpinUntil([&] { return events.size() >= 3; }));
  EXPECT_EQ(events, (std::vector<int32_t>{201, 7, 203}));
  EXPECT_EQ(groupsSeen, 1);
  EXPECT_FALSE(automation.IsConnected());
  EXPECT_FALSE(automation.IsAdvised());

  // Neither a dropped link nor an Unadvise hears events. The answer to a call sent after the
  // event is proof that the event would have been here by now: the bus keeps the order of one
  // sender's messages.
  ASSERT_EQ(standin.Ask(QStringLiteral("event 201")), QStringLiteral("ok"));
  ASSERT_TRUE(automation.Connect());
  int32_t count = 0;
  EXPECT_TRUE(automation.get_GroupsNum(count));
  QCoreApplication::processEvents();
  EXPECT_EQ(events.size(), 3u);

  ASSERT_TRUE(automation.Advise([&](int32_t dispId) { events.push_back(dispId); }));
  ASSERT_EQ(standin.Ask(QStringLiteral("event 7")), QStringLiteral("ok"));
  ASSERT_TRUE(SpinUntil([&] { return events.size() == 4; }));
  automation.Unadvise();
  ASSERT_EQ(standin.Ask(QStringLiteral("event 201")), QStringLiteral("ok"));
  EXPECT_TRUE(automation.get_GroupsNum(count));
  QCoreApplication::processEvents();
  EXPECT_EQ(events, (std::vector<int32_t>{201, 7, 203, 7}));
}

TEST(DispatcherStandin, HoldsTheDispatcherMutexWhileItRuns) {
  const std::unique_ptr<TNamedMutex> probe = TNamedMutex::Create("OrvexMutex");
  ASSERT_TRUE(probe);
  {
    TStandin standin;
    ASSERT_TRUE(standin.Ready());
    EXPECT_EQ(probe->Wait(10), TMutexWait::TimedOut);
    TStandin second;
    EXPECT_FALSE(second.Ready());
    EXPECT_EQ(second.ExitCode(), 1);
    EXPECT_EQ(standin.Quit(), 0);
  }
  ASSERT_EQ(probe->Wait(10), TMutexWait::Obtained);
  // A dispatcher does not start while someone else holds its mutex.
  TStandin blocked;
  EXPECT_FALSE(blocked.Ready());
  EXPECT_EQ(blocked.ExitCode(), 1);
  EXPECT_FALSE(TDBusWindow::FindWindow(kDispatcherClass));
  EXPECT_TRUE(probe->Release());
}

TEST(DispatcherStandin, BadFleetFileOrOptionsStopTheStart) {
  QTemporaryDir dir;
  struct Case {
    const char* what;
    QByteArray fleet;
  };
  const Case cases[] = {
      {"a vehicle before the first group", "1|a|b|c|d\n[G]\n"},
      {"four fields", "[G]\n1|a|b|c\n"},
      {"six fields", "[G]\n1|a|b|c|d|e\n"},
      {"a device number that is no integer", "[G]\nx12|a|b|c|d\n"},
      {"a device number too large", "[G]\n99999999999|a|b|c|d\n"},
      {"an unclosed group", "[G\n1|a|b|c|d\n"},
      {"a group without a name", "[]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TStandin standin(
        {QStringLiteral("--fleet"), WriteFile(dir, QStringLiteral("bad.txt"), c.fleet)});
    EXPECT_FALSE(standin.Ready());
    EXPECT_EQ(standin.ExitCode(), 2);
  }
  const QStringList badOptions[] = {
      {QStringLiteral("--fleet"), dir.filePath(QStringLiteral("missing.txt"))},
      {QStringLiteral("--answer"), QStringLiteral("x")},
      {QStringLiteral("--delay"), QStringLiteral("-5")},
      {QStringLiteral("stray")},
  };
  for (const QStringList& options : badOptions) {
    SCOPED_TRACE(options.join(u' ').toStdString());
    TStandin standin(options);
    EXPECT_FALSE(standin.Ready());
    EXPECT_EQ(standin.ExitCode(), 2);
  }
}

// The bus starts the dispatcher for its automation name when nobody has it, from the service
// file the build writes; here on a private bus whose only service folder is the build's.
TEST(DispatcherAutomation, LinkingStartsTheDispatcherThroughTheBus) {
  QTemporaryDir dir;
  TPrivateBus privateBus(dir.path(), QStringLiteral(ORVEX_BINARY_DIR "/dbus-services"));
  ASSERT_TRUE(privateBus.Start(kPatienceMs));
  const QString address = privateBus.Address();

  const QString connectionName = QStringLiteral("activation");
  {
    QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
    ASSERT_TRUE(bus.isConnected());
    const QString service = QString::fromLatin1(TDispatcherAutomation::kServiceName);
    EXPECT_FALSE(bus.interface()->isServiceRegistered(service).value());

    TDispatcherAutomation automation(bus);
    EXPECT_TRUE(automation.Connect()) << automation.LastError().toStdString();
    int32_t groups = -1;
    EXPECT_TRUE(automation.get_GroupsNum(groups));
    EXPECT_EQ(groups, 0);

    // End the dispatcher that the bus started, by its process id.
    const uint pid = TPrivateBus::OwnerPid(bus, service);
    ASSERT_GT(pid, 0u);
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    EXPECT_TRUE(SpinUntil([&] { return !bus.interface()->isServiceRegistered(service).value(); }));
  }
  QDBusConnection::disconnectFromBus(connectionName);
}

}  // namespace
