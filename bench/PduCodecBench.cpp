#include "gsm/PduCodec.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// A mix of what the modem hands over: short and full-length 7-bit messages, a UCS2 message
// in Cyrillic, and a two-part concatenated message whose parts arrive in turn.
const std::vector<std::string>& MixedPdus() {
  static const std::vector<std::string> pdus = [] {
    const std::string head = "07919700000000F0";
    const std::string sender = "0B919700214365F7";
    const std::string stamp = "21103041520321";
    std::vector<std::string> list;
    list.push_back(head + "04" + sender + "0000" + stamp + "05C8329BFD06");
    std::string full(160, 'x');
    for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<char>('0' + i % 43);
    list.push_back(head + "04" + sender + "0000" + stamp + "A0" +
                   Encode7Bit(full.substr(0, 80)) + Encode7Bit(full.substr(80)));
    list.push_back(head + "04" + sender + "0008" + stamp + "20" +
                   "041F04400438043204350442002C0020043C043804400021041F04400438043204350442");
    list.push_back(head + "44" + sender + "0000" + stamp + "0C" + "050003070201906536FB0D");
    list.push_back(head + "44" + sender + "0000" + stamp + "0C" + "050003070202EE6F399B0C");
    return list;
  }();
  return pdus;
}

void DecodeMixedPdus(benchmark::State& state) {
  const std::vector<std::string>& pdus = MixedPdus();
  TPduDecoder decoder;
  std::vector<std::string> out;
  out.reserve(3);
  size_t messages = 0;
  for (auto _ : state) {
    for (const std::string& pdu : pdus) {
      out.clear();
      decoder.DecodeDeliverPdu(pdu, out);
      messages += out.size() / 3;
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pdus.size()));
  state.counters["messages"] = static_cast<double>(messages);
}
BENCHMARK(DecodeMixedPdus);

// Each PDU of the mix alone, to see which kind a change of speed comes from. A concatenated
// part alone never completes: it replaces its earlier copy each time.
void DecodeOneKind(benchmark::State& state) {
  static const char* const kKinds[] = {"7-bit short", "7-bit 160", "UCS2", "part 1 of 2",
                                       "part 2 of 2"};
  const auto kind = static_cast<size_t>(state.range(0));
  const std::string& pdu = MixedPdus()[kind];
  TPduDecoder decoder;
  std::vector<std::string> out;
  out.reserve(3);
  for (auto _ : state) {
    out.clear();
    decoder.DecodeDeliverPdu(pdu, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetLabel(kKinds[kind]);
}
BENCHMARK(DecodeOneKind)->DenseRange(0, 4);

}  // namespace
