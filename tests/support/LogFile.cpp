#include "support/LogFile.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

std::vector<TLogRecord> ReadLogRecords(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<TLogRecord> records;
  for (size_t at = 0; at + kLogRecordSize <= bytes.size(); at += kLogRecordSize)
    records.push_back(DecodeLogRecord(reinterpret_cast<const unsigned char*>(bytes.data()) + at));
  return records;
}

std::vector<TLogRecord> ReadFolderLog(const std::string& exeDir) {
  return ReadLogRecords(exeDir + "OrvexMonitor.log");
}

std::vector<std::string> ReadFolderLogTexts(const std::string& exeDir) {
  std::vector<std::string> texts;
  for (const TLogRecord& record : ReadFolderLog(exeDir)) texts.push_back(record.Text);
  return texts;
}

namespace {

// A valid time with one bit of its exponent flipped.
TDateTime FlippedExponent(TDateTime time) {
  uint64_t bits = 0;
  std::memcpy(&bits, &time, sizeof bits);
  bits ^= uint64_t(1) << 61;
  std::memcpy(&time, &bits, sizeof bits);
  return time;
}

}  // namespace

const std::vector<TUnreadableRecord>& UnreadableRecords() {
  const TDateTime valid = EncodeDateTime(2024, 3, 5, 14, 7, 9, 0);
  const char* reply = "12345 periodwr=60;";
  static const std::vector<TUnreadableRecord> records = {
      {"time 1e300", 1e300, reply},
      {"time -1e300", -1e300, reply},
      {"time NaN", std::numeric_limits<double>::quiet_NaN(), reply},
      {"time +inf", std::numeric_limits<double>::infinity(), reply},
      {"time -inf", -std::numeric_limits<double>::infinity(), reply},
      {"time 1568703935540", 1568703935540.0, reply},
      {"time before year 1", EncodeDate(1, 1, 1) - 1, reply},
      {"time after year 9999", EncodeDate(9999, 12, 31) + 1, reply},
      {"time with a flipped exponent bit", FlippedExponent(valid), reply},
      {"position dated 31.13.24", valid, "22001 103015.000,a,,,,,,,311324"},
      {"position at 25:30:15", valid, "12345 253015.000,a,5545.1234,n,03737.5678,e,0.0,0.0,050324"},
      {"settings change in month 13", valid, "12345 telchange=+7916;datechange=05.13;timechange=14.07;"},
      {"settings change on day 99999999999", valid,
       "12345 telchange=+7916;datechange=99999999999.03;timechange=14.07;"},
      {"input event dated 05.13.24", valid, "12345@input 2:101500:101459.000,a,,,,,,,051324"},
      {"control point at 25:14:59", valid, "12345@point 3 out:251459.000,a,,,,,,,050324"},
      {"conf1 port that is no number", valid,
       "12345@conf1:\"internet\",\"user\",\"pass\",\"10.0.0.1\",\"x\",wr=60(a),snd=300,m=1,o=0,w=1"},
      {"conf1 write period past 32 bits", valid,
       "12345@conf1:\"internet\",\"user\",\"pass\",\"10.0.0.1\",\"80\",wr=99999999999(a),snd=300,m=1,o=0,w=1"},
      {"conf2 counter period past 32 bits", valid,
       "12345@conf2:up1=,up2=,ro=,c12=4294967296,c34=2,i1=a,x,i2=b,y,i3=c,z,i4=d,w,akn="},
  };
  return records;
}
