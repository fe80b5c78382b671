// The send queue and the send thread against the simulated modem: on a pseudo-terminal as a
// modem on a serial port, and behind the stand-in D2XX library as the USB terminal. The PDUs
// expected on the wire are written out by hand; the simulated modem decodes what it gets with
// a codec of its own.

#include "gsm/SmsSendThread.h"

#include "common/ConvertError.h"
#include "common/Text.h"
#include "fakes/FakeFtd2xx.h"
#include "gsm/ConfigureModem.h"
#include "gsm/ModemPort.h"
#include "gsm/MonitorCore.h"
#include "support/QuietCore.h"
#include "shell/SendReport.h"
#include "platform/NamedMutex.h"
#include "shell/OrvexMonitorForm.h"
#include "support/LogFile.h"
#include "support/ModemWaits.h"
#include "support/SimModem.h"
#include "support/TestApp.h"
#include "tools/modemsim/ModemSim.h"
#include "tools/modemsim/SimPdu.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

const char kHelloPdu[] = "0011000B919700214365F700000205E8329BFD06";

uint64_t MsSince(std::chrono::steady_clock::time_point start) {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

struct TBalloon {
  std::string Title;
  std::string Text;
  uint32_t TimeoutMs = 0;
  uint32_t Icon = 0;
  bool operator==(const TBalloon&) const = default;
};

struct TNotice {
  uint32_t Code = 0;
  std::string Payload;
  bool operator==(const TNotice&) const = default;
};

// The monitor without its windows: the core with events that record what it shows and tells.
class TSendCore : public TMonitorEvents, public TMonitorCore {
 public:
  explicit TSendCore(std::string exeDir) : TMonitorCore(std::move(exeDir), static_cast<TMonitorEvents&>(*this)) {}
  ~TSendCore() override { StopSmsSendThread(); }

  bool IsModemOpen() const override { return ModemOpen; }
  void NotifyUnreadSms() override { ++UnreadNotices; }
  uint32_t NotifyDispatcher(uint32_t code, const std::string& payload) override {
    Notices.push_back({code, payload});
    return 1;
  }
  void ShowNoticeBalloon(const std::string& title, const std::string& text, uint32_t timeoutMs, uint32_t icon) {
    Balloons.push_back({title, text, timeoutMs, icon});
  }
  void RefreshShowSmsForm() override { ++Refreshes; }
  // As the main form reports the end of a send.
  void SmsSendResult(uint8_t result, const std::string& errorText) override {
    ReportSendResult(
        *this,
        [this](const std::string& title, const std::string& text, uint32_t timeoutMs, uint32_t icon) {
          ShowNoticeBalloon(title, text, timeoutMs, icon);
        },
        ShowNotify, result, errorText);
  }

  bool ModemOpen = true;
  // The balloons setting, as the main form holds it.
  bool ShowNotify = true;
  int UnreadNotices = 0;
  int Refreshes = 0;
  std::vector<TNotice> Notices;
  std::vector<TBalloon> Balloons;
};

// Waits short enough for tests and long enough for the simulated modem on a busy machine.
TSendWaits FastWaits() {
  TSendWaits waits;
  waits.StartPause = 30;
  waits.PortMutex = 300;
  waits.PromptRead = 1000;
  waits.AnswerRead = 50;
  waits.Answer = 1500;
  waits.FollowUpMutex = 300;
  return waits;
}

class SendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    char runtime[] = "/tmp/orvex-send-run-XXXXXX";
    ASSERT_NE(::mkdtemp(runtime), nullptr);
    RuntimeFolder = runtime;
    ::setenv("XDG_RUNTIME_DIR", RuntimeFolder.c_str(), 1);
    char exe[] = "/tmp/orvex-send-exe-XXXXXX";
    ASSERT_NE(::mkdtemp(exe), nullptr);
    ExeDir = std::string(exe) + "/";
    Core = std::make_unique<TSendCore>(ExeDir);
    Core->CreateLogMutex();
    Core->Sender().Waits = FastWaits();
    Core->ShowNotify = true;
    // The monitor's own handle, made when the modem is opened.
    PortMutex = TNamedMutex::Create(kPortMutexName);
    ASSERT_TRUE(PortMutex);
  }
  void TearDown() override {
    Core.reset();
    PortMutex.reset();
    std::filesystem::remove_all(ExeDir);
    std::filesystem::remove_all(RuntimeFolder);
  }

  // Runs the event loop until `done` holds; false when it did not within `totalMs`.
  static bool RunUntil(const std::function<bool()>& done, int totalMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
  bool RunUntilIdle(int totalMs = 10000) {
    return RunUntil([this] { return Core->Sender().ActiveSmsSendThread() == nullptr && Core->Sender().SendQueue.Count() == 0; },
                    totalMs);
  }

  // True when no one holds the port mutex.
  static bool PortMutexFree() {
    bool free = false;
    std::thread probe([&] {
      std::unique_ptr<TNamedMutex> mutex = TNamedMutex::OpenExisting(kPortMutexName);
      free = mutex && mutex->Wait(0) == TMutexWait::Obtained;
      if (free) mutex->Release();
    });
    probe.join();
    return free;
  }

  std::string RuntimeFolder;
  std::string ExeDir;
  std::unique_ptr<TSendCore> Core;
  std::unique_ptr<TNamedMutex> PortMutex;
};

// Sends over a modem on a pseudo-terminal.
class ComSendTest : public SendTest {
 protected:
  void SetUp() override {
    SendTest::SetUp();
    ASSERT_TRUE(Modem.IsOpen());
    Modem.Sim.SetEcho(false);  // as the set-up leaves the modem
    Core->ApplyModemSettings(PortSettings(Modem.SlavePath()));
    std::string message;
    ASSERT_TRUE(Core->Modem().OpenComPort(Modem.SlavePath(), message)) << message;
  }
  void TearDown() override {
    Core.reset();  // the send side ends before the modem it talks to
    Modem.Stop();
    SendTest::TearDown();
  }

  TSimOnPty Modem;
};

TEST_F(ComSendTest, HelloIsSentWithItsPduLoggedAndShown) {
  Core->QueueSmsSend("+79001234567", "hello");
  ASSERT_NE(Core->Sender().ActiveSmsSendThread(), nullptr);
  ASSERT_TRUE(RunUntilIdle());

  const std::vector<std::string> wire = {"AT+CMGS=19", kHelloPdu};
  EXPECT_EQ(Modem.Sim.Commands(), wire);
  EXPECT_EQ(Modem.Sim.ReceivedBytes(), "AT+CMGS=19\r\n" + std::string(kHelloPdu) + "\x1a");
  const auto sent = Modem.Sim.SentMessages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Recipient, "79001234567");
  EXPECT_EQ(sent[0].Text, "hello");

  const auto log = ReadLogRecords(Core->LogPath);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Direction, 1);
  EXPECT_EQ(log[0].Read, 1);
  EXPECT_EQ(log[0].Phone, "79001234567");
  EXPECT_EQ(log[0].Text, "hello");
  EXPECT_EQ(log[0].Accepted, 1);
  EXPECT_GT(log[0].Time, 0);

  const std::vector<TBalloon> balloons = {{Cp1251("Orvex монитор"), Cp1251("Сообщение отправлено"), 5000, 1}};
  EXPECT_EQ(Core->Balloons, balloons);
  const std::vector<TNotice> notices = {{0, ""}};
  EXPECT_EQ(Core->Notices, notices);
  EXPECT_EQ(Core->Refreshes, 1);
  EXPECT_TRUE(PortMutexFree());
}

// Each way a send can fail ends in its result's record, balloon and notice.
TEST_F(ComSendTest, FailuresAreLoggedRefusedWithTheirReason) {
  const std::string prefix = Cp1251("Ошибка при отправке СМС:\r\n");
  struct Case {
    const char* name;
    std::function<void(TModemSim&)> arrange;
    std::string phone;
    std::string text;
    std::string reason;         // after the balloon's prefix
    std::string payload;        // of notice 2
    std::vector<std::string> wire;
  };
  const std::string z(1, '\0');
  const Case cases[] = {
      {"the PDU refused", [](TModemSim& sim) { sim.SetSendAnswer("+CMS ERROR: 500"); }, "+79001234567", "hello",
       "CMS Error 500: unknown", "CMS Error 500: unknown", {"AT+CMGS=19", kHelloPdu}},
      {"the command refused", [](TModemSim& sim) { sim.SetRule("AT+CMGS=", "+CMS ERROR: 304"); }, "+79001234567",
       "hello", Cp1251("CMS Error 304: ") + CmsErrorText(304), Cp1251("CMS Error 304: ") + CmsErrorText(304),
       {"AT+CMGS=19"}},
      {"ok without a prompt", [](TModemSim& sim) { sim.SetRule("AT+CMGS=", "OK"); }, "+79001234567", "hello",
       Cp1251("Неверный ответ модема"), Cp1251("Неверный ответ модема") + z, {"AT+CMGS=19"}},
      {"the command unanswered", [](TModemSim& sim) { sim.SetRule("AT+CMGS=", ""); }, "+79001234567", "hello",
       Cp1251("Ошибка ввода вывода"), Cp1251("Ошибка ввода вывода") + z, {"AT+CMGS=19"}},
      {"the PDU unanswered", [](TModemSim& sim) { sim.SetSendAnswer(""); }, "+79001234567", "hello",
       Cp1251("Неверный ответ модема"), Cp1251("Неверный ответ модема") + z, {"AT+CMGS=19", kHelloPdu}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Modem.Sim.ClearRules();
    Modem.Sim.ClearRecords();
    Modem.Sim.SetSendAnswer(std::nullopt);
    c.arrange(Modem.Sim);
    Core->Balloons.clear();
    Core->Notices.clear();
    std::filesystem::remove(Core->LogPath);

    ASSERT_TRUE(Core->QueueSmsSend(c.phone, c.text));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Modem.Sim.Commands(), c.wire);
    const auto log = ReadLogRecords(Core->LogPath);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Direction, 1);
    EXPECT_EQ(log[0].Accepted, 0);
    EXPECT_EQ(log[0].Text, c.text.substr(0, kLogTextSize));
    const std::vector<TBalloon> balloons = {{Cp1251("Orvex монитор"), prefix + c.reason, 15000, 3}};
    EXPECT_EQ(Core->Balloons, balloons);
    const std::vector<TNotice> notices = {{2, c.payload}};
    EXPECT_EQ(Core->Notices, notices);
    EXPECT_TRUE(PortMutexFree());
  }
}

TSimDeliver Delivered(std::string sender, std::string text, int month = 1) {
  TSimDeliver message;
  message.Sender = std::move(sender);
  message.Text = std::move(text);
  message.Time.Month = month;
  return message;
}

// The lines of the port trace that tell of a refused send.
std::vector<std::string> RefusalLines(const std::string& exeDir) {
  std::ifstream in(exeDir + kDebugLogName, std::ios::binary);
  const std::string trace((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::string> lines;
  for (size_t at = trace.find("SMS send refused"); at != std::string::npos; at = trace.find("SMS send refused", at + 1))
    lines.push_back(trace.substr(at, trace.find("\r\n", at) - at));
  return lines;
}

// Every byte value, in a number and in a text, from whatever side it comes: the modem gets the
// send command, the hex PDU and Ctrl-Z and nothing else. A number of anything but digits
// after one leading "+" is refused before the queue, in the trace; in a text every byte goes
// as hex.
TEST_F(ComSendTest, NoByteOfANumberOrATextReachesTheModemAsItIs) {
  Core->Modem().WriteDebugLog = true;
  const int stored = Modem.Sim.StoreSms(Delivered("+79005554433", "keep me")).at(0);
  // Through the swap of the address digits this number put Ctrl-Z and "AT+CMGD=1" on the line.
  const std::string attack = "A\x1a+TMCDG1=\n\r";
  EXPECT_FALSE(Core->QueueSmsSend(attack, "hello"));
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Modem.Sim.Commands(), std::vector<std::string>());
  EXPECT_EQ(Modem.Sim.StoredMessages("SM").count(stored), 1u);
  size_t refused = 1;
  for (int value = 0; value < 256; ++value) {
    if (value >= '0' && value <= '9') continue;
    const std::string byte(1, static_cast<char>(value));
    const std::string numbers[] = {"+7900123456" + byte, "+79001" + byte + "23456", "+" + byte, byte + "7900123456",
                                   "79001234567" + byte};
    for (const std::string& number : numbers) {
      if (number == "+7900123456") continue;  // the byte was the "+" itself: a number of digits
      EXPECT_FALSE(Core->QueueSmsSend(number, "hello")) << testing::PrintToString(number);
      ++refused;
    }
  }
  EXPECT_EQ(Core->Sender().SendQueue.Count(), 0u);

  // Every digit in one number, every byte value in the texts (ASCII goes as 7-bit data, the
  // rest as UCS2, at most 70 characters to a message).
  std::string ascii, upper1, upper2;
  for (int value = 0; value < 128; ++value) ascii.push_back(static_cast<char>(value));
  for (int value = 128; value < 192; ++value) upper1.push_back(static_cast<char>(value));
  for (int value = 192; value < 256; ++value) upper2.push_back(static_cast<char>(value));
  for (const std::string& text : {ascii, upper1, upper2}) EXPECT_TRUE(Core->QueueSmsSend("+70123456789", text));
  ASSERT_TRUE(RunUntilIdle(20000));

  const std::string wire = Modem.Sim.ReceivedBytes();
  EXPECT_TRUE(std::regex_match(wire, std::regex("(AT\\+CMGS=[0-9]+\r\n[0-9A-F]+\x1a){3}")))
      << testing::PrintToString(wire);
  const auto commands = Modem.Sim.Commands();
  ASSERT_EQ(commands.size(), 6u);
  for (size_t i = 0; i < commands.size(); i += 2) EXPECT_EQ(commands[i].rfind("AT+CMGS=", 0), 0u) << commands[i];
  const auto sent = Modem.Sim.SentMessages();
  ASSERT_EQ(sent.size(), 3u);
  for (const auto& message : sent) EXPECT_EQ(message.Recipient, "70123456789");
  EXPECT_EQ(sent[1].Text, upper1);
  EXPECT_EQ(Modem.Sim.StoredMessages("SM").count(stored), 1u);

  // Refused sends leave no record and no notice; the trace names each one.
  EXPECT_EQ(ReadLogRecords(Core->LogPath).size(), 3u);
  EXPECT_EQ(Core->Notices, (std::vector<TNotice>{{0, ""}, {0, ""}, {0, ""}}));
  const std::vector<std::string> lines = RefusalLines(ExeDir);
  ASSERT_EQ(lines.size(), refused);
  EXPECT_EQ(lines[0],
            "SMS send refused, the number is no destination: number \"A\\x1A+TMCDG1=\\x0A\\x0D\", text of 5 bytes");
}

// A text longer than one message is refused at the queue: nothing is queued, the modem hears
// nothing, and only the trace tells of it.
TEST_F(ComSendTest, TextLongerThanOneMessageIsRefusedAtTheQueue) {
  Core->Modem().WriteDebugLog = true;
  std::string seventyOne;
  for (int i = 0; i < 71; ++i) seventyOne += Cp1251("ж");
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"160 ASCII characters", std::string(160, 'a')},
      {"71 characters beyond ASCII", seventyOne},
      {"a megabyte", std::string(1 << 20, 'a')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(Core->QueueSmsSend("+79001234567", c.text));
    EXPECT_EQ(Core->Sender().SendQueue.Count(), 0u);
    EXPECT_EQ(Core->Sender().ActiveSmsSendThread(), nullptr);
    const std::vector<std::string> lines = RefusalLines(ExeDir);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "SMS send refused, the text is longer than one message holds: number \"+79001234567\", "
                            "text of " + std::to_string(c.text.size()) + " bytes");
  }
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Modem.Sim.ReceivedBytes(), "");
  EXPECT_TRUE(ReadLogRecords(Core->LogPath).empty());
  EXPECT_TRUE(Core->Notices.empty());
  EXPECT_TRUE(Core->Balloons.empty());
}

// A +CMT notice as the modem frames it, for an answer of the simulated modem.
std::string CmtLines(const TSimDeliver& message) {
  const std::vector<TSimPdu> pdus = SimBuildDeliverPdus(message);
  EXPECT_EQ(pdus.size(), 1u);
  if (pdus.empty()) return std::string();
  return "+CMT: ," + std::to_string(pdus[0].TpduLength) + "\n" + pdus[0].Hex;
}

// Message notices that the modem sends inside the answer to the PDU: a delivered message is
// logged during the dialogue, a stored one is read, logged and deleted after it; the send
// itself still succeeds and the port is free afterwards.
TEST_F(ComSendTest, NoticesInsideTheSendAnswerAreHandled) {
  struct Case {
    const char* name;
    std::function<std::string(TModemSim&)> answer;  // the answer to the PDU
    std::vector<TLogRecord> received;              // logged besides the sent record
    bool receivedBeforeSent;
    std::vector<std::string> after;                // commands after the PDU
    int unreadNotices;
  };
  auto record = [](const std::string& phone, const std::string& text) {
    TLogRecord r;
    r.Phone = phone;
    r.Text = text;
    return r;
  };
  const Case cases[] = {
      {"a stored message",
       [](TModemSim& sim) {
         const std::vector<int> index = sim.StoreSms(Delivered("+79005554433", "stored reply"));
         return "+CMGS: 5\n+CMTI: \"SM\"," + std::to_string(index.at(0)) + "\nOK";
       },
       {record("79005554433", "stored reply")}, false, {"AT+CPMS=\"SM\"", "AT+CMGR=1", "AT+CMGD=1"}, 1},
      {"a delivered message",
       [](TModemSim&) { return "+CMGS: 5\n" + CmtLines(Delivered("+79006667788", "direct reply")) + "\nOK"; },
       {record("79006667788", "direct reply")}, true, {}, 1},
      {"a delivered reply with an impossible date",
       [](TModemSim&) { return "+CMGS: 5\n" + CmtLines(Delivered("+79006667788", "GET OK", 13)) + "\nOK"; },
       {record("79006667788", "GET OK")}, true, {}, 1},
      // Every notice of one read counts, not only the first of each kind.
      {"two delivered messages in one read",
       [](TModemSim&) {
         return "+CMGS: 5\n" + CmtLines(Delivered("+79006667788", "first reply")) + "\n" +
                CmtLines(Delivered("+79006667799", "second reply")) + "\nOK";
       },
       {record("79006667788", "first reply"), record("79006667799", "second reply")}, true, {}, 1},
      {"two stored messages in one read",
       [](TModemSim& sim) {
         const int first = sim.StoreSms(Delivered("+79005554433", "stored one")).at(0);
         const int second = sim.StoreSms(Delivered("+79005554434", "stored two")).at(0);
         return "+CMGS: 5\n+CMTI: \"SM\"," + std::to_string(first) + "\n+CMTI: \"SM\"," + std::to_string(second) +
                "\nOK";
       },
       {record("79005554433", "stored one"), record("79005554434", "stored two")}, false,
       {"AT+CPMS=\"SM\"", "AT+CMGR=1", "AT+CMGD=1", "AT+CPMS=\"SM\"", "AT+CMGR=2", "AT+CMGD=2"}, 2},
      {"a notice of another storage",
       [](TModemSim&) { return std::string("+CMGS: 5\n+CMTI: \"ME\",4\nOK"); },
       {}, false, {"AT+CPMS=\"ME\"", "AT+CMGR=4"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Modem.Sim.ClearRecords();
    Modem.Sim.SetSendAnswer(c.answer(Modem.Sim));
    std::filesystem::remove(Core->LogPath);
    Core->UnreadNotices = 0;
    Core->Notices.clear();

    Core->QueueSmsSend("+79001234567", "hello");
    ASSERT_TRUE(RunUntilIdle());
    std::vector<std::string> wire = {"AT+CMGS=19", kHelloPdu};
    wire.insert(wire.end(), c.after.begin(), c.after.end());
    EXPECT_EQ(Modem.Sim.Commands(), wire);
    const std::vector<TNotice> sentNotice = {{0, ""}};
    EXPECT_EQ(Core->Notices, sentNotice);
    EXPECT_EQ(Core->UnreadNotices, c.unreadNotices);
    EXPECT_EQ(Core->Store().QueuedReads(), 0u);
    EXPECT_TRUE(PortMutexFree());

    const auto log = ReadLogRecords(Core->LogPath);
    ASSERT_EQ(log.size(), 1 + c.received.size());
    const size_t sentAt = c.receivedBeforeSent ? log.size() - 1 : 0;
    EXPECT_EQ(log[sentAt].Direction, 1);
    EXPECT_EQ(log[sentAt].Accepted, 1);
    for (size_t i = 0; i < c.received.size(); ++i) {
      const TLogRecord& got = log[c.receivedBeforeSent ? i : i + 1];
      EXPECT_EQ(got.Direction, 0);
      EXPECT_EQ(got.Read, 0);
      EXPECT_EQ(got.Phone, c.received[i].Phone);
      EXPECT_EQ(got.Text, c.received[i].Text);
    }
  }
  EXPECT_TRUE(Modem.Sim.StoredMessages("SM").empty());
}

// A delivered part that completes a message whose first part waits in the store, arriving with
// the send prompt: the message is logged and its stored part deleted once the modem has
// answered the message, never while it waits for it (the delete went out as the message's
// text, and the send failed).
TEST_F(ComSendTest, AMessageCompletedDuringTheDialogueLeavesTheStoreAfterTheSend) {
  TSimDeliver message = Delivered("+79005554433", "a reply in two parts, the second comes with the send prompt");
  message.Parts = 2;
  const std::vector<TSimPdu> parts = SimBuildDeliverPdus(message);
  ASSERT_EQ(parts.size(), 2u);
  ASSERT_EQ(Modem.Sim.StorePdu(parts[0]), 1);
  Core->Link().SetReaderWaits(FastReaderWaits());
  Core->StartTermReader(true);
  ASSERT_TRUE(RunUntil([&] {
    const auto commands = Modem.Sim.Commands();
    return std::find(commands.begin(), commands.end(), "AT+CMGL=4") != commands.end();
  }));
  RunUntil([] { return false; }, 300);
  Modem.Sim.ClearRecords();
  Modem.Sim.SetHold(true);
  Modem.Sim.InjectRaw("\r\n+CMT: ," + std::to_string(parts[1].TpduLength) + "\r\n" + parts[1].Hex + "\r\n");
  Core->QueueSmsSend("+79001234567", "hello");
  ASSERT_TRUE(RunUntil([&] { return Modem.Sim.InSendPrompt(); }));
  Modem.Sim.SetHold(false);
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Modem.Sim.Commands(), (std::vector<std::string>{"AT+CMGS=19", kHelloPdu, "AT+CMGD=1"}));
  EXPECT_EQ(Core->Notices, (std::vector<TNotice>{{0, ""}}));
  const auto log = ReadLogRecords(Core->LogPath);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Text, message.Text);
  EXPECT_EQ(log[1].Direction, 1);
  EXPECT_EQ(log[1].Accepted, 1);
  EXPECT_TRUE(Modem.Sim.StoredMessages("SM").empty());
}

// With a reader running, the messages announced during a send are handed to it: it reads them
// in its own turns, so the main thread does not hold the port while they are read.
TEST_F(ComSendTest, StoredMessagesAnnouncedDuringASendAreReadByTheRunningReader) {
  Core->Link().SetReaderWaits(FastReaderWaits());
  Core->StartTermReader();
  std::vector<int> indexes;
  for (const char* text : {"stored one", "stored two"})
    indexes.push_back(Modem.Sim.StoreSms(Delivered("+79005554433", text)).at(0));
  Modem.Sim.SetSendAnswer("+CMGS: 5\n+CMTI: \"SM\"," + std::to_string(indexes[0]) + "\n+CMTI: \"SM\"," +
                          std::to_string(indexes[1]) + "\nOK");

  Core->QueueSmsSend("+79001234567", "hello");
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Core->Store().QueuedReads(), 0u);
  ASSERT_TRUE(RunUntil([&] { return ReadLogRecords(Core->LogPath).size() == 3 && Modem.Sim.StoredMessages("SM").empty(); }));
  const auto log = ReadLogRecords(Core->LogPath);
  EXPECT_EQ(log[0].Direction, 1);
  EXPECT_EQ(log[1].Text, "stored one");
  EXPECT_EQ(log[2].Text, "stored two");
}

// The queue holds a bounded number of messages, the one being sent included; more are refused
// until sends have made room.
TEST_F(SendTest, QueueHoldsABoundedNumberOfMessages) {
  Core->Sender().Waits.StartPause = 60000;  // the first send waits while the queue fills
  for (size_t i = 0; i < TSmsSender::kMaxQueuedSms; ++i)
    ASSERT_TRUE(Core->QueueSmsSend("+79001234567", "message " + std::to_string(i)));
  EXPECT_EQ(Core->Sender().Room(), 0u);
  EXPECT_FALSE(Core->QueueSmsSend("+79001234567", "one too many"));
  EXPECT_EQ(Core->Sender().SendQueue.Count(), TSmsSender::kMaxQueuedSms);
  EXPECT_EQ(Core->Sender().SendQueue.Items().back().second, "message " + std::to_string(TSmsSender::kMaxQueuedSms - 1));
  // A message sent (here: dropped from the head) makes room for one more.
  Core->Sender().SendQueue.DropFront();
  EXPECT_TRUE(Core->QueueSmsSend("+79001234567", "room again"));
  EXPECT_FALSE(Core->QueueSmsSend("+79001234567", "full again"));
}

TEST_F(ComSendTest, BusyPortFailsWithoutTalkingToTheModem) {
  std::atomic<bool> held{false}, done{false};
  std::thread holder([&] {
    std::unique_ptr<TNamedMutex> mutex = TNamedMutex::OpenExisting(kPortMutexName);
    ASSERT_TRUE(mutex && mutex->Wait(0) == TMutexWait::Obtained);
    held = true;
    while (!done) std::this_thread::sleep_for(5ms);
    mutex->Release();
  });
  while (!held) std::this_thread::sleep_for(1ms);
  Core->QueueSmsSend("+79001234567", "hello");
  const bool idle = RunUntilIdle();
  done = true;
  holder.join();
  ASSERT_TRUE(idle);
  EXPECT_EQ(Modem.Sim.ReceivedBytes(), "");
  const std::vector<TNotice> notices = {{2, Cp1251("Модем занят") + std::string(1, '\0')}};
  EXPECT_EQ(Core->Notices, notices);
  ASSERT_EQ(Core->Notices[0].Payload.size(), 12u);
  ASSERT_EQ(Core->Balloons.size(), 1u);
  EXPECT_EQ(Core->Balloons[0].Text, Cp1251("Ошибка при отправке СМС:\r\nМодем занят"));
}

TEST_F(ComSendTest, WhatIsReportedFollowsBalloonsAndTheModemState) {
  struct Case {
    const char* name;
    bool showNotify;
    bool modemOpen;
    size_t records, balloons, notices;
  };
  const Case cases[] = {
      {"balloons off: log and notice only", false, true, 1, 0, 1},
      {"modem closed meanwhile: nothing", true, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Core->LogPath);
    Core->Balloons.clear();
    Core->Notices.clear();
    Core->ShowNotify = c.showNotify;
    Core->ModemOpen = c.modemOpen;
    Core->QueueSmsSend("+79001234567", "hello");
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(ReadLogRecords(Core->LogPath).size(), c.records);
    EXPECT_EQ(Core->Balloons.size(), c.balloons);
    EXPECT_EQ(Core->Notices.size(), c.notices);
  }
}

TEST_F(ComSendTest, QueuedPairsGoOneThreadAfterTheOther) {
  Core->QueueSmsSend("+79001234567", "first");
  TSmsSendThread* first = Core->Sender().ActiveSmsSendThread();
  Core->QueueSmsSend("89001112233", "second");
  EXPECT_EQ(Core->Sender().ActiveSmsSendThread(), first);
  EXPECT_EQ(Core->Sender().SendQueue.Count(), 2u);
  ASSERT_TRUE(RunUntilIdle());
  const auto sent = Modem.Sim.SentMessages();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].Text, "first");
  EXPECT_EQ(sent[1].Recipient, "89001112233");
  EXPECT_EQ(sent[1].Text, "second");
  // The second dialogue started only after the first had ended.
  const auto commands = Modem.Sim.Commands();
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[0].rfind("AT+CMGS=", 0), 0u);
  EXPECT_EQ(commands[2].rfind("AT+CMGS=", 0), 0u);
  const auto log = ReadLogRecords(Core->LogPath);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Text, "first");
  EXPECT_EQ(log[1].Phone, "89001112233");
}

// Closing the modem while sends wait: each pair is dropped by its own attempt, which is
// reported to no one, and nothing reaches the modem.
TEST_F(ComSendTest, ClosingTheModemDrainsTheQueue) {
  Core->Sender().Waits.StartPause = 200;
  Core->QueueSmsSend("+79001234567", "one");
  Core->QueueSmsSend("+79001234567", "two");
  Core->QueueSmsSend("+79001234567", "three");
  // The close: port and the monitor's mutex handle go, the running send is let go.
  Core->ModemOpen = false;
  Core->Modem().ComPort.Close();
  PortMutex.reset();
  Core->TerminateSmsSendThread();
  EXPECT_EQ(Core->Sender().ActiveSmsSendThread(), nullptr);
  EXPECT_EQ(Core->Sender().SendQueue.Count(), 3u);
  std::vector<size_t> counts;
  ASSERT_TRUE(RunUntil([&] {
    if (counts.empty() || counts.back() != Core->Sender().SendQueue.Count()) counts.push_back(Core->Sender().SendQueue.Count());
    return Core->Sender().SendQueue.Count() == 0 && Core->Sender().ActiveSmsSendThread() == nullptr;
  }));
  const std::vector<size_t> drained = {3, 2, 1, 0};
  EXPECT_EQ(counts, drained);
  EXPECT_EQ(Modem.Sim.ReceivedBytes(), "");
  EXPECT_TRUE(ReadLogRecords(Core->LogPath).empty());
  EXPECT_TRUE(Core->Notices.empty());
  EXPECT_TRUE(Core->Balloons.empty());
}

// A message queued between the close and the end of the send that the close let go waits for
// that end: the pair of the old send is dropped once, and never sent by a second thread.
TEST_F(ComSendTest, PairQueuedAfterTheCloseWaitsForTheLetGoSend) {
  Core->Sender().Waits.StartPause = 300;
  Core->QueueSmsSend("+79001234567", "dropped");
  Core->QueueSmsSend("+79001234567", "two");
  Core->ModemOpen = false;
  PortMutex.reset();
  Core->TerminateSmsSendThread();
  Core->QueueSmsSend("+79001234567", "three");
  EXPECT_EQ(Core->Sender().ActiveSmsSendThread(), nullptr);
  // The let-go send ends and drops its pair; the modem is opened again at once.
  ASSERT_TRUE(RunUntil([&] { return Core->Sender().SendQueue.Count() == 2; }));
  PortMutex = TNamedMutex::Create(kPortMutexName);
  Core->ModemOpen = true;
  ASSERT_TRUE(RunUntilIdle());
  std::vector<std::string> texts;
  for (const auto& sent : Modem.Sim.SentMessages()) texts.push_back(sent.Text);
  const std::vector<std::string> expected = {"two", "three"};
  EXPECT_EQ(texts, expected);
  EXPECT_EQ(ReadLogRecords(Core->LogPath).size(), 2u);
}

TEST_F(ComSendTest, EndOfTheProgramStopsARunningSend) {
  Core->Sender().Waits.StartPause = 5000;
  Core->QueueSmsSend("+79001234567", "hello");
  const auto start = std::chrono::steady_clock::now();
  Core->StopSmsSendThread();
  EXPECT_LT(MsSince(start), 4000u);
  EXPECT_EQ(Core->Sender().ActiveSmsSendThread(), nullptr);
  EXPECT_TRUE(Core->Notices.empty());
  EXPECT_TRUE(ReadLogRecords(Core->LogPath).empty());
  // Nothing starts any more.
  Core->QueueSmsSend("+79001234567", "later");
  EXPECT_EQ(Core->Sender().ActiveSmsSendThread(), nullptr);
}

// The main form shows the result in its tray and takes the balloon's click away; a send still
// running when the form goes is stopped with it.
class TSendingForm : public TOrvexMonitorForm {
 public:
  explicit TSendingForm(std::string exeDir) : TOrvexMonitorForm(std::move(exeDir)) {}
  bool IsModemOpen() const override { return true; }
  uint32_t NotifyDispatcher(uint32_t, const std::string&) override { return 1; }
};

TEST_F(ComSendTest, MainFormShowsTheResultBalloonWithoutAClickAction) {
  auto form = std::make_unique<TSendingForm>(ExeDir);
  form->FormCreate();
  form->Core.Sender().Waits = FastWaits();
  form->Mirror().PhonePort = Modem.SlavePath();
  form->Core.ApplyModemSettings(form->Mirror());
  Core->Modem().ComPort.Close();  // the form is the modem's only user here
  std::string message;
  ASSERT_TRUE(form->Core.Modem().OpenComPort(Modem.SlavePath(), message)) << message;
  form->BalloonClick = [] {};
  form->QueueSmsSend("+79001234567", "hello");
  ASSERT_TRUE(RunUntil([&] { return form->Core.Sender().ActiveSmsSendThread() == nullptr; }));
  ASSERT_TRUE(form->Tray.IsBalloonShown());
  EXPECT_EQ(form->Tray.LastBalloon().Title, Cp1251("Orvex монитор"));
  EXPECT_EQ(form->Tray.LastBalloon().Text, Cp1251("Сообщение отправлено"));
  EXPECT_EQ(form->Tray.LastBalloon().TimeoutMs, 5000u);
  EXPECT_EQ(form->Tray.LastBalloon().InfoFlags, 1u);
  EXPECT_TRUE(form->BalloonTimer->isActive());
  EXPECT_FALSE(form->BalloonClick);

  // A send that still pauses when the form goes ends with it, reported to no one.
  form->Core.Sender().Waits.StartPause = 5000;
  form->QueueSmsSend("+79001234567", "late");
  const auto start = std::chrono::steady_clock::now();
  form.reset();
  EXPECT_LT(MsSince(start), 4000u);
  EXPECT_EQ(Modem.Sim.SentMessages().size(), 1u);
}

// The main form's modem close lets the running send go; the sends still queued fail on the
// closed port one by one, and none of them is reported.
TEST_F(ComSendTest, MainFormCloseDrainsTheQueueUnreported) {
  class TQuietForm : public TOrvexMonitorForm {
   public:
    using TOrvexMonitorForm::TOrvexMonitorForm;
    std::vector<uint32_t> Codes;
    uint32_t NotifyDispatcher(uint32_t code, const std::string&) override {
      Codes.push_back(code);
      return 1;
    }
  };
  auto form = std::make_unique<TQuietForm>(ExeDir);
  form->FormCreate();
  form->Core.Sender().Waits = FastWaits();
  form->Core.Sender().Waits.StartPause = 200;
  form->Mirror().PhonePort = Modem.SlavePath();
  form->Core.ApplyModemSettings(form->Mirror());
  Core->Modem().ComPort.Close();
  std::string message;
  ASSERT_TRUE(form->Core.Modem().OpenComPort(Modem.SlavePath(), message)) << message;
  ASSERT_TRUE(form->IsModemOpen());
  form->QueueSmsSend("+79001234567", "one");
  form->QueueSmsSend("+79001234567", "two");
  form->CloseModemLink();
  EXPECT_EQ(form->Core.Sender().ActiveSmsSendThread(), nullptr);
  EXPECT_EQ(form->Core.Sender().SendQueue.Count(), 2u);
  ASSERT_TRUE(RunUntil([&] { return form->Core.Sender().SendQueue.Count() == 0 && form->Core.Sender().ActiveSmsSendThread() == nullptr; }));
  EXPECT_EQ(Modem.Sim.ReceivedBytes(), "");
  EXPECT_TRUE(ReadLogRecords(form->Core.LogPath).empty());
  EXPECT_TRUE(form->Codes.empty());
  EXPECT_FALSE(form->Tray.IsBalloonShown());
}

// The same send over the USB terminal of the stand-in D2XX library.
class TerminalSendTest : public SendTest {
 protected:
  void SetUp() override {
    SendTest::SetUp();
    std::filesystem::copy_file(std::string(ORVEX_BINARY_DIR) + "/fakes/" + kFtdiLibraryName,
                               ExeDir + kFtdiLibraryName);
    ASSERT_TRUE(Core->Modem().Ftdi());
    auto control = TFakeFtdiControl::Find(ExeDir + kFtdiLibraryName);
    ASSERT_TRUE(control);
    Control = *control;
    Control.Configure("Orvex GSM Terminal");
    Control.AttachModem(0, &Behind);
    Behind.Sim.SetEcho(false);
    TSettingsMirror settings = PortSettings("direct");
    settings.PhoneDesc = "Orvex GSM";
    Core->ApplyModemSettings(settings);
    std::string message;
    ASSERT_TRUE(Core->Modem().OpenTerminal("Orvex GSM", message)) << message;
  }
  void TearDown() override {
    Core.reset();
    SendTest::TearDown();
  }

  TFakeFtdiControl Control;
  TSimModemLink Behind;
};

TEST_F(TerminalSendTest, HelloIsSentOverTheTerminal) {
  Core->QueueSmsSend("+79001234567", "hello");
  ASSERT_TRUE(RunUntilIdle());
  const std::vector<std::string> wire = {"AT+CMGS=19", kHelloPdu};
  EXPECT_EQ(Behind.Sim.Commands(), wire);
  ASSERT_EQ(Behind.Sim.SentMessages().size(), 1u);
  const auto log = ReadLogRecords(Core->LogPath);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Accepted, 1);
  const std::vector<TNotice> notices = {{0, ""}};
  EXPECT_EQ(Core->Notices, notices);
}

}  // namespace
