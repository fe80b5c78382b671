#include "gsm/ModemPort.h"

#include "common/Text.h"
#include "fakes/FakeFtd2xx.h"
#include "support/PseudoTerminal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

// A folder of its own for the program's files, removed afterwards.
class TTempFolder {
 public:
  TTempFolder() {
    char pattern[] = "/tmp/orvex-modemport-XXXXXX";
    if (::mkdtemp(pattern)) Path = std::string(pattern) + "/";
  }
  ~TTempFolder() {
    if (!Path.empty()) std::filesystem::remove_all(Path);
  }
  std::string Path;
};

TEST(ModemPort, OnlyTheWordDirectInAnyCaseSelectsTheTerminal) {
  struct Case {
    const char* port;
    bool terminal;
  };
  const Case cases[] = {
      {"direct", true}, {"DIRECT", true}, {"Direct", true},
      {"direct ", false}, {" direct", false}, {"COM3", false}, {"", false}, {"/dev/ttyUSB0", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TModemPort::SelectsTerminal(c.port), c.terminal) << '"' << c.port << '"';
    TModemPort port;
    port.SetPhonePort(c.port);
    EXPECT_EQ(port.UsesTerminal(), c.terminal) << '"' << c.port << '"';
  }
}

TEST(ModemPort, ReplyToTextNormalisesTheAnswer) {
  struct Case {
    std::string bytes;
    uint32_t count;
    std::string text;
  };
  const Case cases[] = {
      {"\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", 23, "+cpin: sim pin\r\n\r\nok"},
      {std::string("\r\nA\0B\r\n", 7), 7, "a b"},
      {"\r\n+CME ERROR: 10\r\n", 18, "+cme error: 10"},
      {"\r\n+CMS ERROR: 304\r\nOK", 18, "+cms error: 304"},  // only the first `count` bytes
      {Cp1251("  ОТВЕТ Модема Ё\t"), 17, Cp1251("ответ модема ё")},
      {std::string("\0\0\r\n", 4), 4, ""},
      {"OK", 0, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TModemPort::ReplyToText(Bytes(c.bytes), c.count), c.text) << c.bytes;
}

class ModemPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Line.IsOpen());
    ASSERT_FALSE(Folder.Path.empty());
    Port.SetPhonePort(Line.SlavePath());
    std::string message;
    ASSERT_TRUE(Port.OpenComPort(Line.SlavePath(), message)) << message;
  }

  std::string TracePath() const { return Folder.Path + kDebugLogName; }

  // Reads with the given capacity; the text of what was read, "" otherwise.
  uint8_t Read(uint32_t capacity, uint32_t waitMs, std::string& got) {
    std::vector<uint8_t> buffer(capacity + 16, 0xAA);
    uint32_t count = 12345;
    uint8_t result = Port.ReadModem(buffer.data(), capacity, count, waitMs);
    got.assign(reinterpret_cast<const char*>(buffer.data()), count);
    // The capacity is zeroed beyond what was read; the bytes past it are not touched.
    for (uint32_t i = count; i < capacity; ++i) EXPECT_EQ(buffer[i], 0) << "byte " << i;
    for (uint32_t i = capacity; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xAA) << "byte " << i;
    return result;
  }

  TPseudoTerminal Line;
  TTempFolder Folder;
  TModemPort Port{Folder.Path};
};

TEST_F(ModemPortTest, ReadTakesTheWholeAnswerQueuedBeforeTheCall) {
  ASSERT_TRUE(Line.Send("\r\n+CPIN: READY\r\n\r\nOK\r\n"));
  std::this_thread::sleep_for(20ms);
  std::string got;
  EXPECT_EQ(Read(1024, 200, got), kReadData);
  EXPECT_EQ(got, "\r\n+CPIN: READY\r\n\r\nOK\r\n");
}

TEST_F(ModemPortTest, ReadTimesOutWhenNothingComes) {
  std::string got;
  EXPECT_EQ(Read(1024, 100, got), kReadTimeOut);
  EXPECT_EQ(got, "");
}

TEST_F(ModemPortTest, ReadWaitsForAnAnswerThatComesDuringTheWait) {
  std::thread modem([&] {
    std::this_thread::sleep_for(60ms);
    Line.Send("\r\nOK\r\n");
  });
  std::string got;
  EXPECT_EQ(Read(50, 1000, got), kReadData);
  modem.join();
  EXPECT_EQ(got, "\r\nOK\r\n");
}

TEST_F(ModemPortTest, BurstLongerThanTheBufferIsReadInPieces) {
  struct Case {
    uint32_t capacity;
    size_t burst;
  };
  const Case cases[] = {{1024, 1500}, {50, 51}, {1000, 3000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.capacity) + " of " + std::to_string(c.burst));
    std::string burst;
    for (size_t i = 0; i < c.burst; ++i) burst.push_back(static_cast<char>('a' + i % 26));
    ASSERT_TRUE(Line.Send(burst));
    std::this_thread::sleep_for(30ms);
    std::string all;
    std::string piece;
    int reads = 0;
    while (Read(c.capacity, 100, piece) == kReadData) {
      EXPECT_LE(piece.size(), c.capacity);
      all += piece;
      ++reads;
    }
    EXPECT_EQ(all, burst);
    EXPECT_EQ(reads, static_cast<int>((c.burst + c.capacity - 1) / c.capacity));
  }
}

TEST_F(ModemPortTest, WritesReachTheModem) {
  const std::string pdu = "AT+CMGS=23\r\n0011000B919761989901F00000AA0AE8329BFD4697D9EC37\x1A";
  EXPECT_TRUE(Port.WriteModem(Bytes(pdu), pdu.size()));
  EXPECT_EQ(Line.Receive(), pdu);
}

TEST_F(ModemPortTest, WithoutAnOpenPortReadsFailAndWritesAreRefused) {
  Port.ComPort.Close();
  std::string got;
  EXPECT_EQ(Read(50, 100, got), kReadFailed);
  EXPECT_FALSE(Port.WriteModem(Bytes("AT\r\n"), 4));
}

TEST_F(ModemPortTest, TraceRecordsEveryTransferByteForByte) {
  Port.WriteDebugLog = true;
  ASSERT_TRUE(Port.WriteModem(Bytes("AT\r\n"), 4));
  ASSERT_EQ(Line.Receive(), "AT\r\n");
  ASSERT_TRUE(Line.Send(std::string("\r\nOK\0\r\n", 7)));
  std::this_thread::sleep_for(20ms);
  std::string got;
  ASSERT_EQ(Read(1024, 200, got), kReadData);
  ASSERT_EQ(Read(1024, 50, got), kReadTimeOut);  // a time-out leaves no record
  Port.ComPort.Close();
  EXPECT_FALSE(Port.WriteModem(Bytes("ATE0\r\n"), 6));  // a failed write is still recorded

  const std::string expected = std::string("-->>>--\r\nAT\r\n") + "--<<<--\r\n" +
                               std::string("\r\nOK\0\r\n", 7) + "-->>>--\r\nATE0\r\n";
  EXPECT_EQ(FileText(TracePath()), expected);
}

TEST_F(ModemPortTest, TraceIsOnlyWrittenWhenSwitchedOnAndItsErrorsStayInside) {
  ASSERT_TRUE(Port.WriteModem(Bytes("AT\r\n"), 4));
  EXPECT_FALSE(std::filesystem::exists(TracePath()));

  // A program folder that cannot be written: the transfer still succeeds.
  TModemPort elsewhere("/nonexistent/orvex/");
  elsewhere.WriteDebugLog = true;
  elsewhere.SetPhonePort(Line.SlavePath());
  std::string message;
  Port.ComPort.Close();
  ASSERT_TRUE(elsewhere.OpenComPort(Line.SlavePath(), message));
  EXPECT_TRUE(elsewhere.WriteModem(Bytes("AT\r\n"), 4));
}

TEST_F(ModemPortTest, PresenceCheckNoticesThePortGoing) {
  // The port is reached through a name of its own that the test removes: a closed
  // pseudo-terminal's number may be taken at once by another test running beside this one.
  const std::string name = Folder.Path + "modem";
  ASSERT_EQ(::symlink(Line.SlavePath().c_str(), name.c_str()), 0);
  std::string message;
  ASSERT_TRUE(Port.OpenComPort(name, message)) << message;
  Port.SetPhonePort(name);
  EXPECT_FALSE(Port.IsComPortLost());
  ASSERT_EQ(::unlink(name.c_str()), 0);
  EXPECT_TRUE(Port.IsComPortLost());
  Port.ComPort.Close();
  EXPECT_FALSE(Port.IsComPortLost()) << "a closed link is never lost";
}

TEST_F(ModemPortTest, PresenceCheckAsksForThePortOfTheSetting) {
  Port.SetPhonePort("orvex-no-such-port");
  EXPECT_TRUE(Port.IsComPortLost());
}

TEST_F(ModemPortTest, OpenFailsWithItsMessageForAMissingOrTakenPort) {
  struct Case {
    std::string port;
  };
  const Case cases[] = {{Line.SlavePath()}, {"/dev/orvex-no-such-port"}};
  for (const Case& c : cases) {
    TModemPort other;
    std::string message;
    EXPECT_FALSE(other.OpenComPort(c.port, message));
    EXPECT_EQ(message, Cp1251("Не удалось открыть порт ") + c.port + ".");
    EXPECT_FALSE(other.ComPort.IsOpen());
  }
}

TEST_F(ModemPortTest, OpenAgainOverAnOpenPortKeepsTheLinkUsable) {
  std::string message;
  ASSERT_TRUE(Port.OpenComPort(Line.SlavePath(), message)) << message;
  EXPECT_TRUE(Port.WriteModem(Bytes("AT\r\n"), 4));
  EXPECT_EQ(Line.Receive(), "AT\r\n");
}

TEST_F(ModemPortTest, ClosingWhileAnotherThreadReadsIsSafe) {
  std::atomic<bool> stop{false};
  std::atomic<int> afterClose{0};
  std::thread reader([&] {
    uint8_t buffer[64];
    uint32_t count = 0;
    while (!stop) {
      Port.ReadModem(buffer, sizeof buffer, count, 20);
      if (!Port.ComPort.IsOpen()) ++afterClose;
    }
  });
  for (int i = 0; i < 20; ++i) {
    Line.Send("\r\nRING\r\n");
    std::this_thread::sleep_for(5ms);
  }
  Port.ComPort.Close();
  std::this_thread::sleep_for(50ms);
  stop = true;
  reader.join();
  uint8_t buffer[8];
  uint32_t count = 9;
  EXPECT_EQ(Port.ReadModem(buffer, sizeof buffer, count, 20), kReadFailed);
  EXPECT_EQ(count, 0u);
  EXPECT_GT(afterClose.load(), 0);
}

// The modem behind a fake USB terminal: it keeps what the host wrote and answers nothing.
class TRecordingModem : public TFakeModemLink {
 public:
  void HostWrote(const char* data, std::size_t size) override { Written.append(data, size); }
  std::size_t Waiting() override { return 0; }
  std::size_t HostRead(char*, std::size_t) override { return 0; }
  std::string Written;
};

// A USB terminal behind the stand-in D2XX library, loaded from the program folder.
class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Folder.Path.empty());
    std::filesystem::copy_file(std::string(ORVEX_BINARY_DIR) + "/fakes/" + kFtdiLibraryName,
                               Folder.Path + kFtdiLibraryName);
    ASSERT_TRUE(Port.Ftdi());
    auto control = TFakeFtdiControl::Find(Folder.Path + kFtdiLibraryName);
    ASSERT_TRUE(control);
    Control = *control;
    Control.Configure("USB Serial Converter|Orvex GSM Terminal 2|Orvex GSM Terminal");
    Control.AttachModem(1, &Modem);
    Port.SetPhonePort("direct");
    Port.SetPhoneDesc("Orvex GSM Terminal");
  }
  void TearDown() override { Port.CloseTerminal(); }

  void Open() {
    std::string message;
    ASSERT_TRUE(Port.OpenTerminal("Orvex GSM Terminal", message)) << message;
  }

  uint8_t Read(uint32_t capacity, uint32_t waitMs, std::string& got) {
    std::vector<uint8_t> buffer(capacity);
    uint32_t count = 0;
    uint8_t result = Port.ReadModem(buffer.data(), capacity, count, waitMs);
    got.assign(reinterpret_cast<const char*>(buffer.data()), count);
    return result;
  }

  TTempFolder Folder;
  TModemPort Port{Folder.Path};
  TFakeFtdiControl Control;
  TRecordingModem Modem;
};

TEST_F(TerminalTest, OpenFindsTheFirstTerminalWhoseDescriptionBeginsWithTheSetting) {
  struct Case {
    const char* description;
    const char* opened;  // "" when none
    const char* message;
  };
  const Case cases[] = {
      {"Orvex GSM Terminal", "FT_Open 1\n", ""},
      {"Orvex", "FT_Open 1\n", ""},
      {"", "FT_Open 0\n", ""},
      {"Orvex GSM Terminal 3", "", "Модем не найден"},
      {"orvex gsm terminal", "", "Модем не найден"},  // bytes compared exactly
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    Control.Configure("USB Serial Converter|Orvex GSM Terminal 2|Orvex GSM Terminal");
    std::string message;
    const bool opened = Port.OpenTerminal(c.description, message);
    EXPECT_EQ(opened, *c.opened != '\0');
    EXPECT_EQ(message, Cp1251(c.message));
    const std::string log = Control.CallLog();
    EXPECT_EQ(log.substr(0, std::min(log.size(), std::string(c.opened).size())), c.opened);
    if (opened) {
      EXPECT_EQ(log.substr(log.find('\n') + 1),
                "FT_SetBaudRate 230400\nFT_SetTimeouts 200 200\nFT_SetDataCharacteristics 8 0 0\n"
                "FT_SetLatencyTimer 10\nFT_SetFlowControl 256 0 0\nFT_SetRts\n");
    }
    Port.CloseTerminal();
  }
}

TEST_F(TerminalTest, FailedStepsOfTheOpenGiveTheirMessages) {
  struct Case {
    const char* failing;
    bool opened;
    const char* message;
    bool handleLeft;  // left open for the close that follows a failed set-up
  };
  const Case cases[] = {
      {"FT_ListDevices", false, "", false},
      {"FT_Open", false, "Ошибка при открытии модема", false},
      {"FT_SetBaudRate", false, "Ошибка при настройке модкма", true},
      {"FT_SetLatencyTimer", false, "Ошибка при настройке модкма", true},
      {"FT_SetFlowControl", false, "Ошибка при настройке модкма", true},
      {"FT_SetRts", true, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    Control.Configure("Orvex GSM Terminal");
    Control.SetFailure(c.failing, FT_IO_ERROR);
    std::string message;
    EXPECT_EQ(Port.OpenTerminal("Orvex GSM Terminal", message), c.opened);
    EXPECT_EQ(message, Cp1251(c.message));
    EXPECT_EQ(Port.FtHandle() != nullptr, c.handleLeft);
    Port.CloseTerminal();
    EXPECT_EQ(Port.FtHandle(), nullptr);
    const std::string log = Control.CallLog();
    EXPECT_EQ(log.find("FT_ResetDevice\nFT_Close\n") != std::string::npos, c.handleLeft);
  }
}

TEST_F(TerminalTest, ReadTakesWhatTheTerminalQueuedAndBurstsInPieces) {
  Open();
  std::string got;
  EXPECT_EQ(Read(1024, 100, got), kReadTimeOut);

  Control.Queue(1, "\r\nOK\r\n", 6);
  EXPECT_EQ(Read(1024, 100, got), kReadData);
  EXPECT_EQ(got, "\r\nOK\r\n");

  std::string burst;
  for (int i = 0; i < 1500; ++i) burst.push_back(static_cast<char>('0' + i % 10));
  Control.Queue(1, burst.data(), static_cast<uint32_t>(burst.size()));
  std::string all;
  while (Read(1024, 50, got) == kReadData) all += got;
  EXPECT_EQ(all, burst);
}

TEST_F(TerminalTest, WritesReachTheModemBehindTheTerminal) {
  Open();
  EXPECT_TRUE(Port.WriteModem(Bytes("AT+CMGD=3\r\n"), 11));
  EXPECT_EQ(Modem.Written, "AT+CMGD=3\r\n");
}

TEST_F(TerminalTest, ClosedTerminalRefusesTransfers) {
  std::string got;
  EXPECT_EQ(Read(50, 50, got), kReadFailed);
  EXPECT_FALSE(Port.WriteModem(Bytes("AT\r\n"), 4));
  EXPECT_EQ(Modem.Written, "");
}

TEST_F(TerminalTest, PresenceCheckComparesTheDescriptionPrefix) {
  struct Case {
    const char* phoneDesc;
    bool unplugged;
    bool lost;
  };
  const Case cases[] = {
      {"Orvex GSM Terminal", false, false},
      {"Orvex GSM", false, false},
      {"", false, false},
      {"Orvex GSM Terminal 2", false, true},
      {"USB Serial Converter", false, true},
      {"Orvex GSM Terminal", true, true},
      {"", true, true},
  };
  EXPECT_FALSE(Port.IsTerminalLost()) << "a closed terminal is never lost";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phoneDesc);
    Control.Configure("USB Serial Converter|Orvex GSM Terminal");
    std::string message;
    ASSERT_TRUE(Port.OpenTerminal("Orvex GSM", message));
    Port.SetPhoneDesc(c.phoneDesc);
    if (c.unplugged) Control.SetPresent(1, 0);
    EXPECT_EQ(Port.IsTerminalLost(), c.lost);
    Port.CloseTerminal();
  }
}

TEST_F(TerminalTest, TerminalListLoadsTheLibraryThatTheOpenThenUses) {
  // A second link object loads the same library file, so it sees the same terminals.
  TModemPort fresh(Folder.Path);
  const auto listed = fresh.ListUsbTerminals();
  ASSERT_TRUE(listed);
  const std::vector<std::string> expected = {"USB Serial Converter", "Orvex GSM Terminal 2", "Orvex GSM Terminal"};
  EXPECT_EQ(*listed, expected);
  // The library that the list loaded serves the open too.
  std::string message;
  EXPECT_TRUE(fresh.OpenTerminal("USB Serial", message)) << message;
  fresh.CloseTerminal();
}

// The transport is chosen when it opens: a reload of the settings while the link is open
// does not send the next transfer to a transport that was never opened for it.
TEST_F(TerminalTest, TransfersGoToTheTransportOpenedLastWhateverTheSetting) {
  Open();
  EXPECT_EQ(Port.Transport(), TModemPort::TTransport::Terminal);
  Port.SetPhonePort("ttyS0");
  EXPECT_TRUE(Port.WriteModem(Bytes("AT\r\n"), 4));
  EXPECT_EQ(Modem.Written, "AT\r\n");

  TPseudoTerminal line;
  std::string message;
  ASSERT_TRUE(Port.OpenComPort(line.SlavePath(), message));
  EXPECT_EQ(Port.Transport(), TModemPort::TTransport::SerialPort);
  Port.SetPhonePort("Direct");
  EXPECT_TRUE(Port.WriteModem(Bytes("ATE0\r\n"), 6));
  EXPECT_EQ(line.Receive(), "ATE0\r\n");
  EXPECT_EQ(Modem.Written, "AT\r\n");

  // A set-up that uses the terminal still open takes it back.
  Port.ReuseTerminal();
  EXPECT_TRUE(Port.WriteModem(Bytes("ATH\r\n"), 5));
  EXPECT_EQ(Modem.Written, "AT\r\nATH\r\n");
  EXPECT_EQ(line.Receive(20, 100), "");
}

TEST(ModemPort, NothingOpenedTakesNoTransfer) {
  TModemPort port;
  port.SetPhonePort("direct");
  uint8_t buffer[8];
  uint32_t count = 1;
  EXPECT_EQ(port.Transport(), TModemPort::TTransport::None);
  EXPECT_FALSE(port.WriteModem(Bytes("AT\r\n"), 4));
  EXPECT_EQ(port.ReadModem(buffer, sizeof buffer, count, 10), kReadFailed);
  EXPECT_EQ(count, 0u);
}

}  // namespace
