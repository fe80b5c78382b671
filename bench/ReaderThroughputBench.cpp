// The reader against a line that never goes quiet: a modem on a pseudo-terminal that sends its
// status reports as fast as the line takes them, with the program's own waits. The writer is
// held back by the line whenever the reader falls behind, so once the line's buffers are full
// what goes in is what the reader takes out.
// Counter "bytes/s": what the reader takes from the line a second (a 115200-baud line brings
// 11520 at most).

#include "gsm/MonitorCore.h"
#include "gsm/TermReader.h"
#include "platform/NamedMutex.h"
#include "support/ModemWaits.h"
#include "support/QuietCore.h"
#include "support/PseudoTerminal.h"
#include "support/TestApp.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// Status reports of the common modems, one after the other without a pause.
const std::string kReports =
    "\r\n^RSSI:18\r\n\r\n^DSFLOWRPT:0000012C,00000000,00000000,000000000000A2B4,0000000000015E8C,0003E800,"
    "0003E800\r\n\r\n+CREG: 1\r\n\r\n^MODE:5,4\r\n\r\nRDY\r\n\r\n+CIEV: 2,3\r\n";

// Writes the reports into the line as fast as it takes them and counts what went in.
class TReportWriter {
public:
  explicit TReportWriter(int fd) : Fd(fd) {
    ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) | O_NONBLOCK);
    Worker = std::thread([this] { Run(); });
  }
  ~TReportWriter() {
    Stopping = true;
    Worker.join();
  }
  uint64_t Written() const { return Count.load(); }

private:
  void Run() {
    size_t at = 0;
    while (!Stopping) {
      pollfd ready{Fd, POLLOUT, 0};
      if (::poll(&ready, 1, 20) <= 0) continue;
      const ssize_t put = ::write(Fd, kReports.data() + at, kReports.size() - at);
      if (put <= 0) continue;
      Count += static_cast<uint64_t>(put);
      at = (at + static_cast<size_t>(put)) % kReports.size();
    }
  }

  int Fd;
  std::atomic<bool> Stopping{false};
  std::atomic<uint64_t> Count{0};
  std::thread Worker;
};

void ReaderIntake(benchmark::State& state) {
  const int seconds = static_cast<int>(state.range(0));
  TestApplication();
  for (auto _ : state) {
    QTemporaryDir dir, runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path().toUtf8().constData(), 1);
    const std::string exeDir = dir.path().toStdString() + "/";
    TPseudoTerminal line;
    auto portMutex = TNamedMutex::Create(kPortMutexName);
    TQuietCore core(exeDir);
    core.CreateLogMutex();
    core.ApplyModemSettings(PortSettings(line.SlavePath()));
    std::string message;
    if (!line.IsOpen() || !core.Modem().OpenComPort(line.SlavePath(), message)) {
      state.SkipWithError("no pseudo-terminal");
      return;
    }
    core.StartTermReader(false);
    TReportWriter writer(line.MasterFd());
    // Until the line's buffers are full, what goes in is more than the reader takes.
    RunFor(3000);
    const uint64_t before = writer.Written();
    const auto start = std::chrono::steady_clock::now();
    RunFor(seconds * 1000);
    const uint64_t taken = writer.Written() - before;
    const double span = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(span);
    state.counters["bytes/s"] = static_cast<double>(taken) / span;
    core.StopTermReader();
  }
}

}  // namespace

BENCHMARK(ReaderIntake)->Arg(10)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
