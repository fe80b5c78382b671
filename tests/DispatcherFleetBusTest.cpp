// The dispatcher's fleet over its automation server: the stand-in dispatcher, a separate
// process on the test's own session bus, serves the groups and vehicles, fails the calls it is
// told to and sends the events.

#include "common/Text.h"
#include "platform/DispatcherAutomation.h"
#include "shell/DispatcherFleet.h"
#include "shell/OrvexMonitorForm.h"
#include "support/PrivateBus.h"
#include "support/StandinProcess.h"
#include "support/TestApp.h"
#include "support/Warnings.h"

#include <QAction>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const QString kStandin = QStringLiteral(ORVEX_BINARY_DIR "/tools/dispatcher/orvex-dispatcher-standin");
constexpr int kPatienceMs = 10000;

class TEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    Runtime = std::make_unique<QTemporaryDir>();
    setenv("XDG_RUNTIME_DIR", Runtime->path().toUtf8().constData(), 1);
  }
  void TearDown() override { Runtime.reset(); }

private:
  std::unique_ptr<QTemporaryDir> Runtime;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TEnvironment);

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
  const QString path = dir.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
  return path;
}

// Two groups of vehicles and an empty one, with every caption rule and password length.
const char* const kFleetA =
    "[Автобусы]\n"
    "1234|Bus 12|Volvo|+79001234567|pass1234extra\n"
    "1234||Van|+79002000000|abcde\n"
    "1234|||+79003000000|\n"
    "123456|||+79004000000|пароль12\n"
    "[Пустая]\n"
    "[Trucks]\n"
    "32500|Truck 7||+79005000000|77777777\n";

// The fleet as lines: "group index name" and "  caption|phone|password hex|device".
std::vector<std::string> Describe(const TFleet& fleet) {
  std::vector<std::string> lines;
  for (const auto& group : fleet) {
    lines.push_back("group " + std::to_string(group->Index) + " " + Utf8FromCp1251(group->Name));
    for (const auto& car : group->Cars) {
      const QByteArray password(car->Password.data(), static_cast<qsizetype>(car->Password.size()));
      lines.push_back("  " + car->Caption.toStdString() + "|" + car->Phone.toStdString() + "|" +
                      password.toHex().toStdString() + "|" + std::to_string(car->Device) + "|" +
                      std::to_string(car->Flag));
    }
  }
  return lines;
}

const std::vector<std::string> kFleetALines = {
    "group 1 Автобусы",
    "  Bus 12 (01234)|+79001234567|7061737331323334|1234|0",
    "  Van (01234)|+79002000000|6162636465000000|1234|0",
    "  01234|+79003000000|0000000000000000|1234|0",
    "  123456|+79004000000|efe0f0eeebfc3132|123456|0",
    "group 2 Пустая",
    "group 3 Trucks",
    "  Truck 7 (32500)|+79005000000|3737373737373737|32500|0",
};

class DispatcherFleetTest : public ::testing::Test {
protected:
  QTemporaryDir Dir;
  TFleet Fleet;
  int Replaced = 0;
  int Depth = 0;
  int DeepestReplace = 0;
  std::unique_ptr<TDispatcherFleet> Link;

  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Dir.isValid());
    Link = std::make_unique<TDispatcherFleet>(Fleet, [this] {
      ++Replaced;
      DeepestReplace = std::max(DeepestReplace, ++Depth);
      --Depth;
    });
  }

  QString FleetFile(const char* text, const QString& name = QStringLiteral("fleet.txt")) {
    return WriteFile(Dir, name, QByteArray(text));
  }

  // A load runs in the background: these start one and wait for its end.
  void Load() {
    Link->LoadFleet();
    ASSERT_TRUE(SpinUntil([&] { return !Link->IsLoading(); }));
  }
  void Reload() {
    Link->ReloadFleet();
    ASSERT_TRUE(SpinUntil([&] { return !Link->IsLoading(); }));
  }
};

TEST_F(DispatcherFleetTest, LoadGivesGroupsAndVehiclesInTheDispatchersOrder) {
  TStandinProcess standin(kStandin, {QStringLiteral("--fleet"), FleetFile(kFleetA)});
  ASSERT_TRUE(standin.Ready());
  // Three vehicles have no alias: a fourth model call would fail the load.
  ASSERT_EQ(standin.Ask(QStringLiteral("fail get_CarModel 4")), QStringLiteral("ok"));
  ASSERT_TRUE(Link->ConnectDispatcher());
  EXPECT_FALSE(Link->ConnectDispatcher());  // linked already
  Load();
  EXPECT_EQ(Describe(Fleet), kFleetALines);
  EXPECT_TRUE(Link->LastLoadError().isEmpty()) << Link->LastLoadError().toStdString();
  EXPECT_EQ(StoredPassword(*Fleet[0]->Cars[1]), "abcde");
  EXPECT_EQ(StoredPassword(*Fleet[0]->Cars[2]), "");
  EXPECT_EQ(StoredPassword(*Fleet[0]->Cars[0]), "pass1234");
}

TEST_F(DispatcherFleetTest, FailingGetterEndsTheLoadAndKeepsWhatWasRead) {
  TStandinProcess standin(kStandin, {QStringLiteral("--fleet"), FleetFile(kFleetA)});
  ASSERT_TRUE(standin.Ready());
  ASSERT_TRUE(Link->ConnectDispatcher());
  struct Case {
    const char* Control;
    std::vector<std::string> Fleet;
  };
  const Case cases[] = {
      {"fail get_GroupName 2", {kFleetALines.begin(), kFleetALines.begin() + 5}},
      {"fail get_GroupCarsNum 1", {"group 1 Автобусы"}},
      {"fail get_CarAlias 2", {kFleetALines.begin(), kFleetALines.begin() + 2}},
      {"fail get_CarDevice 5", {kFleetALines.begin(), kFleetALines.begin() + 7}},
      {"fail get_GroupsNum 1", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Control);
    ASSERT_EQ(standin.Ask(QString::fromLatin1(c.Control)), QStringLiteral("ok"));
    Reload();
    EXPECT_EQ(Describe(Fleet), c.Fleet);
    EXPECT_TRUE(Link->LastLoadError().contains(QStringLiteral("org.orvex.Error.Failed")))
        << Link->LastLoadError().toStdString();
  }
  // The link stands: the next load is whole.
  Reload();
  EXPECT_EQ(Describe(Fleet), kFleetALines);
}

TEST_F(DispatcherFleetTest, EventDuringALoadGivesOneMoreLoadAfterIt) {
  TStandinProcess standin(kStandin, {QStringLiteral("--fleet"), FleetFile(kFleetA)});
  ASSERT_TRUE(standin.Ready());
  ASSERT_TRUE(Link->ConnectDispatcher());
  ASSERT_EQ(standin.Ask(QStringLiteral("eventin get_CarAlias 2 201")), QStringLiteral("ok"));
  Link->LoadFleet();
  // The event may be taken inside the load or just after it: either way two loads, never one
  // inside the other.
  EXPECT_TRUE(SpinUntil([&] { return Replaced == 2 && !Link->IsLoading(); }));
  EXPECT_EQ(Replaced, 2);
  EXPECT_EQ(DeepestReplace, 1);
  EXPECT_EQ(Describe(Fleet), kFleetALines);

  // The link ends in the middle of a load: the load is finished first.
  ASSERT_EQ(standin.Ask(QStringLiteral("eventin get_CarHandle 2 203")), QStringLiteral("ok"));
  Link->ReloadFleet();
  EXPECT_TRUE(SpinUntil([&] { return !Link->IsLinked(); }));
  EXPECT_EQ(Describe(Fleet), kFleetALines);
  const int replaced = Replaced;
  ASSERT_EQ(standin.Ask(QStringLiteral("event 201")), QStringLiteral("ok"));
  SpinUntil([] { return false; }, 300);  // time for anything that would come
  EXPECT_EQ(Replaced, replaced);
}

// A dispatcher that lies about its counts: the load reads up to the bounds, ends with what came
// and says so in the warning output; texts are cut to their bound.
TEST_F(DispatcherFleetTest, CountsBeyondTheBoundsEndTheLoadWithWhatCame) {
  TStandinProcess standin(kStandin);  // no fleet: whatever the counts name is made up
  ASSERT_TRUE(standin.Ready());
  ASSERT_TRUE(Link->ConnectDispatcher());
  Link->Bounds = {4, 6};
  struct Case {
    const char* Lie;
    std::vector<size_t> Cars;  // per group read
    const char* Warning;       // nullptr: a whole load
  };
  const Case cases[] = {
      {"lie 2147483647 0", {0, 0, 0, 0}, "2147483647 groups"},
      {"lie 3 2147483647", {6}, "2147483647 vehicles in group 1"},
      {"lie 2 4", {4, 2}, "4 vehicles in group 2"},
      {"lie 2 3", {3, 3}, nullptr},
      {"lie 4 0", {0, 0, 0, 0}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Lie);
    TWarningCapture warnings;
    ASSERT_EQ(standin.Ask(QString::fromLatin1(c.Lie)), QStringLiteral("ok"));
    Reload();
    std::vector<size_t> cars;
    for (const auto& group : Fleet) cars.push_back(group->Cars.size());
    EXPECT_EQ(cars, c.Cars);
    if (c.Warning) {
      EXPECT_TRUE(Link->LastLoadError().contains(QLatin1String(c.Warning))) << Link->LastLoadError().toStdString();
      EXPECT_EQ(warnings.Count({"read only in part", c.Warning}), 1) << ::testing::PrintToString(warnings.Lines());
    } else {
      EXPECT_TRUE(Link->LastLoadError().isEmpty()) << Link->LastLoadError().toStdString();
      EXPECT_TRUE(warnings.Lines().empty()) << ::testing::PrintToString(warnings.Lines());
    }
  }
  ASSERT_EQ(standin.Ask(QStringLiteral("lie 1 1")), QStringLiteral("ok"));
  Reload();
  EXPECT_EQ(Describe(Fleet),
            (std::vector<std::string>{"group 1 Группа 1", "  Машина 1 (00001)|+79000000001|0000000000000000|1|0"}));

  const std::string name(300, 'N');
  const std::string alias(300, 'A');
  const std::string phone(300, '7');
  ASSERT_EQ(standin.Ask(QStringLiteral("lie off")), QStringLiteral("ok"));
  const QString longTexts = FleetFile(("[" + name + "]\n5|" + alias + "||" + phone + "|h\n").c_str(), "long.txt");
  ASSERT_EQ(standin.Ask(QLatin1String("fleet ") + longTexts), QStringLiteral("ok"));
  Reload();
  EXPECT_EQ(Describe(Fleet), (std::vector<std::string>{"group 1 " + name.substr(0, 256),
                                                       "  " + alias.substr(0, 256) + " (00005)|" + phone.substr(0, 256) +
                                                           "|6800000000000000|5|0"}));
}

// A storm of event 201: one load at a time, the monitor's own event loop runs between them
// while the storm goes on, and the fleet after the storm is the one the last event announced.
TEST_F(DispatcherFleetTest, StormOfReloadEventsGivesOneLoadAtATimeAndTheLastCounts) {
  // A fleet whose load takes longer than the events' spacing.
  QByteArray big = "[Большая]\n";
  for (int i = 1; i <= 300; ++i) big += QByteArray::number(i) + "|Машина " + QByteArray::number(i) + "||+7900|p\n";
  TStandinProcess standin(kStandin, {QStringLiteral("--fleet"), FleetFile(big.constData(), "big.txt")});
  ASSERT_TRUE(standin.Ready());
  ASSERT_TRUE(Link->ConnectDispatcher());
  Load();
  ASSERT_EQ(Fleet.size(), 1u);
  const int before = Replaced;
  // At least 20 s of events, unless a shorter storm replaces it.
  ASSERT_EQ(standin.Ask(QStringLiteral("storm 201 20000 1")), QStringLiteral("ok"));
  // Loads come and go while the storm blows: each one ended back in this loop.
  ASSERT_TRUE(SpinUntil([&] { return Replaced >= before + 3; }, 60000));
  EXPECT_EQ(standin.Pending(QStringLiteral("storm done"), 0), 0) << "the storm was over before the loop ran again";
  // The fleet changes in the middle of the storm, which then ends with a few more events.
  ASSERT_EQ(standin.Ask(QLatin1String("fleet ") + FleetFile(kFleetA)), QStringLiteral("ok"));
  ASSERT_EQ(standin.Ask(QStringLiteral("storm 201 5 1")), QStringLiteral("ok"));
  ASSERT_TRUE(standin.Next(QStringLiteral("storm done"), 60000).has_value());
  ASSERT_TRUE(SpinUntil([&] { return !Link->IsLoading(); }, 30000));
  EXPECT_EQ(Describe(Fleet), kFleetALines);
  EXPECT_EQ(DeepestReplace, 1);
}

// The stand-in's scripted failures and events: malformed control lines are refused, N = 0
// cancels a plan, and a plan is played once.
TEST_F(DispatcherFleetTest, StandinPlaysTheCallPlansItIsGiven) {
  TStandinProcess standin(kStandin, {QStringLiteral("--fleet"), FleetFile(kFleetA)});
  ASSERT_TRUE(standin.Ready());
  struct Case {
    const char* Line;
    bool Accepted;
  };
  const Case cases[] = {
      {"fail get_CarAlias 1", true},     {"fail get_CarAlias 0", true},    {"fail Nothing 1", false},
      {"fail get_CarAlias", false},      {"fail get_CarAlias -1", false},  {"eventin SelectCar 1 201", true},
      {"eventin SelectCar 0 201", true}, {"eventin SelectCar 1", false},   {"eventin SelectCar x 201", false},
      {"eventin nothing 1 201", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Line);
    EXPECT_EQ(standin.Ask(QString::fromLatin1(c.Line)).startsWith(QStringLiteral("ok")), c.Accepted);
  }
  // Both plans were cancelled: the load is whole and no reload follows.
  ASSERT_TRUE(Link->ConnectDispatcher());
  Load();
  SpinUntil([] { return false; }, 300);  // time for an event that would come
  EXPECT_EQ(Describe(Fleet), kFleetALines);
  EXPECT_EQ(Replaced, 1);
  // A plan is played once.
  ASSERT_EQ(standin.Ask(QStringLiteral("fail get_CarHandle 1")), QStringLiteral("ok"));
  Reload();
  EXPECT_EQ(Describe(Fleet), (std::vector<std::string>{"group 1 Автобусы"}));
  Reload();
  EXPECT_EQ(Describe(Fleet), kFleetALines);
}

// The sink keeps a source it could not subscribe to: the link stands without events.
TEST_F(DispatcherFleetTest, SinkKeepsASourceWhoseEventsItCannotHear) {
  TDispatcherAutomation source;
  {
    TStandinProcess standin(kStandin);
    ASSERT_TRUE(standin.Ready());
    ASSERT_TRUE(source.Connect());
    EXPECT_EQ(standin.Quit(), 0);
  }
  Link->Events.Connect(&source);
  EXPECT_EQ(Link->Events.Source, &source);
  EXPECT_FALSE(source.IsAdvised());
  // Ids other than the two events do nothing; 201 without a link empties the fleet.
  Link->Events.Invoke(7);
  EXPECT_EQ(Replaced, 0);
  Link->Events.Invoke(201);
  EXPECT_EQ(Replaced, 1);
  Link->Events.Disconnect();
  EXPECT_EQ(Link->Events.Source, nullptr);
}

TEST_F(DispatcherFleetTest, NoDispatcherAndNoServiceFileGiveNoLinkAndNoFleet) {
  EXPECT_FALSE(Link->ConnectDispatcher());
  EXPECT_FALSE(Link->IsLinked());
  Link->LoadFleet();
  EXPECT_TRUE(Fleet.empty());
  EXPECT_EQ(Replaced, 0);
}

// A send window that records what the form hands it.
class TRecordingSendWindow : public QWidget, public TSendWindow {
public:
  TRecordingSendWindow() : QWidget(nullptr, Qt::Window) {}
  std::vector<std::vector<std::string>> Fills;
  std::vector<std::vector<std::string>> Refills;
  void FillDeviceList(const TFleet& fleet) override { Fills.push_back(Describe(fleet)); }
  void RefillDeviceList(const TFleet& fleet) override { Refills.push_back(Describe(fleet)); }
};

class FormFleetTest : public ::testing::Test {
protected:
  QTemporaryDir Dir;
  std::unique_ptr<TOrvexMonitorForm> Form;
  QPointer<TRecordingSendWindow> Window;

  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Dir.isValid());
  }

  void Create() {
    Form = std::make_unique<TOrvexMonitorForm>(Dir.path().toStdString() + "/");
    Form->SetWindowFactory([this](TWindowKind kind, TMonitorServices&) -> QWidget* {
      if (kind != TWindowKind::Sms) return nullptr;
      Window = new TRecordingSendWindow;
      return Window.data();
    });
    Form->FormCreate();
  }
  // The start's link and load run in the background.
  void CreateAndLoad() {
    Create();
    ASSERT_TRUE(SpinUntil([&] { return !Form->DispatcherFleet().IsLoading(); }));
  }
};

TEST_F(FormFleetTest, EventsReloadTheFleetIntoAnOpenSendWindowUntilTheLinkEnds) {
  const QString fleetA = WriteFile(Dir, QStringLiteral("a.txt"), kFleetA);
  const QString fleetB = WriteFile(Dir, QStringLiteral("b.txt"), "[Пустая]\n");
  TStandinProcess standin(kStandin, {QStringLiteral("--fleet"), fleetA});
  ASSERT_TRUE(standin.Ready());
  CreateAndLoad();
  // The dispatcher ran before the monitor: the link stays after the first load.
  EXPECT_EQ(Describe(Form->Fleet), kFleetALines);
  EXPECT_TRUE(Form->DispatcherFleet().IsLinked());

  // Closed window: only the fleet changes.
  ASSERT_EQ(standin.Ask(QLatin1String("fleet ") + fleetB), QStringLiteral("ok"));
  ASSERT_EQ(standin.Ask(QStringLiteral("event 201")), QStringLiteral("ok"));
  EXPECT_TRUE(SpinUntil([&] { return Form->Fleet.size() == 1; }));
  EXPECT_EQ(Describe(Form->Fleet), (std::vector<std::string>{"group 1 Пустая"}));

  // Open window: refilled from the new fleet.
  Form->SendSmsClick();
  ASSERT_TRUE(Window);
  EXPECT_EQ(Window->Fills, (std::vector<std::vector<std::string>>{{"group 1 Пустая"}}));
  ASSERT_EQ(standin.Ask(QLatin1String("fleet ") + fleetA), QStringLiteral("ok"));
  ASSERT_EQ(standin.Ask(QStringLiteral("event 201")), QStringLiteral("ok"));
  EXPECT_TRUE(SpinUntil([&] { return Window->Refills.size() == 1; }));
  EXPECT_EQ(Window->Refills.back(), kFleetALines);
  ASSERT_EQ(standin.Ask(QStringLiteral("event 7")), QStringLiteral("ok"));

  // 203 ends the link; a 201 after it changes nothing.
  ASSERT_EQ(standin.Ask(QStringLiteral("event 203")), QStringLiteral("ok"));
  EXPECT_TRUE(SpinUntil([&] { return !Form->DispatcherFleet().IsLinked(); }));
  ASSERT_EQ(standin.Ask(QLatin1String("fleet ") + fleetB), QStringLiteral("ok"));
  ASSERT_EQ(standin.Ask(QStringLiteral("event 201")), QStringLiteral("ok"));
  SpinUntil([] { return false; }, 300);  // time for anything that would come
  EXPECT_EQ(Window->Refills.size(), 1u);
  EXPECT_EQ(Describe(Form->Fleet), kFleetALines);
}

// A dispatcher that lies about its fleet keeps no part of the start waiting: the monitor's
// window is on the bus when FormCreate returns, answers the dispatcher's commands and opens the
// modem while the fleet still loads, and the monitor ends in the middle of the load.
TEST_F(FormFleetTest, StartGoesOnWhileADispatcherLendsAnEndlessFleet) {
  TStandinProcess standin(kStandin);
  ASSERT_TRUE(standin.Ready());
  ASSERT_EQ(standin.Ask(QStringLiteral("lie 1 2147483647")), QStringLiteral("ok"));
  Create();
  QDBusConnection bus = QDBusConnection::sessionBus();
  EXPECT_TRUE(bus.interface()->isServiceRegistered(QStringLiteral("org.orvex.window.TOrvexMonitorForm")).value());
  // Open the modem (there is none: the set-up fails and says so with notice 2).
  EXPECT_EQ(standin.Ask(QStringLiteral("command 0")), QStringLiteral("result 0 1"));
  EXPECT_TRUE(standin.Next(QStringLiteral("notice 2")).has_value());
  EXPECT_TRUE(Form->DispatcherFleet().IsLoading());
  EXPECT_TRUE(Form->Fleet.empty());
  Form.reset();
}

// The bus starts a dispatcher that does not run, from the build's service file (here given a
// fleet file); the monitor reads the fleet once and lets the link go, as the dispatcher was
// not the user's own.
TEST_F(FormFleetTest, DispatcherStartedForTheMonitorIsReadOnceAndUnlinked) {
  QFile built(QStringLiteral(ORVEX_BINARY_DIR "/dbus-services/org.orvex.OrvexAutomation.service"));
  ASSERT_TRUE(built.open(QIODevice::ReadOnly));
  QByteArray service = built.readAll();
  const QString fleetFile = WriteFile(Dir, QStringLiteral("fleet.txt"), kFleetA);
  const qsizetype exec = service.indexOf("Exec=");
  ASSERT_GE(exec, 0);
  const qsizetype end = service.indexOf('\n', exec);
  service.insert(end < 0 ? service.size() : end, " --fleet " + fleetFile.toUtf8());
  QDir().mkpath(Dir.filePath(QStringLiteral("services")));
  WriteFile(Dir, QStringLiteral("services/org.orvex.OrvexAutomation.service"), service);

  TPrivateBus privateBus(Dir.path(), Dir.filePath(QStringLiteral("services")));
  ASSERT_TRUE(privateBus.Start(kPatienceMs));
  const QString address = privateBus.Address();
  // The form's session bus is this one: nothing in this test process used the other yet.
  setenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8().constData(), 1);

  CreateAndLoad();
  EXPECT_EQ(Describe(Form->Fleet), kFleetALines);
  EXPECT_FALSE(Form->DispatcherFleet().IsLinked());

  QDBusConnection bus = QDBusConnection::sessionBus();
  const QString name = QString::fromLatin1(TDispatcherAutomation::kServiceName);
  const uint pid = TPrivateBus::OwnerPid(bus, name);
  ASSERT_GT(pid, 0u);
  Form.reset();
  ::kill(static_cast<pid_t>(pid), SIGTERM);
  EXPECT_TRUE(SpinUntil([&] { return !bus.interface()->isServiceRegistered(name).value(); }));
}

}  // namespace
