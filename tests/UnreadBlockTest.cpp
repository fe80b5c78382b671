// The unread block as the dispatcher reads it: every record is compared with bytes written out
// here by hand (little-endian numbers, IEEE floats and doubles, strings with one zero byte).

#include "gsm/ReadSmsFromLog.h"
#include "gsm/SmsLog.h"
#include "gsm/UnreadBlock.h"
#include "support/TestApp.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace {

// "0a 1B ..." -> bytes; blanks are for the reader only.
std::string Hex(const char* text) {
  std::string bytes;
  int high = -1;
  for (const char* p = text; *p != '\0'; ++p) {
    if (std::isspace(static_cast<unsigned char>(*p))) continue;
    const int digit = std::isdigit(static_cast<unsigned char>(*p)) ? *p - '0' : std::tolower(*p) - 'a' + 10;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + digit));
      high = -1;
    }
  }
  return bytes;
}

std::string AsHex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text.push_back(digits[c >> 4]);
    text.push_back(digits[c & 15]);
    text.push_back(' ');
  }
  return text;
}

// The header of every case from kind 2 on: phone "123", time 1.0, device 0x12345 (low 16
// bits 0x2345), channel 2. 15 bytes after the size and the kind.
#define HEADER "31 32 33 00  00 00 00 00 00 00 f0 3f  45 23  02"
// Values whose bytes are easy to write: 2.5 = 0x4004000000000000, 1.0f = 0x3f800000,
// -1.0f = 0xbf800000, 2.5f = 0x40200000.
#define TIME_2_5 "00 00 00 00 00 00 04 40"
#define TIME_1_0 "00 00 00 00 00 00 f0 3f"

template <class T>
std::unique_ptr<TSmsInfo> Reply(uint8_t kind, std::function<void(T&)> fill) {
  auto info = std::make_unique<TSmsInfo>();
  info->Kind = kind;
  info->Phone = "123";
  info->Time = 1.0;
  info->DeviceNumber = 0x12345;
  info->Channel = 2;
  info->Text = "not packed";
  info->DeviceName = "not packed";
  auto payload = std::make_unique<T>();
  fill(*payload);
  info->Payload = std::move(payload);
  return info;
}

std::unique_ptr<TSmsInfo> Bare(uint8_t kind) {
  return Reply<TSmsUssd>(kind, [](TSmsUssd& p) { p.Answer = "not packed"; });
}

struct Case {
  const char* Name;
  std::function<std::unique_ptr<TSmsInfo>()> Make;
  const char* Expected;
};

const Case cases[] = {
    {"kind 0 carries only its text",
     [] {
       auto info = std::make_unique<TSmsInfo>();
       info->Phone = "79001234567";
       info->Time = 1.0;
       info->DeviceNumber = 12345;
       info->Text = "ab";
       return info;
     },
     "06 00  00  61 62 00"},
    {"kind 0 with an empty text", [] { return std::make_unique<TSmsInfo>(); }, "04 00  00  00"},
    {"kind 1: sender, time and text, no device",
     [] {
       auto info = std::make_unique<TSmsInfo>();
       info->Kind = kKindUnknown;
       info->Phone = "79001234567";
       info->Time = 1.0;
       info->DeviceNumber = 12345;
       info->Channel = 1;
       info->Text = "abc";
       return info;
     },
     "1b 00  01  37 39 30 30 31 32 33 34 35 36 37 00  " TIME_1_0 "  61 62 63 00"},
    {"kind 2 position",
     [] {
       return Reply<TSmsGet>(kKindGet, [](TSmsGet& p) {
         p.FixTime = 2.5;
         p.Speed = 1.0f;
         p.Course = -1.0f;
         p.Latitude = 0x01020304;
         p.Longitude = -2;
         p.Valid = 1;
       });
     },
     "2b 00  02  " HEADER "  " TIME_2_5 "  00 00 80 3f  00 00 80 bf  04 03 02 01  fe ff ff ff  01"},
    {"kind 2 without its payload packs zeros",
     [] {
       auto info = Bare(kKindGet);
       info->Payload.reset();
       return info;
     },
     "2b 00  02  " HEADER "  00 00 00 00 00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  00"},
    {"kind 2 with a payload of another type packs zeros",
     [] { return Bare(kKindGet); },
     "2b 00  02  " HEADER "  00 00 00 00 00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  00"},
    {"kind 3 periods",
     [] {
       return Reply<TSmsSet>(kKindSet, [](TSmsSet& p) {
         p.WritePeriod = 60;
         p.SendPeriod = 0x100;
       });
     },
     "1a 00  03  " HEADER "  3c 00 00 00  00 01 00 00"},
    {"kind 4 keeps the low 16 bits of the port",
     [] {
       return Reply<TSmsChg>(kKindChg, [](TSmsChg& p) {
         p.Port = 0x12345678;
         p.ServerIp = "1.2";
       });
     },
     "18 00  04  " HEADER "  78 56  31 2e 32 00"},
    {"kind 5 answer", [] { return Reply<TSmsUssd>(kKindUssd, [](TSmsUssd& p) { p.Answer = "ok"; }); },
     "15 00  05  " HEADER "  6f 6b 00"},
    {"a string ends at an inner zero byte",
     [] { return Reply<TSmsUssd>(kKindUssd, [](TSmsUssd& p) { p.Answer = std::string("a\0b", 3); }); },
     "14 00  05  " HEADER "  61 00"},
    {"kind 6 output",
     [] {
       return Reply<TSmsOutput>(kKindSout, [](TSmsOutput& p) {
         p.Output = 3;
         p.State = -1;
       });
     },
     "16 00  06  " HEADER "  03 00  ff ff"},
    {"kind 19 output",
     [] {
       return Reply<TSmsOutput>(kKindMout, [](TSmsOutput& p) {
         p.Output = 1;
         p.State = 0;
       });
     },
     "16 00  13  " HEADER "  01 00  00 00"},
    {"kind 7 keeps the low 16 bits of the number",
     [] {
       return Reply<TSmsNumberedValue>(kKindPulse, [](TSmsNumberedValue& p) {
         p.Number = 0x10002;
         p.Value = -5;
       });
     },
     "18 00  07  " HEADER "  02 00  fb ff ff ff"},
    {"kind 9 counter",
     [] {
       return Reply<TSmsNumberedValue>(kKindScount, [](TSmsNumberedValue& p) {
         p.Number = 1;
         p.Value = 1000;
       });
     },
     "18 00  09  " HEADER "  01 00  e8 03 00 00"},
    {"kind 8 analog value and mode",
     [] {
       return Reply<TSmsSani>(kKindSani, [](TSmsSani& p) {
         p.Value = 300;
         p.Mode = 'A';
       });
     },
     "15 00  08  " HEADER "  2c 01  41"},
    {"kind 11 alarm: fix, event time, input; no input name",
     [] {
       return Reply<TSmsAlarm>(kKindAlarm, [](TSmsAlarm& p) {
         p.InputName = "door";
         p.GpsTime = 2.5;
         p.Speed = 1.0f;
         p.Course = 2.5f;
         p.Latitude = 0x01020304;
         p.Longitude = -2;
         p.Valid = 0;
         p.EventTime = 1.0;
         p.InputNumber = 4;
       });
     },
     "35 00  0b  " HEADER "  " TIME_2_5 "  00 00 80 3f  00 00 20 40  04 03 02 01  fe ff ff ff  00  " TIME_1_0
     "  04 00"},
    {"kind 12 change time and phone",
     [] {
       return Reply<TSmsCGet>(kKindCGet, [](TSmsCGet& p) {
         p.ChangeTime = 2.5;
         p.Phone = "+7";
       });
     },
     "1d 00  0c  " HEADER "  " TIME_2_5 "  2b 37 00"},
    {"kind 13 carries the level's low byte, not the mode",
     [] {
       return Reply<TSmsSin>(kKindSin, [](TSmsSin& p) {
         p.Input = 2;
         p.Level = 0x0105;
         p.SendGprs = 1;
         p.SendSms = 0;
         p.Mode = 'X';
         p.SmsPhone = "9";
       });
     },
     "1d 00  0d  " HEADER "  02 00  05 01  05  01 00  00 00  39 00"},
    {"kind 14 analog set-up",
     [] {
       return Reply<TSmsSain>(kKindSain, [](TSmsSain& p) {
         p.Aper = 10;
         p.Amod = 'm';
         p.Ad1 = 'a';
         p.Alv1 = 1;
         p.Us1 = 2;
         p.Ad2 = 'b';
         p.Alv2 = 3;
         p.Us2 = 4;
       });
     },
     "29 00  0e  " HEADER "  0a 00 00 00  6d  61 01 00 00 00 02 00 00 00  62 03 00 00 00 04 00 00 00"},
    {"kind 15 cleared point", [] { return Reply<TSmsPointCleared>(kKindPcl, [](TSmsPointCleared& p) { p.Point = 7; }); },
     "14 00  0f  " HEADER "  07 00"},
    {"kind 16 modes",
     [] {
       return Reply<TSmsSmode>(kKindSmode, [](TSmsSmode& p) {
         p.M = 1;
         p.O = 2;
         p.W = 3;
       });
     },
     "18 00  10  " HEADER "  01 00  02 00  03 00"},
    {"kind 17 phone of an index",
     [] {
       return Reply<TSmsTeleup>(kKindTelup, [](TSmsTeleup& p) {
         p.Index = 2;
         p.Phone = "12";
       });
     },
     "17 00  11  " HEADER "  02 00  31 32 00"},
    {"kind 18 three strings, an empty one among them",
     [] {
       return Reply<TSmsApn>(kKindApn, [](TSmsApn& p) {
         p.Apn = "a";
         p.Password = "p";
       });
     },
     "17 00  12  " HEADER "  61 00  00  70 00"},
    {"kind 21 configuration",
     [] {
       return Reply<TSmsGconf1>(kKindGconf1, [](TSmsGconf1& p) {
         p.Apn = "a";
         p.ServerIp = "s";
         p.Port = 0x1f90;
         p.WritePeriod = 5;
         p.WriteMode = 'w';
         p.SendPeriod = 6;
         p.M = 1;
         p.O = 0;
         p.W = 2;
       });
     },
     "29 00  15  " HEADER "  61 00  00  00  73 00  90 1f  05 00 00 00  77  06 00 00 00  01 00  00 00  02 00"},
    {"kind 22 configuration: four inputs, no acknowledgement text",
     [] {
       return Reply<TSmsGconf2>(kKindGconf2, [](TSmsGconf2& p) {
         p.Telup1 = "1";
         p.Ro = 'r';
         p.Count12 = 7;
         p.Count34 = 8;
         p.Inputs[0] = {1, "a"};
         p.Inputs[1] = {2, ""};
         p.Inputs[2] = {3, ""};
         p.Inputs[3] = {0x01000000, "d"};
         p.Akn = "zz";
       });
     },
     "34 00  16  " HEADER "  31 00  00  72  07 00 00 00  08 00 00 00"
     "  01 00 00 00 61 00  02 00 00 00 00  03 00 00 00 00  00 00 00 01 64 00"},
    {"kind 23 three control points",
     [] {
       return Reply<TSmsGconf4>(kKindGconf4, [](TSmsGconf4& p) {
         p.Points[0] = {1, 2, 3, 4};
         p.Points[1] = {-1, 0, 0, 0};
         p.Points[2] = {0, 0, 0, 0x7fffffff};
       });
     },
     "42 00  17  " HEADER "  01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00"
     "  ff ff ff ff 00 00 00 00 00 00 00 00 00 00 00 00"
     "  00 00 00 00 00 00 00 00 00 00 00 00 ff ff ff 7f"},
    {"kind 25 point event: fix, number, direction; no name",
     [] {
       return Reply<TSmsIOPoint>(kKindIOPoint, [](TSmsIOPoint& p) {
         p.PointName = "x";
         p.Time = 1.0;
         p.Speed = 2.5f;
         p.Course = 1.0f;
         p.Latitude = -2;
         p.Longitude = 0x01020304;
         p.Valid = 1;
         p.PointNumber = 9;
         p.Direction = 1;
       });
     },
     "2e 00  19  " HEADER "  " TIME_1_0 "  00 00 20 40  00 00 80 3f  fe ff ff ff  04 03 02 01  01  09 00  01"},
    {"kind 10 has no body", [] { return Bare(kKindGani); }, "12 00  0a  " HEADER},
    {"kind 20 has no body", [] { return Bare(kKindReset); }, "12 00  14  " HEADER},
    {"kind 24 has no body", [] { return Bare(kKindBattery); }, "12 00  18  " HEADER},
    {"a parameter answer has the header only",
     [] { return Reply<TSmsParamValue>(128, [](TSmsParamValue& p) { p.Value = 77; }); }, "12 00  80  " HEADER},
    {"a parameter answer of a reply record type has the header only",
     [] { return Reply<TSmsSin>(139, [](TSmsSin& p) { p.Input = 5; }); }, "12 00  8b  " HEADER},
    {"the last parameter kind", [] { return Bare(kLastParamKind); }, "12 00  a6  " HEADER},
};

TEST(UnreadBlock, EachKindPacksAsTheDispatcherReadsIt) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::unique_ptr<TSmsInfo> info = c.Make();
    EXPECT_EQ(AsHex(PackedSmsRecord(*info)), AsHex(Hex(c.Expected)));
  }
}

TEST(UnreadBlock, RecordsFollowEachOtherWithoutHeader) {
  TSmsInfoList list;
  list.push_back(cases[1].Make());  // kind 0, empty text
  list.push_back(cases[9].Make());  // kind 5, cut at the inner zero
  EXPECT_EQ(AsHex(PackedSmsBlock(list)), AsHex(Hex("04 00 00 00  14 00 05 " HEADER " 61 00")));
  EXPECT_EQ(PackedSmsBlock(TSmsInfoList()), "");
}

// n kind-0 records whose texts are their numbers, oldest first.
TSmsInfoList Numbered(int count, size_t textLength = 0) {
  TSmsInfoList list;
  for (int i = 0; i < count; ++i) {
    auto info = std::make_unique<TSmsInfo>();
    info->Text = std::to_string(i);
    info->Text.resize(std::max(textLength, info->Text.size()), '.');
    list.push_back(std::move(info));
  }
  return list;
}

// The texts of a block of kind-0 records, walking the size fields as the dispatcher does.
std::vector<std::string> Texts(const std::string& block) {
  std::vector<std::string> texts;
  size_t at = 0;
  while (at + 3 <= block.size()) {
    const size_t size = static_cast<unsigned char>(block[at]) | static_cast<unsigned char>(block[at + 1]) << 8;
    if (size < 4 || at + size > block.size() || block[at + 2] != 0 || block[at + size - 1] != '\0') {
      ADD_FAILURE() << "bad record at " << at;
      break;
    }
    texts.emplace_back(block.data() + at + 3);
    at += size;
  }
  EXPECT_EQ(at, block.size()) << "the block ends inside a record";
  return texts;
}

TEST(UnreadBlock, CarriesTheOldestFiftyAndWholeRecordsOnly) {
  struct Cut {
    const char* Name;
    int Count;
    size_t TextLength;
    size_t Records;
  };
  const Cut cuts[] = {
      {"sixty short messages give the oldest fifty", 60, 0, 50},
      {"fifty give all", 50, 0, 50},
      {"the largest records from the log still fit fifty", 60, 169, 50},
      {"records of 1004 bytes: ten fit the capacity", 20, 1000, 10},
      {"a record over 65535 bytes ends the block", 3, 70000, 0},
  };
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.Name);
    const std::string block = PackedSmsBlock(Numbered(cut.Count, cut.TextLength));
    EXPECT_LE(block.size(), kUnreadBlockCapacity);
    const std::vector<std::string> texts = Texts(block);
    ASSERT_EQ(texts.size(), cut.Records);
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i].substr(0, std::to_string(i).size()), std::to_string(i));
  }
}

TEST(UnreadBlock, StopsAtOnceWhenAskedTo) {
  int asked = 0;
  const std::string block = PackedSmsBlock(Numbered(10), [&] { return ++asked > 3; });
  EXPECT_EQ(Texts(block), (std::vector<std::string>{"0", "1", "2"}));
}

// The packer over a loader that hands out prepared records.
class ReadSmsFromLogTest : public ::testing::Test {
protected:
  void SetUp() override { TestApplication(); }

  // Runs a packer to its end and keeps it for inspection.
  std::unique_ptr<TReadSmsFromLog> Run(std::function<TSmsInfoList()> make, bool stopFirst = false) {
    auto packer = std::make_unique<TReadSmsFromLog>([make](TSmsInfoList& list, std::vector<int32_t>& indexes) {
      // Log indexes 0, 2, 4 ...: read or sent records lie between the unread ones.
      for (auto& info : make()) {
        indexes.push_back(static_cast<int32_t>(2 * list.size()));
        list.push_back(std::move(info));
      }
    });
    if (stopFirst) packer->Terminate();
    packer->Start();
    packer->WaitFor();
    return packer;
  }
};

TEST_F(ReadSmsFromLogTest, NothingUnreadIsACompletedEmptyBlock) {
  auto packer = Run([] { return TSmsInfoList(); });
  EXPECT_TRUE(packer->Completed);
  EXPECT_EQ(packer->PayloadLength, 0);
}

TEST_F(ReadSmsFromLogTest, PayloadHoldsTheBlockOfTheOldestFifty) {
  auto packer = Run([] { return Numbered(60); });
  EXPECT_TRUE(packer->Completed);
  const std::string payload(reinterpret_cast<const char*>(packer->Payload.data()),
                            static_cast<size_t>(packer->PayloadLength));
  const std::vector<std::string> texts = Texts(payload);
  ASSERT_EQ(texts.size(), 50u);
  EXPECT_EQ(texts.front(), "0");
  EXPECT_EQ(texts.back(), "49");
  // Taking this block may mark read only up to the fiftieth message.
  EXPECT_TRUE(packer->MoreUnread);
  EXPECT_EQ(packer->LastPackedIndex, 98);
}

TEST_F(ReadSmsFromLogTest, TellsWhetherUnreadMessagesWereLeftOut) {
  struct Case {
    int Count;
    size_t TextLength;
    bool MoreUnread;
    int32_t LastPackedIndex;
  };
  const Case cases[] = {{1, 0, false, -1}, {50, 0, false, -1}, {51, 0, true, 98}, {12, 1000, true, 18}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Count);
    auto packer = Run([&] { return Numbered(c.Count, c.TextLength); });
    EXPECT_EQ(packer->MoreUnread, c.MoreUnread);
    EXPECT_EQ(packer->LastPackedIndex, c.LastPackedIndex);
  }
}

TEST_F(ReadSmsFromLogTest, AStoppedPackerIsNotCompleted) {
  auto packer = Run([] { return Numbered(5); }, true);
  EXPECT_FALSE(packer->Completed);
  EXPECT_EQ(packer->PayloadLength, 0);
}

// A log without the named mutex: each operation may always go ahead.
class TFreeLock : public TLogLock {
public:
  bool Acquire(unsigned) override { return true; }
  void Release() override {}
};

TEST_F(ReadSmsFromLogTest, PacksTheUnreadReceivedRecordsOfTheLog) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TFreeLock lock;
  TSmsLog log(dir.path().toStdString() + "/", lock);
  // 2012-01-03 00:00:00, day 40911: 0x40e3f9e000000000. The log keeps the time of storing,
  // and the load reads it back through a time-stamp text of two-digit years.
  log.Clock = [] { return 40911.0; };
  struct Stored {
    uint8_t Direction;
    uint8_t Read;
    const char* Text;
  };
  const Stored stored[] = {{0, 0, "abc"}, {1, 1, "sent"}, {0, 1, "seen"}, {0, 0, "def"}};
  for (const Stored& s : stored) {
    TLogRecord record;
    record.Direction = s.Direction;
    record.Read = s.Read;
    record.Time = 40911.0;
    record.Phone = "79001234567";
    record.Text = s.Text;
    ASSERT_TRUE(log.WriteSmsLogRecord(log.LogPath(), record));
  }
  auto packer = std::make_unique<TReadSmsFromLog>(
      [&](TSmsInfoList& list, std::vector<int32_t>& indexes) { log.LoadUnreadSms(list, &indexes); });
  packer->Start();
  packer->WaitFor();
  ASSERT_TRUE(packer->Completed);
  const std::string payload(reinterpret_cast<const char*>(packer->Payload.data()),
                            static_cast<size_t>(packer->PayloadLength));
  // Two records of kind 1 (no reply grammar matches), 27 bytes each; the time is the stored one.
  EXPECT_EQ(AsHex(payload),
            AsHex(Hex("1b 00 01 37 39 30 30 31 32 33 34 35 36 37 00 00 00 00 00 e0 f9 e3 40 61 62 63 00"
                      "1b 00 01 37 39 30 30 31 32 33 34 35 36 37 00 00 00 00 00 e0 f9 e3 40 64 65 66 00")));
  EXPECT_EQ(log.LastLogIndex, 3);
}

}  // namespace
