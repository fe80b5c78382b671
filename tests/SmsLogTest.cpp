#include "common/DateTime.h"
#include "common/Text.h"
#include "gsm/SmsHistory.h"
#include "gsm/SmsLog.h"
#include "support/LogFile.h"
#include "support/StampedReply.h"
#include "viewer/SmsDetail.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtGlobal>

#include <sys/stat.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <limits>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A lock that can be held by "someone else" and that counts what the log did with it.
class TFakeLock : public TLogLock {
public:
  bool Busy = false;
  int Held = 0;
  int Acquired = 0;
  bool Acquire(unsigned timeoutMs) override {
    EXPECT_EQ(timeoutMs, 500u);
    if (Busy) return false;
    ++Held;
    ++Acquired;
    return true;
  }
  void Release() override { --Held; }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Bytes(const TLogRecord& record) {
  TLogRecordBytes bytes = EncodeLogRecord(record);
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

TLogRecord Received(const std::string& phone, const std::string& text, uint8_t read = 0) {
  TLogRecord record;
  record.Direction = 0;
  record.Read = read;
  record.Time = EncodeDateTime(2024, 3, 5, 14, 7, 9, 0);
  record.Phone = phone;
  record.Text = text;
  return record;
}

// An old-format record: the same fields with a 160-byte text field.
std::string OldRecord(const std::string& phone, const std::string& text, uint16_t direction = 0) {
  std::string bytes(kOldLogRecordSize, '\0');
  bytes[0] = 1;
  bytes[2] = static_cast<char>(direction & 0xFF);
  bytes[3] = static_cast<char>(direction >> 8);
  double time = EncodeDate(2012, 1, 3);
  std::memcpy(bytes.data() + 6, &time, 8);
  std::memcpy(bytes.data() + kLogPhoneOffset, phone.data(), phone.size());
  std::memcpy(bytes.data() + kLogTextOffset, text.data(), text.size());
  return bytes;
}

class SmsLogTest : public ::testing::Test {
protected:
  QTemporaryDir Dir;
  TFakeLock Lock;
  std::unique_ptr<TSmsLog> Log;

  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    Log = std::make_unique<TSmsLog>(Dir.path().toStdString() + "/", Lock);
    Log->Clock = [] { return EncodeDateTime(2024, 3, 5, 14, 7, 9, 0); };
  }
  void TearDown() override { EXPECT_EQ(Lock.Held, 0) << "the log lock was left held"; }

  void Append(const TLogRecord& record) { ASSERT_TRUE(Log->WriteSmsLogRecord(Log->LogPath(), record)); }
  std::vector<std::string> SetAsideFiles() {
    std::vector<std::string> names;
    if (fs::exists(Log->OldLogFolder()))
      for (const auto& entry : fs::directory_iterator(Log->OldLogFolder())) names.push_back(entry.path().filename());
    return names;
  }
};

}  // namespace

TEST(SmsLogFormat, RecordIsLaidOutByteForByte) {
  TLogRecord record;
  record.Direction = 1;
  record.Read = 1;
  record.Accepted = 1;
  record.Time = 45356.5;  // 5 March 2024, noon
  record.Phone = "+79001234567";
  record.Text = "hello";
  std::string expected(200, '\0');
  expected[0] = 1;                                         // read
  expected[1] = 1;                                         // accepted
  expected[2] = 1;                                         // direction, 16 bits little-endian
  const unsigned char time[8] = {0, 0, 0, 0, 0x90, 0x25, 0xE6, 0x40};  // 45356.5 as an IEEE double
  std::memcpy(expected.data() + 6, time, 8);
  std::memcpy(expected.data() + 14, "+79001234567", 12);
  std::memcpy(expected.data() + 30, "hello", 5);
  EXPECT_EQ(Bytes(record), expected);

  TLogRecord back = DecodeLogRecord(reinterpret_cast<const unsigned char*>(expected.data()));
  EXPECT_EQ(back.Direction, 1);
  EXPECT_EQ(back.Time, 45356.5);
  EXPECT_EQ(back.Phone, "+79001234567");
  EXPECT_EQ(back.Text, "hello");
}

TEST(SmsLogFormat, FieldsAreCutToTheirSize) {
  struct Case { std::string phone, text, storedPhone, storedText; };
  const Case cases[] = {
      {std::string(15, '1'), std::string(169, 'a'), std::string(15, '1'), std::string(169, 'a')},
      {std::string(16, '2'), std::string(170, 'b'), std::string(15, '2'), std::string(169, 'b')},
      {std::string(40, '3'), std::string(300, 'c'), std::string(15, '3'), std::string(169, 'c')},
      {std::string("12\0" "34", 5), std::string("ab\0" "cd", 5), "12", "ab"},  // a zero ends the copy
  };
  for (const Case& c : cases) {
    TLogRecord record;
    record.Phone = c.phone;
    record.Text = c.text;
    std::string bytes = Bytes(record);
    EXPECT_EQ(bytes[14 + 15], '\0');
    EXPECT_EQ(bytes[30 + 169], '\0');
    TLogRecord back = DecodeLogRecord(reinterpret_cast<const unsigned char*>(bytes.data()));
    EXPECT_EQ(back.Phone, c.storedPhone);
    EXPECT_EQ(back.Text, c.storedText);
  }
}

// The log reads a stored received record from its fields as they are; it must come out as
// the record parsed as a new message with its time written out as a stamp: at the edges of
// what a stamp can say (the century, a 29 February, a second rounding up into the next day,
// the first and last moments a time can name, doubles that name none) and for texts of every
// kind of reply, those whose grammar raises included.
TEST(SmsLogFormat, StoredRecordsParseAsTheyWouldAsNewMessages) {
  const TDateTime noon = EncodeDateTime(2024, 3, 5, 12, 0, 0, 0);
  const TDateTime times[] = {
      noon,
      EncodeDateTime(2024, 3, 5, 14, 7, 9, 999),
      EncodeDateTime(2024, 3, 5, 23, 59, 59, 0) + 0.9996 / 86400.0,  // rounds up into 6 March
      EncodeDateTime(1999, 12, 31, 23, 59, 59, 0),
      EncodeDateTime(1900, 2, 28, 8, 0, 0, 0),
      EncodeDateTime(1904, 2, 29, 8, 0, 0, 0),
      EncodeDateTime(2100, 3, 1, 0, 0, 0, 0),
      EncodeDateTime(1, 1, 1, 0, 0, 0, 0),
      EncodeDateTime(9999, 12, 31, 23, 59, 59, 999),
      EncodeDateTime(9999, 12, 31, 23, 59, 59, 0) + 0.9996 / 86400.0,  // past the last moment
      -0.25,  // 29 December 1899, 18:00
      0,
      1e300,
      std::numeric_limits<double>::quiet_NaN(),
      -std::numeric_limits<double>::infinity(),
  };
  const char* const texts[] = {
      "12345 141530.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324",
      "  12345(Truck 7) GPRS:141530.000,A,5545.1234,S,03737.5678,W,12.5,270.0,050324 \r\n",
      "12345 periodwr=60;",
      "12345@out1=1",
      "12345@input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324",
      "12345 telchange=+7916;datechange=05.03;timechange=14.07;",
      "hello from a phone",
      "",
  };
  std::vector<std::pair<TDateTime, std::string>> inputs;
  for (TDateTime time : times)
    for (const char* text : texts) inputs.emplace_back(time, text);
  for (const TUnreadableRecord& bad : UnreadableRecords()) inputs.emplace_back(bad.Time, bad.Text);

  for (const auto& [time, text] : inputs) {
    SCOPED_TRACE(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz ", time) + std::to_string(time) + " " + text);
    const std::unique_ptr<TSmsInfo> read = ParseLoggedSms("+79001234567", time, text);
    const std::unique_ptr<TSmsInfo> expected = ParseAsStampedReply("+79001234567", time, text);
    EXPECT_EQ(read->Kind, expected->Kind);
    EXPECT_EQ(read->Phone, expected->Phone);
    EXPECT_EQ(read->Time, expected->Time);
    EXPECT_EQ(read->DeviceNumber, expected->DeviceNumber);
    EXPECT_EQ(read->DeviceName, expected->DeviceName);
    EXPECT_EQ(read->Channel, expected->Channel);
    EXPECT_EQ(read->Text, expected->Text);
    ASSERT_EQ(read->Payload == nullptr, expected->Payload == nullptr);
    if (read->Payload) {
      EXPECT_EQ(typeid(*read->Payload), typeid(*expected->Payload));
    }
    EXPECT_EQ(MessageDetail(*read, 0).Lines, MessageDetail(*expected, 0).Lines);
    // The record as the log holds it reads the same way.
    TLogRecord record = Received("+79001234567", text);
    record.Time = time;
    EXPECT_EQ(ParseLoggedSms(record)->Time, expected->Time);
  }
}

TEST_F(SmsLogTest, AbsentLogGivesNothingAndTheFirstAppendCreatesIt) {
  Log->CheckSmsLog(Log->LogPath());
  EXPECT_FALSE(Log->CheckUnreadSms());
  TSmsInfoList unread;
  Log->LoadUnreadSms(unread);
  EXPECT_TRUE(unread.empty());
  EXPECT_FALSE(fs::exists(Log->LogPath()));

  TSmsInfo info;
  info.Phone = "+79001234567";
  info.Text = "  12345 PERIODWR=60;  ";
  ASSERT_TRUE(Log->AppendSmsToLog(info, 0));
  ASSERT_TRUE(Log->AppendSmsToLog(info, 1));
  std::string file = ReadFile(Log->LogPath());
  ASSERT_EQ(file.size(), 400u);
  TLogRecord first = DecodeLogRecord(reinterpret_cast<const unsigned char*>(file.data()));
  EXPECT_EQ(first.Direction, 0);
  EXPECT_EQ(first.Read, 0);
  EXPECT_EQ(first.Accepted, 0);
  EXPECT_EQ(first.Time, EncodeDateTime(2024, 3, 5, 14, 7, 9, 0));  // the time of storing
  EXPECT_EQ(first.Text, info.Text);                                  // as received
  EXPECT_EQ(file[200], 1);
}

TEST_F(SmsLogTest, BusyLockLeavesTheFileAlone) {
  Append(Received("1", "x"));
  Lock.Busy = true;
  EXPECT_FALSE(Log->WriteSmsLogRecord(Log->LogPath(), Received("2", "y")));
  EXPECT_FALSE(Log->CheckUnreadSms());
  TSmsInfoList unread;
  Log->LoadUnreadSms(unread);
  EXPECT_TRUE(unread.empty());
  Log->MarkAllSmsRead();
  Lock.Busy = false;
  EXPECT_EQ(ReadFile(Log->LogPath()).size(), 200u);
  EXPECT_TRUE(Log->CheckUnreadSms());
}

TEST_F(SmsLogTest, UnreadLoadSkipsSentAndReadRecordsAndMarkingStopsAtTheLoad) {
  Append(Received("+7001", "12345 periodwr=60;"));
  Append(Received("+7002", "already seen", 1));
  TLogRecord sent = Received("+7003", "sent text", 1);
  sent.Direction = 1;
  sent.Accepted = 1;
  Append(sent);
  Append(Received("+7004", "hello"));

  TSmsInfoList unread;
  Log->LoadUnreadSms(unread);
  ASSERT_EQ(unread.size(), 2u);
  EXPECT_EQ(unread[0]->Phone, "+7001");
  EXPECT_EQ(unread[0]->Kind, 128);
  EXPECT_EQ(unread[0]->Time, EncodeDateTime(2024, 3, 5, 14, 7, 9, 0));
  EXPECT_EQ(unread[1]->Kind, kKindUnknown);  // no grammar takes it, it still comes back
  EXPECT_EQ(unread[1]->Text, "hello");
  EXPECT_EQ(Log->LastLogIndex, 3);

  Append(Received("+7005", "arrived while the window was open"));
  Log->MarkAllSmsRead();
  std::string file = ReadFile(Log->LogPath());
  ASSERT_EQ(file.size(), 1000u);
  EXPECT_EQ(std::string({file[0], file[200], file[400], file[600], file[800]}), std::string("\1\1\1\1\0", 5));
  EXPECT_TRUE(Log->CheckUnreadSms());
}

TEST_F(SmsLogTest, HistoryLoadParsesReceivedEntriesOnly) {
  Append(Received("+7001", "12345 mout1=1;"));
  TLogRecord sent = Received("+7002", "12345 mout1=1;", 1);
  sent.Direction = 1;
  sent.Accepted = 7;
  Append(sent);
  TSmsHistory history;
  Log->LoadSmsLog(history);
  ASSERT_EQ(history.Count(), 2u);
  EXPECT_EQ(history.Item(0).Kind, 152);
  EXPECT_EQ(history.Item(0).DeviceNumber, 12345);
  EXPECT_EQ(history.Item(0).ReplyTime, EncodeDateTime(2024, 3, 5, 14, 7, 9, 0));
  const std::unique_ptr<TLogEntry> received = history.Entry(0);
  ASSERT_NE(received->Reply, nullptr);
  EXPECT_EQ(received->Reply->Kind, 152);
  EXPECT_EQ(received->Reply->Phone, "+7001");
  EXPECT_EQ(received->Text, "12345 mout1=1;");
  const std::unique_ptr<TLogEntry> entry = history.Entry(1);
  EXPECT_EQ(entry->Reply, nullptr);
  EXPECT_EQ(entry->Direction, 1);
  EXPECT_EQ(entry->Accepted, 1);  // any non-zero byte reads as accepted
  EXPECT_EQ(entry->Read, 1);
  EXPECT_EQ(entry->Phone, "+7002");
  EXPECT_EQ(Log->LastLogIndex, 1);
}

TEST_F(SmsLogTest, UnreadableRecordsComeBackAsBadAndEveryRecordAfterThemLoads) {
  // The damaged record at the start, in the middle and at the end, among readable ones.
  for (const TUnreadableRecord& bad : UnreadableRecords()) {
    SCOPED_TRACE(bad.What);
    std::filesystem::remove(Log->LogPath());
    TLogRecord damaged = Received("+7000", bad.Text);
    damaged.Time = bad.Time;
    TLogRecord sent = Received("+7003", "12345 get", 1);
    sent.Direction = 1;
    Append(damaged);
    Append(Received("+7001", "12345 periodwr=60;"));
    Append(damaged);
    Append(sent);
    Append(Received("+7002", "12345 periodsend=5;"));
    Append(damaged);
    const std::string before = ReadFile(Log->LogPath());

    TSmsInfoList unread;
    std::vector<int32_t> indexes;
    Log->LastLogIndex = 0;
    Log->LoadUnreadSms(unread, &indexes);
    ASSERT_EQ(unread.size(), 5u);
    EXPECT_EQ(indexes, (std::vector<int32_t>{0, 1, 2, 4, 5}));
    EXPECT_EQ(Log->LastLogIndex, 5);
    const uint8_t kinds[] = {kKindBad, 128, kKindBad, 132, kKindBad};
    for (size_t i = 0; i < unread.size(); ++i) {
      EXPECT_EQ(unread[i]->Kind, kinds[i]) << i;
      if (kinds[i] != kKindBad) continue;
      // Shown as a message whose time could not be read, with its sender and text.
      EXPECT_EQ(unread[i]->Phone, "+7000");
      EXPECT_EQ(unread[i]->Text, bad.Text);
      EXPECT_EQ(unread[i]->Time, 0);
      EXPECT_EQ(unread[i]->Payload, nullptr);
    }

    TSmsHistory history;
    Log->LastLogIndex = 0;
    Log->LoadSmsLog(history);
    ASSERT_EQ(history.Count(), 6u);
    EXPECT_EQ(Log->LastLogIndex, 5);
    const uint8_t historyKinds[] = {kKindBad, 128, kKindBad, 0, 132, kKindBad};
    for (size_t i = 0; i < history.Count(); ++i) {
      EXPECT_EQ(history.Item(i).Kind, historyKinds[i]) << i;
      const std::unique_ptr<TLogEntry> entry = history.Entry(i);
      if (entry->Direction != 0) continue;
      ASSERT_NE(entry->Reply, nullptr);
      EXPECT_EQ(entry->Reply->Kind, historyKinds[i]) << i;
      EXPECT_EQ(entry->Reply->Text, entry->Text) << i;
    }
    EXPECT_EQ(history.Text(5), bad.Text);

    // Reading changed nothing; the marking covers every record and changes only read bytes.
    EXPECT_EQ(ReadFile(Log->LogPath()), before);
    EXPECT_TRUE(Log->CheckUnreadSms());
    Log->MarkAllSmsRead();
    EXPECT_FALSE(Log->CheckUnreadSms());
    std::string after = ReadFile(Log->LogPath());
    ASSERT_EQ(after.size(), before.size());
    for (size_t at = 0; at < after.size(); at += kLogRecordSize) {
      EXPECT_EQ(after[at], 1) << at / kLogRecordSize;
      after[at] = before[at];
    }
    EXPECT_EQ(after, before);
  }
}

TEST_F(SmsLogTest, HistoryLoadReadsOnlyWhatWasAppendedToTheSameLog) {
  // Three records loaded; then the log changes, and the history is loaded again.
  enum class TThen { Grows, GrowsAfterMarking, Shrinks, IsReplaced, IsReplacedByALongerOne, IsSetAside, IsBusy };
  struct Case {
    const char* What;
    TThen Then;
    std::vector<std::string> Texts;  // of the history after the second load
    int32_t LastLogIndex;
  };
  const Case cases[] = {
      // An earlier record changed behind the log's back is not read again: only the appended
      // records are.
      {"grows", TThen::Grows, {"a", "b", "c", "d", "e"}, 4},
      {"grows after the marking", TThen::GrowsAfterMarking, {"a", "b", "c", "d"}, 3},
      {"shrinks", TThen::Shrinks, {"A", "B"}, 1},
      {"is replaced", TThen::IsReplaced, {"A", "B", "C"}, 2},
      {"is replaced by a longer one", TThen::IsReplacedByALongerOne, {"A", "B", "C", "D"}, 3},
      {"is set aside", TThen::IsSetAside, {}, 2},
      {"is busy", TThen::IsBusy, {"a", "b", "c"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    fs::remove(Log->LogPath());
    for (const char* text : {"a", "b", "c"}) Append(Received("+7001", text));
    TSmsHistory history;
    Log->LoadSmsLog(history);
    ASSERT_EQ(history.Count(), 3u);
    auto writeLog = [&](std::vector<std::string> texts) {
      std::string bytes;
      for (const std::string& text : texts) bytes += Bytes(Received("+7001", text));
      fs::remove(Log->LogPath());
      WriteFile(Log->LogPath(), bytes);
    };
    switch (c.Then) {
      case TThen::Grows: {
        std::fstream file(Log->LogPath(), std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(kLogTextOffset);
        file.put('x');
        file.close();
        Append(Received("+7001", "d"));
        Append(Received("+7001", "e"));
        break;
      }
      case TThen::GrowsAfterMarking:
        Log->MarkAllSmsRead();
        Append(Received("+7001", "d"));
        break;
      case TThen::Shrinks: writeLog({"A", "B"}); break;
      case TThen::IsReplaced: writeLog({"A", "B", "C"}); break;
      case TThen::IsReplacedByALongerOne: writeLog({"A", "B", "C", "D"}); break;
      case TThen::IsSetAside: fs::remove(Log->LogPath()); break;
      case TThen::IsBusy:
        Append(Received("+7001", "d"));
        Lock.Busy = true;
        break;
    }
    Log->LoadSmsLog(history);
    Lock.Busy = false;
    std::vector<std::string> texts;
    for (size_t i = 0; i < history.Count(); ++i) texts.emplace_back(history.Text(i));
    EXPECT_EQ(texts, c.Texts);
    EXPECT_EQ(Log->LastLogIndex, c.LastLogIndex);
    // What was loaded is parsed as a whole load would parse it.
    for (size_t i = 0; i < history.Count(); ++i) EXPECT_EQ(history.Entry(i)->Reply->Kind, kKindUnknown);
  }
}

TEST_F(SmsLogTest, ValidLogIsLeftAlone) {
  Append(Received("+7001", "a"));
  std::string before = ReadFile(Log->LogPath());
  Log->CheckSmsLog(Log->LogPath());
  EXPECT_EQ(ReadFile(Log->LogPath()), before);
  EXPECT_TRUE(SetAsideFiles().empty());
}

TEST_F(SmsLogTest, OldFormatLogIsConvertedWithABackup) {
  std::string old = OldRecord("+7001", "first") + OldRecord("+7002", std::string(159, 'x'));
  WriteFile(Log->LogPath(), old);
  Log->CheckSmsLog(Log->LogPath());
  EXPECT_EQ(ReadFile(Log->ExeDir() + "OrvexMonitor.log.bak"), old);
  std::string converted = ReadFile(Log->LogPath());
  ASSERT_EQ(converted.size(), 400u);
  EXPECT_EQ(converted.substr(0, 190), old.substr(0, 190));
  EXPECT_EQ(converted.substr(190, 10), std::string(10, '\0'));
  EXPECT_EQ(converted.substr(200, 190), old.substr(190, 190));
  TSmsHistory history;
  Log->LoadSmsLog(history);
  ASSERT_EQ(history.Count(), 2u);
  EXPECT_EQ(history.Text(1), std::string(159, 'x'));
  EXPECT_TRUE(SetAsideFiles().empty());
}

TEST_F(SmsLogTest, DamagedLogIsSetAsideAndDeleted) {
  struct Case { const char* what; std::string bytes; };
  std::string badDirection = Bytes(Received("+7001", "a"));
  badDirection[2] = 2;
  std::string noZeroInText = Bytes(Received("+7001", "a"));
  std::memset(noZeroInText.data() + 30, 'z', 170);
  const Case cases[] = {
      {"201 bytes, the first record bad", noZeroInText + "x"},
      {"direction 2", Bytes(Received("+7001", "a")) + badDirection},
      {"text field without its zero", noZeroInText},
  };
  for (const Case& c : cases) {
    fs::remove_all(Log->OldLogFolder());
    WriteFile(Log->LogPath(), c.bytes);
    Log->CheckSmsLog(Log->LogPath());
    EXPECT_FALSE(fs::exists(Log->LogPath())) << c.what;
    ASSERT_EQ(SetAsideFiles(), std::vector<std::string>{"050324_140709_OVMLogPoor.bak"}) << c.what;
    EXPECT_EQ(ReadFile(Log->OldLogFolder() + "/050324_140709_OVMLogPoor.bak"), c.bytes) << c.what;
  }
}

TEST_F(SmsLogTest, TornLastRecordIsCutOffAndTheCompleteRecordsKept) {
  std::string complete = Bytes(Received("+7001", "first")) + Bytes(Received("+7002", "second"));
  std::string torn = complete + Bytes(Received("+7003", "third")).substr(0, 57);
  WriteFile(Log->LogPath(), torn);
  Log->CheckSmsLog(Log->LogPath());
  EXPECT_EQ(ReadFile(Log->LogPath()), complete);
  EXPECT_EQ(ReadFile(Log->OldLogFolder() + "/050324_140709_OVMLogPoor.bak"), torn);
  Append(Received("+7004", "after the mend"));
  TSmsInfoList unread;
  Log->LoadUnreadSms(unread);
  ASSERT_EQ(unread.size(), 3u);
  EXPECT_EQ(unread[2]->Text, "after the mend");
}

TEST_F(SmsLogTest, SetAsideNeverOverwritesAndThenKeepsTheLog) {
  fs::create_directories(Log->OldLogFolder());
  WriteFile(Log->OldLogFolder() + "/050324_140709_OVMLogPoor.bak", "earlier");
  WriteFile(Log->LogPath(), "garbage");
  Log->CheckSmsLog(Log->LogPath());
  EXPECT_EQ(ReadFile(Log->OldLogFolder() + "/050324_140709_OVMLogPoor.bak"), "earlier");
  EXPECT_EQ(ReadFile(Log->LogPath()), "garbage");
}

namespace {

// The warnings the code under test gives, caught while it lives.
class TWarnings {
public:
  TWarnings() {
    Texts().clear();
    Previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
      if (type == QtWarningMsg) Texts().push_back(text.toStdString());
    });
  }
  ~TWarnings() { qInstallMessageHandler(Previous); }
  static std::vector<std::string>& Texts() {
    static std::vector<std::string> texts;
    return texts;
  }

private:
  QtMessageHandler Previous;
};

}  // namespace

TEST_F(SmsLogTest, ALogThatIsNoRegularFileIsRefusedAtOnceAndLeftAsItIs) {
  enum class TKind { Fifo, Folder, LinkToDevZero, LinkToFifo };
  struct Case {
    const char* What;
    TKind Kind;
  };
  const Case cases[] = {
      {"named pipe", TKind::Fifo},
      {"folder", TKind::Folder},
      {"link to /dev/zero", TKind::LinkToDevZero},
      {"link to a named pipe", TKind::LinkToFifo},
  };
  const std::string fifo = Log->ExeDir() + "elsewhere.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    fs::remove_all(Log->LogPath());
    switch (c.Kind) {
      case TKind::Fifo: ASSERT_EQ(::mkfifo(Log->LogPath().c_str(), 0600), 0); break;
      case TKind::Folder: fs::create_directory(Log->LogPath()); break;
      case TKind::LinkToDevZero: fs::create_symlink("/dev/zero", Log->LogPath()); break;
      case TKind::LinkToFifo: fs::create_symlink(fifo, Log->LogPath()); break;
    }
    const fs::file_status before = fs::symlink_status(Log->LogPath());
    TWarnings warnings;
    Log->LastLogIndex = 7;
    TSmsInfo info;
    info.Phone = "+7001";
    info.Text = "kept on the modem";
    // Every operation of the log, on a thread of its own: none may wait for a writer or read
    // without end.
    auto run = std::async(std::launch::async, [&] {
      Log->CheckSmsLog(Log->LogPath());
      EXPECT_FALSE(Log->IsOldFormatSmsLog(Log->LogPath()));
      EXPECT_FALSE(Log->CheckUnreadSms());
      TSmsInfoList unread;
      Log->LoadUnreadSms(unread);
      EXPECT_TRUE(unread.empty());
      TSmsHistory history;
      Log->LoadSmsLog(history);
      EXPECT_TRUE(history.Empty());
      Log->MarkAllSmsRead();
      // Not stored: the receiving side keeps the message on the modem.
      EXPECT_FALSE(Log->AppendSmsToLog(info, 0));
      EXPECT_FALSE(Log->WriteSmsLogRecord(Log->LogPath(), Received("+7001", "x")));
    });
    if (run.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      // Let a blocked open of a named pipe go, so that the test ends.
      for (const std::string& pipe : {Log->LogPath(), fifo}) ::close(::open(pipe.c_str(), O_RDWR | O_NONBLOCK));
      ADD_FAILURE() << "an operation on the log blocked";
      run.wait();
      continue;
    }
    run.get();
    EXPECT_EQ(Log->LastLogIndex, 7);
    EXPECT_EQ(fs::symlink_status(Log->LogPath()).type(), before.type());
    EXPECT_TRUE(SetAsideFiles().empty());
    ASSERT_FALSE(warnings.Texts().empty());
    EXPECT_NE(warnings.Texts().front().find(Log->LogPath()), std::string::npos) << warnings.Texts().front();
  }
}

TEST_F(SmsLogTest, ABackupPlaceThatIsNoFileLeavesAnOldLogUnconverted) {
  const std::string old = OldRecord("+7001", "first") + OldRecord("+7002", "second");
  WriteFile(Log->LogPath(), old);
  fs::create_directory(Log->ExeDir() + "OrvexMonitor.log.bak");
  fs::create_directory(Log->ExeDir() + "OrvexMonitor.log.bak/inside");
  Log->CheckSmsLog(Log->LogPath());
  EXPECT_EQ(ReadFile(Log->LogPath()), old);
  EXPECT_TRUE(fs::is_directory(Log->ExeDir() + "OrvexMonitor.log.bak/inside"));
}
