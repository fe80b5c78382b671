// The receiving road end to end: the real monitor program in a program folder of its own, the
// real modem simulator on a pseudo-terminal and the stand-in dispatcher on a session bus of
// the test's own. Besides a modem whose answers come in pieces and the ends by signal, two long
// runs: hundreds of messages in bursts while sends run, and the same with the monitor killed at
// random moments and started again. In the end the SMS log holds every message and the store
// is empty.
//
// The random choices come from a seeded generator; the seed is printed, and ORVEX_SOAK_SEED
// runs a failing case again with the same choices. ORVEX_SOAK_KEEP names a folder that gets
// the files of a failed run (the log, the settings, the outputs).

#include "gsm/SmsLog.h"
#include "platform/DBusWindow.h"
#include "support/StandinProcess.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"
#include "support/TestWaits.h"
#include "tools/dispatcher/StandinConsole.h"

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
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
const QString kMonitorClass = QStringLiteral("TOrvexMonitorForm");

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

uint32_t SeedFor(const char* scenario) {
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
      // A test that is stopped from outside takes its children with it.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      // The program starts as a desktop session starts it, whatever the test inherited.
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      for (int stop : {SIGTERM, SIGHUP, SIGINT}) signal(stop, SIG_DFL);
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
  // Sends the signal and reaps the child; a signal that does not end it within `waitMs`
  // becomes SIGKILL. Answers the child's wait status (-1 when none ran).
  int Stop(int signal, int waitMs = 2000) {
    if (Pid <= 0) return -1;
    kill(Pid, signal);
    int status = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < waitMs) {
      if (waitpid(Pid, &status, WNOHANG) == Pid) {
        Pid = -1;
        return status;
      }
      SpinFor(20);
    }
    kill(Pid, SIGKILL);
    waitpid(Pid, &status, 0);
    Pid = -1;
    return status;
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

  // The reply lines; the last is the status line, "(closed)" when the simulator went away,
  // "(no answer)" when it said nothing within the bound.
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
      // The simulator answers its control lines at once.
      pollfd ready{Socket, POLLIN, 0};
      if (poll(&ready, 1, Scaled(10000)) <= 0) {
        lines.push_back("(no answer)");
        return lines;
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
  bool WideReference = false;  // a 16-bit concatenation reference
};

std::string SimLine(const TMessage& message) {
  std::string line = message.Stored ? "cmti" : "cmt";
  if (message.Parts > 1) line += " --parts " + std::to_string(message.Parts);
  if (message.Reverse) line += " --reverse";
  if (message.WideReference) line += " --ref16";
  return line + " " + message.Sender + " " + message.Text;
}

std::vector<TMessage> MakeMessages(std::mt19937& random, int count, bool storedOnly) {
  std::vector<TMessage> messages;
  for (int i = 0; i < count; ++i) {
    TMessage message;
    message.Sender = "+790012" + std::to_string(34500 + static_cast<int>(random() % 40));
    message.Text = "soak" + std::to_string(i) + " pos 5545.1234,n,03737.5678,e";
    message.Stored = storedOnly || random() % 2 == 0;
    if (random() % 6 == 0) {
      // A longer text spread over two or three parts, some of them arriving last part first.
      message.Parts = 2 + static_cast<int>(random() % 2);
      message.Reverse = random() % 2 == 0;
      message.Text += " speed 12.5 course 270.0 date 050324 inputs 0101 sat 9";
      message.WideReference = random() % 3 == 0;
      if (random() % 2 == 0) {
        // Parts whose septets leave seven fill bits in their last octet: a multiple of eight
        // septets behind the 8-bit header, seven more than one behind the 16-bit header.
        const size_t perPart = message.WideReference ? 47 : 48;
        message.Text.resize(perPart * static_cast<size_t>(message.Parts), 'x');
      }
    }
    messages.push_back(message);
  }
  return messages;
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
    WriteSettings();
    Sim = std::make_unique<TChild>(
        std::vector<std::string>{kSimBinary, "--link", Link, "--control", Control, "--exec", "register 0 SimNet",
                                 "--exec", "capacity SM 1000"},
        Folder.Path() + "/modemsim.out");
    // The socket is there from its bind on, a moment before the simulator listens on it.
    ASSERT_TRUE(SpinUntil(
        [&] {
          SimLink = std::make_unique<TSimControl>(Control);
          return SimLink->Connected();
        },
        5000));
    Dispatcher = std::make_unique<TStandinProcess>(kStandin);
    ASSERT_TRUE(Dispatcher->Ready());
  }

  void TearDown() override {
    Monitor.reset();
    // The program folder of a failed run, for a look at its log and trace.
    const char* keep = std::getenv("ORVEX_SOAK_KEEP");
    if (HasFailure() && keep) {
      std::error_code ignored;
      for (const auto& entry : std::filesystem::directory_iterator(Folder.Path(), ignored))
        if (entry.is_regular_file()) std::filesystem::copy(entry.path(), keep, std::filesystem::copy_options::overwrite_existing, ignored);
    }
    Dispatcher.reset();
    SimLink.reset();
    Sim.reset();
  }

  std::string SettingsPath() const { return Folder.Path() + "/OrvexMonitor.ini"; }
  void WriteSettings() {
    WriteWholeFile(SettingsPath(), "[COMMON]\nPhonePort=" + Link +
                                       "\nPinCode=\nAutoConnect=0\nCheckPin=0\nWriteDebugLog=0\n\n[VISUAL]\nShowNotify=0\n");
  }

  // Starts the monitor and has the dispatcher open the modem; true once it reports it open.
  // Otherwise StartProblem says what went wrong.
  bool StartMonitor() {
    StartProblem.clear();
    Monitor = std::make_unique<TChild>(std::vector<std::string>{Program}, Folder.Path() + "/monitor.out");
    // Until the monitor's window is on the bus the command is undelivered, at once; the window
    // of a monitor just killed may still be listed for a moment.
    QElapsedTimer clock;
    clock.start();
    bool delivered = false;
    while (!delivered && clock.elapsed() < Scaled(kProgramStartMs)) {
      if (!TDBusWindow::FindWindow(kMonitorClass)) {
        SpinFor(50);
        continue;
      }
      delivered = Dispatcher->Ask(QStringLiteral("command 0"), TStandinConsole::kCommandTimeoutMs + Scaled(1000))
                      .startsWith(QStringLiteral("result 0 1"));
    }
    if (!delivered) {
      StartProblem = "the open command did not reach the monitor within " + std::to_string(clock.elapsed()) + " ms";
      return false;
    }
    // The modem is open once the set-up has run with the program's own waits.
    const std::optional<QString> notice =
        Dispatcher->Next({QStringLiteral("notice 1 "), QStringLiteral("notice 2 ")}, SetupBoundMs() + Scaled(2000));
    if (!notice) StartProblem = "no notice of the open within " + std::to_string(SetupBoundMs() + Scaled(2000)) + " ms";
    if (notice && !notice->startsWith(QStringLiteral("notice 1 "))) StartProblem = notice->toStdString();
    return StartProblem.empty();
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

  // Stored parts of concatenated messages: a kill between logging a message and deleting its
  // last stored part leaves that part behind, and the monitor cannot tell it from a part whose
  // message is still to come until its time is up (a day). The store list's entries are
  // "index status length pdu"; a part's PDU has the header bit in its first octet.
  static bool IsStoredPart(const std::string& entry) {
    const size_t pdu = entry.rfind(' ');
    if (pdu == std::string::npos || entry.size() < pdu + 3) return false;
    const unsigned centre = static_cast<unsigned>(std::stoul(entry.substr(pdu + 1, 2), nullptr, 16));
    const size_t first = pdu + 1 + 2 * (centre + 1);
    if (entry.size() < first + 2) return false;
    return (std::stoul(entry.substr(first, 2), nullptr, 16) & 0x40) != 0;
  }
  // At most `leftover` entries, each such a part.
  bool StoreHoldsAtMost(size_t leftover) {
    const std::vector<std::string> entries = StoreList();
    if (entries.size() > leftover) return false;
    return std::all_of(entries.begin(), entries.end(), IsStoredPart);
  }

  // Waits until every message has a record (and every send, when asked) and the store is empty
  // but for at most `leftover` stored parts.
  bool WaitForAll(const std::vector<TMessage>& messages, size_t sends, int timeoutMs, size_t leftover = 0) {
    // Checked every quarter of a second: the log is read whole, and the store is listed only
    // once the log is complete, so that the check does not slow the simulator down.
    auto done = [&] {
      const TLogCounts counts = CountLog(LogPath());
      size_t sent = 0;
      for (const auto& [text, n] : counts.Sent) sent += static_cast<size_t>(n);
      if (sent < sends) return false;
      for (const TMessage& message : messages)
        if (counts.Received.count(message.Text) == 0) return false;
      return StoreHoldsAtMost(leftover);
    };
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
      if (timer.elapsed() > timeoutMs) return false;
      SpinFor(250);
    }
    return true;
  }

  TTempFolder Folder{"orvex-soak"};
  std::string Program, Link, Control;
  std::string StartProblem;
  std::unique_ptr<TChild> Sim;
  std::unique_ptr<TSimControl> SimLink;
  std::unique_ptr<TStandinProcess> Dispatcher;
  std::unique_ptr<TChild> Monitor;
};

// A modem whose answers come in pieces with pauses between them: every answer of the store is
// read up to its final line, so no tail of one is taken for the answer to the next command
// (which logged modem text as messages and left the stored ones in the store).
TEST_F(ReliabilityTest, StoredMessagesAreReadWhenAnswersComeInPieces) {
  ASSERT_TRUE(StartMonitor()) << StartProblem;
  const std::vector<TMessage> messages = {
      {"+79001234501", "split0 stored in one part", true, 1, false},
      {"+79001234502", "split1 delivered in two parts, the last first", false, 2, true},
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

// The signals that end a desktop program from outside (the session at logout, a closed
// terminal, Ctrl-C) take the way of the tray menu's "Выход": the modem closed and its line free
// for the next program, the template window's layout written (it lives for the whole run), the
// window gone from the dispatcher's bus, and the status 0.
TEST_F(ReliabilityTest, StopSignalsEndTheMonitorAsItsExitDoes) {
  struct Case {
    int Signal;
    const char* Name;
  };
  const Case cases[] = {{SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}, {SIGINT, "SIGINT"}};
  for (const Case& c : cases) {
    WriteSettings();
    ASSERT_TRUE(StartMonitor()) << c.Name << ": " << StartProblem;
    const std::string line = std::filesystem::read_symlink(Link).string();

    const int status = Monitor->Stop(c.Signal, Scaled(10000));
    EXPECT_TRUE(WIFEXITED(status)) << c.Name << " killed it (wait status " << status << ")";
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << c.Name;
    EXPECT_NE(ReadWholeFile(SettingsPath()).find("SmsTemplateForm="), std::string::npos)
        << c.Name << ": no layout saved";
    EXPECT_FALSE(TDBusWindow::FindWindow(kMonitorClass)) << c.Name;
    // The exclusive mode went with the port: any program of this user may open the line.
    EXPECT_EQ(std::filesystem::read_symlink(Link).string(), line) << c.Name << ": the modem had to move";
    const int opened = open(line.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(opened, 0) << c.Name << ": " << line << " " << std::strerror(errno);
    if (opened >= 0) close(opened);
  }
}

// The messages, cut into bursts: several notices at once, some held back and let go as one
// piece longer than the reader's 1024-byte buffer.
// `between` runs after each burst; false from it stops the delivery (false then).
template <typename Between>
bool Deliver(TSimControl& sim, std::mt19937& random, const std::vector<TMessage>& messages, Between between) {
  size_t next = 0;
  while (next < messages.size()) {
    const bool held = random() % 4 == 0;
    const size_t size = held ? 8 + random() % 8 : 1 + random() % 6;
    if (held) sim.Do("hold");
    for (size_t i = 0; i < size && next < messages.size(); ++i, ++next) sim.Do(SimLine(messages[next]));
    if (held) sim.Do("release");
    if (!between(next)) return false;
    SpinFor(static_cast<int>(5 + random() % 40));
  }
  return true;
}

TEST_F(ReliabilityTest, EveryMessageOfMixedBurstsIsLoggedOnceWhileSendsRun) {
  std::mt19937 random(SeedFor("mixed bursts"));
  ASSERT_TRUE(StartMonitor()) << StartProblem;
  const std::vector<TMessage> messages = MakeMessages(random, 500, false);
  std::vector<std::string> sends;
  Deliver(*SimLink, random, messages, [&](size_t delivered) {
    if (delivered / 100 > sends.size()) {
      sends.push_back("send" + std::to_string(sends.size()) + " periodwr=60;");
      QueueSend("+79005550" + std::to_string(100 + sends.size()), sends.back());
    }
    return true;
  });

  EXPECT_TRUE(WaitForAll(messages, sends.size(), 600000)) << "not everything arrived in time";
  const TLogCounts counts = CountLog(LogPath());
  for (const TMessage& message : messages) {
    EXPECT_EQ(counts.Received.count(message.Text) ? counts.Received.at(message.Text) : 0, 1) << SimLine(message);
    if (counts.Phones.count(message.Text)) {
      EXPECT_EQ(counts.Phones.at(message.Text), message.Sender.substr(1));  // logged without the "+"
    }
  }
  EXPECT_EQ(counts.Received.size(), messages.size()) << "records of texts nobody sent";
  for (const std::string& text : sends) EXPECT_EQ(counts.Sent.count(text) ? counts.Sent.at(text) : 0, 1) << text;
  EXPECT_EQ(SimLink->Ask("sent").size(), sends.size() + 1) << "each send reached the modem once";
  EXPECT_TRUE(StoreList().empty());
}

TEST_F(ReliabilityTest, NoStoredMessageIsLostWhenTheMonitorIsKilled) {
  std::mt19937 random(SeedFor("kills"));
  ASSERT_TRUE(StartMonitor()) << StartProblem;
  const std::vector<TMessage> messages = MakeMessages(random, 500, true);
  int kills = 0;
  QElapsedTimer sinceStart;
  sinceStart.start();
  int lifeMs = static_cast<int>(300 + random() % 2500);
  // A restart that fails ends the run at once: what follows would only wait out its bounds.
  auto killAndRestart = [&] {
    KillMonitor();
    ++kills;
    // Messages keep coming while no monitor runs: they wait in the store.
    if (random() % 2 == 0) SpinFor(static_cast<int>(random() % 300));
    if (!StartMonitor()) {
      ADD_FAILURE() << "restart " << kills << " did not open the modem: " << StartProblem;
      return false;
    }
    sinceStart.restart();
    lifeMs = static_cast<int>(300 + random() % 2500);
    return true;
  };
  if (!Deliver(*SimLink, random, messages,
               [&](size_t) { return sinceStart.elapsed() < lifeMs || killAndRestart(); }))
    return;
  // More kills while the store is being read, in the middle of reads, logs and deletions.
  while (kills < 12) {
    SpinFor(lifeMs);
    if (!killAndRestart()) return;
  }
  std::printf("[ kills    ] %d\n", kills);

  // Each kill may leave one stored part of a message it interrupted after the logging.
  EXPECT_TRUE(WaitForAll(messages, 0, 800000, static_cast<size_t>(kills))) << "not everything arrived in time";
  // A stop that was not a kill: the start-up check has cut any torn tail by now.
  KillMonitor();
  ASSERT_TRUE(StartMonitor()) << StartProblem;
  const TLogCounts counts = CountLog(LogPath());
  int duplicates = 0;
  for (const TMessage& message : messages) {
    const int logged = counts.Received.count(message.Text) ? counts.Received.at(message.Text) : 0;
    EXPECT_GE(logged, 1) << "lost: " << SimLine(message);
    if (logged > 1) duplicates += logged - 1;
  }
  EXPECT_LE(duplicates, kills) << "more duplicates than interrupted deletions";
  EXPECT_EQ(counts.Received.size(), messages.size()) << "records of texts nobody sent";
  EXPECT_TRUE(StoreHoldsAtMost(static_cast<size_t>(kills))) << ::testing::PrintToString(StoreList());
}

}  // namespace
