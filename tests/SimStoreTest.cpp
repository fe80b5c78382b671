// The modem's message store as the monitor talks to it, against the simulated modem on a
// pseudo-terminal: which commands go on the line for a read, a delete and the sweep, and how
// the stored messages it names reach the reader as their slots.

#include "common/Text.h"
#include "gsm/SimStore.h"
#include "support/ModemWaits.h"
#include "support/SimModem.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

class SimStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Modem.IsOpen());
    Modem.Sim.SetEcho(false);
    std::string message;
    Channel.Port.SetPhonePort(Modem.SlavePath());
    ASSERT_TRUE(Channel.Port.OpenComPort(Modem.SlavePath(), message)) << message;
  }

  // The notices queued in the channel's stream, taken in order.
  std::vector<TModemNotice> QueuedNotices() {
    std::vector<TModemNotice> notices;
    TModemNotice notice;
    while (Channel.Notices.Next(notice)) notices.push_back(notice);
    return notices;
  }
  // A +CMTI line as the modem sends it, read from the port.
  void NoticeFromTheLine(const std::string& line) { Channel.Notices.Feed("\r\n" + line + "\r\n"); }

  TSimOnPty Modem;
  TAtChannel Channel;
  TReaderWaits Waits = FastReaderWaits();
  TSimStore Store{Channel, Waits};
};

// The slots named during a send go to the reader as they were parsed from the modem's notice:
// after what the line brought meanwhile, in their order, with nothing to parse again.
TEST_F(SimStoreTest, MessagesAnnouncedDuringASendReachTheReaderAsTheSlotsTheyName) {
  struct Case {
    TStoredSms queued;
    TStoredSms passed;
  };
  const Case cases[] = {
      {{"sm", "3"}, {"sm", "3"}},
      {{"SM", "12"}, {"sm", "12"}},
      {{"me", "7"}, {"me", "7"}},
      {{"sm", "3"}, {"sm", "3"}},  // announced twice: read twice, the second finds it gone
  };
  NoticeFromTheLine("+CMTI: \"SM\",1");
  for (const Case& c : cases) Store.QueueRead(c.queued);
  EXPECT_EQ(Store.QueuedReads(), std::size(cases));

  Store.PassQueuedToReader();
  EXPECT_EQ(Store.QueuedReads(), 0u);
  const std::vector<TModemNotice> notices = QueuedNotices();
  ASSERT_EQ(notices.size(), 1 + std::size(cases));
  EXPECT_EQ(notices[0].Kind, TModemNotice::TKind::Cmti);
  EXPECT_EQ(notices[0].Text, "+cmti: \"sm\",1");
  EXPECT_EQ(notices[0].Slot, (TStoredSms{"sm", "1"}));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(notices[i + 1].Kind, TModemNotice::TKind::Cmti);
    EXPECT_EQ(notices[i + 1].Slot, cases[i].passed);
    EXPECT_TRUE(notices[i + 1].Text.empty());
    EXPECT_TRUE(notices[i + 1].Pdu.empty());
  }
  EXPECT_TRUE(Modem.Sim.Commands().empty()) << "nothing is read while the notices are passed on";
}

TEST_F(SimStoreTest, AnnouncedMessagesAreEachReadOnceInTheOrderTheyCame) {
  const std::vector<TStoredSms> announced = {{"sm", "2"}, {"me", "1"}, {"sm", "5"}};
  for (const TStoredSms& slot : announced) Store.QueueRead(slot);
  std::vector<TStoredSms> read;
  Store.ReadQueued([&](const TStoredSms& slot) { read.push_back(slot); });
  EXPECT_EQ(read, announced);
  Store.ReadQueued([&](const TStoredSms& slot) { read.push_back(slot); });
  EXPECT_EQ(read.size(), announced.size()) << "a message is read once";
}

// A +CMTI line that names no slot carries no stored message: the reader and the sender skip it.
TEST_F(SimStoreTest, CmtiLineIsParsedIntoItsSlotOnceWhereItIsRead) {
  struct Case {
    const char* line;
    TStoredSms slot;
  };
  const Case cases[] = {
      {"+CMTI: \"SM\",4", {"sm", "4"}},
      {"+CMTI: ME,17", {"me", "17"}},
      {"+CMTI: \"SM\",", {}},
      {"+CMTI: \"SM\"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    NoticeFromTheLine(c.line);
    Channel.Notices.Flush(true);
    const std::vector<TModemNotice> notices = QueuedNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].Kind, TModemNotice::TKind::Cmti);
    EXPECT_EQ(notices[0].Slot, c.slot);
  }
}

TEST_F(SimStoreTest, ReadSelectsTheSlotsStorageAndReadsTheSlot) {
  const int inSim = Modem.Sim.StoreSms(SimMessage("12345 reset")).at(0);
  const int inPhone = Modem.Sim.StoreSms(SimMessage("12345 reset phone"), "ME").at(0);
  struct Case {
    const char* name;
    TStoredSms slot;
    TSimStore::TReadOutcome outcome;
    std::string pdu;  // expected for Pdu
    std::vector<std::string> commands;
  };
  const std::string sim = std::to_string(inSim);
  const std::string phone = std::to_string(inPhone);
  const Case cases[] = {
      {"a message of the SIM", {"sm", sim}, TSimStore::TReadOutcome::Pdu,
       AnsiLowerCase(Modem.Sim.StoredMessages("SM").at(inSim).Pdu), {"AT+CPMS=\"SM\"", "AT+CMGR=" + sim}},
      {"a message of the phone", {"me", phone}, TSimStore::TReadOutcome::Pdu,
       AnsiLowerCase(Modem.Sim.StoredMessages("ME").at(inPhone).Pdu), {"AT+CPMS=\"ME\"", "AT+CMGR=" + phone}},
      {"an empty slot", {"sm", "9"}, TSimStore::TReadOutcome::Nothing, "", {"AT+CPMS=\"SM\"", "AT+CMGR=9"}},
      {"a storage the modem does not have", {"xx", "1"}, TSimStore::TReadOutcome::Nothing, "", {"AT+CPMS=\"XX\""}},
      {"a slot that is no number", {"sm", "1;+cmgd=2"}, TSimStore::TReadOutcome::Nothing, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Modem.Sim.ClearRecords();
    std::string text;
    EXPECT_EQ(Store.Read(c.slot, text), c.outcome);
    if (c.outcome == TSimStore::TReadOutcome::Pdu) EXPECT_EQ(text, c.pdu);
    EXPECT_EQ(Modem.Sim.Commands(), c.commands);
  }
  // A read deletes nothing.
  EXPECT_EQ(Modem.Sim.StoredMessages("SM").size(), 1u);
  EXPECT_EQ(Modem.Sim.StoredMessages("ME").size(), 1u);
}

// The parts of a message are deleted wherever they were stored, each storage selected once
// while its parts go, and not again while it stays selected.
TEST_F(SimStoreTest, PartsAreDeletedSelectingEachStorageOnlyWhenItChanges) {
  const std::string a = std::to_string(Modem.Sim.StoreSms(SimMessage("part a")).at(0));
  const std::string b = std::to_string(Modem.Sim.StoreSms(SimMessage("part b")).at(0));
  const std::string c = std::to_string(Modem.Sim.StoreSms(SimMessage("part c"), "ME").at(0));
  const std::string d = std::to_string(Modem.Sim.StoreSms(SimMessage("part d"), "ME").at(0));
  Store.DeleteParts({"sm," + a, "sm," + b, "inline part", "me," + c});
  EXPECT_EQ(Modem.Sim.Commands(), (std::vector<std::string>{"AT+CPMS=\"SM\"", "AT+CMGD=" + a, "AT+CMGD=" + b,
                                                            "AT+CPMS=\"ME\"", "AT+CMGD=" + c}));
  Modem.Sim.ClearRecords();
  Store.DeleteParts({"me," + d});
  EXPECT_EQ(Modem.Sim.Commands(), std::vector<std::string>{"AT+CMGD=" + d});
  EXPECT_TRUE(Modem.Sim.StoredMessages("SM").empty());
  EXPECT_TRUE(Modem.Sim.StoredMessages("ME").empty());

  // A new link forgets the selection: the next delete selects its storage again.
  Store.ForgetSelection();
  Modem.Sim.ClearRecords();
  Store.DeleteParts({"me,1"});
  EXPECT_EQ(Modem.Sim.Commands(), (std::vector<std::string>{"AT+CPMS=\"ME\"", "AT+CMGD=1"}));
}

// The sweep takes every message from the listing with its PDU and puts them before the notices
// that came meanwhile, so that a +CMTI of a listed message finds its slot empty.
TEST_F(SimStoreTest, SweepQueuesEveryListedMessageWithItsPduBeforeWhatCameMeanwhile) {
  const int first = Modem.Sim.StoreSms(SimMessage("12345 reset one")).at(0);
  const int second = Modem.Sim.StoreSms(SimMessage("12345 reset two")).at(0);
  NoticeFromTheLine("+CMTI: \"SM\"," + std::to_string(first));
  Store.QueueAllStored();
  EXPECT_EQ(Modem.Sim.Commands(), (std::vector<std::string>{"AT+CPMS?", "AT+CPMS=\"SM\"", "AT+CMGL=4"}));
  const auto stored = Modem.Sim.StoredMessages("SM");
  const std::vector<TModemNotice> notices = QueuedNotices();
  ASSERT_EQ(notices.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const int index = i == 0 ? first : second;
    EXPECT_EQ(notices[i].Kind, TModemNotice::TKind::Stored);
    EXPECT_EQ(notices[i].Slot, (TStoredSms{"sm", std::to_string(index)}));
    EXPECT_EQ(notices[i].Pdu, AnsiLowerCase(stored.at(index).Pdu));
  }
  EXPECT_EQ(notices[2].Kind, TModemNotice::TKind::Cmti);
  EXPECT_EQ(notices[2].Slot, (TStoredSms{"sm", std::to_string(first)}));
  EXPECT_EQ(stored.size(), 2u) << "the sweep itself deletes nothing";
}

}  // namespace
