#include "gsm/ConfigureModem.h"

#include "common/Text.h"
#include "fakes/FakeFtd2xx.h"
#include "platform/NamedMutex.h"
#include "support/ModemWaits.h"
#include "support/PseudoTerminal.h"
#include "support/SimModem.h"
#include "support/TestWaits.h"

#include <QCoreApplication>

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
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

const char kOk[] = "\r\nOK\r\n";

// A modem's side of the dialogue: every command line (ended by CR LF) is recorded and answered
// from the script; a command missing from the script, or answered with "", gets no answer. An
// echoing modem sends each command back before its answer until it is told "ATE0".
class TModemScript {
 public:
  TModemScript() {
    Answers = {
        {"AT", kOk},
        {"ATE0", kOk},
        {"AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+CNMI=?", "\r\n+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)\r\n\r\nOK\r\n"},
        {"AT+CNMI=2,1", kOk},
        {"AT+CMGF=0", kOk},
        {"AT+CSCS=\"GSM\"", kOk},
        {"AT+COLP=1", kOk},
        {"AT+COPS?", "\r\n+COPS: 0,0,\"MegaFon\"\r\n\r\nOK\r\n"},
    };
  }

  // Takes bytes from the host; answers the reply to every command line they complete.
  std::string Feed(const char* data, size_t size) {
    Pending.append(data, size);
    std::string reply;
    size_t end;
    while ((end = Pending.find("\r\n")) != std::string::npos) {
      const std::string command = Pending.substr(0, end);
      Pending.erase(0, end + 2);
      {
        std::lock_guard<std::mutex> lock(Guard);
        Received.push_back(command);
      }
      if (Echo) reply += command + "\r";
      if (command == "ATE0") Echo = false;
      auto answer = Answers.find(command);
      if (answer != Answers.end()) reply += answer->second;
    }
    return reply;
  }

  std::vector<std::string> Commands() const {
    std::lock_guard<std::mutex> lock(Guard);
    return Received;
  }
  bool Got(const std::string& command) const {
    const auto all = Commands();
    return std::find(all.begin(), all.end(), command) != all.end();
  }
  size_t Count(const std::string& command) const {
    const auto all = Commands();
    return static_cast<size_t>(std::count(all.begin(), all.end(), command));
  }

  // Set before the dialogue starts.
  std::map<std::string, std::string> Answers;
  bool Echo = false;

 private:
  std::string Pending;
  mutable std::mutex Guard;
  std::vector<std::string> Received;
};

// The script played on the master side of a pseudo-terminal by a thread of its own.
class TScriptedModem : public TModemScript {
 public:
  explicit TScriptedModem(TPseudoTerminal& line) : Line(line) {}
  ~TScriptedModem() { Stop(); }

  void Start() {
    Stopping = false;
    Worker = std::thread([this] { Serve(); });
  }
  // Stops once the host has written nothing more for a while after the call, so that every
  // command the host wrote before it is taken in: the pseudo-terminal hands the host's bytes to
  // this side a little later, later still on a loaded machine.
  void Stop() {
    Stopping = true;
    if (Worker.joinable()) Worker.join();
  }

 private:
  static constexpr auto kDrainQuiet = std::chrono::milliseconds(Scaled(200));

  void Serve() {
    bool draining = false;
    auto lastData = std::chrono::steady_clock::now();
    for (;;) {
      if (Stopping && !draining) {
        draining = true;
        lastData = std::chrono::steady_clock::now();
      }
      if (draining && std::chrono::steady_clock::now() - lastData >= kDrainQuiet) return;
      pollfd p{Line.MasterFd(), POLLIN, 0};
      if (::poll(&p, 1, 5) <= 0 || !(p.revents & POLLIN)) continue;
      char chunk[512];
      ssize_t n = ::read(Line.MasterFd(), chunk, sizeof chunk);
      if (n <= 0) continue;
      lastData = std::chrono::steady_clock::now();
      const std::string reply = Feed(chunk, static_cast<size_t>(n));
      if (!reply.empty()) Line.Send(reply);
    }
  }

  TPseudoTerminal& Line;
  std::thread Worker;
  std::atomic<bool> Stopping{false};
};

// The script behind a fake USB terminal: it answers as the host writes.
class TScriptedTerminal : public TAnsweringModemLink, public TModemScript {
 protected:
  std::string Answer(const char* data, std::size_t size) override { return Feed(data, size); }
};

// The set-ups of the tests run at normal priority: on a busy machine an idle thread can sleep
// past the end of its read, and its answer is then taken by the next read.

// Readies a set-up to run on the given port (the port setting of the set-up's transport) with the
// tests' waits and at normal priority.
void Prepare(TConfigureModem& setup, TModemPort& modem, const std::string& port) {
  modem.SetPhonePort(port);
  setup.Waits = FastSetupWaits();
  setup.SetPriority(TThreadPriority::Normal);
}

// A fresh pseudo-terminal line with a scripted modem behind it and a set-up for it; set the
// script's answers and the set-up's fields, then Run() plays the set-up to its end.
struct TFreshSetup {
  TFreshSetup() { Modem.SetPhonePort(Line.SlavePath()); }

  void Run() {
    Prepare(Setup, Modem, Line.SlavePath());
    Script.Start();
    Setup.Start();
    Setup.WaitFor();
    Script.Stop();
  }

  TPseudoTerminal Line;
  TScriptedModem Script{Line};
  TAtChannel Channel;
  TModemPort& Modem = Channel.Port;
  TModemError LastError;
  TConfigureModem Setup{Channel, LastError};
};

class ConfigureModemTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QCoreApplication::instance()) {
      static int argc = 1;
      static char name[] = "ConfigureModemTest";
      static char* argv[] = {name, nullptr};
      App = new QCoreApplication(argc, argv);
    }
  }
  static void TearDownTestSuite() {
    delete App;
    App = nullptr;
  }

  void SetUp() override {
    // The named mutexes of this test live in a folder of its own, away from other programs.
    char pattern[] = "/tmp/orvex-setup-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    RuntimeFolder = pattern;
    ::setenv("XDG_RUNTIME_DIR", RuntimeFolder.c_str(), 1);
    ASSERT_TRUE(Line.IsOpen());
    Modem.SetPhonePort(Line.SlavePath());
    PortMutex = TNamedMutex::Create(kPortMutexName);
    ASSERT_TRUE(PortMutex);
  }
  void TearDown() override {
    Script.Stop();
    PortMutex.reset();
    std::filesystem::remove_all(RuntimeFolder);
  }

  // Runs one set-up to its end against the scripted modem, which then has taken in every
  // command the set-up wrote.
  void RunSetup(TConfigureModem& setup) {
    Prepare(setup, Modem, Line.SlavePath());
    Script.Start();
    setup.Start();
    setup.WaitFor();
    Script.Stop();
  }

  static QCoreApplication* App;
  std::string RuntimeFolder;
  TPseudoTerminal Line;
  TAtChannel Channel;
  TModemPort& Modem = Channel.Port;
  TModemError LastError;
  TScriptedModem Script{Line};
  std::unique_ptr<TNamedMutex> PortMutex;
};

QCoreApplication* ConfigureModemTest::App = nullptr;

TEST_F(ConfigureModemTest, ReadyModemIsSetUpWithTheWholeDialogue) {
  TConfigureModem setup(Channel, LastError);
  EXPECT_EQ(setup.Priority(), TThreadPriority::Idle);
  RunSetup(setup);
  EXPECT_EQ(setup.Result, kSetupReady);
  EXPECT_EQ(setup.Message, "");
  const std::vector<std::string> expected = {
      "AT", "AT", "AT+CNMI=?", "AT+CNMI=2,1", "AT+CMGF=0", "AT+CSCS=\"GSM\"", "AT+COLP=1", "AT+COPS?",
  };
  EXPECT_EQ(Script.Commands(), expected);
  EXPECT_TRUE(Modem.ComPort.IsOpen());
}

TEST_F(ConfigureModemTest, PinStepFollowsTheSimState) {
  struct Case {
    const char* name;
    std::string simState;  // answer to AT+CPIN?
    std::string pin;
    std::string pinAnswer;  // answer to the PIN command
    uint8_t result;
    std::string message;
    bool pinSent;
  };
  const std::string sent = "AT+CPIN=\"1234\"";
  const Case cases[] = {
      {"ready", "\r\n+CPIN: READY\r\n\r\nOK\r\n", "1234", kOk, kSetupReady, "", false},
      {"pin accepted", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", "1234", kOk, kSetupReady, "", true},
      {"pin refused", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", "1234", "\r\n+CME ERROR: 16\r\n", kSetupModemError,
       "", true},
      {"pin odd answer", "\r\n+CPIN: SIM PIN\r\n", "1234", "\r\nBUSY\r\n", kSetupFailed,
       Cp1251("Неверный ответ модема при вводе пин кода"), true},
      {"pin unanswered", "\r\n+CPIN: SIM PIN\r\n", "1234", "", kSetupFailed, Cp1251("Модем не отвечает"), true},
      {"no pin set", "\r\n+CPIN: SIM PIN\r\n", "", kOk, kSetupFailed, Cp1251("Не указан пин код"), false},
      {"pin2", "\r\n+CPIN: SIM PIN2\r\n", "1234", kOk, kSetupFailed, Cp1251("Необходим ввод PIN2 кода"), false},
      {"puk", "\r\n+CPIN: SIM PUK\r\n", "1234", kOk, kSetupFailed, Cp1251("Необходим ввод PUK кода"), false},
      {"puk2", "\r\n+CPIN: SIM PUK2\r\n", "1234", kOk, kSetupFailed, Cp1251("Необходим ввод PUK2 кода"), false},
      {"other state", "\r\n+CPIN: BLOCKED\r\n", "1234", kOk, kSetupFailed, Cp1251("Неверный ответ модема"), false},
      {"not a cpin line", "\r\nERROR\r\n", "1234", kOk, kSetupFailed,
       Cp1251("Неверный ответ модема при вводе пин кода"), false},
      {"sim missing", "\r\n+CME ERROR: 10\r\n", "1234", kOk, kSetupModemError, "", false},
      {"silent", "", "1234", kOk, kSetupFailed, Cp1251("Модем не отвечает"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFreshSetup fresh;
    fresh.Script.Answers["AT+CPIN?"] = c.simState;
    fresh.Script.Answers[sent] = c.pinAnswer;
    fresh.Setup.CheckPin = true;
    fresh.Setup.PinCode = c.pin;
    fresh.Run();
    EXPECT_EQ(fresh.Setup.Result, c.result);
    EXPECT_EQ(fresh.Setup.Message, c.message);
    EXPECT_EQ(fresh.Script.Got(sent), c.pinSent);
    EXPECT_EQ(fresh.Script.Got("AT+CNMI=?"), c.result == kSetupReady);
  }
}

TEST_F(ConfigureModemTest, PinErrorLeavesItsTextInTheLastModemError) {
  Script.Answers["AT+CPIN?"] = "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n";
  Script.Answers["AT+CPIN=\"0000\""] = "\r\n+CME ERROR: 16\r\n";
  TConfigureModem setup(Channel, LastError);
  setup.CheckPin = true;
  setup.PinCode = "0000";
  RunSetup(setup);
  EXPECT_EQ(setup.Result, kSetupModemError);
  EXPECT_EQ(LastError.LastErrorText, Cp1251("CME Error 16: Введен неверный PIN код."));
  EXPECT_EQ(LastError.LastErrorCode, 16);
}

// The lines of the port trace in `exeDir` that tell of a refused PIN.
std::vector<std::string> PinRefusals(const std::string& exeDir) {
  std::ifstream in(exeDir + kDebugLogName, std::ios::binary);
  const std::string trace((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::string> lines;
  for (size_t at = trace.find("PIN entry refused"); at != std::string::npos;
       at = trace.find("PIN entry refused", at + 1))
    lines.push_back(trace.substr(at, trace.find("\r\n", at) - at));
  return lines;
}

// The PIN comes from the settings file, which whoever can write it controls, and goes into the
// PIN command as it is. A PIN of 4 to 8 digits unlocks the SIM; anything else fails the set-up
// with the wrong-PIN text before a byte of it reaches the modem, and the trace says why.
TEST_F(ConfigureModemTest, OnlyAPinOfFourToEightDigitsReachesTheModem) {
  const std::string exeDir = RuntimeFolder + "/";
  struct Case {
    const char* name;
    std::string pin;
    std::string traced;  // the PIN in the trace's refusal line; "" when the PIN is entered
  };
  const Case cases[] = {
      {"four digits", "1234", ""},
      {"eight digits", "12345678", ""},
      {"a command after a line break", "1234\r\nAT+CFUN=0", "\"1234\\x0D\\x0AAT+CFUN=0\""},
      {"a quote ends the PIN, a dial follows", "1234\";D112;", "\"1234\\x22;D112;\""},
      {"a Ctrl-Z", "1234\x1a", "\"1234\\x1A\""},
      {"a NUL inside", std::string("12\0" "34", 5), "\"12\\x0034\""},
      {"three digits", "123", "\"123\""},
      {"nine digits", "123456789", "\"123456789\""},
      {"blanks around the digits", " 1234 ", "\" 1234 \""},
      {"a plus", "+1234", "\"+1234\""},
      {"code page 1251 letters", Cp1251("пин1"), "\"\\xEF\\xE8\\xED1\""},
      {"a line of 40 bytes", std::string(36, '1') + "\r\nAT", "\"" + std::string(32, '1') + "\" (40 bytes)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSimOnPty sim;
    ASSERT_TRUE(sim.IsOpen());
    TSimCard card{TSimCardState::Pin};
    if (c.traced.empty()) card.Pin = c.pin;
    sim.Sim.SetSimCard(card);
    TAtChannel channel(exeDir);
    channel.Port.WriteDebugLog = true;
    channel.Port.SetPhonePort(sim.SlavePath());
    TConfigureModem setup(channel, LastError);
    Prepare(setup, channel.Port, sim.SlavePath());
    setup.CheckPin = true;
    setup.PinCode = c.pin;
    const size_t refusals = PinRefusals(exeDir).size();
    setup.Start();
    setup.WaitFor();
    if (c.traced.empty()) {
      EXPECT_EQ(setup.Result, kSetupReady) << setup.Message;
      EXPECT_NE(sim.Sim.ReceivedBytes().find("AT+CPIN=\"" + c.pin + "\"\r\n"), std::string::npos);
      EXPECT_EQ(sim.Sim.SimCard().State, TSimCardState::Ready);
      EXPECT_EQ(PinRefusals(exeDir).size(), refusals);
    } else {
      EXPECT_EQ(setup.Result, kSetupFailed);
      EXPECT_EQ(setup.Message, Cp1251("Введен неверный PIN код."));
      // The probe, the echo switched off, the SIM state: not a byte more.
      EXPECT_EQ(sim.Sim.ReceivedBytes(), "AT\r\nAT\r\nATE0\r\nAT+CPIN?\r\n");
      EXPECT_EQ(sim.Sim.SimCard().State, TSimCardState::Pin);
      const std::vector<std::string> lines = PinRefusals(exeDir);
      ASSERT_EQ(lines.size(), refusals + 1);
      EXPECT_EQ(lines.back(), "PIN entry refused, the PIN is not 4 to 8 digits: PIN " + c.traced);
    }
    sim.Stop();
  }
}

// Every byte value inside a PIN: the modem hears the SIM state query and nothing of the PIN,
// whatever the byte.
TEST_F(ConfigureModemTest, NoByteOfAPinThatIsNoPinReachesTheModem) {
  TSimOnPty sim;
  ASSERT_TRUE(sim.IsOpen());
  sim.Sim.SetEcho(false);
  sim.Sim.SetSimCard({TSimCardState::Pin});
  TAtChannel channel;
  channel.Port.SetPhonePort(sim.SlavePath());
  TConfigureModem setup(channel, LastError);
  Prepare(setup, channel.Port, sim.SlavePath());
  // The modem answers at once; a short wait keeps the 246 queries quick.
  setup.Waits.PinQueryRead = Scaled(150);
  ASSERT_TRUE(setup.OpenComPort()) << setup.Message;
  size_t tried = 0;
  for (int value = 0; value < 256; ++value) {
    if (value >= '0' && value <= '9') continue;
    setup.PinCode = "12" + std::string(1, static_cast<char>(value)) + "4";
    EXPECT_FALSE(setup.EnterPin()) << value;
    EXPECT_EQ(setup.Message, Cp1251("Введен неверный PIN код.")) << value;
    ++tried;
  }
  std::string queries;
  for (size_t i = 0; i < tried; ++i) queries += "AT+CPIN?\r\n";
  EXPECT_EQ(sim.Sim.ReceivedBytes(), queries);
  EXPECT_EQ(sim.Sim.SimCard().State, TSimCardState::Pin);
  sim.Stop();
}

TEST_F(ConfigureModemTest, WithoutCheckPinTheSimIsNotAsked) {
  TConfigureModem setup(Channel, LastError);
  setup.CheckPin = false;
  setup.PinCode = "1234";
  RunSetup(setup);
  EXPECT_EQ(setup.Result, kSetupReady);
  EXPECT_EQ(Script.Count("AT+CPIN?"), 0u);
}

TEST_F(ConfigureModemTest, EchoingModemIsToldToStopEchoing) {
  Script.Echo = true;
  TConfigureModem setup(Channel, LastError);
  RunSetup(setup);
  EXPECT_EQ(setup.Result, kSetupReady);
  const auto commands = Script.Commands();
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(commands[2], "ATE0");
}

TEST_F(ConfigureModemTest, IndicationModeFollowsWhatTheModemOffers) {
  struct Case {
    const char* offer;  // answer to AT+CNMI=?
    const char* chosen;  // the value sent, "" when none
    uint8_t result;
  };
  const Case cases[] = {
      {"\r\n+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)\r\n\r\nOK\r\n", "2,1", kSetupReady},
      {"\r\n+CNMI: (0-1),(0-3),(0,2),(0-2),(0,1)\r\n\r\nOK\r\n", "1,1", kSetupReady},
      {"\r\n+CNMI: (0,3),(0,2),(0),(0),(0)\r\n\r\nOK\r\n", "3,2", kSetupReady},
      {"\r\n+CNMI: (0),(0-3),(0),(0),(0)\r\n\r\nOK\r\n", "", kSetupFailed},
      {"\r\n+CMS ERROR: 303\r\n", "", kSetupFailed},
      {"\r\nOK\r\n", "", kSetupFailed},
      {"", "", kSetupFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offer);
    TFreshSetup fresh;
    fresh.Script.Answers["AT+CNMI=?"] = c.offer;
    fresh.Script.Answers["AT+CNMI=1,1"] = kOk;
    fresh.Script.Answers["AT+CNMI=3,2"] = kOk;
    fresh.Run();
    EXPECT_EQ(fresh.Setup.Result, c.result);
    const auto commands = fresh.Script.Commands();
    const bool sentValue = std::any_of(commands.begin(), commands.end(), [](const std::string& s) {
      return s.rfind("AT+CNMI=", 0) == 0 && s != "AT+CNMI=?";
    });
    EXPECT_EQ(sentValue, *c.chosen != '\0');
    if (*c.chosen) {
      EXPECT_TRUE(fresh.Script.Got(std::string("AT+CNMI=") + c.chosen));
    }
    if (c.result == kSetupFailed) {
      EXPECT_EQ(fresh.Setup.Message, Cp1251("Ошибка при настройке модема\r\nВыбраный модем не поддерживается"));
    }
  }
}

TEST_F(ConfigureModemTest, IndicationOfferLongerThanTheReadIsStillUnderstood) {
  // 58 bytes for a 50-byte read: the first piece holds both lists, the rest comes with the
  // next answer.
  Script.Answers["AT+CNMI=?"] = "\r\n+CNMI: (0,1,2,3),(0,1,2,3),(0,1,2,3),(0,1,2),(0,1)\r\n\r\nOK\r\n";
  TConfigureModem setup(Channel, LastError);
  RunSetup(setup);
  EXPECT_EQ(setup.Result, kSetupReady);
  EXPECT_TRUE(Script.Got("AT+CNMI=2,1"));
}

TEST_F(ConfigureModemTest, RefusedConfigurationFailsButSendsTheRestOfTheCommands) {
  struct Case {
    const char* command;
  };
  const Case cases[] = {{"AT+CNMI=2,1"}, {"AT+CMGF=0"}, {"AT+CSCS=\"GSM\""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    TFreshSetup fresh;
    fresh.Script.Answers[c.command] = "\r\n+CMS ERROR: 303\r\n";
    fresh.Run();
    EXPECT_EQ(fresh.Setup.Result, kSetupFailed);
    EXPECT_EQ(fresh.Setup.Message, Cp1251("Ошибка при настройке модема\r\nВозможно выбраный модем не поддерживается"));
    EXPECT_EQ(fresh.LastError.LastErrorText, "CMS Error 303: operation not supported");
    EXPECT_TRUE(fresh.Script.Got("AT+CMGF=0"));
    EXPECT_TRUE(fresh.Script.Got("AT+CSCS=\"GSM\""));
    EXPECT_TRUE(fresh.Script.Got("AT+COLP=1"));
    EXPECT_FALSE(fresh.Script.Got("AT+COPS?"));
  }
}

TEST_F(ConfigureModemTest, SilenceAfterAConfigurationCommandCountsAsAccepted) {
  Script.Answers["AT+CNMI=2,1"] = "";
  Script.Answers["AT+CMGF=0"] = "";
  TConfigureModem setup(Channel, LastError);
  RunSetup(setup);
  EXPECT_EQ(setup.Result, kSetupReady);
}

TEST_F(ConfigureModemTest, NetworkWaitNeedsAnOperatorName) {
  struct Case {
    const char* answer;
    uint8_t result;
  };
  const Case cases[] = {
      {"\r\n+COPS: 0,0,\"MegaFon\"\r\n\r\nOK\r\n", kSetupReady},
      {"\r\n+COPS: 0\r\n\r\nOK\r\n", kSetupNoOperator},
      {"\r\n+CME ERROR: 30\r\n", kSetupNoOperator},
      {"", kSetupNoOperator},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    TFreshSetup fresh;
    fresh.Script.Answers["AT+COPS?"] = c.answer;
    fresh.Run();
    EXPECT_EQ(fresh.Setup.Result, c.result);
    EXPECT_EQ(fresh.Setup.Message, "");
    // Without an operator the wait keeps asking, and the port stays open.
    if (c.result == kSetupNoOperator) {
      EXPECT_GT(fresh.Script.Count("AT+COPS?"), 2u);
    }
    EXPECT_TRUE(fresh.Modem.ComPort.IsOpen());
  }
}

TEST_F(ConfigureModemTest, PortMutexIsHeldForTheWholeRun) {
  Script.Answers["AT+COPS?"] = "\r\n+COPS: 0\r\n\r\nOK\r\n";
  TConfigureModem setup(Channel, LastError);
  Prepare(setup, Modem, Line.SlavePath());
  Script.Start();
  setup.Start();
  for (int i = 0; i < Scaled(400) && !Script.Got("AT+COPS?"); ++i) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(Script.Got("AT+COPS?"));
  std::unique_ptr<TNamedMutex> other = TNamedMutex::OpenExisting(kPortMutexName);
  ASSERT_TRUE(other);
  EXPECT_EQ(other->Wait(0), TMutexWait::TimedOut);
  setup.WaitFor();
  EXPECT_EQ(setup.Result, kSetupNoOperator);
  EXPECT_EQ(other->Wait(0), TMutexWait::Obtained);
  other->Release();
}

TEST_F(ConfigureModemTest, BusyOrMissingPortMutexMeansTheModemIsBusy) {
  struct Case {
    const char* name;
    bool mutexExists;
  };
  const Case cases[] = {{"held elsewhere", true}, {"never created", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<TNamedMutex> holder;
    std::thread owner;
    std::atomic<bool> held{false};
    std::atomic<bool> done{false};
    if (c.mutexExists) {
      // Ownership belongs to a thread, so another thread holds it for the test's length.
      owner = std::thread([&] {
        auto mine = TNamedMutex::OpenExisting(kPortMutexName);
        if (mine && mine->Wait(0) == TMutexWait::Obtained) held = true;
        while (!done) std::this_thread::sleep_for(2ms);
        if (mine) mine->Release();
      });
      while (!held) std::this_thread::sleep_for(2ms);
    } else {
      PortMutex.reset();
    }
    TConfigureModem setup(Channel, LastError);
    Prepare(setup, Modem, Line.SlavePath());
    setup.Start();
    setup.WaitFor();
    done = true;
    if (owner.joinable()) owner.join();
    EXPECT_EQ(setup.Result, kSetupFailed);
    EXPECT_EQ(setup.Message, Cp1251("Модем занят"));
    EXPECT_FALSE(Modem.ComPort.IsOpen());
  }
}

TEST_F(ConfigureModemTest, MissingPortOrSilentModemFails) {
  struct Case {
    const char* name;
    std::string port;
    std::string message;
  };
  const Case cases[] = {
      {"no such port", "/dev/orvex-no-such-port", Cp1251("Не удалось открыть порт /dev/orvex-no-such-port.")},
      {"silent modem", "", Cp1251("Модем не отвечает")},
  };
  Script.Answers.clear();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TConfigureModem setup(Channel, LastError);
    Prepare(setup, Modem, c.port.empty() ? Line.SlavePath() : c.port);
    setup.Start();
    setup.WaitFor();
    EXPECT_EQ(setup.Result, kSetupFailed);
    EXPECT_EQ(setup.Message, c.message);
  }
}

TEST_F(ConfigureModemTest, TerminateRequestEndsTheSetUp) {
  // Before the probe: the modem is not asked at all.
  {
    TConfigureModem setup(Channel, LastError);
    Prepare(setup, Modem, Line.SlavePath());
    Script.Start();
    setup.Terminate();
    setup.Start();
    setup.WaitFor();
    EXPECT_EQ(setup.Result, kSetupFailed);
    EXPECT_EQ(setup.Message, Cp1251("Модем не отвечает"));
    EXPECT_FALSE(Script.Got("AT"));
  }
  // During the network wait.
  {
    Script.Answers["AT+COPS?"] = "\r\n+COPS: 0\r\n\r\nOK\r\n";
    TConfigureModem setup(Channel, LastError);
    Prepare(setup, Modem, Line.SlavePath());
    setup.Waits.Network = 60000;
    setup.Start();
    for (int i = 0; i < 400 && Script.Count("AT+COPS?") == 0; ++i) std::this_thread::sleep_for(5ms);
    setup.Terminate();
    setup.WaitFor();
    EXPECT_EQ(setup.Result, kSetupTerminated);
  }
}

// Modems that are slow to answer after their echo, or that send status reports of their own
// at any moment: every step of the set-up judges its own command's answer.
TEST_F(ConfigureModemTest, SlowAnswersAndStatusReportsLeaveEachStepItsOwnAnswer) {
  struct Case {
    const char* name;
    bool echo;
    uint64_t answerDelayMs;  // after the echo, which comes at once
    uint64_t reportEveryMs;  // 0: no reports
    const char* report;
    bool pinLocked;
  };
  const Case cases[] = {
      {"echo, answer 100 ms later", true, 100, 0, "", false},
      {"echo, answer 100 ms later, PIN entered", true, 100, 0, "", true},
      {"signal report every 150 ms", false, 0, 150, "^RSSI:18", true},
      {"registration report every 150 ms", false, 0, 150, "+CREG: 1", false},
      {"echo, slow answers and boot reports", true, 60, 150, "^BOOT:12345678,0,0,0,75", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSimOnPty sim;
    ASSERT_TRUE(sim.IsOpen());
    sim.Sim.SetEcho(c.echo);
    sim.Sim.SetAnswerDelay(c.answerDelayMs);
    if (c.pinLocked) sim.Sim.SetSimCard({TSimCardState::Pin});
    if (c.reportEveryMs > 0) sim.Sim.SetStatusReport(c.reportEveryMs, c.report);
    TAtChannel channel;
    channel.Port.SetPhonePort(sim.SlavePath());
    TConfigureModem setup(channel, LastError);
    Prepare(setup, channel.Port, sim.SlavePath());
    setup.CheckPin = true;
    setup.PinCode = "1234";
    setup.Start();
    setup.WaitFor();
    EXPECT_EQ(setup.Result, kSetupReady) << setup.Message << " / " << setup.LastResponse;
    EXPECT_FALSE(sim.Sim.Echo());
    EXPECT_EQ(sim.Sim.CnmiSetting(), "2,1");
    EXPECT_EQ(sim.Sim.SimCard().State, TSimCardState::Ready);
    sim.Stop();
  }
}

TEST_F(ConfigureModemTest, UsbTerminalWithoutItsLibraryFailsWithTheDriverMessage) {
  TConfigureModem setup(Channel, LastError);
  Prepare(setup, Modem, "DIRECT");
  setup.Start();
  setup.WaitFor();
  EXPECT_EQ(setup.Result, kSetupFailed);
  EXPECT_EQ(setup.Message, Cp1251("Прежде чем запускать программу, необходимо установить драйвер."));
}

// Set-ups over the USB terminal of the stand-in D2XX library, loaded from the program folder.
class TerminalSetupTest : public ConfigureModemTest {
 protected:
  void SetUp() override {
    ConfigureModemTest::SetUp();
    char pattern[] = "/tmp/orvex-setup-exe-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    ExeDir = std::string(pattern) + "/";
    std::filesystem::copy_file(std::string(ORVEX_BINARY_DIR) + "/fakes/" + kFtdiLibraryName,
                               ExeDir + kFtdiLibraryName);
    TerminalChannel = std::make_unique<TAtChannel>(ExeDir);
    Terminal = &TerminalChannel->Port;
    ASSERT_TRUE(Terminal->Ftdi());
    auto control = TFakeFtdiControl::Find(ExeDir + kFtdiLibraryName);
    ASSERT_TRUE(control);
    Control = *control;
    Control.Configure("USB Serial Converter|Orvex GSM Terminal");
    Control.AttachModem(1, &Behind);
    Terminal->SetPhonePort("direct");
    Terminal->SetPhoneDesc("Orvex GSM");
  }
  void TearDown() override {
    Terminal = nullptr;
    TerminalChannel.reset();
    std::filesystem::remove_all(ExeDir);
    ConfigureModemTest::TearDown();
  }

  uint8_t RunTerminalSetup(std::string* message = nullptr) {
    TConfigureModem setup(*TerminalChannel, LastError);
    Prepare(setup, *Terminal, "DIRECT");
    setup.Start();
    setup.WaitFor();
    if (message) *message = setup.Message;
    return setup.Result;
  }

  std::string ExeDir;
  std::unique_ptr<TAtChannel> TerminalChannel;
  TModemPort* Terminal = nullptr;
  TFakeFtdiControl Control;
  TScriptedTerminal Behind;
};

TEST_F(TerminalSetupTest, TerminalIsOpenedConfiguredAndSetUp) {
  std::string message;
  EXPECT_EQ(RunTerminalSetup(&message), kSetupReady) << message;
  EXPECT_NE(Terminal->FtHandle(), nullptr);
  EXPECT_EQ(Control.CallLog().rfind("FT_Open 1\nFT_SetBaudRate 230400\n", 0), 0u);
  EXPECT_TRUE(Behind.Got("AT+COPS?"));
}

TEST_F(TerminalSetupTest, TerminalLeftOpenIsProbedAndUsedAgain) {
  Behind.Answers["AT+COPS?"] = "\r\n+COPS: 0\r\n";
  ASSERT_EQ(RunTerminalSetup(), kSetupNoOperator);
  const FT_HANDLE first = Terminal->FtHandle();
  ASSERT_NE(first, nullptr);
  const size_t probes = Behind.Count("AT");

  Behind.Answers["AT+COPS?"] = "\r\n+COPS: 0,0,\"MTS\"\r\n";
  EXPECT_EQ(RunTerminalSetup(), kSetupReady);
  EXPECT_EQ(Terminal->FtHandle(), first);
  // Not opened again; the reused terminal's probe and the set-up's own probe both ran.
  const std::string log = Control.CallLog();
  EXPECT_EQ(log.find("FT_Open"), log.rfind("FT_Open"));
  EXPECT_EQ(Behind.Count("AT"), probes + 4);
}

TEST_F(TerminalSetupTest, TerminalFailuresGiveTheirMessages) {
  struct Case {
    const char* name;
    const char* devices;
    const char* failing;
    const char* message;
  };
  const Case cases[] = {
      {"not plugged in", "USB Serial Converter", "", "Модем не найден"},
      {"refuses to open", "Orvex GSM Terminal", "FT_Open", "Ошибка при открытии модема"},
      {"refuses its settings", "Orvex GSM Terminal", "FT_SetTimeouts", "Ошибка при настройке модкма"},
      {"count fails", "Orvex GSM Terminal", "FT_ListDevices", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Terminal->CloseTerminal();
    Control.Configure(c.devices);
    if (*c.failing) Control.SetFailure(c.failing, FT_IO_ERROR);
    std::string message;
    EXPECT_EQ(RunTerminalSetup(&message), kSetupFailed);
    EXPECT_EQ(message, Cp1251(c.message));
  }
}

TEST(PickCnmiValue, PrefersTheMostWantedOfferedValue) {
  struct Case {
    const char* list;
    TCnmiKind kind;
    const char* value;
  };
  const Case cases[] = {
      {"0-3", TCnmiKind::Mode, "2"}, {"0-3", TCnmiKind::Mt, "1"},
      {"0-1", TCnmiKind::Mode, "1"}, {"2-3", TCnmiKind::Mt, "2"},
      {"3-3", TCnmiKind::Mt, "3"},   {"0-0", TCnmiKind::Mode, ""},
      {"0", TCnmiKind::Mode, ""},    {"0,1,2,3", TCnmiKind::Mode, "2"},
      {"0,1,2,3", TCnmiKind::Mt, "1"}, {"0,3", TCnmiKind::Mode, "3"},
      {"0,2", TCnmiKind::Mt, "2"},   {"0,10", TCnmiKind::Mt, "1"},  // two digits read as two
      {"0,1", TCnmiKind::Mode, "1"}, {"", TCnmiKind::Mt, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TConfigureModem::PickCnmiValue(c.list, c.kind), c.value)
        << c.list << (c.kind == TCnmiKind::Mode ? " mode" : " mt");
}

TEST_F(ConfigureModemTest, ProbeJudgesTheSecondAnswer) {
  struct Case {
    const char* name;
    std::string answer;  // to "AT"
    bool echo;
    bool answers;
    bool echoOffSent;
  };
  const Case cases[] = {
      {"ok", kOk, false, true, false},
      {"echo", kOk, true, true, true},
      {"echo without ok", "\r\nERROR\r\n", true, true, true},
      {"error", "\r\nERROR\r\n", false, false, false},
      {"one byte", "K", false, false, false},
      {"silent", "", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string message;
    TPseudoTerminal line;
    TScriptedModem script(line);
    script.Answers["AT"] = c.answer;
    script.Echo = c.echo;
    TAtChannel channel;
    channel.Port.SetPhonePort(line.SlavePath());
    ASSERT_TRUE(channel.Port.OpenComPort(line.SlavePath(), message));
    script.Start();
    EXPECT_EQ(CheckModem(channel, FastSetupWaits()), c.answers);
    script.Stop();
    EXPECT_EQ(script.Got("ATE0"), c.echoOffSent);
    EXPECT_EQ(script.Count("AT"), 2u);
  }
}

}  // namespace
