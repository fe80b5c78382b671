// The one AT channel against the simulated modem: each exchange reads its whole answer, the
// notices among it wait in the stream, and the answer texts are judged line by line.

#include "gsm/AtChannel.h"

#include "support/SimModem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

class AtChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Sim.IsOpen());
    std::string message;
    ASSERT_TRUE(Channel.Port.OpenComPort(Sim.SlavePath(), message)) << message;
  }

  TSimOnPty Sim;
  TAtChannel Channel;
};

TEST_F(AtChannelTest, ExchangeReadsTheWholeAnswerAfterAnEarlyEchoAndLeavesNoticesInTheStream) {
  struct Case {
    const char* name;
    bool echo;
    uint64_t delayMs;
    size_t split;  // answer pieces of this many bytes, 30 ms apart; 0: whole
    const char* answer;
  };
  const Case cases[] = {
      {"whole", false, 0, 0, "+cpin: ready\r\n\r\nok"},
      {"echo first, answer 100 ms later", true, 100, 0, "at+cpin?\r\r\n+cpin: ready\r\n\r\nok"},
      {"answer in pieces", false, 0, 4, "+cpin: ready\r\n\r\nok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sim.Sim.SetEcho(c.echo);
    Sim.Sim.SetAnswerDelay(c.delayMs);
    Sim.Sim.SetSplit(c.split, c.split ? 30 : 0);
    Sim.Sim.DeliverAfter("AT+CPIN?", SimMessage("12345 reset"), true);
    std::string answer;
    ASSERT_TRUE(Channel.Exchange("AT+CPIN?\r\n", 1024, 1500, TAnswerWait::Whole, answer));
    EXPECT_EQ(answer, c.answer);
    // The notice that followed the answer is read by the next exchange and kept for the
    // reader, not taken as that exchange's answer.
    ASSERT_TRUE(Channel.Exchange("AT\r\n", 1024, 1500, TAnswerWait::Whole, answer));
    EXPECT_EQ(answer, c.echo ? "at\r\r\nok" : "ok");
    TModemNotice notice;
    ASSERT_TRUE(Channel.Notices.Next(notice));
    EXPECT_EQ(notice.Kind, TModemNotice::TKind::Cmti);
    EXPECT_FALSE(Channel.Notices.Next(notice));
  }
}

TEST_F(AtChannelTest, WholeWaitEndsWithoutAFinalLineAndEachReadWaitEndsWithTheLastPiece) {
  Sim.Sim.SetEcho(false);
  Sim.Sim.SetRule("AT+CPIN?", "+CPIN: SIM PIN");
  std::string answer;
  EXPECT_TRUE(Channel.Exchange("AT+CPIN?\r\n", 1024, 300, TAnswerWait::Whole, answer));
  EXPECT_EQ(answer, "+cpin: sim pin");
  EXPECT_TRUE(Channel.Exchange("AT+CPIN?\r\n", 1024, 300, TAnswerWait::EachRead, answer));
  EXPECT_EQ(answer, "+cpin: sim pin");
  Sim.Sim.SetRule("AT+CPIN?", "");
  EXPECT_FALSE(Channel.Exchange("AT+CPIN?\r\n", 1024, 200, TAnswerWait::Whole, answer));
  EXPECT_EQ(answer, "");
}

// A modem that sends status reports all the time, also between the lines of its answers: an
// answer is read whole without them, and one that never comes ends the reading after its wait
// although the line is never quiet (the store's exchanges read on for minutes).
TEST_F(AtChannelTest, StatusReportsNeitherEndNorProlongAnAnswer) {
  Sim.Sim.SetEcho(false);
  Sim.Sim.SetStatusReport(40, "^RSSI:18\n+CREG: 1\nRDY");
  Sim.Sim.SetReportsInside(true);
  Sim.Sim.SetRule("AT+CMGD=", "");
  const TAnswerWait waits[] = {TAnswerWait::EachRead, TAnswerWait::Whole, TAnswerWait::AsItComes};
  for (TAnswerWait wait : waits) {
    SCOPED_TRACE(static_cast<int>(wait));
    std::string answer;
    ASSERT_TRUE(Channel.Exchange("AT+CPMS=\"SM\"\r\n", 1024, 1000, wait, answer));
    EXPECT_EQ(answer, "+cpms: 0,30,0,30,0,30\r\n\r\nok");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Channel.Exchange("AT+CMGD=1\r\n", 1024, 300, wait, answer));
    EXPECT_EQ(answer, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "read on past its wait";
  }
}

TEST(AtChannel, NothingOpenGivesNoAnswer) {
  TAtChannel channel;
  std::string answer = "stale";
  EXPECT_FALSE(channel.Exchange("AT\r\n", 1024, 100, TAnswerWait::Whole, answer));
  EXPECT_EQ(answer, "");
}

// Status reports of the modem's own are dropped wherever they fall in what is read after a
// command: a "+name:" line is one unless the command's own information line or an error.
TEST(AtChannel, StatusReportsAreNoAnswer) {
  struct Case {
    const char* command;
    const char* bytes;
    const char* kept;
  };
  const Case cases[] = {
      {"AT+CPIN?\r\n", "\r\n^RSSI:18\r\n\r\n+CPIN: READY\r\n\r\nOK\r\n", "\r\n\r\n+cpin: ready\r\n\r\nok\r\n"},
      {"AT+CPIN?\r\n", "AT+CPIN?\r\r\n+CREG: 1\r\n+CPIN: SIM PIN\r\nOK\r\n", "at+cpin?\r\r\n+cpin: sim pin\r\nok\r\n"},
      {"AT+CPIN?\r\n", "^BOOT:1,0\r\n+CME ERROR: 10\r\n", "+cme error: 10\r\n"},
      {"AT+CNMI=?\r\n", "+CNMI: (0-3),(0-3)\r\n\r\nOK\r\n", "+cnmi: (0-3),(0-3)\r\n\r\nok\r\n"},
      {"AT+COPS?\r\n", "+COPS: 0,0,\"SimNet\"\r\n^RSSI:9\r\nOK\r\n", "+cops: 0,0,\"simnet\"\r\nok\r\n"},
      {"AT\r\n", "^RSSI:18\r\nAT\r\r\nOK\r\n", "at\r\r\nok\r\n"},
      {"AT\r\n", "+CREG: 1\r\nOK\r\n", "ok\r\n"},
      {"AT+CMGR=3\r\n", "\r\n+CMGR: 0,,24\r\nRDY\r\n0791CD\r\nCall Ready\r\n\r\nSMS Ready\r\nOK\r\n",
       "\r\n+cmgr: 0,,24\r\n0791cd\r\n\r\nok\r\n"},
      {"AT+CMGS=19\r\n", "\r\n^MODE:5,4\r\n> ", "\r\n> "},
      {"AT+CMGS=19\r\n", "\r\n+CMGS: 7\r\n+CIEV: 2,3\r\n\r\nOK\r\n", "\r\n+cmgs: 7\r\n\r\nok\r\n"},
  };
  for (const Case& c : cases) {
    TAtChannel channel;
    channel.Write(c.command);  // no port: only the stream hears of it
    EXPECT_EQ(channel.Notices.Feed(c.bytes), c.kept) << c.command << c.bytes;
  }
}

TEST(AtChannel, AnswerLinesAreFoundWhereverTheyStand) {
  EXPECT_EQ(TAtChannel::AnswerLine("at+cpin?\r\r\n+cpin: ready\r\n\r\nok", "+cpin:"), "+cpin: ready");
  EXPECT_EQ(TAtChannel::AnswerLine("ok", "+cpin:"), "");
  EXPECT_EQ(TAtChannel::ErrorLine("at+cpin?\r\r\n+cme error: 10"), "+cme error: 10");
  EXPECT_EQ(TAtChannel::ErrorLine("+cpin: ready\r\nok"), "");
  struct Case {
    const char* raw;
    size_t end;
  };
  const Case cases[] = {
      {"AT\r", std::string::npos},
      {"AT\r\r\nOK\r\n", 9},
      {"\r\n+CPIN: READY\r\n\r\nOK", std::string::npos},
      {"\r\n+CMS ERROR: 321\r\nAT", 19},
      {"\r\nERROR\r\n", 9},
      {"\r\nOKAY\r\n", std::string::npos},
  };
  for (const Case& c : cases) EXPECT_EQ(TAtChannel::FinalAnswerEnd(c.raw), c.end) << c.raw;
}

}  // namespace
