#include "platform/SerialPort.h"
#include "support/PseudoTerminal.h"
#include "support/Unprivileged.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

TEST(SerialPort, DevicePathPutsBareNamesUnderDev) {
  struct Case {
    const char* name;
    const char* path;
  };
  const Case cases[] = {
      {"ttyUSB0", "/dev/ttyUSB0"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"pts/3", "/dev/pts/3"},
      {"/tmp/modem", "/tmp/modem"},
  };
  for (const Case& c : cases) EXPECT_EQ(TSerialPort::DevicePath(c.name), c.path) << c.name;
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Line.IsOpen());
    ASSERT_TRUE(Port.Open(Line.SlavePath()));
    ASSERT_TRUE(Port.Configure());
  }

  // Waits until the port sees `expected` queued bytes (the pty delivers asynchronously).
  uint32_t QueuedSoon(uint32_t expected) {
    uint32_t queued = 0;
    for (int i = 0; i < 200; ++i) {
      if (Port.QueuedBytes(queued) && queued >= expected) break;
      std::this_thread::sleep_for(5ms);
    }
    return queued;
  }

  TPseudoTerminal Line;
  TSerialPort Port;
};

TEST_F(SerialPortTest, LineIsRawAt115200EightBitsNoParityNoFlowControl) {
  termios tio{};
  ASSERT_EQ(tcgetattr(Line.MasterFd(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), B115200);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(SerialPortTest, BytesCrossUnchangedBothWays) {
  // Line ends, NUL, XON/XOFF and 8-bit bytes must pass as they are in both directions.
  const std::string bytes("AT\r\n\0\x11\x13\xFF\xCC\r", 10);
  ASSERT_TRUE(Line.Send(bytes));
  EXPECT_EQ(QueuedSoon(bytes.size()), bytes.size());
  char buffer[64] = {};
  uint32_t count = 0;
  ASSERT_TRUE(Port.Read(buffer, sizeof buffer, count));
  EXPECT_EQ(std::string(buffer, count), bytes);

  uint32_t written = 0;
  ASSERT_TRUE(Port.Write(bytes.data(), bytes.size(), written));
  EXPECT_EQ(written, bytes.size());
  EXPECT_EQ(Line.Receive(), bytes);
  // Nothing was echoed back to us.
  EXPECT_TRUE(Port.Read(buffer, sizeof buffer, count));
  EXPECT_EQ(count, 0u);
}

TEST_F(SerialPortTest, ReadTakesNoMoreThanAskedAndLeavesTheRestQueued) {
  ASSERT_TRUE(Line.Send("0123456789"));
  ASSERT_EQ(QueuedSoon(10), 10u);
  char buffer[4] = {};
  uint32_t count = 0;
  ASSERT_TRUE(Port.Read(buffer, sizeof buffer, count));
  EXPECT_EQ(std::string(buffer, count), "0123");
  uint32_t queued = 0;
  ASSERT_TRUE(Port.QueuedBytes(queued));
  EXPECT_EQ(queued, 6u);
}

TEST_F(SerialPortTest, OpenIsExclusive) {
  TSerialPort second;
  EXPECT_FALSE(second.Open(Line.SlavePath()));
  EXPECT_FALSE(second.IsOpen());
  Port.Close();
  EXPECT_TRUE(second.Open(Line.SlavePath()));
}

// The exclusive mode keeps other programs out while the port is open, and goes with the port
// on every way it can let the line go. Root may open an exclusive terminal anyway, so each case
// runs as an ordinary user; the line is a pseudo-terminal of the case's own, which outlives the
// port as a modem's line does.
TEST(SerialPort, LineLetGoCanBeOpenedAgainByAnOrdinaryUser) {
  struct Case {
    const char* how;
    void (*letGo)(std::unique_ptr<TSerialPort>& port, const std::string& otherLine);
  };
  const Case cases[] = {
      {"closed", [](std::unique_ptr<TSerialPort>& port, const std::string&) { port->Close(); }},
      {"destroyed", [](std::unique_ptr<TSerialPort>& port, const std::string&) { port.reset(); }},
      {"opened on another line", [](std::unique_ptr<TSerialPort>& port, const std::string& other) {
         port->Open(other);
       }},
      {"a failed open on a missing device",
       [](std::unique_ptr<TSerialPort>& port, const std::string&) { port->Open("/dev/orvex-no-such-port"); }},
  };
  for (const Case& c : cases) {
    // Each step that goes wrong names itself; an empty text is a pass.
    const std::optional<std::string> outcome = RunUnprivileged([&c]() -> std::string {
      TPseudoTerminal line, other;
      if (!line.IsOpen() || !other.IsOpen()) return "no pseudo-terminal";
      auto port = std::make_unique<TSerialPort>();
      if (!port->Open(line.SlavePath()) || !port->Configure()) return "first open failed";
      // Another program, which knows nothing of our advisory lock, is kept out.
      const int intruder = ::open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (intruder >= 0) {
        ::close(intruder);
        return "the open port was not exclusive";
      }
      c.letGo(port, other.SlavePath());
      const int plain = ::open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (plain < 0) return "another program cannot open the line";
      ::close(plain);
      TSerialPort again;
      if (!again.Open(line.SlavePath()) || !again.Configure()) return "the port cannot open the line again";
      return "";
    });
    ASSERT_TRUE(outcome.has_value()) << c.how << ": the unprivileged run did not finish";
    EXPECT_EQ(*outcome, "") << "port " << c.how;
  }
}

TEST_F(SerialPortTest, ClosedPortRefusesEveryOperation) {
  Port.Close();
  char buffer[4];
  uint32_t count = 7;
  uint32_t written = 7;
  EXPECT_FALSE(Port.IsOpen());
  EXPECT_FALSE(Port.QueuedBytes(count));
  EXPECT_FALSE(Port.Read(buffer, sizeof buffer, count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(Port.Write("AT", 2, written));
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(Port.Configure());
}

TEST_F(SerialPortTest, CloseInterruptsAWriteThatWaitsForRoom) {
  // Nobody reads the line, so the write fills it and waits; its own time-out would be long.
  const std::string bulk(100000, 'x');
  uint32_t written = 0;
  bool result = true;
  std::thread writer([&] { result = Port.Write(bulk.data(), bulk.size(), written); });
  std::this_thread::sleep_for(100ms);
  Port.Close();
  writer.join();
  EXPECT_FALSE(result);
  EXPECT_LT(written, bulk.size());
  EXPECT_FALSE(Port.IsOpen());
}

TEST(SerialPort, MissingDeviceDoesNotOpen) {
  TSerialPort port;
  EXPECT_FALSE(port.Open("/dev/orvex-no-such-port"));
  EXPECT_FALSE(port.Open(""));
  EXPECT_FALSE(port.IsOpen());
}

// The reader sleeps on the line while nothing arrives: bytes end the sleep, so does a close
// from another thread (which must not wait for the sleeper's whole wait), and a closed port
// has nothing to wait for.
TEST_F(SerialPortTest, WaitForBytesEndsWhenBytesComeOrThePortCloses) {
  EXPECT_FALSE(Port.WaitReadable(20));

  std::thread writer([this] {
    std::this_thread::sleep_for(50ms);
    Line.Send("OK");
  });
  EXPECT_TRUE(Port.WaitReadable(10000));
  writer.join();
  EXPECT_EQ(QueuedSoon(2), 2u);
  char bytes[8];
  uint32_t count = 0;
  ASSERT_TRUE(Port.Read(bytes, sizeof bytes, count));

  const auto start = std::chrono::steady_clock::now();
  std::thread closer([this] {
    std::this_thread::sleep_for(50ms);
    Port.Close();
  });
  EXPECT_FALSE(Port.WaitReadable(10000));
  closer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_FALSE(Port.WaitReadable(10000));

  // Opened again, the port waits as before.
  ASSERT_TRUE(Port.Open(Line.SlavePath()));
  EXPECT_FALSE(Port.WaitReadable(20));
}

}  // namespace
