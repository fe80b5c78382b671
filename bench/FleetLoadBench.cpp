// Reading the dispatcher's fleet: 1,000 vehicles in 20 groups served by the stand-in
// dispatcher on a private session bus, read the way the monitor reads them (a group's calls
// in flight together) and, for comparison, one call at a time. Then the start's link with a
// fleet of 100,000 vehicles and with a dispatcher that reports 2147483647 vehicles: how long
// the start is held, and how long until the fleet is in. Run it pinned to one core
// ("taskset -c 0 build/FleetLoadBench") to see the load on one core.

#include "platform/DispatcherAutomation.h"
#include "shell/DispatcherFleet.h"

#include "support/ProcessMemory.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace {

constexpr int kGroups = 20;
constexpr int kCarsPerGroup = 50;

// A bus, a stand-in on it serving the fleet, and the application the calls wait in.
class TBenchDispatcher {
public:
  explicit TBenchDispatcher(int groups = kGroups, int carsPerGroup = kCarsPerGroup) {
    static int argc = 1;
    static char name[] = "FleetLoadBench";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
    setenv("XDG_RUNTIME_DIR", Dir.path().toUtf8().constData(), 1);

    Daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!Daemon.waitForStarted(10000) || !Daemon.waitForReadyRead(10000)) return;
    Address = QString::fromUtf8(Daemon.readLine()).trimmed();

    QByteArray fleet;
    for (int g = 1; g <= groups; ++g) {
      fleet += "[Группа " + QByteArray::number(g) + "]\n";
      for (int c = 1; c <= carsPerGroup; ++c) {
        const int device = 20000 + g * 100 + c;
        // Every third vehicle has no alias, so its model is asked too.
        fleet += QByteArray::number(device) + "|" + (c % 3 == 0 ? QByteArray() : "Автобус " + QByteArray::number(c)) +
                 "|ЛиАЗ|+7900" + QByteArray::number(1000000 + device) + "|pass" + QByteArray::number(c) + "\n";
      }
    }
    const QString fleetPath = Dir.filePath(QStringLiteral("fleet.txt"));
    QFile file(fleetPath);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(fleet);
    file.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), Address);
    Standin.setProcessEnvironment(environment);
    Standin.start(QStringLiteral(ORVEX_BENCH_STANDIN), {QStringLiteral("--fleet"), fleetPath});
    if (!Standin.waitForStarted(10000) || !Standin.waitForReadyRead(10000)) return;
    Bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(Address, QStringLiteral("bench")));
  }
  ~TBenchDispatcher() {
    Bus.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("bench"));
    Standin.write("quit\n");
    if (!Standin.waitForFinished(5000)) Standin.kill();
    Daemon.terminate();
    Daemon.waitForFinished(5000);
  }
  bool Ready() const { return Bus && Bus->isConnected(); }

  QTemporaryDir Dir;
  QProcess Daemon;
  QProcess Standin;
  QString Address;
  std::unique_ptr<QDBusConnection> Bus;
};

// Runs the event loop until the link has no load in progress.
void WaitForLoad(const TDispatcherFleet& link) {
  while (link.IsLoading()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BM_LoadFleet(benchmark::State& state) {
  TBenchDispatcher dispatcher;
  if (!dispatcher.Ready()) {
    state.SkipWithError("no bus or no stand-in");
    return;
  }
  TFleet fleet;
  TDispatcherFleet link(fleet, nullptr, *dispatcher.Bus);
  if (!link.ConnectDispatcher()) {
    state.SkipWithError("no link");
    return;
  }
  size_t cars = 0;
  for (auto _ : state) {
    link.ReloadFleet();
    WaitForLoad(link);
    cars = 0;
    for (const auto& group : fleet) cars += group->Cars.size();
  }
  if (cars != kGroups * kCarsPerGroup) state.SkipWithError("the fleet was not read whole");
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(cars));
}
BENCHMARK(BM_LoadFleet)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same reads, each call waiting for its answer before the next goes out.
void BM_LoadFleetOneCallAtATime(benchmark::State& state) {
  TBenchDispatcher dispatcher;
  if (!dispatcher.Ready()) {
    state.SkipWithError("no bus or no stand-in");
    return;
  }
  TDispatcherAutomation automation(*dispatcher.Bus);
  if (!automation.Connect()) {
    state.SkipWithError("no link");
    return;
  }
  int64_t cars = 0;
  for (auto _ : state) {
    cars = 0;
    int32_t groups = 0;
    automation.get_GroupsNum(groups);
    for (int32_t g = 1; g <= groups; ++g) {
      QString text;
      int32_t count = 0;
      automation.SelectGroup(g);
      automation.get_GroupName(text);
      automation.get_GroupCarsNum(count);
      for (int32_t c = 1; c <= count; ++c) {
        int32_t device = 0;
        automation.SelectCar(c);
        automation.get_CarAlias(text);
        if (text.isEmpty()) automation.get_CarModel(text);
        automation.get_CarHandle(text);
        automation.get_CarTelNum(text);
        automation.get_CarDevice(device);
        ++cars;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * cars);
}
BENCHMARK(BM_LoadFleetOneCallAtATime)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The start's link: "start_held_ms" is how long the start waits in it, "fleet_in_ms" how long
// until the fleet is in, "resident_growth_mib" what the process holds more afterwards.
// Argument 0: 100 groups of 1,000 vehicles. Argument 1: one group that the dispatcher says
// holds 2147483647 vehicles.
void BM_StartWithLargeFleet(benchmark::State& state) {
  const bool lying = state.range(0) == 1;
  TBenchDispatcher dispatcher(lying ? 0 : 100, 1000);
  if (!dispatcher.Ready()) {
    state.SkipWithError("no bus or no stand-in");
    return;
  }
  if (lying) dispatcher.Standin.write("lie 1 2147483647\n");
  double held = 0;
  double loaded = 0;
  double grown = 0;
  size_t cars = 0;
  for (auto _ : state) {
    const double before = ResidentMib();
    TFleet fleet;
    TDispatcherFleet link(fleet, nullptr, *dispatcher.Bus);
    QElapsedTimer clock;
    clock.start();
    link.LinkAtStart(true);
    held = static_cast<double>(clock.elapsed());
    WaitForLoad(link);
    loaded = static_cast<double>(clock.elapsed());
    grown = ResidentMib() - before;
    cars = 0;
    for (const auto& group : fleet) cars += group->Cars.size();
  }
  state.counters["start_held_ms"] = held;
  state.counters["fleet_in_ms"] = loaded;
  state.counters["resident_growth_mib"] = grown;
  state.counters["vehicles"] = static_cast<double>(cars);
}
BENCHMARK(BM_StartWithLargeFleet)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
