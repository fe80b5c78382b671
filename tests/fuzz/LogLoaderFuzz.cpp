// Any bytes as the SMS log: every loader reads it to its end without a fault, a history read
// in two steps (a log that grew) equals one read at once, every record's row and date format,
// the dispatcher's block fits its capacity, the marking changes nothing but read bytes, and
// the start-up check ends.

#include "common/DateTime.h"
#include "common/SmsInfo.h"
#include "gsm/SmsHistory.h"
#include "gsm/SmsLog.h"
#include "gsm/UnreadBlock.h"
#include "tests/fuzz/FuzzFolder.h"
#include "viewer/SmsListModel.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class TFreeLock : public TLogLock {
public:
  bool Acquire(unsigned) override { return true; }
  void Release() override {}
};

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool ValidKind(uint8_t kind) { return kind <= kLastReplyKind || (kind >= kFirstParamKind && kind <= kLastParamKind - 3); }

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string folder = FuzzFolder("log") + "/";
  TFreeLock lock;
  TSmsLog log(folder, lock);
  log.Clock = [] { return 45356.5; };
  const std::string path = log.LogPath();
  std::filesystem::remove_all(log.OldLogFolder());
  const size_t records = size / kLogRecordSize;

  // A history read while the log held only its first records, then again once it held all.
  const size_t firstPart = size == 0 ? 0 : (data[0] % (records + 1)) * kLogRecordSize;
  WriteFile(path, data, firstPart);
  TSmsHistory grown;
  log.LoadSmsLog(grown);
  Check(grown.Count() == firstPart / kLogRecordSize);
  std::ofstream(path, std::ios::binary | std::ios::app)
      .write(reinterpret_cast<const char*>(data) + firstPart, static_cast<std::streamsize>(size - firstPart));
  log.LoadSmsLog(grown);
  Check(log.LastLogIndex == static_cast<int32_t>(records) - 1);

  TSmsHistory whole;
  log.LoadSmsLog(whole);
  Check(whole.Count() == records && grown.Count() == records);
  for (size_t i = 0; i < records; ++i) {
    const THistoryItem& a = whole.Item(i);
    const THistoryItem& b = grown.Item(i);
    Check(a.Kind == b.Kind && a.DeviceNumber == b.DeviceNumber && whole.Text(i) == grown.Text(i) &&
          whole.Phone(i) == grown.Phone(i));
    Check(ValidKind(a.Kind));
    const std::unique_ptr<TLogEntry> entry = whole.Entry(i);
    Check((entry->Direction == 0) == (entry->Reply != nullptr));
    if (entry->Reply) Check(entry->Reply->Kind == a.Kind && entry->Reply->DeviceNumber == a.DeviceNumber);
    // The row of every record, its texts and its sort keys; the dates the window writes.
    const TSmsRow row = MakeRow(whole, static_cast<int>(i));
    (void)RowDateText(row);
    (void)RowDeviceText(row);
    (void)RowKindText(row);
    if (i > 0)
      for (int column = 0; column < TSmsListModel::kColumnCount; ++column)
        Check(CompareRows(row, MakeRow(whole, static_cast<int>(i - 1)), column, true) != 0);
    (void)FormatDateTime("dd.mm.yy hh:nn:ss", a.Time);
    (void)FormatDateTime("d mmmm yyyy, hh:nn:ss", a.Time + 3 / 24.0);
  }

  // The unread messages, as the window and the dispatcher's block take them.
  TSmsInfoList unread;
  std::vector<int32_t> indexes;
  const bool anyUnread = log.CheckUnreadSms();
  log.LoadUnreadSms(unread, &indexes);
  Check(unread.size() == indexes.size());
  Check(!unread.empty() <= anyUnread);
  for (size_t i = 0; i < unread.size(); ++i) {
    Check(indexes[i] >= 0 && static_cast<size_t>(indexes[i]) < records);
    Check(data[static_cast<size_t>(indexes[i]) * kLogRecordSize] == 0);
    Check(ValidKind(unread[i]->Kind));
  }
  Check(PackedSmsBlock(unread).size() <= kUnreadBlockCapacity);

  // The marking: read bytes become 1, nothing else changes.
  log.MarkAllSmsRead();
  const std::string marked = ReadFile(path);
  Check(marked.size() == size);
  for (size_t at = 0; at < size; ++at) {
    const bool readByte = at % kLogRecordSize == 0 && at / kLogRecordSize < records;
    Check(readByte ? (marked[at] == 1 || (marked[at] == static_cast<char>(data[at]) && data[at] != 0))
                   : marked[at] == static_cast<char>(data[at]));
  }
  Check(!log.CheckUnreadSms() || size % kLogRecordSize != 0);

  // The start-up check: a valid log stays, an old one is converted, a damaged one set aside.
  WriteFile(path, data, size);
  log.CheckSmsLog(path);
  return 0;
}
