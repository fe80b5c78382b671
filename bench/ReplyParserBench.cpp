// Throughput of the reply dispatcher over a mix of what devices send: positions, parameter
// answers, events, acknowledgements, configuration reports and texts no grammar knows.

#include "gsm/ReplyParser.h"

#include "common/ConvertError.h"
#include "common/SmsInfo.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const std::vector<std::string>& Corpus() {
  static const std::vector<std::string> corpus = {
      "12345 103015.000,A,5545.1234,N,03737.5678,E,12.5,270.0,050324",
      "12345(truck 7)@101500.000,V,,,,,,,050324",
      "23456 gprs:235959.000,A,5545.1234,S,03737.5678,W,0.0,0.0,311224",
      "12345 PERIODWR=60;",
      "12345 port=40000;",
      "12345 apnfull=\"internet\",\"user\",\"pass\";",
      "12345 telsms2=(null);",
      "12345 controlpoint1=554512,n,373756,e;",
      "12345 input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324",
      "12345 home in:101459.000,v,,,,,,,050324",
      "12345 battery low;",
      "12345@input 1:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324",
      "12345@point 2 out:101459.000,a,5545.1234,n,03737.5678,e,1.0,2.0,050324",
      "12345@battery low",
      "12345 ussd: Balance 100 rub",
      "12345 reset",
      "12345@mout1=1",
      "12345@pulse2=20",
      "12345@60,120",
      "xx12345@point 2 cleared",
      "12345@conf1:\"internet\",\"user\",\"pass\",\"10.0.0.1\",\"5000\",wr=60(a),snd=300,m=1,o=0,w=1",
      "12345@conf2:up1=+7916,up2=,ro=y,c12=60,c34=120,i1=1f,door,i2=2,,i3=0,hood,i4=ff,trunk,akn=",
      "12345@conf3:ad1=a,alv1=10,us1=20,ad2=d,alv2=30,us2=40,aper=50,amod=v",
      "12345@conf4:cp1=5545,n,3737,e,r1=100,f1=1f,cp2=1,n,2,e,r2=3,f2=0,cp3=1,s,2,w,r3=-1,f3=0",
      "Hello, this is not a device reply",
      "Your balance is 100 rub. Thank you for using our services",
      "12345@something the device did not say before",
      "",
  };
  return corpus;
}

void BM_ParseDeviceReply(benchmark::State& state) {
  const std::vector<std::string>& corpus = Corpus();
  std::vector<std::string> parts = {"+79161234567", "24/03/05,14:07:09+20", ""};
  size_t next = 0;
  for (auto _ : state) {
    TSmsInfo record;
    parts[2] = corpus[next];
    next = next + 1 == corpus.size() ? 0 : next + 1;
    try {
      ParseDeviceReply(record, parts);
    } catch (const EConvertError&) {
      // Not expected for this corpus; counted like any other reply.
    }
    benchmark::DoNotOptimize(record.Kind);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ParseDeviceReply);

}  // namespace
