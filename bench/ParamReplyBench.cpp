#include "gsm/ParamReply.h"

#include <benchmark/benchmark.h>

namespace {

// A rest for an early row, a late row, each event form and one that no body covers.
const char* const kRests[] = {
    "periodwr=60;",
    "porog3=2048;",
    "controlflags4=1,0,1,1,0,0,1,0,1,1;",
    "input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324",
    "home in:101459.000,v,,,,,,,050324",
    "periodwr=60;periodsend=120;",
};

void BM_MatchParamReply(benchmark::State& state) {
  const char* rest = kRests[state.range(0)];
  std::string text = rest;
  for (auto _ : state) {
    TSmsInfo record;
    MatchParamReply(record, text);
    benchmark::DoNotOptimize(record.Payload);
  }
  state.SetLabel(rest);
}
BENCHMARK(BM_MatchParamReply)->DenseRange(0, 5);

}  // namespace
