// The store sweep after a link opens: a morning's backlog of stored messages, logged and
// deleted against the simulated modem on a pseudo-terminal with the program's own waits.
// Counter "messages/s": stored messages logged and deleted per second.

#include "gsm/MonitorCore.h"
#include "gsm/SmsLog.h"
#include "gsm/TermReader.h"
#include "platform/NamedMutex.h"
#include "support/ModemWaits.h"
#include "support/QuietCore.h"
#include "support/SimModem.h"
#include "support/TestApp.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

size_t LoggedRecords(const std::string& exeDir) {
  std::ifstream in(exeDir + "OrvexMonitor.log", std::ios::binary | std::ios::ate);
  return in ? static_cast<size_t>(in.tellg()) / kLogRecordSize : 0;
}

void StoreSweep(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  TestApplication();
  for (auto _ : state) {
    QTemporaryDir dir, runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path().toUtf8().constData(), 1);
    const std::string exeDir = dir.path().toStdString() + "/";
    TSimOnPty modem;
    modem.Sim.SetEcho(false);
    modem.Sim.SetStoreCapacity("SM", count);
    for (int i = 0; i < count; ++i) {
      TSimDeliver message;
      message.Sender = "+79001234567";
      message.Text = "12345 reset backlog " + std::to_string(i);
      modem.Sim.StoreSms(message);
    }
    auto portMutex = TNamedMutex::Create(kPortMutexName);
    TQuietCore core(exeDir);
    core.CreateLogMutex();
    core.ApplyModemSettings(PortSettings(modem.SlavePath()));
    std::string message;
    if (!core.Modem().OpenComPort(modem.SlavePath(), message)) {
      state.SkipWithError(message.c_str());
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    core.StartTermReader(true);
    const bool done = WaitUntil(
        [&] { return LoggedRecords(exeDir) == static_cast<size_t>(count) && modem.Sim.StoredMessages("SM").empty(); },
        600000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (!done) state.SkipWithError("the sweep did not log and delete every stored message");
    state.counters["messages/s"] = count / seconds;
    core.StopTermReader();
  }
}

}  // namespace

BENCHMARK(StoreSweep)->Arg(200)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
