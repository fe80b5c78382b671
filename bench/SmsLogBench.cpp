// The SMS log: appending records, and loading a long history with every received record
// parsed again, as the message window does.

#include "gsm/SmsHistory.h"
#include "gsm/SmsLog.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <fstream>

namespace {

class TFreeLock : public TLogLock {
public:
  bool Acquire(unsigned) override { return true; }
  void Release() override {}
};

const char* const kTexts[] = {
    "12345 141530.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324",
    "12345 periodwr=60;",
    "12345@out1=1",
    "12345 input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324",
    "hello from a phone",
};

// Writes `count` received records straight into a log file.
void WriteHistory(const std::string& path, int count) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int i = 0; i < count; ++i) {
    TLogRecord record;
    record.Time = 45356.5 + i / 86400.0;
    record.Phone = "+79001234567";
    record.Text = kTexts[i % std::size(kTexts)];
    TLogRecordBytes bytes = EncodeLogRecord(record);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
}

// A log in a folder of its own, with no other process to share it with.
struct TBenchLog {
  QTemporaryDir Dir;
  TFreeLock Lock;
  TSmsLog Log{Dir.path().toStdString() + "/", Lock};
};

// Writes a history of state.range(0) records, then times `load(log, records)` on it.
template <typename TLoad>
void TimeHistoryLoad(benchmark::State& state, TLoad load) {
  TBenchLog bench;
  const int records = static_cast<int>(state.range(0));
  WriteHistory(bench.Log.LogPath(), records);
  for (auto _ : state) load(bench.Log, records);
  state.SetItemsProcessed(state.iterations() * records);
}

void BM_AppendSmsToLog(benchmark::State& state) {
  TBenchLog bench;
  TSmsInfo info;
  info.Phone = "+79001234567";
  info.Text = kTexts[0];
  for (auto _ : state) benchmark::DoNotOptimize(bench.Log.AppendSmsToLog(info, 0));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AppendSmsToLog);

void BM_LoadSmsLog(benchmark::State& state) {
  TimeHistoryLoad(state, [&](TSmsLog& log, int records) {
    TSmsHistory history;
    log.LoadSmsLog(history);
    if (static_cast<int>(history.Count()) != records) state.SkipWithError("short load");
    benchmark::DoNotOptimize(history.Count());
  });
}
BENCHMARK(BM_LoadSmsLog)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LoadUnreadSms(benchmark::State& state) {
  TimeHistoryLoad(state, [](TSmsLog& log, int) {
    TSmsInfoList unread;
    log.LoadUnreadSms(unread);
    benchmark::DoNotOptimize(unread.data());
  });
}
BENCHMARK(BM_LoadUnreadSms)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
