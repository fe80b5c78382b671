// The message window over a long history: opening it (load, parse, rows, first sort, first
// detail, the list laid out on screen), the refresh that every arriving message runs while it
// is open, a re-sort by a column, and the memory the open window holds and needs at its peak
// per record.

#include "viewer/ShowSmsForm.h"

#include "gsm/SmsLog.h"
#include "support/FakeMonitor.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include <fstream>
#include <memory>
#include <malloc.h>
#include <string>

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "orvex-bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// The monitor over a log in a folder of the run's own (made before the log in it).
struct TBenchFolder {
  QTemporaryDir Temp;
};
class TBenchMonitor : public TBenchFolder, public TFakeMonitor {
public:
  TBenchMonitor() : TFakeMonitor(Temp.path().toStdString() + "/", TLogUse::InFolder) {}
};

const char* const kTexts[] = {
    "12345 141530.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324",
    "12345 periodwr=60;",
    "12345@out1=1",
    "12345@input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324",
    "hello from a phone",
};

// Record i of a history: every sixth one sent, from phones of a small fleet.
TLogRecord HistoryRecord(int i) {
  TLogRecord record;
  record.Direction = i % 6 == 5 ? 1 : 0;
  record.Read = 1;
  record.Accepted = 1;
  record.Time = 45356.5 + i / 86400.0;
  record.Phone = "+7900123" + std::to_string(4000 + i % 500);
  record.Text = kTexts[i % std::size(kTexts)];
  return record;
}

// A history of `count` records.
void WriteHistory(const std::string& path, int count) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int i = 0; i < count; ++i) {
    TLogRecordBytes bytes = EncodeLogRecord(HistoryRecord(i));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
long ProcessBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1)) * 1024;
  return 0;
}

// Starts a new peak of the resident size from the size now.
void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Heap bytes in use: what the open window holds, whatever the allocator kept from before.
long HeapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long>(info.uordblks + info.hblkhd);
}

// Opens the history as the tray menu does, shown, with the first sort and the list laid out.
std::unique_ptr<TShowSmsForm> OpenHistory(TBenchMonitor& monitor) {
  auto form = std::make_unique<TShowSmsForm>(monitor);
  form->ShowTimer.stop();
  form->ShowOperationHistory();
  form->show();
  form->ShowTimerTimer();
  QCoreApplication::processEvents();
  return form;
}

void BM_LoadAndParseHistory(benchmark::State& state) {
  TBenchMonitor monitor;
  const int records = static_cast<int>(state.range(0));
  WriteHistory(monitor.Log()->LogPath(), records);
  for (auto _ : state) {
    TSmsHistory history;
    monitor.LoadSmsLog(history);
    benchmark::DoNotOptimize(history.Count());
  }
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_LoadAndParseHistory)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndParseHistory)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);

// Creation, load and parse, the rows, the first detail and the first sort. The heap the open
// window holds, and the peak of the resident size while it opened, per record.
void BM_OpenHistory(benchmark::State& state) {
  App();
  TBenchMonitor monitor;
  const int records = static_cast<int>(state.range(0));
  WriteHistory(monitor.Log()->LogPath(), records);
  double bytesPerRecord = 0;
  double peakPerRecord = 0;
  for (auto _ : state) {
    state.PauseTiming();
    malloc_trim(0);
    const long before = HeapBytes();
    const long residentBefore = ProcessBytes("VmRSS");
    ResetPeakResident();
    state.ResumeTiming();
    auto form = OpenHistory(monitor);
    benchmark::DoNotOptimize(form.get());
    state.PauseTiming();
    bytesPerRecord = double(HeapBytes() - before) / records;
    peakPerRecord = double(ProcessBytes("VmHWM") - residentBefore) / records;
    form.reset();
    state.ResumeTiming();
  }
  state.counters["bytes_per_record"] = bytesPerRecord;
  state.counters["peak_bytes_per_record"] = peakPerRecord;
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_OpenHistory)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenHistory)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

// What the open window does when a message arrives: one more record in the log, the refresh,
// and the list laid out again.
void BM_RefreshAfterOneRecord(benchmark::State& state) {
  App();
  TBenchMonitor monitor;
  const int records = static_cast<int>(state.range(0));
  WriteHistory(monitor.Log()->LogPath(), records);
  auto form = OpenHistory(monitor);
  int next = records;
  for (auto _ : state) {
    monitor.Log()->WriteSmsLogRecord(monitor.Log()->LogPath(), HistoryRecord(next++));
    form->RefreshList();
    QCoreApplication::processEvents();
  }
  if (form->ListModel().rowCount() != next) state.SkipWithError("rows missing after the refresh");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RefreshAfterOneRecord)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshAfterOneRecord)->Arg(1000000)->Iterations(5)->Unit(benchmark::kMillisecond);

// A header click: by phone (texts with ties) and back by date.
void BM_Resort(benchmark::State& state) {
  App();
  TBenchMonitor monitor;
  const int records = static_cast<int>(state.range(0));
  WriteHistory(monitor.Log()->LogPath(), records);
  auto form = OpenHistory(monitor);
  int column = 2;
  for (auto _ : state) {
    form->lvSmsListColumnClick(column);
    QCoreApplication::processEvents();
    column = column == 2 ? 1 : 2;
  }
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_Resort)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resort)->Arg(1000000)->Iterations(4)->Unit(benchmark::kMillisecond);

}  // namespace
