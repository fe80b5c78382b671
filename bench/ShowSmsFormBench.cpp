// The message window over a long history: opening it (load, parse, rows, first sort, first
// detail), the reload that every arriving message runs while it is open, a re-sort by a
// column, and the memory the open window holds per record.

#include "viewer/ShowSmsForm.h"

#include "gsm/SmsLog.h"
#include "support/FakeMonitor.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include <fstream>
#include <memory>
#include <malloc.h>

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

// A history of `count` records, every sixth one sent, from phones of a small fleet.
void WriteHistory(const std::string& path, int count) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int i = 0; i < count; ++i) {
    TLogRecord record;
    record.Direction = i % 6 == 5 ? 1 : 0;
    record.Read = 1;
    record.Accepted = 1;
    record.Time = 45356.5 + i / 86400.0;
    record.Phone = "+7900123" + std::to_string(4000 + i % 500);
    record.Text = kTexts[i % std::size(kTexts)];
    TLogRecordBytes bytes = EncodeLogRecord(record);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
}

// Heap bytes in use: what the open window holds, whatever the allocator kept from before.
long HeapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long>(info.uordblks + info.hblkhd);
}

std::unique_ptr<TShowSmsForm> OpenHistory(TBenchMonitor& monitor) {
  auto form = std::make_unique<TShowSmsForm>(monitor);
  form->ShowOperationHistory();
  form->ShowTimerTimer();
  return form;
}

void BM_LoadAndParseHistory(benchmark::State& state) {
  TBenchMonitor monitor;
  const int records = static_cast<int>(state.range(0));
  WriteHistory(monitor.Log()->LogPath(), records);
  for (auto _ : state) {
    TLogEntryList list;
    monitor.LoadSmsLog(list);
    benchmark::DoNotOptimize(list.data());
  }
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_LoadAndParseHistory)->Arg(100000)->Unit(benchmark::kMillisecond);

// Creation, load and parse, the rows, the first detail and the first sort.
void BM_OpenHistory(benchmark::State& state) {
  App();
  TBenchMonitor monitor;
  const int records = static_cast<int>(state.range(0));
  WriteHistory(monitor.Log()->LogPath(), records);
  double bytesPerRecord = 0;
  for (auto _ : state) {
    const long before = HeapBytes();
    auto form = OpenHistory(monitor);
    benchmark::DoNotOptimize(form.get());
    state.PauseTiming();
    bytesPerRecord = double(HeapBytes() - before) / records;
    form.reset();
    state.ResumeTiming();
  }
  state.counters["bytes_per_record"] = bytesPerRecord;
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_OpenHistory)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenHistory)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_RefreshList(benchmark::State& state) {
  App();
  TBenchMonitor monitor;
  const int records = static_cast<int>(state.range(0));
  WriteHistory(monitor.Log()->LogPath(), records);
  auto form = OpenHistory(monitor);
  for (auto _ : state) form->RefreshList();
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_RefreshList)->Arg(100000)->Unit(benchmark::kMillisecond);

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
    column = column == 2 ? 1 : 2;
  }
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_Resort)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
