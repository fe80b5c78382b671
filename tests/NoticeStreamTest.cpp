// The notice stream that every read of the port passes through: notices are taken out of the
// answers, and a notice cut by the end of a read is joined with the next read, whoever makes
// it.

#include "gsm/NoticeStream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

const char kPdu[] = "07919700000000f0040b919700214325f300006221012112700023f377784dcb81e0ef39a856a3d55c31d9";

std::string Cmt(const std::string& pdu = kPdu) { return "\r\n+CMT: ,50\r\n" + pdu + "\r\n"; }

std::vector<std::string> Drain(TNoticeStream& stream) {
  std::vector<std::string> out;
  TModemNotice notice;
  while (stream.Next(notice)) {
    const char* kind = notice.Kind == TModemNotice::TKind::Cmt ? "cmt" : notice.Kind == TModemNotice::TKind::Cmti ? "cmti" : "ring";
    out.push_back(std::string(kind) + " " + notice.Text);
  }
  return out;
}

struct TCase {
  const char* name;
  std::string bytes;
  std::string rest;  // what is left for the exchange that read the bytes
  std::vector<std::string> notices;
};

const std::string kCmtNotice = std::string("cmt +cmt: ,50\r\n") + kPdu;

const TCase kCases[] = {
    {"plain answer", "\r\n+CPMS: 1,30,1,30,1,30\r\n\r\nOK\r\n", "\r\n+cpms: 1,30,1,30,1,30\r\n\r\nok\r\n", {}},
    {"stored notice after the answer", "\r\nOK\r\n\r\n+CMTI: \"SM\",4\r\n", "\r\nok\r\n\r\n", {"cmti +cmti: \"sm\",4"}},
    {"delivered message before the answer", Cmt() + "\r\n+CMGR: 0,,24\r\n0791cd\r\n\r\nOK\r\n",
     "\r\n\r\n+cmgr: 0,,24\r\n0791cd\r\n\r\nok\r\n", {kCmtNotice}},
    {"notices of every kind in order", "\r\nRING\r\n" + Cmt() + "\r\n+CMTI: \"ME\",12\r\n",
     "\r\n\r\n\r\n", {"ring ring", kCmtNotice, "cmti +cmti: \"me\",12"}},
    // Something else where the PDU line belongs: the header is no message.
    {"header without a pdu line", "\r\n+CMT: ,24\r\nOK\r\n", "\r\nok\r\n", {}},
    {"nul bytes read as blanks", std::string("\r\n+CMTI:\0\"SM\",7\r\n", 17), "\r\n", {"cmti +cmti: \"sm\",7"}},
    {"a line that only begins like a notice", "\r\n+CMGS: 12\r\n\r\nOK\r\n", "\r\n+cmgs: 12\r\n\r\nok\r\n", {}},
    // A read that begins inside a line does not begin a line: "ring" here is an operator.
    {"a notice word inside an answer line", "\r\n+COPS: 0,0,\"ringtel\"\r\n\r\nOK\r\n",
     "\r\n+cops: 0,0,\"ringtel\"\r\n\r\nok\r\n", {}},
    // Status reports of the modem's own are neither answer nor notice, wherever they fall.
    {"reports before, after and between answers and notices",
     "\r\n^RSSI:18\r\n\r\nOK\r\n\r\nRDY\r\n\r\n+CMTI: \"SM\",4\r\n\r\nCall Ready\r\n",
     "\r\n\r\nok\r\n\r\n\r\n\r\n", {"cmti +cmti: \"sm\",4"}},
    {"a report in the read of a delivered message", "\r\n^DSFLOWRPT:0000012C,00000000\r\n" + Cmt(), "\r\n\r\n",
     {kCmtNotice}},
    {"reports between a header and its pdu line",
     "\r\n+CMT: ,50\r\n^RSSI:18\r\n\r\n+CREG: 1\r\nSMS Ready\r\n" + std::string(kPdu) + "\r\n", "\r\n",
     {kCmtNotice}},
    {"reports between a header and a line that is no pdu", "\r\n+CMT: ,24\r\n+CREG: 1\r\n\r\nOK\r\n", "\r\nok\r\n", {}},
    {"a report before the send prompt", "\r\n^MODE:5,4\r\n\r\n> ", "\r\n\r\n> ", {}},
};

TEST(NoticeStream, NoticesAreTakenOutOfWhatIsRead) {
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.name);
    TNoticeStream stream;
    EXPECT_EQ(stream.Feed(c.bytes), c.rest);
    EXPECT_EQ(Drain(stream), c.notices);
    EXPECT_FALSE(stream.HasPending());
  }
}

// Wherever a read ends, two reads give what one read of the same bytes gives: no notice is
// lost, cut or doubled, and the answer text is the same (this lost messages whose PDU line
// ended in the answer to the next store command).
TEST(NoticeStream, ANoticeCutByTheEndOfAReadIsJoinedWithTheNext) {
  for (const TCase& c : kCases) {
    for (size_t cut = 0; cut <= c.bytes.size(); ++cut) {
      SCOPED_TRACE(std::string(c.name) + ", cut at " + std::to_string(cut));
      TNoticeStream stream;
      std::string rest = stream.Feed(c.bytes.substr(0, cut));
      rest += stream.Feed(c.bytes.substr(cut));
      EXPECT_EQ(rest, c.rest);
      EXPECT_EQ(Drain(stream), c.notices);
      EXPECT_FALSE(stream.HasPending());
    }
  }
}

TEST(NoticeStream, WhatIsUnfinishedWaitsAndIsTakenAsItStandsOnFlush) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> flushed;
  };
  const Case cases[] = {
      {"stored notice without its line end", "\r\n+CMTI: \"SM\",3", {"cmti +cmti: \"sm\",3"}},
      {"ring without its line end", "\r\nRING", {"ring ring"}},
      {"the start of a line that never became a notice", "\r\nOK\r\n+CM", {}},
  };
  for (const Case& c : cases) {
    for (bool quiet : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (quiet ? ", line quiet" : ", line never quiet"));
      auto now = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
      TNoticeStream stream([&now] { return now; });
      stream.Feed(c.bytes);
      EXPECT_TRUE(stream.HasPending());
      EXPECT_TRUE(Drain(stream).empty()) << "nothing is handled before it is whole";
      if (!quiet) {
        // While the line brings more, it waits for its end until its time is up.
        EXPECT_FALSE(stream.Flush(false));
        EXPECT_TRUE(stream.HasPending());
        now += TNoticeStream::kCmtPduWait;
      }
      EXPECT_EQ(stream.Flush(quiet), !c.flushed.empty());
      EXPECT_EQ(Drain(stream), c.flushed);
      EXPECT_FALSE(stream.HasPending());
    }
  }
}

// A +CMT header waits for its PDU line across reads and flushes for a while, and is dropped,
// never taken for a message, when the line does not come in that time.
TEST(NoticeStream, ACmtHeaderWaitsForItsPduLineThenIsDropped) {
  struct Case {
    const char* name;
    std::string first;
    std::string rest;  // what comes later, if anything
    std::chrono::milliseconds later;
    std::vector<std::string> notices;
    std::vector<std::string> dropped;
    std::string meanwhile = "";  // what each read brings until then: nothing, or a report
  };
  const Case cases[] = {
      {"pdu line 3 s later, reports meanwhile", "\r\n+CMT: ,50\r\n", std::string(kPdu) + "\r\n",
       std::chrono::milliseconds(3000), {kCmtNotice}, {}, "\r\n^RSSI:18\r\n"},
      {"pdu line never comes, reports meanwhile", "\r\n+CMT: ,50\r\n", "", std::chrono::milliseconds(3000), {},
       {"+cmt: ,50"}, "\r\n^RSSI:18\r\n"},
      {"pdu line 0.7 s later", "\r\n+CMT: ,50\r\n", std::string(kPdu) + "\r\n", std::chrono::milliseconds(700),
       {kCmtNotice}, {}},
      {"pdu line 3 s later", "\r\n+CMT: ,50\r\n", std::string(kPdu) + "\r\n", std::chrono::milliseconds(3000),
       {kCmtNotice}, {}},
      {"rest of the pdu line 3 s later", "\r\n+CMT: ,50\r\n07919700", std::string(kPdu).substr(8) + "\r\n",
       std::chrono::milliseconds(3000), {kCmtNotice}, {}},
      {"pdu line never comes", "\r\n+CMT: ,50\r\n", "", std::chrono::milliseconds(0), {}, {"+cmt: ,50"}},
      {"header cut and never finished", "\r\n+CMT: ,5", "", std::chrono::milliseconds(0), {}, {"+cmt: ,5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
    auto now = start;
    TNoticeStream stream([&now] { return now; });
    std::vector<std::string> dropped;
    stream.DroppedNotice = [&dropped](const std::string& header) { dropped.push_back(header); };
    stream.Feed(c.first);
    // Reads that bring nothing, or only reports, each followed by a flush, until the rest comes.
    const bool quiet = c.meanwhile.empty();
    for (auto waited = std::chrono::milliseconds(0); waited < c.later; waited += std::chrono::milliseconds(100)) {
      now += std::chrono::milliseconds(100);
      EXPECT_EQ(stream.Feed(c.meanwhile), "");
      EXPECT_FALSE(stream.Flush(quiet));
      EXPECT_TRUE(Drain(stream).empty());
      EXPECT_LT(stream.Unfinished().size(), 64u) << "the reports are not kept";
    }
    if (!c.rest.empty()) {
      stream.Feed(c.rest);
    } else {
      now = start + TNoticeStream::kCmtPduWait - std::chrono::milliseconds(1);
      EXPECT_FALSE(stream.Flush(quiet));
      EXPECT_TRUE(stream.HasPending()) << "still waiting just before its time";
      now += std::chrono::milliseconds(1);
      EXPECT_FALSE(stream.Flush(quiet));
    }
    EXPECT_EQ(Drain(stream), c.notices);
    EXPECT_EQ(dropped, c.dropped);
    EXPECT_FALSE(stream.HasPending());
    // The next message is fine.
    stream.Feed(Cmt());
    EXPECT_EQ(Drain(stream), std::vector<std::string>{kCmtNotice});
  }
}

// A modem that sends hex digits without end does not make the stream keep them for ever.
TEST(NoticeStream, AnEndlessPduLineIsCutAtItsLimit) {
  TNoticeStream stream;
  stream.Feed("\r\n+CMT: ,50\r\n");
  const std::string digits(1024, 'a');
  for (int i = 0; i < 20; ++i) stream.Feed(digits);
  const std::vector<std::string> notices = Drain(stream);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].rfind("cmt +cmt: ,50\r\naaaa", 0), 0u);
  EXPECT_LE(stream.Unfinished().size(), 8192u);
}

// A new link cannot continue what an earlier one cut off, but whole notices are still handled.
TEST(NoticeStream, ANewLinkDropsOnlyTheUnfinishedNotice) {
  TNoticeStream stream;
  stream.Feed("\r\n+CMTI: \"SM\",1\r\n\r\n+CMT: ,50\r\n07");
  stream.DropUnfinished();
  EXPECT_EQ(stream.Feed("91\r\n"), "91\r\n");
  EXPECT_EQ(Drain(stream), std::vector<std::string>{"cmti +cmti: \"sm\",1"});
  EXPECT_FALSE(stream.HasPending());
}

}  // namespace
