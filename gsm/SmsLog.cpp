#include "gsm/SmsLog.h"

#include "common/ConvertError.h"
#include "gsm/ReplyParser.h"
#include "gsm/SmsHistory.h"

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

constexpr unsigned kLogMutexWaitMs = 500;
// Records read per system call by the loaders.
constexpr size_t kRecordsPerRead = 1024;

// A file descriptor closed on every path out of an operation. Only a regular file is opened
// (or, with O_CREAT, one that does not exist yet): a named pipe in its place would block the
// open until some writer came, for good at start-up while the single-instance lock is held; a
// device (or a link to /dev/zero) would be read without end; a folder is no log either. Such a
// path is refused at once, said in the warning output, and left as it is.
class TFile {
public:
  TFile(const std::string& path, int flags, mode_t mode = 0644) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      Refuse(path);
      return;
    }
    // Non-blocking and without taking a terminal, in case the path changed since the check.
    Handle = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, mode);
    if (Handle < 0) return;
    if (::fstat(Handle, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(Handle);
      Handle = -1;
      Refuse(path);
    }
  }
  ~TFile() {
    if (Handle >= 0) ::close(Handle);
  }
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  bool IsOpen() const { return Handle >= 0; }
  int Fd() const { return Handle; }

  // Reads up to `size` bytes at `offset`, retrying short reads; the count read, -1 on error.
  ssize_t ReadAt(void* buffer, size_t size, off_t offset) const {
    size_t done = 0;
    while (done < size) {
      ssize_t n = ::pread(Handle, static_cast<char*>(buffer) + done, size - done, offset + static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
  }

  bool WriteAll(const void* buffer, size_t size) const {
    size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(Handle, static_cast<const char*>(buffer) + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  off_t Size() const {
    struct stat st {};
    return ::fstat(Handle, &st) == 0 ? st.st_size : -1;
  }

private:
  static void Refuse(const std::string& path) {
    qWarning("The SMS log file %s is not a regular file (a named pipe, a device or a folder): it is neither "
             "read nor written",
             path.c_str());
  }

  int Handle = -1;
};

void PutField(unsigned char* field, size_t fieldSize, const std::string& text) {
  // A zero byte inside the text ends it; the last byte of the field always stays 0.
  size_t length = strnlen(text.c_str(), text.size());
  std::memcpy(field, text.data(), std::min(length, fieldSize - 1));
}

std::string_view GetField(const unsigned char* field, size_t fieldSize) {
  const void* zero = std::memchr(field, 0, fieldSize);
  size_t length = zero ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - field) : fieldSize;
  return std::string_view(reinterpret_cast<const char*>(field), length);
}

uint16_t DirectionOf(const unsigned char* record) { return static_cast<uint16_t>(record[2] | (record[3] << 8)); }

// One record of either format: direction 0 or 1, phone and text each ending within their fields.
bool IsValidRecord(const unsigned char* record, size_t textSize) {
  return DirectionOf(record) < 2 && std::memchr(record + kLogPhoneOffset, 0, kLogPhoneSize) &&
         std::memchr(record + kLogTextOffset, 0, textSize);
}

// Hands the records of `recordSize` bytes from record `from` on to `visit(bytes, size, index)`,
// reading kRecordsPerRead of them per system call, until the end of the file, an error, or
// `visit` returning false. `size` is what the file holds of the record: `recordSize` but for
// a torn last record. `index` counts records from the start of the file.
template <typename TVisit>
void ForEachRecord(const TFile& file, size_t recordSize, size_t from, TVisit&& visit) {
  const off_t fileSize = file.Size();
  const size_t records = fileSize > 0 ? (static_cast<size_t>(fileSize) + recordSize - 1) / recordSize : 0;
  const size_t left = records > from ? records - from : 1;
  std::vector<unsigned char> chunk(recordSize * std::min(kRecordsPerRead, left));
  for (size_t index = from;;) {
    const off_t offset = static_cast<off_t>(index) * static_cast<off_t>(recordSize);
    const ssize_t got = file.ReadAt(chunk.data(), chunk.size(), offset);
    if (got <= 0) return;
    const size_t bytes = static_cast<size_t>(got);
    for (size_t at = 0; at < bytes; at += recordSize, ++index)
      if (!visit(chunk.data() + at, std::min(recordSize, bytes - at), index)) return;
    // A short read is the end of the file.
    if (bytes < chunk.size()) return;
  }
}

// Counts the valid records of `recordSize` bytes at the start of the file, stopping at the
// first bad one; `complete` is the number of whole records the file holds.
size_t CountValidRecords(const TFile& file, size_t recordSize, size_t textSize, size_t& complete) {
  off_t size = file.Size();
  complete = size > 0 ? static_cast<size_t>(size) / recordSize : 0;
  size_t valid = 0;
  ForEachRecord(file, recordSize, 0, [&](const unsigned char* record, size_t bytes, size_t) {
    if (bytes < recordSize || !IsValidRecord(record, textSize)) return false;
    ++valid;
    return true;
  });
  return std::min(valid, complete);
}

bool CopyFileNoOverwrite(const std::string& from, const std::string& to) {
  TFile source(from, O_RDONLY);
  if (!source.IsOpen()) return false;
  TFile target(to, O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (!target.IsOpen()) return false;
  std::vector<char> buffer(1 << 16);
  for (off_t offset = 0;;) {
    ssize_t n = source.ReadAt(buffer.data(), buffer.size(), offset);
    if (n < 0) return false;
    if (n == 0) break;
    if (!target.WriteAll(buffer.data(), static_cast<size_t>(n))) return false;
    offset += n;
  }
  return ::fsync(target.Fd()) == 0;
}

}  // namespace

TLogRecordBytes EncodeLogRecord(const TLogRecord& record) {
  TLogRecordBytes bytes{};
  bytes[0] = record.Read;
  bytes[1] = record.Accepted;
  bytes[2] = record.Direction;  // widened to 16 bits, little-endian
  bytes[3] = 0;
  static_assert(sizeof(double) == 8);
  std::memcpy(bytes.data() + 6, &record.Time, 8);
  PutField(bytes.data() + kLogPhoneOffset, kLogPhoneSize, record.Phone);
  PutField(bytes.data() + kLogTextOffset, kLogTextSize, record.Text);
  return bytes;
}

TLogRecordView ViewLogRecord(const unsigned char* bytes) {
  TLogRecordView record;
  record.Read = bytes[0];
  record.Accepted = bytes[1];
  record.Direction = bytes[2];  // the low byte of the direction
  std::memcpy(&record.Time, bytes + 6, 8);
  record.Phone = GetField(bytes + kLogPhoneOffset, kLogPhoneSize);
  record.Text = GetField(bytes + kLogTextOffset, kLogTextSize);
  return record;
}

TLogRecord DecodeLogRecord(const unsigned char* bytes) {
  const TLogRecordView view = ViewLogRecord(bytes);
  TLogRecord record;
  record.Read = view.Read;
  record.Accepted = view.Accepted;
  record.Direction = view.Direction;
  record.Time = view.Time;
  record.Phone = view.Phone;
  record.Text = view.Text;
  return record;
}

namespace {

// The time a stored received record is read with. The record goes through the parse as a new
// message would, its time as a service-centre stamp "yy/mm/dd,hh:nn:ss": the century becomes
// 2000 and the milliseconds go. Every moment from year 1 to 9999 gives a valid stamp (a
// 29 February stays in a leap year); any other stored double writes as 00/00/00, which names
// no date: false then.
bool ReadStoredStamp(TDateTime stored, TDateTime& stamp) {
  int year, month, day, hour, minute, second, msec;
  DecodeDate(stored, year, month, day);
  if (year == 0) return false;  // no moment from year 1 to 9999
  DecodeTime(stored, hour, minute, second, msec);
  stamp = EncodeDate(2000 + year % 100, month, day) + EncodeTime(hour, minute, second, 0);
  return true;
}

}  // namespace

std::unique_ptr<TSmsInfo> ParseLoggedSms(const TLogRecord& record) {
  return ParseLoggedSms(record.Phone, record.Time, record.Text);
}

std::unique_ptr<TSmsInfo> ParseLoggedSms(std::string_view phone, TDateTime time, std::string_view text) {
  auto info = std::make_unique<TSmsInfo>();
  ParseLoggedSms(*info, phone, time, text);
  return info;
}

void ParseLoggedSms(TSmsInfo& info, std::string_view phone, TDateTime time, std::string_view text) {
  TDateTime stamp = 0;
  if (ReadStoredStamp(time, stamp)) {
    info.Phone = phone;
    info.Time = stamp;
    std::string normalised;
    try {
      ParseReplyText(info, text, normalised);
      return;
    } catch (const EConvertError&) {
      // Handled below with the records whose time cannot be read.
    }
  }
  // A stored message that cannot be read (a time field no date can hold, a date that does not
  // exist, a number a field cannot take) is still a message of the log: it comes back as one
  // whose time could not be read, kind Bad, with its sender and its text, and the loads go on
  // with the records after it.
  info = TSmsInfo();
  info.Phone = phone;
  info.Text = text;
}

// Holds the log lock for one operation.
class TSmsLog::TGuard {
public:
  explicit TGuard(TLogLock& lock) : Lock(lock), Owned(lock.Acquire(kLogMutexWaitMs)) {}
  ~TGuard() {
    if (Owned) Lock.Release();
  }
  explicit operator bool() const { return Owned; }

private:
  TLogLock& Lock;
  bool Owned;
};

TSmsLog::TSmsLog(std::string exeDir, TLogLock& lock)
    : Folder(std::move(exeDir)), Path(Folder + "OrvexMonitor.log"), LogLock(lock) {}

bool TSmsLog::WriteSmsLogRecord(const std::string& path, const TLogRecord& record) {
  TLogRecordBytes bytes = EncodeLogRecord(record);
  TGuard guard(LogLock);
  if (!guard) return false;
  // O_APPEND puts the whole record at the end in one write: a crash leaves at worst an
  // incomplete last record, which the start-up check mends.
  TFile file(path, O_WRONLY | O_CREAT | O_APPEND);
  if (!file.IsOpen()) return false;
  ssize_t n;
  do n = ::write(file.Fd(), bytes.data(), bytes.size());
  while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(bytes.size());
}

bool TSmsLog::AppendSmsToLog(const TSmsInfo& info, uint8_t read) {
  TLogRecord record;
  record.Direction = 0;
  record.Read = read;
  record.Accepted = 0;
  record.Time = Clock();
  record.Phone = info.Phone;
  record.Text = info.Text;
  return WriteSmsLogRecord(Path, record);
}

bool TSmsLog::IsOldFormatSmsLog(const std::string& path) {
  TFile file(path, O_RDONLY);
  if (!file.IsOpen()) return false;
  off_t size = file.Size();
  if (size <= 0 || size % static_cast<off_t>(kOldLogRecordSize) != 0) return false;
  size_t complete = 0;
  return CountValidRecords(file, kOldLogRecordSize, kOldLogTextSize, complete) == complete;
}

void TSmsLog::ConvertOldSmsLog(const std::string& path) {
  const std::string backup = Folder + "OrvexMonitor.log.bak";
  ::unlink(backup.c_str());
  if (::rename(path.c_str(), backup.c_str()) != 0) return;
  TFile source(backup, O_RDONLY);
  TFile target(path, O_WRONLY | O_CREAT | O_TRUNC);
  if (!source.IsOpen() || !target.IsOpen()) return;
  std::array<unsigned char, kLogRecordSize> record{};
  for (off_t offset = 0;; offset += kOldLogRecordSize) {
    record.fill(0);
    if (source.ReadAt(record.data(), kOldLogRecordSize, offset) != static_cast<ssize_t>(kOldLogRecordSize)) break;
    if (!target.WriteAll(record.data(), record.size())) break;
  }
  ::fsync(target.Fd());
}

bool TSmsLog::SetAside(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(OldLogFolder(), error);
  const std::string copy = OldLogFolder() + "/" + FormatDateTime("ddmmyy_hhnnss", Clock()) + "_OVMLogPoor.bak";
  // An existing file of that name is never overwritten, and then the log is not counted as
  // set aside: it stays for the next start rather than being lost.
  return CopyFileNoOverwrite(path, copy);
}

void TSmsLog::CheckSmsLog(const std::string& path) {
  TGuard guard(LogLock);
  if (!guard) return;
  size_t complete = 0, valid = 0;
  off_t size = 0;
  {
    TFile file(path, O_RDONLY);
    if (!file.IsOpen()) return;
    size = file.Size();
    valid = CountValidRecords(file, kLogRecordSize, kLogTextSize, complete);
  }
  bool whole = size % static_cast<off_t>(kLogRecordSize) == 0;
  if (whole && valid == complete) return;
  if (IsOldFormatSmsLog(path)) {
    ConvertOldSmsLog(path);
    return;
  }
  if (!SetAside(path)) return;
  if (!whole && valid == complete) {
    // Only the last record is incomplete (the program or the machine died while appending):
    // keep the complete records and cut the torn tail off.
    if (::truncate(path.c_str(), static_cast<off_t>(complete * kLogRecordSize)) == 0) return;
  }
  ::unlink(path.c_str());
}

bool TSmsLog::CheckUnreadSms() {
  TGuard guard(LogLock);
  if (!guard) return false;
  TFile file(Path, O_RDONLY);
  if (!file.IsOpen()) return false;
  // The read byte leads the record, so even a torn last record tells it.
  bool unread = false;
  ForEachRecord(file, kLogRecordSize, 0, [&unread](const unsigned char* bytes, size_t, size_t) {
    unread = bytes[0] == 0;
    return !unread;
  });
  return unread;
}

void TSmsLog::LoadUnreadSms(TSmsInfoList& list, std::vector<int32_t>* indexes) {
  TGuard guard(LogLock);
  if (!guard) return;
  TFile file(Path, O_RDONLY);
  if (!file.IsOpen()) return;
  int32_t count = 0;
  ForEachRecord(file, kLogRecordSize, 0, [&](const unsigned char* bytes, size_t size, size_t index) {
    if (bytes[0] == 0) {
      // A torn unread record ends the load, uncounted.
      if (size < kLogRecordSize) return false;
      if (DirectionOf(bytes) == 0) {
        list.push_back(ParseLoggedSms(DecodeLogRecord(bytes)));
        if (indexes) indexes->push_back(static_cast<int32_t>(index));
      }
    }
    count = static_cast<int32_t>(index) + 1;
    return true;
  });
  LastLogIndex = count - 1;
}

namespace {

// True when the open log is the file `history` was read from, grown by appends only: the same
// file, at least as many records, and the last record read before still there unchanged but
// for its read byte.
bool ContinuesHistory(const TFile& file, const struct stat& st, size_t records, const TSmsHistory& history) {
  const THistoryMark& mark = history.Mark;
  if (!mark.Set || mark.Device != static_cast<uint64_t>(st.st_dev) || mark.Inode != static_cast<uint64_t>(st.st_ino))
    return false;
  if (records < history.Count()) return false;
  if (history.Empty()) return true;
  std::array<unsigned char, kLogRecordSize> last{};
  const off_t offset = static_cast<off_t>(history.Count() - 1) * static_cast<off_t>(kLogRecordSize);
  if (file.ReadAt(last.data(), last.size(), offset) != static_cast<ssize_t>(last.size())) return false;
  return std::memcmp(last.data() + 1, mark.LastRecord.data() + 1, kLogRecordSize - 1) == 0;
}

}  // namespace

void TSmsLog::LoadSmsLog(TSmsHistory& history) {
  TGuard guard(LogLock);
  // A busy log leaves the history as it was loaded last.
  if (!guard) return;
  TFile file(Path, O_RDONLY);
  struct stat st {};
  if (!file.IsOpen() || ::fstat(file.Fd(), &st) != 0) {
    // No log (set aside, or not a file): nothing of it to show.
    history.Clear();
    return;
  }
  const size_t records = static_cast<size_t>(st.st_size) / kLogRecordSize;
  if (!ContinuesHistory(file, st, records, history)) history.Clear();
  history.Reserve(records);
  // Whole records only: a record that cannot be read whole ends the load.
  ForEachRecord(file, kLogRecordSize, history.Count(), [&](const unsigned char* bytes, size_t size, size_t index) {
    if (index >= records || size < kLogRecordSize) return false;
    history.AppendRecord(bytes);
    return true;
  });
  history.Mark.Set = true;
  history.Mark.Device = static_cast<uint64_t>(st.st_dev);
  history.Mark.Inode = static_cast<uint64_t>(st.st_ino);
  if (!history.Empty()) {
    const off_t offset = static_cast<off_t>(history.Count() - 1) * static_cast<off_t>(kLogRecordSize);
    if (file.ReadAt(history.Mark.LastRecord.data(), kLogRecordSize, offset) != static_cast<ssize_t>(kLogRecordSize))
      history.Mark.Set = false;  // read again whole next time
  }
  LastLogIndex = static_cast<int32_t>(history.Count()) - 1;
}

void TSmsLog::MarkAllSmsRead() {
  TGuard guard(LogLock);
  if (!guard) return;
  TFile file(Path, O_RDWR);
  if (!file.IsOpen()) return;
  const unsigned char read = 1;
  for (int32_t i = 0; i <= LastLogIndex; ++i) {
    off_t offset = static_cast<off_t>(i) * static_cast<off_t>(kLogRecordSize);
    unsigned char mark = 1;
    if (file.ReadAt(&mark, 1, offset) != 1) return;
    if (mark == 0 && ::pwrite(file.Fd(), &read, 1, offset) != 1) return;
  }
}
