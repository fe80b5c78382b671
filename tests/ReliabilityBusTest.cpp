// The receiving road end to end: the real monitor program in a program folder of its own, the
// real modem simulator on a pseudo-terminal and the stand-in dispatcher on a session bus of
// the test's own. The long runs (hundreds of messages, kills of the monitor) are in
// tests/manual/ReliabilityBusTest.cpp.

#include "gsm/SmsLog.h"
#include "support/StandinProcess.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

const char* const kMonitorBinary = ORVEX_BINARY_DIR "/app/orvex-monitor";
const char* const kSimBinary = ORVEX_BINARY_DIR "/tools/modemsim/orvex-modemsim";
const QString kStandin = QStringLiteral(ORVEX_BINARY_DIR "/tools/dispatcher/orvex-dispatcher-standin");

// A lock folder of the test's own for the named mutexes, inherited by every child, and the
// application the stand-in's output is collected in.
class TEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    Runtime = std::make_unique<TTempFolder>("orvex-soak-runtime");
    setenv("XDG_RUNTIME_DIR", Runtime->Path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TestApplication();
  }
  void TearDown() override { Runtime.reset(); }

private:
  std::unique_ptr<TTempFolder> Runtime;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TEnvironment);

void SpinFor(int ms) {
  SpinUntil([] { return false; }, ms);
}

[[maybe_unused]] uint32_t SeedFor(const char* scenario) {
  const char* fixed = std::getenv("ORVEX_SOAK_SEED");
  const uint32_t seed = fixed ? static_cast<uint32_t>(std::strtoul(fixed, nullptr, 10)) : std::random_device{}();
  std::printf("[ seed     ] %s: %u (ORVEX_SOAK_SEED=%u repeats it)\n", scenario, seed, seed);
  std::fflush(stdout);
  return seed;
}

// A child program with its output sent to a file; killed on destruction if still running.
class TChild {
public:
  TChild(const std::vector<std::string>& argv, const std::string& output) {
    Pid = fork();
    if (Pid == 0) {
      const int in = open("/dev/null", O_RDONLY);
      const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(in, 0);
      dup2(out, 1);
      dup2(out, 2);
      std::vector<char*> args;
      for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~TChild() { Stop(SIGTERM); }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  bool Running() const { return Pid > 0; }
  // Sends the signal and reaps the child; SIGTERM that is not obeyed in time becomes SIGKILL.
  void Stop(int signal) {
    if (Pid <= 0) return;
    kill(Pid, signal);
    for (int i = 0; i < 100; ++i) {
      if (waitpid(Pid, nullptr, WNOHANG) == Pid) {
        Pid = -1;
        return;
      }
      SpinFor(20);
    }
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
    Pid = -1;
  }

private:
  pid_t Pid = -1;
};

// The control socket of the simulator: one line out, its reply lines back up to "ok" or
// "error: ...".
class TSimControl {
public:
  explicit TSimControl(const std::string& path) {
    Socket = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (connect(Socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(Socket);
      Socket = -1;
    }
  }
  ~TSimControl() {
    if (Socket >= 0) close(Socket);
  }
  bool Connected() const { return Socket >= 0; }

  // The reply lines; the last is the status line, "(closed)" when the simulator went away.
  std::vector<std::string> Ask(const std::string& line) {
    const std::string out = line + "\n";
    if (write(Socket, out.data(), out.size()) != static_cast<ssize_t>(out.size())) return {"(closed)"};
    std::vector<std::string> lines;
    for (;;) {
      const size_t end = Buffer.find('\n');
      if (end != std::string::npos) {
        lines.push_back(Buffer.substr(0, end));
        Buffer.erase(0, end + 1);
        if (lines.back() == "ok" || lines.back().rfind("error", 0) == 0) return lines;
        continue;
      }
      char chunk[4096];
      const ssize_t got = read(Socket, chunk, sizeof chunk);
      if (got <= 0) {
        lines.push_back("(closed)");
        return lines;
      }
      Buffer.append(chunk, static_cast<size_t>(got));
    }
  }
  bool Do(const std::string& line) {
    const std::vector<std::string> reply = Ask(line);
    if (reply.back() != "ok") ADD_FAILURE() << line << " -> " << reply.back();
    return reply.back() == "ok";
  }

private:
  int Socket = -1;
  std::string Buffer;
};

// One message the simulated devices deliver, with the text nobody else sends.
struct TMessage {
  std::string Sender;
  std::string Text;
  bool Stored = false;  // +CMTI, else +CMT
  int Parts = 1;
  bool Reverse = false;
};

std::string SimLine(const TMessage& message) {
  std::string line = message.Stored ? "cmti" : "cmt";
  if (message.Parts > 1) line += " --parts " + std::to_string(message.Parts);
  if (message.Reverse) line += " --reverse";
  return line + " " + message.Sender + " " + message.Text;
}

struct TLogCounts {
  std::map<std::string, int> Received;  // text -> records
  std::map<std::string, std::string> Phones;
  std::map<std::string, int> Sent;
  size_t Records = 0;
};

TLogCounts CountLog(const std::string& path) {
  TLogCounts counts;
  const std::string bytes = ReadWholeFile(path);
  counts.Records = bytes.size() / kLogRecordSize;
  for (size_t i = 0; i < counts.Records; ++i) {
    const TLogRecord record =
        DecodeLogRecord(reinterpret_cast<const unsigned char*>(bytes.data()) + i * kLogRecordSize);
    if (record.Direction == 0) {
      ++counts.Received[record.Text];
      counts.Phones[record.Text] = record.Phone;
    } else {
      ++counts.Sent[record.Text];
    }
  }
  return counts;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

// The program folder, the simulator behind its link, the stand-in dispatcher, and the monitor
// that can be started and killed again.
class ReliabilityTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Folder.IsCreated());
    Program = Folder.Path() + "/orvex-monitor";
    std::filesystem::copy_file(kMonitorBinary, Program);
    std::filesystem::permissions(Program, std::filesystem::perms::owner_all);
    Link = Folder.Path() + "/ttyModem";
    Control = Folder.Path() + "/modem.sock";
    WriteWholeFile(Folder.Path() + "/OrvexMonitor.ini",
                   "[COMMON]\nPhonePort=" + Link +
                       "\nPinCode=\nAutoConnect=0\nCheckPin=0\nWriteDebugLog=0\n\n[VISUAL]\nShowNotify=0\n");
    Sim = std::make_unique<TChild>(
        std::vector<std::string>{kSimBinary, "--link", Link, "--control", Control, "--exec", "register 0 SimNet",
                                 "--exec", "capacity SM 1000"},
        Folder.Path() + "/modemsim.out");
    ASSERT_TRUE(SpinUntil([&] { return std::filesystem::exists(Control); }, 5000));
    SimLink = std::make_unique<TSimControl>(Control);
    ASSERT_TRUE(SimLink->Connected());
    Dispatcher = std::make_unique<TStandinProcess>(kStandin);
    ASSERT_TRUE(Dispatcher->Ready());
  }

  void TearDown() override {
    Monitor.reset();
    Dispatcher.reset();
    SimLink.reset();
    Sim.reset();
  }

  // Starts the monitor and has the dispatcher open the modem; true once it reports it open.
  bool StartMonitor() {
    Monitor = std::make_unique<TChild>(std::vector<std::string>{Program}, Folder.Path() + "/monitor.out");
    // The monitor's window is there only once it has started: until then the command is
    // undelivered.
    const bool delivered = SpinUntil(
        [&] { return Dispatcher->Ask(QStringLiteral("command 0"), 2000).startsWith(QStringLiteral("result 0 1")); },
        15000);
    return delivered && Dispatcher->Next(QStringLiteral("notice 1 "), 15000).has_value();
  }

  void KillMonitor() { Monitor->Stop(SIGKILL); }

  void QueueSend(const std::string& phone, const std::string& text) {
    std::string payload = phone;
    payload += '\0';
    payload += text;
    payload += '\0';
    const QString answer = Dispatcher->Ask(QStringLiteral("command 2 ") + QString::fromStdString(Hex(payload)));
    EXPECT_TRUE(answer.startsWith(QStringLiteral("result 2 1"))) << answer.toStdString();
  }

  std::vector<std::string> StoreList() {
    std::vector<std::string> lines = SimLink->Ask("list SM");
    lines.pop_back();
    return lines;
  }

  std::string LogPath() const { return Folder.Path() + "/OrvexMonitor.log"; }

  // Waits until every message has a record (and every send, when asked) and the store is empty.
  bool WaitForAll(const std::vector<TMessage>& messages, size_t sends, int timeoutMs) {
    return SpinUntil(
        [&] {
          const TLogCounts counts = CountLog(LogPath());
          size_t sent = 0;
          for (const auto& [text, n] : counts.Sent) sent += static_cast<size_t>(n);
          if (sent < sends) return false;
          for (const TMessage& message : messages)
            if (counts.Received.count(message.Text) == 0) return false;
          return StoreList().empty();
        },
        timeoutMs);
  }

  TTempFolder Folder{"orvex-soak"};
  std::string Program, Link, Control;
  std::unique_ptr<TChild> Sim;
  std::unique_ptr<TSimControl> SimLink;
  std::unique_ptr<TStandinProcess> Dispatcher;
  std::unique_ptr<TChild> Monitor;
};

// A modem whose answers come in pieces with pauses between them: every answer of the store is
// read up to its final line, so no tail of one is taken for the answer to the next command
// (which logged modem text as messages and left the stored ones in the store).
TEST_F(ReliabilityTest, StoredMessagesAreReadWhenAnswersComeInPieces) {
  ASSERT_TRUE(StartMonitor());
  const std::vector<TMessage> messages = {
      {"+79001234501", "split0 stored in one part", true, 1, false},
      {"+79001234503", "split2 delivered inline", false, 1, false},
      {"+79001234504", "split3 stored after the inline one", true, 1, false},
  };
  ASSERT_TRUE(SimLink->Do("split 24 150"));
  for (const TMessage& message : messages) ASSERT_TRUE(SimLink->Do(SimLine(message)));

  EXPECT_TRUE(WaitForAll(messages, 0, 40000)) << "not everything arrived in time";
  const TLogCounts counts = CountLog(LogPath());
  for (const TMessage& message : messages) {
    EXPECT_EQ(counts.Received.count(message.Text) ? counts.Received.at(message.Text) : 0, 1) << SimLine(message);
  }
  EXPECT_EQ(counts.Records, messages.size()) << "records of texts nobody sent";
  EXPECT_TRUE(StoreList().empty());
}

}  // namespace
