// The reader thread and the stored-message operations against the simulated modem on a
// pseudo-terminal: what reaches the SMS log, what the modem is told, and when the unread
// notice runs.

#include "common/Text.h"
#include "gsm/ConfigureModem.h"
#include "gsm/MonitorCore.h"
#include "support/QuietCore.h"
#include "gsm/PduCodec.h"
#include "platform/NamedMutex.h"
#include "support/LogFile.h"
#include "support/ProgramFolders.h"
#include "support/SimModem.h"
#include "support/ModemWaits.h"
#include "support/TestApp.h"
#include "support/UtcSeconds.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <stdlib.h>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kSender[] = "+79001234567";

// The GSM side with the unread notice counted on the main thread.
class TTestCore : public TMonitorEvents, public TMonitorCore {
 public:
  explicit TTestCore(std::string exeDir) : TMonitorCore(std::move(exeDir), static_cast<TMonitorEvents&>(*this)) {}
  void SmsSendResult(uint8_t, const std::string&) override {}
  uint32_t NotifyDispatcher(uint32_t, const std::string&) override { return 0; }
  void RefreshShowSmsForm() override {}
  ~TTestCore() override { StopModemThreads(); }
  void NotifyUnreadSms() override {
    EXPECT_TRUE(TThread::IsMainThread());
    ++Notices;
  }
  std::atomic<int> Notices{0};
};

TSimDeliver Message(const std::string& text, int parts = 0, bool reverse = false) {
  TSimDeliver message;
  message.Sender = kSender;
  message.Text = text;
  message.Parts = parts;
  message.Reverse = reverse;
  return message;
}

class TermReaderTest : public ::testing::Test, protected TProgramFolders {
 protected:
  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(EnterProgramFolders());
    ASSERT_TRUE(Modem.IsOpen());
    Modem.Sim.SetEcho(false);
    PortMutex = TNamedMutex::Create(kPortMutexName);
    ASSERT_TRUE(PortMutex);
    MakeCore();
  }
  // A core on the open port, as the monitor has after a successful set-up.
  void MakeCore() {
    Core = std::make_unique<TTestCore>(ExeDir);
    Core->CreateLogMutex();
    Core->Link().SetReaderWaits(FastReaderWaits());
    Core->ApplyModemSettings(PortSettings(Modem.SlavePath()));
    Core->PartClock() = [this] { return PartNow.load(); };
    std::string message;
    ASSERT_TRUE(Core->Modem().OpenComPort(Modem.SlavePath(), message)) << message;
  }
  // The monitor stops and starts again.
  void RestartCore() {
    Core.reset();
    MakeCore();
  }
  void TearDown() override {
    Core.reset();
    Modem.Stop();
  }

  // The SMS log's records as stored, without parsing them again.
  std::vector<TLogRecord> Records() const {
    return ReadFolderLog(ExeDir);
  }
  std::vector<std::string> Texts() const { return ReadFolderLogTexts(ExeDir); }
  bool WaitForRecords(size_t count, int ms = 5000) {
    return WaitUntil([&] { return Records().size() >= count; }, ms);
  }
  bool Sent(const std::string& command) const {
    const auto commands = Modem.Sim.Commands();
    return std::find(commands.begin(), commands.end(), command) != commands.end();
  }

  TSimOnPty Modem;
  std::unique_ptr<TNamedMutex> PortMutex;
  std::unique_ptr<TTestCore> Core;
  // The monitor's clock by which the parts of concatenated messages are given up.
  std::atomic<int64_t> PartNow{TPduDecoder::SystemSeconds()};
};

constexpr int64_t kHour = 3600;

}  // namespace

TEST_F(TermReaderTest, DeliveredAndStoredMessagesReachTheLogUnreadAndAreSignalled) {
  struct Case {
    const char* name;
    bool stored;  // +CMTI (stored) or +CMT (in the notice)
  };
  const Case cases[] = {{"cmt", false}, {"cmti", true}};
  Core->StartTermReader();
  size_t expected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = std::string("12345 reset ") + c.name;
    const int noticesBefore = Core->Notices;
    if (c.stored) {
      const std::vector<int> indexes = Modem.Sim.InjectCmti(Message(text));
      ASSERT_EQ(indexes.size(), 1u);
      ASSERT_TRUE(WaitForRecords(++expected));
      const std::string index = std::to_string(indexes[0]);
      EXPECT_TRUE(Sent("AT+CPMS=\"SM\""));
      EXPECT_TRUE(Sent("AT+CMGR=" + index));
      EXPECT_TRUE(WaitUntil([&] { return Sent("AT+CMGD=" + index); }));
      EXPECT_TRUE(Modem.Sim.StoredMessages("SM").empty());
    } else {
      ASSERT_FALSE(Modem.Sim.InjectCmt(Message(text)).empty());
      ASSERT_TRUE(WaitForRecords(++expected));
    }
    const TLogRecord record = Records().back();
    EXPECT_EQ(record.Text, text);
    EXPECT_NE(record.Phone.find("79001234567"), std::string::npos);
    EXPECT_EQ(record.Direction, 0);
    EXPECT_EQ(record.Read, 0);
    EXPECT_TRUE(WaitUntil([&] { return Core->Notices == noticesBefore + 1; }));
  }
}

TEST_F(TermReaderTest, ConcatenatedMessageIsLoggedOnceWhenItsLastPartArrivesInEitherOrder) {
  struct Case {
    const char* name;
    bool stored;
    bool reverse;
  };
  const Case cases[] = {
      {"cmt in order", false, false},
      {"cmt last part first", false, true},
      {"cmti in order", true, false},
      {"cmti last part first", true, true},
  };
  Core->StartTermReader();
  size_t expected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = std::string("12345 a long reply in two parts: ") + c.name;
    const TSimDeliver message = Message(text, 2, c.reverse);
    if (c.stored)
      ASSERT_EQ(Modem.Sim.InjectCmti(message).size(), 2u);
    else
      ASSERT_EQ(Modem.Sim.InjectCmt(message).size(), 2u);
    ASSERT_TRUE(WaitForRecords(++expected));
    RunFor(300);  // nothing more comes of it
    ASSERT_EQ(Records().size(), expected);
    EXPECT_EQ(Records().back().Text, text);
    // Every stored part goes once the whole message is logged, the one read first included.
    EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").empty(); }))
        << Modem.Sim.StoredMessages("SM").size() << " parts left in the store";
  }
}

TEST_F(TermReaderTest, RingIsHungUpAndLogsNothing) {
  Core->StartTermReader();
  Modem.Sim.InjectRing(3, 100);
  EXPECT_TRUE(WaitUntil([&] { return Sent("ATH"); }));
  EXPECT_TRUE(WaitUntil([&] { return !Modem.Sim.Ringing(); }));
  RunFor(300);
  EXPECT_TRUE(Records().empty());
  EXPECT_EQ(Core->Notices, 0);
}

// One read holding several notices: every one is handled, in the order they came.
TEST_F(TermReaderTest, EveryNoticeOfOneReadIsHandledInOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> kinds;  // "cmt", "cmti", "ring", "ok"
  };
  const Case cases[] = {
      {"two stored", {"cmti", "cmti"}},
      {"delivered then stored", {"cmt", "cmti"}},
      {"stored then delivered then stored", {"cmti", "cmt", "cmti"}},
      {"after an answer", {"ok", "cmt"}},
      {"after a ring", {"ring", "cmti"}},
  };
  Core->StartTermReader();
  int serial = 0;
  size_t expected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> texts;
    Modem.Sim.SetHold(true);
    for (const std::string& kind : c.kinds) {
      const std::string text = "12345 reset " + std::to_string(++serial);
      if (kind == "cmt") {
        Modem.Sim.InjectCmt(Message(text));
        texts.push_back(text);
      } else if (kind == "cmti") {
        Modem.Sim.InjectCmti(Message(text));
        texts.push_back(text);
      } else if (kind == "ring") {
        Modem.Sim.InjectRing(1);
      } else {
        Modem.Sim.InjectRaw("\r\nOK\r\n");
      }
    }
    Modem.Sim.SetHold(false);  // everything goes as one burst
    expected += texts.size();
    ASSERT_TRUE(WaitForRecords(expected));
    RunFor(200);
    const std::vector<std::string> all = Texts();
    ASSERT_EQ(all.size(), expected);
    EXPECT_EQ(std::vector<std::string>(all.end() - static_cast<long>(texts.size()), all.end()), texts);
    EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").empty(); }));
  }
}

// A notice that arrives in pieces over several reads is joined before it is handled.
TEST_F(TermReaderTest, NoticeSplitAcrossReadsIsJoined) {
  struct Case {
    const char* name;
    bool stored;
    size_t piece;
  };
  const Case cases[] = {
      {"cmt in pieces of 7", false, 7},
      {"cmt header apart from its pdu", false, 20},
      {"cmti in pieces of 5", true, 5},
  };
  Core->StartTermReader();
  size_t expected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = std::string("12345 reset split ") + c.name;
    Modem.Sim.SetSplit(c.piece, 60);
    if (c.stored)
      Modem.Sim.InjectCmti(Message(text));
    else
      Modem.Sim.InjectCmt(Message(text));
    // Only the notice comes in pieces; the answers to the reads of the store come whole.
    Modem.Sim.SetSplit(0, 0);
    ASSERT_TRUE(WaitForRecords(++expected, 10000));
    RunFor(200);
    ASSERT_EQ(Records().size(), expected);
    EXPECT_EQ(Records().back().Text, text);
  }
}

// A +CMT header waits for its PDU line: a line that comes 0.7 s or 3 s later still makes the
// message. A header whose line never comes is dropped, never logged, and the next message is
// fine.
TEST_F(TermReaderTest, CmtHeaderWaitsForItsPduLine) {
  Core->StartTermReader();
  size_t expected = 0;
  for (int delayMs : {700, 3000}) {
    SCOPED_TRACE(delayMs);
    const TSimPdu pdu = SimBuildDeliverPdus(Message("12345 reset late"))[0];
    Modem.Sim.InjectRaw("\r\n+CMT: ," + std::to_string(pdu.TpduLength) + "\r\n");
    RunFor(delayMs);
    EXPECT_EQ(Records().size(), expected);
    Modem.Sim.InjectRaw(pdu.Hex + "\r\n");
    ASSERT_TRUE(WaitForRecords(++expected));
    EXPECT_EQ(Records().back().Text, "12345 reset late");
  }
  Modem.Sim.InjectRaw("\r\n+CMT: ,24 0791");
  RunFor(static_cast<int>(TNoticeStream::kCmtPduWait.count()) + 1000);
  EXPECT_EQ(Records().size(), expected);
  EXPECT_TRUE(Core->Link().Channel().Notices.Unfinished().empty());
  Modem.Sim.InjectCmt(Message("12345 reset next"));
  ASSERT_TRUE(WaitForRecords(++expected));
  RunFor(200);
  ASSERT_EQ(Records().size(), expected);
  EXPECT_EQ(Records().back().Text, "12345 reset next");
}

TEST_F(TermReaderTest, MessagesStoredBeforeTheReaderStartedAreReadLoggedAndDeleted) {
  const std::vector<std::string> texts = {"12345 reset one", "12345 reset two", "12345 reset three"};
  for (const std::string& text : texts) ASSERT_EQ(Modem.Sim.StoreSms(Message(text)).size(), 1u);
  Core->StartTermReader(true);
  ASSERT_TRUE(WaitForRecords(texts.size()));
  EXPECT_EQ(Texts(), texts);
  EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").empty(); }));
  // Messages handled in one turn share one notice.
  EXPECT_TRUE(WaitUntil([&] { return Core->Notices >= 1; }));
  // The listing carries the messages: none is read again.
  const auto commands = Modem.Sim.Commands();
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const std::string& command) { return command.rfind("AT+CMGR=", 0) == 0; }),
            0);
}

// The sweep and the modem's own notices of the same stored messages log each message once;
// a stored part left twice (a network resend) and the rest of its message leave the store empty.
TEST_F(TermReaderTest, ListedMessagesAreLoggedOnceAndEveryCopyIsDeleted) {
  TSimDeliver twoParts = Message("12345 reset first part and the second part", 2);
  twoParts.Reference = 77;
  const std::vector<TSimPdu> pdus = SimBuildDeliverPdus(twoParts);
  ASSERT_EQ(pdus.size(), 2u);
  ASSERT_EQ(Modem.Sim.StoreSms(Message("12345 reset single")).size(), 1u);
  // The first part stored twice, then the +CMTI of the single message arrives during the sweep.
  ASSERT_EQ(Modem.Sim.StorePdu(pdus[0]), 2);
  ASSERT_EQ(Modem.Sim.StorePdu(pdus[0]), 3);
  Core->StartTermReader(true);
  Modem.Sim.InjectRaw("\r\n+CMTI: \"SM\",1\r\n");
  ASSERT_TRUE(WaitForRecords(1));
  const int last = Modem.Sim.StorePdu(pdus[1]);
  ASSERT_GT(last, 0);
  Modem.Sim.InjectRaw("\r\n+CMTI: \"SM\"," + std::to_string(last) + "\r\n");
  ASSERT_TRUE(WaitForRecords(2));
  RunFor(1000);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"12345 reset single", "12345 reset first part and the second part"}));
  EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").empty(); }));
}

// A stored part whose message never completes is logged with what came, and leaves the store,
// a day after it came by the monitor's clock, while nothing else arrives; a message of another
// sender stamped a day later does not give it up before. So is the oldest of nine waiting
// messages.
TEST_F(TermReaderTest, StoredPartsOfMessagesThatNeverCompleteAreLoggedAndDeleted) {
  TSimDeliver stale = Message("12345 reset stale first half and the lost second half", 2);
  stale.Reference = 9;
  stale.Time = {2026, 1, 2, 12, 0, 0, 12};  // 09:00 UTC
  PartNow = UtcSeconds(2026, 1, 2, 9, 1);
  const std::vector<TSimPdu> staleParts = SimBuildDeliverPdus(stale);
  ASSERT_EQ(staleParts.size(), 2u);
  ASSERT_GT(Modem.Sim.StorePdu(staleParts[0]), 0);
  Core->StartTermReader(true);
  RunFor(1000);
  EXPECT_TRUE(Records().empty());
  TSimDeliver later = Message("12345 reset a day later");
  later.Sender = "+79001234599";
  later.Time = {2026, 1, 3, 13, 0, 0, 12};
  ASSERT_FALSE(Modem.Sim.InjectCmt(later).empty());
  ASSERT_TRUE(WaitForRecords(1));
  RunFor(500);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"12345 reset a day later"}));
  EXPECT_EQ(Modem.Sim.StoredMessages("SM").size(), 1u);
  PartNow += 24 * kHour;
  ASSERT_TRUE(WaitForRecords(2));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"12345 reset a day later", stale.Text.substr(0, (stale.Text.size() + 1) / 2)}));
  EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").empty(); }));

  // Nine first parts of messages whose second parts never come: the oldest is given up.
  for (int reference = 20; reference < 29; ++reference) {
    TSimDeliver first = Message("12345 reset waiting " + std::to_string(reference) + " for its second half", 2);
    first.Reference = static_cast<uint16_t>(reference);
    first.Time = later.Time;
    ASSERT_GT(Modem.Sim.StorePdu(SimBuildDeliverPdus(first)[0]), 0);
    Modem.Sim.InjectRaw("\r\n+CMTI: \"SM\"," + std::to_string(Modem.Sim.StoredMessages("SM").rbegin()->first) + "\r\n");
  }
  ASSERT_TRUE(WaitForRecords(3));
  const std::string oldest = "12345 reset waiting 20 for its second half";
  EXPECT_EQ(Texts().back(), oldest.substr(0, (oldest.size() + 1) / 2));
  EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").size() == 8; }));
}

// A message whose last part never comes is given up about a day after its first part came,
// also when the monitor starts again in between and reads the part from the store anew.
TEST_F(TermReaderTest, MessageWhoseLastPartNeverComesIsGivenUpADayAfterItCameAcrossARestart) {
  TSimDeliver message = Message("12345 reset first half and a second half that never comes", 2);
  message.Time = {2026, 3, 1, 9, 59, 0, 0};
  PartNow = UtcSeconds(2026, 3, 1, 10, 0);
  ASSERT_GT(Modem.Sim.StorePdu(SimBuildDeliverPdus(message)[0]), 0);
  Core->StartTermReader(true);
  RunFor(1000);
  PartNow += 20 * kHour;
  RestartCore();
  Core->StartTermReader(true);
  RunFor(1000);
  PartNow = UtcSeconds(2026, 3, 2, 9, 50);
  RunFor(600);
  EXPECT_TRUE(Records().empty());
  EXPECT_EQ(Modem.Sim.StoredMessages("SM").size(), 1u);
  PartNow = UtcSeconds(2026, 3, 2, 10, 1);
  ASSERT_TRUE(WaitForRecords(1));
  EXPECT_EQ(Texts(), (std::vector<std::string>{message.Text.substr(0, (message.Text.size() + 1) / 2)}));
  EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").empty(); }));
}

// Parts of several senders' messages interleaved, delivered in the notice and placed in the
// store by turns, one sender's service centre stamping years ahead and one years behind: every
// message is logged whole once, nothing is given up, nothing stays in the store (one far stamp
// gave up the other senders' waiting messages, which were logged in halves; and a message
// completed by a part in the notice left its stored parts behind).
TEST_F(TermReaderTest, PartsOfInterleavedSendersAreJoinedWhateverTheirCentresClocks) {
  PartNow = UtcSeconds(2026, 3, 1, 10, 0);
  struct Case {
    const char* sender;
    TSimTimeStamp time;
    int parts;
  };
  const Case senders[] = {
      {"+79001234561", {2026, 3, 1, 9, 58, 0, 0}, 3},   // the centre's clock is right
      {"+79001234562", {2031, 7, 1, 12, 0, 0, 0}, 2},   // years ahead
      {"+79001234563", {2009, 5, 5, 8, 0, 0, 0}, 3},    // years behind
  };
  std::vector<std::vector<TSimPdu>> parts;
  std::vector<std::string> texts;
  for (const Case& c : senders) {
    TSimDeliver message = Message(std::string("12345 reset from ") + c.sender + ", a reply long enough for " +
                                      std::to_string(c.parts) + " parts of a concatenated message",
                                  c.parts);
    message.Sender = c.sender;
    message.Time = c.time;
    message.Reference = 40;
    parts.push_back(SimBuildDeliverPdus(message));
    ASSERT_EQ(parts.back().size(), static_cast<size_t>(c.parts));
    texts.push_back(message.Text);
  }
  Core->StartTermReader();
  bool inline_ = true;
  for (size_t part = 0; part < 3; ++part)
    for (const std::vector<TSimPdu>& pdus : parts) {
      if (part >= pdus.size()) continue;
      const TSimPdu& pdu = pdus[part];
      if (inline_) {
        Modem.Sim.InjectRaw("\r\n+CMT: ," + std::to_string(pdu.TpduLength) + "\r\n" + pdu.Hex + "\r\n");
      } else {
        const int index = Modem.Sim.StorePdu(pdu);
        ASSERT_GT(index, 0);
        Modem.Sim.InjectRaw("\r\n+CMTI: \"SM\"," + std::to_string(index) + "\r\n");
      }
      inline_ = !inline_;
      RunFor(100);
    }
  ASSERT_TRUE(WaitForRecords(texts.size()));
  RunFor(500);
  std::vector<std::string> logged = Texts();
  std::sort(logged.begin(), logged.end());
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(logged, texts);
  EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").empty(); }))
      << Modem.Sim.StoredMessages("SM").size() << " parts left in the store";
}

// A full store is read over several turns, and the port is free between them: a send or a
// check of the modem waiting for it gets it long before the whole store has been read.
TEST_F(TermReaderTest, ReadingAFullStoreLetsThePortGoBetweenTurns) {
  const size_t count = 12;
  for (size_t i = 0; i < count; ++i)
    ASSERT_EQ(Modem.Sim.StoreSms(Message("12345 reset sweep " + std::to_string(i))).size(), 1u);
  TReaderWaits waits = Core->Link().ReaderWaits();
  waits.TurnLength = 1;
  Core->Link().SetReaderWaits(waits);
  Core->StartTermReader(true);
  ASSERT_TRUE(WaitForRecords(1));
  ASSERT_EQ(PortMutex->Wait(5000), TMutexWait::Obtained);
  const size_t left = Modem.Sim.StoredMessages("SM").size();
  PortMutex->Release();
  EXPECT_GT(left, 0u) << "the reader held the port until the store was empty";
  ASSERT_TRUE(WaitForRecords(count, 20000));
  EXPECT_EQ(Records().size(), count);
  EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").empty(); }));
}

// A check of the modem on an open link reads what the modem sent meanwhile: a message notice
// among it is kept and reaches the log through the reader.
TEST_F(TermReaderTest, NoticeReadByACheckOfTheModemIsHandled) {
  Modem.Sim.InjectCmt(Message("12345 reset checked"));
  ASSERT_TRUE(CheckModem(Core->Link().Channel(), FastSetupWaits()));
  EXPECT_TRUE(Records().empty());
  Core->StartTermReader();
  ASSERT_TRUE(WaitForRecords(1));
  EXPECT_EQ(Records()[0].Text, "12345 reset checked");
}

// The storage names and slot numbers of the store commands come from the modem's own answers.
// Whatever a garbled or hostile answer holds there, only a short name and a number of a few
// digits go back in a command; the rest is refused, in the trace, and the reader goes on.
TEST_F(TermReaderTest, StoreCommandsTakeOnlyShortStorageNamesAndSlotNumbers) {
  Core->Modem().WriteDebugLog = true;
  const std::string longIndex(600, '7');
  const TSimPdu pdu = SimBuildDeliverPdus(Message("12345 reset listed")).at(0);
  // The store list names a storage of 600 letters for new messages: the sweep lists "SM".
  Modem.Sim.SetRule("AT+CPMS?", "+CPMS: \"SM\",1,30,\"SM\",1,30,\"" + std::string(600, 'A') + "\",1,30\nOK");
  // A listed message in a slot of 600 digits is logged, but no delete goes with that number.
  // The listing is sent as a modem frames it, its PDU on the line after the entry's head.
  Modem.Sim.SetRule("AT+CMGL", "");
  Core->StartTermReader(true);
  ASSERT_TRUE(WaitUntil([&] { return Sent("AT+CMGL=4"); }));
  Modem.Sim.InjectRaw("\r\n+CMGL: " + longIndex + ",0,," + std::to_string(pdu.TpduLength) + "\r\n" + pdu.Hex +
                      "\r\n\r\nOK\r\n");
  ASSERT_TRUE(WaitForRecords(1));
  EXPECT_EQ(Texts(), std::vector<std::string>{"12345 reset listed"});
  // Notices of slots with more digits than a store has.
  Modem.Sim.InjectRaw("\r\n+CMTI: \"SM\"," + longIndex + "\r\n");
  Modem.Sim.InjectRaw("\r\n+CMTI: \"SM\",123456\r\n");
  Modem.Sim.InjectRaw("\r\n+CMTI: \"SM\",12345\r\n");  // the longest number that goes

  const std::string refused = "Store command refused, the ";
  const std::string longSlot = refused + "slot number is not 1 to 5 digits: index \"" + std::string(32, '7') +
                               "\" (600 bytes)";
  const std::vector<std::string> expected = {
      refused + "storage name is not 1 to 8 letters or digits: storage \"" + std::string(32, 'a') + "\" (600 bytes)",
      longSlot,
      longSlot,
      refused + "slot number is not 1 to 5 digits: index \"123456\"",
  };
  std::vector<std::string> lines;
  EXPECT_TRUE(WaitUntil([&] {
    std::ifstream in(ExeDir + kDebugLogName, std::ios::binary);
    const std::string trace((std::istreambuf_iterator<char>(in)), {});
    lines.clear();
    for (size_t at = trace.find(refused); at != std::string::npos; at = trace.find(refused, at + 1))
      lines.push_back(trace.substr(at, trace.find("\r\n", at) - at));
    return lines.size() >= expected.size() && Sent("AT+CMGR=12345");
  }));
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(Sent("AT+CPMS=\"SM\""));
  EXPECT_TRUE(Sent("AT+CMGL=4"));
  for (const std::string& command : Modem.Sim.Commands())
    EXPECT_TRUE(std::regex_match(command, std::regex("AT\\+(CPMS\\?|CPMS=\"SM\"|CMGL=4|CMGR=12345)")))
        << command.substr(0, 40) << " (" << command.size() << " bytes)";
}

TEST_F(TermReaderTest, WithoutTheStoreReadOldMessagesStay) {
  ASSERT_EQ(Modem.Sim.StoreSms(Message("12345 reset old")).size(), 1u);
  Core->StartTermReader(false);
  RunFor(400);
  EXPECT_TRUE(Records().empty());
  EXPECT_EQ(Modem.Sim.StoredMessages("SM").size(), 1u);
}

// A reply whose parsing raises is kept as an unparsed record, and the reader goes on.
TEST_F(TermReaderTest, ConversionErrorIsLoggedRawAndTheReaderGoesOn) {
  struct Case {
    const char* name;
    bool stored;
  };
  const Case cases[] = {{"cmt", false}, {"cmti", true}};
  const std::string impossible = "12345 103015.000,a,,,,,,,311324";  // day 31 of month 13
  Core->StartTermReader();
  size_t expected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.stored)
      Modem.Sim.InjectCmti(Message(impossible));
    else
      Modem.Sim.InjectCmt(Message(impossible));
    ASSERT_TRUE(WaitForRecords(++expected));
    EXPECT_EQ(Records().back().Text, impossible);
    EXPECT_NE(Records().back().Phone.find("79001234567"), std::string::npos);
    EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").empty(); }));
    // The port mutex is free between turns, and the reader still reads.
    ASSERT_EQ(PortMutex->Wait(2000), TMutexWait::Obtained);
    PortMutex->Release();
    Modem.Sim.InjectCmt(Message("12345 reset after"));
    ASSERT_TRUE(WaitForRecords(++expected));
    EXPECT_EQ(Records().back().Text, "12345 reset after");
  }
}

TEST_F(TermReaderTest, NoticesThatCannotBeReadAsMessages) {
  struct Case {
    const char* name;
    std::string raw;     // sent by the modem
    std::string logged;  // the record's text, "" when none
  };
  const Case cases[] = {
      // The header waits for a PDU line that never comes: no message.
      {"cmt without a line break before its pdu", "\r\n+CMT: ,24 07911234\r\n", ""},
      {"cmt of length zero", "\r\n+CMT: ,0\r\n0791\r\n", ""},
      {"cmti of an empty slot", "\r\n+CMTI: \"SM\",17\r\n", ""},
      {"cmti without an index", "\r\n+CMTI: \"SM\"\r\n", ""},
  };
  Core->StartTermReader();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = Records().size();
    Modem.Sim.InjectRaw(c.raw);
    if (c.logged.empty()) {
      RunFor(500);
      EXPECT_EQ(Records().size(), before);
    } else {
      ASSERT_TRUE(WaitForRecords(before + 1));
      EXPECT_EQ(Records().back().Text, c.logged);
    }
  }
  EXPECT_FALSE(Sent("AT+CMGD=17"));
}

TEST_F(TermReaderTest, StoredMessageStaysInTheStoreWhenTheLogIsBusy) {
  auto logMutex = TNamedMutex::Create(kLogMutexName);
  ASSERT_TRUE(logMutex);
  ASSERT_EQ(logMutex->Wait(0), TMutexWait::Obtained);
  Core->StartTermReader();
  const std::vector<int> indexes = Modem.Sim.InjectCmti(Message("12345 reset busy"));
  ASSERT_EQ(indexes.size(), 1u);
  EXPECT_TRUE(WaitUntil([&] { return Sent("AT+CMGR=" + std::to_string(indexes[0])); }));
  RunFor(800);  // the log mutex wait of 500 ms ends
  EXPECT_TRUE(Records().empty());
  EXPECT_FALSE(Sent("AT+CMGD=" + std::to_string(indexes[0])));
  EXPECT_EQ(Modem.Sim.StoredMessages("SM").size(), 1u);
  EXPECT_EQ(Core->Notices, 0);
  logMutex->Release();
}

TEST_F(TermReaderTest, StoredMessageIsReadWithTheModemCommandsInOrder) {
  const std::vector<int> indexes = Modem.Sim.StoreSms(Message("12345 reset"));
  ASSERT_EQ(indexes.size(), 1u);
  const std::string index = std::to_string(indexes[0]);
  ASSERT_EQ(PortMutex->Wait(0), TMutexWait::Obtained);
  EXPECT_TRUE(Core->ReadStoredSms({"sm", index}));
  PortMutex->Release();
  const std::vector<std::string> expected = {"AT+CPMS=\"SM\"", "AT+CMGR=" + index, "AT+CMGD=" + index};
  EXPECT_EQ(Modem.Sim.Commands(), expected);
  EXPECT_EQ(Texts(), std::vector<std::string>{"12345 reset"});
  EXPECT_EQ(Core->Notices, 1);
}

// A notice that arrives while the reader waits for an answer of the store comes with that
// answer; it is handled all the same.
TEST_F(TermReaderTest, NoticeInsideAnAnswerOfTheStoreIsHandled) {
  struct Case {
    const char* name;
    const char* command;  // whose answer carries the notice
    bool delivered;       // +CMT (else +CMTI of a stored message)
  };
  const Case cases[] = {
      {"cmti after the delete", "AT+CMGD=", false},
      {"cmt after the delete", "AT+CMGD=", true},
      {"cmti before the storage answer", "AT+CPMS=", false},
  };
  Core->StartTermReader();
  size_t expected = 0;
  int serial = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string second = "12345 reset second " + std::to_string(++serial);
    std::string notice;
    if (c.delivered) {
      TModemSim builder;  // builds the notice without sending it
      const std::vector<TSimPdu> pdus = builder.InjectCmt(Message(second));
      ASSERT_EQ(pdus.size(), 1u);
      notice = "+CMT: ," + std::to_string(pdus[0].TpduLength) + "\n" + pdus[0].Hex;
    } else {
      const std::vector<int> stored = Modem.Sim.StoreSms(Message(second));
      ASSERT_EQ(stored.size(), 1u);
      notice = "+CMTI: \"SM\"," + std::to_string(stored[0]);
    }
    const std::string command = c.command;
    if (command == "AT+CPMS=")
      Modem.Sim.SetRule(command, notice + "\n+CPMS: 1,30,1,30,1,30\nOK");
    else
      Modem.Sim.SetRule(command, "OK\n" + notice);
    const std::string first = "12345 reset first " + std::to_string(serial);
    const size_t commandsBefore = Modem.Sim.Commands().size();
    Modem.Sim.InjectCmti(Message(first));
    // The first message is logged before its delete is sent: the rule stays until the modem
    // has answered the command with it.
    const auto answered = [&] {
      const std::vector<std::string> commands = Modem.Sim.Commands();
      return std::any_of(commands.begin() + static_cast<long>(std::min(commandsBefore, commands.size())),
                         commands.end(), [&](const std::string& sent) { return sent.rfind(command, 0) == 0; });
    };
    ASSERT_TRUE(WaitUntil([&] { return Records().size() >= expected + 1 && answered(); }));
    Modem.Sim.ClearRule(command);
    ASSERT_TRUE(WaitForRecords(expected + 2)) << ::testing::PrintToString(Texts()) << "\n"
                                              << ::testing::PrintToString(Modem.Sim.Commands());
    const std::vector<std::string> all = Texts();
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(expected), all.end()),
              (std::vector<std::string>{first, second}));
    expected += 2;
    // The rule kept the deleted messages in the store; they go now.
    for (const auto& [index, message] : Modem.Sim.StoredMessages("SM")) {
      (void)message;
      ASSERT_EQ(PortMutex->Wait(3000), TMutexWait::Obtained);
      Core->Store().Delete(std::to_string(index));
      PortMutex->Release();
    }
  }
}

// The network delivers what waited as soon as message indications are on: a message in the
// notice and a stored one announced, right after the answer to "AT+CNMI=" and before the
// reader runs. The set-up reads clean answers, and the reader handles both, once each.
TEST_F(TermReaderTest, MessagesDeliveredDuringTheSetUpAreEachLoggedOnce) {
  Modem.Sim.DeliverAfter("AT+CNMI=", Message("12345 reset inline"), false);
  Modem.Sim.DeliverAfter("AT+CNMI=", Message("12345 reset stored"), true);
  TModemError lastError;
  TConfigureModem setup(Core->Link().Channel(), lastError);
  setup.Waits = FastSetupWaits();
  setup.SetPriority(TThreadPriority::Normal);
  setup.Start();
  setup.WaitFor();
  ASSERT_EQ(setup.Result, kSetupReady) << setup.Message;
  EXPECT_TRUE(Records().empty());

  Core->StartTermReader(true);
  ASSERT_TRUE(WaitForRecords(2));
  RunFor(500);
  std::vector<std::string> texts = Texts();
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"12345 reset inline", "12345 reset stored"}));
  EXPECT_TRUE(WaitUntil([&] { return Modem.Sim.StoredMessages("SM").empty(); }));
}

// A message whose service-centre stamp does not read as a date keeps its text (with the time
// it was received); one with an impossible date is kept raw as before.
TEST_F(TermReaderTest, MessageWithAnUnreadableStampKeepsItsText) {
  struct Case { const char* stamp; std::string text; };
  const Case cases[] = {{"a1101010101000", "12345 reset stamp"}, {"21311010101000", "12345 reset month 13"}};
  Core->StartTermReader();
  size_t expected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stamp);
    char length[3];
    std::snprintf(length, sizeof length, "%02X", static_cast<unsigned>(c.text.size()));
    const std::string pdu = std::string("00040B919700214365F70000") + c.stamp + length + Encode7Bit(c.text);
    Modem.Sim.InjectRaw("\r\n+CMT: ," + std::to_string(pdu.size() / 2 - 1) + "\r\n" + pdu + "\r\n");
    ASSERT_TRUE(WaitForRecords(++expected));
    EXPECT_EQ(Records().back().Text, c.text);
  }
}
