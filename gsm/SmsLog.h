#pragma once
// The binary SMS log: every message received or sent, one fixed 200-byte record each, back to
// back from offset 0 with no header. Records are only appended; the only change to an
// existing record is its read byte going from 0 to 1. Every operation takes the named log
// mutex for at most 500 ms and does nothing when it cannot get it.

#include "common/DateTime.h"
#include "common/SmsInfo.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One log item as handed to the writer.
struct TLogRecord {
  uint8_t Direction = 0;  // 0 received, 1 sent
  uint8_t Read = 0;
  TDateTime Time = 0;
  std::string Phone;
  std::string Text;
  uint8_t Accepted = 0;
};

// One log item as read back for the history, with the parsed reply of a received item.
struct TLogEntry : TLogRecord {
  std::unique_ptr<TSmsInfo> Reply;
};

class TSmsHistory;

// The on-disk record: little-endian, the time an unaligned double at offset 6.
constexpr size_t kLogRecordSize = 200;
constexpr size_t kOldLogRecordSize = 190;  // the older format, with a 160-byte text field
constexpr size_t kLogPhoneOffset = 14;
constexpr size_t kLogPhoneSize = 16;
constexpr size_t kLogTextOffset = 30;
constexpr size_t kLogTextSize = 170;
constexpr size_t kOldLogTextSize = 160;

using TLogRecordBytes = std::array<unsigned char, kLogRecordSize>;
TLogRecordBytes EncodeLogRecord(const TLogRecord& record);
TLogRecord DecodeLogRecord(const unsigned char* bytes);

// The fields of a stored record read in place: phone and text look into the record's bytes.
struct TLogRecordView {
  uint8_t Direction = 0;  // the low byte of the stored direction
  uint8_t Read = 0;
  TDateTime Time = 0;
  std::string_view Phone;
  std::string_view Text;
  uint8_t Accepted = 0;
};
TLogRecordView ViewLogRecord(const unsigned char* bytes);

// The mutual exclusion the log operations run under: the named log mutex in the program,
// something simpler in tests.
class TLogLock {
public:
  virtual ~TLogLock() = default;
  virtual bool Acquire(unsigned timeoutMs) = 0;
  virtual void Release() = 0;
};

class TSmsLog {
public:
  // `exeDir` ends with the path separator; the log is exeDir + "OrvexMonitor.log".
  TSmsLog(std::string exeDir, TLogLock& lock);

  const std::string& ExeDir() const { return Folder; }
  const std::string& LogPath() const { return Path; }
  // Index of the last record seen by the latest load; bounds the marking as read.
  int32_t LastLogIndex = 0;

  // Appends one record with a single write at the end of the file; true when all 200 bytes
  // were written.
  bool WriteSmsLogRecord(const std::string& path, const TLogRecord& record);
  // Logs a received message with the current local time (the time of storing).
  bool AppendSmsToLog(const TSmsInfo& info, uint8_t read);

  // The start-up check: converts a log of the older format, sets a damaged one aside.
  void CheckSmsLog(const std::string& path);
  bool IsOldFormatSmsLog(const std::string& path);
  void ConvertOldSmsLog(const std::string& path);

  // True when some record is unread (the caller starts the unread notice).
  bool CheckUnreadSms();
  // Appends a parsed record for each unread received record, oldest first; with `indexes`,
  // also the log index of each record appended. A record that cannot be read comes back as
  // kind Bad (ParseLoggedSms) and the load goes on.
  void LoadUnreadSms(TSmsInfoList& list, std::vector<int32_t>* indexes = nullptr);
  // Brings the history up to the log: every record in order, each received one parsed. Only
  // the records appended since the history's last load are read; a log that shrank or was
  // replaced since is read anew, and without a log the history is empty. LastLogIndex then
  // covers every record of the history.
  void LoadSmsLog(TSmsHistory& history);
  // Marks records 0 to LastLogIndex read.
  void MarkAllSmsRead();

  // Where a damaged log is set aside: ExeDir + "OldMonitorLog".
  std::string OldLogFolder() const { return Folder + "OldMonitorLog"; }

  // Local time source, replaceable in tests.
  std::function<TDateTime()> Clock = [] { return Now(); };

private:
  class TGuard;
  // Copies the log into OldLogFolder() under a name made of the current time; true when the
  // copy exists.
  bool SetAside(const std::string& path);

  std::string Folder;
  std::string Path;
  TLogLock& LogLock;
};

// Parses a stored received record exactly as a new message: sender, the stored time written as
// a service-centre time stamp, the text. A record whose parse raises the conversion error
// comes back as kind Bad with its sender and its text as stored, so that one unreadable
// message never hides the others.
std::unique_ptr<TSmsInfo> ParseLoggedSms(const TLogRecord& record);
std::unique_ptr<TSmsInfo> ParseLoggedSms(std::string_view phone, TDateTime time, std::string_view text);
// The same into `info`, a record just made, so that a long load allocates none per record.
void ParseLoggedSms(TSmsInfo& info, std::string_view phone, TDateTime time, std::string_view text);
