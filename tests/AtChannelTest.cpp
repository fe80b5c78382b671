// The one AT channel against the simulated modem: each exchange reads its whole answer, the
// notices among it wait in the stream, and the answer texts are judged line by line.

#include "gsm/AtChannel.h"

#include "support/SimModem.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TSimDeliver Message(const std::string& text) {
  TSimDeliver message;
  message.Sender = "+79001234567";
  message.Text = text;
  return message;
}

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
    Sim.Sim.DeliverAfter("AT+CPIN?", Message("12345 reset"), true);
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

TEST(AtChannel, NothingOpenGivesNoAnswer) {
  TAtChannel channel;
  std::string answer = "stale";
  EXPECT_FALSE(channel.Exchange("AT\r\n", 1024, 100, TAnswerWait::Whole, answer));
  EXPECT_EQ(answer, "");
}

TEST(AtChannel, StatusReportsAreNoAnswer) {
  struct Case {
    const char* answer;
    const char* command;
    const char* kept;
  };
  const Case cases[] = {
      {"^rssi:18\r\n\r\n+cpin: ready\r\n\r\nok", "AT+CPIN?\r\n", "+cpin: ready\r\n\r\nok"},
      {"at+cpin?\r\r\n+creg: 1\r\n+cpin: sim pin\r\nok", "AT+CPIN?\r\n", "at+cpin?\r\r\n+cpin: sim pin\r\nok"},
      {"^boot:1,0\r\n+cme error: 10", "AT+CPIN?\r\n", "+cme error: 10"},
      {"+cnmi: (0-3),(0-3)\r\n\r\nok", "AT+CNMI=?\r\n", "+cnmi: (0-3),(0-3)\r\n\r\nok"},
      {"+cops: 0,0,\"simnet\"\r\n^rssi:9\r\nok", "AT+COPS?\r\n", "+cops: 0,0,\"simnet\"\r\nok"},
      {"^rssi:18\r\nat\r\r\nok", "AT\r\n", "at\r\r\nok"},
      {"+creg: 1\r\nok", "AT\r\n", "ok"},
  };
  for (const Case& c : cases) EXPECT_EQ(TAtChannel::WithoutReports(c.answer, c.command), c.kept) << c.answer;
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
