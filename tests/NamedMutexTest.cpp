#include "platform/NamedMutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// ---- The helper process ---------------------------------------------------------------------
// The test binary re-executed with ORVEX_MUTEX_HELPER set runs a small interpreter instead of
// the tests: one command a line on stdin, one answer a line on stdout. It holds one handle.

const char* WaitWord(TMutexWait result) {
  switch (result) {
    case TMutexWait::Obtained: return "obtained";
    case TMutexWait::TimedOut: return "timedout";
    case TMutexWait::Failed: return "failed";
  }
  return "?";
}

int RunMutexHelper() {
  std::unique_ptr<TNamedMutex> mutex;
  char line[512];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    std::string command(line);
    while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
    const std::size_t blank = command.find(' ');
    const std::string word = command.substr(0, blank);
    const std::string arg = blank == std::string::npos ? "" : command.substr(blank + 1);
    std::string answer;
    if (word == "create") {
      mutex = TNamedMutex::Create(arg);
      answer = mutex ? "ok" : "null";
    } else if (word == "open") {
      mutex = TNamedMutex::OpenExisting(arg);
      answer = mutex ? "ok" : "null";
    } else if (word == "wait") {
      answer = mutex ? WaitWord(mutex->Wait(static_cast<uint32_t>(std::stoul(arg)))) : "nohandle";
    } else if (word == "release") {
      answer = mutex ? (mutex->Release() ? "ok" : "refused") : "nohandle";
    } else if (word == "close") {
      mutex.reset();
      answer = "ok";
    } else {
      answer = "unknown";
    }
    std::fprintf(stdout, "%s\n", answer.c_str());
    std::fflush(stdout);
  }
  return 0;
}

// Runs before main() when this binary is the helper, so gtest never starts in it.
const bool kIsHelper = [] {
  if (std::getenv("ORVEX_MUTEX_HELPER") == nullptr) return false;
  std::_Exit(RunMutexHelper());
}();

class THelperProcess {
public:
  THelperProcess() {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return;
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.emplace_back("ORVEX_MUTEX_HELPER=1");
    std::vector<char*> envp;
    for (auto& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    char name[] = "mutex-helper";
    char* argv[] = {name, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    if (posix_spawn(&Pid, "/proc/self/exe", &actions, nullptr, argv, envp.data()) != 0) Pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    Input = toChild[1];
    Output = fromChild[0];
  }

  ~THelperProcess() {
    if (Input >= 0) close(Input);
    if (Pid > 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    if (Output >= 0) close(Output);
  }

  // Sends one command and answers the helper's reply ("" when it gave none within 10 s).
  std::string Ask(const std::string& command) {
    const std::string line = command + "\n";
    if (write(Input, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "";
    std::string answer;
    for (;;) {
      pollfd ready{Output, POLLIN, 0};
      if (poll(&ready, 1, 10000) <= 0) return "";
      char c;
      if (read(Output, &c, 1) != 1) return "";
      if (c == '\n') return answer;
      answer += c;
    }
  }

  // Ends the helper with SIGKILL: no destructor, no release runs in it.
  void Kill() {
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
    Pid = -1;
  }

  // Ends the helper by closing its input: it leaves its loop and exits without releasing.
  void Finish() {
    close(Input);
    Input = -1;
    waitpid(Pid, nullptr, 0);
    Pid = -1;
  }

  bool Started() const { return Pid > 0; }

private:
  pid_t Pid = -1;
  int Input = -1;
  int Output = -1;
};

// ---- Fixture: a private runtime folder for each test ---------------------------------------

class NamedMutexTest : public testing::Test {
protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    if (old != nullptr) SavedRuntime = old;
    char pattern[] = "/tmp/orvex-mutex-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Runtime = pattern;
    setenv("XDG_RUNTIME_DIR", Runtime.c_str(), 1);
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(Runtime, ignored);
    if (SavedRuntime) setenv("XDG_RUNTIME_DIR", SavedRuntime->c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
  }

  std::string Runtime;
  std::optional<std::string> SavedRuntime;
};

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// ---- Between processes ---------------------------------------------------------------------

TEST_F(NamedMutexTest, HeldMutexTimesOutInAnotherProcessUntilReleased) {
  THelperProcess other;
  ASSERT_TRUE(other.Started());
  ASSERT_EQ(other.Ask("create OrvexMonitorFTDIMutex"), "ok");
  ASSERT_EQ(other.Ask("wait 0"), "obtained");

  auto mutex = TNamedMutex::Create("OrvexMonitorFTDIMutex");
  ASSERT_TRUE(mutex);
  const auto start = Clock::now();
  EXPECT_EQ(mutex->Wait(60), TMutexWait::TimedOut);
  EXPECT_GE(MsSince(start), 60);  // the wait lasts its whole time-out
  EXPECT_EQ(mutex->Wait(0), TMutexWait::TimedOut);

  ASSERT_EQ(other.Ask("release"), "ok");
  EXPECT_EQ(mutex->Wait(2000), TMutexWait::Obtained);

  // And the other way round: now this process holds it.
  EXPECT_EQ(other.Ask("wait 30"), "timedout");
  EXPECT_TRUE(mutex->Release());
  EXPECT_EQ(other.Ask("wait 2000"), "obtained");
}

TEST_F(NamedMutexTest, WaiterObtainsTheMutexSoonAfterTheHolderReleases) {
  THelperProcess other;
  ASSERT_EQ(other.Ask("create OrvexMonitorLogFileMutex"), "ok");
  ASSERT_EQ(other.Ask("wait 0"), "obtained");
  auto mutex = TNamedMutex::Create("OrvexMonitorLogFileMutex");
  ASSERT_TRUE(mutex);
  auto waiting = std::async(std::launch::async, [&] {
    auto result = mutex->Wait(20000);
    if (result == TMutexWait::Obtained) mutex->Release();
    return result;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(other.Ask("release"), "ok");
  EXPECT_EQ(waiting.get(), TMutexWait::Obtained);
}

TEST_F(NamedMutexTest, HolderThatEndsWithoutReleasingFreesTheMutex) {
  struct Case {
    const char* how;
    int recursion;
    void (*end)(THelperProcess&);
  };
  const Case cases[] = {
      {"killed", 1, [](THelperProcess& p) { p.Kill(); }},
      {"killed owning three times", 3, [](THelperProcess& p) { p.Kill(); }},
      {"exits normally", 2, [](THelperProcess& p) { p.Finish(); }},
      {"closes its handle", 1, [](THelperProcess& p) { EXPECT_EQ(p.Ask("close"), "ok"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    THelperProcess holder;
    ASSERT_EQ(holder.Ask("create OrvexMonitorBaseMutex"), "ok");
    for (int i = 0; i < c.recursion; ++i) ASSERT_EQ(holder.Ask("wait 0"), "obtained");
    auto mutex = TNamedMutex::Create("OrvexMonitorBaseMutex");
    ASSERT_TRUE(mutex);
    ASSERT_EQ(mutex->Wait(0), TMutexWait::TimedOut);
    c.end(holder);
    EXPECT_EQ(mutex->Wait(2000), TMutexWait::Obtained);
    EXPECT_TRUE(mutex->Release());
  }
}

TEST_F(NamedMutexTest, OpenExistingSucceedsOnlyWhileSomeHandleIsOpen) {
  // Never created: no lock file at all.
  EXPECT_FALSE(TNamedMutex::OpenExisting("OrvexMutex"));

  THelperProcess creator;
  ASSERT_EQ(creator.Ask("create OrvexMutex"), "ok");
  auto opened = TNamedMutex::OpenExisting("OrvexMutex");
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->Name(), "OrvexMutex");

  // The opened handle keeps the name alive after its creator has gone.
  ASSERT_EQ(creator.Ask("close"), "ok");
  EXPECT_TRUE(TNamedMutex::OpenExisting("OrvexMutex"));
  opened.reset();
  // The lock file is still there, but no handle is open anywhere.
  EXPECT_TRUE(std::filesystem::exists(Runtime + "/orvex/OrvexMutex.lock"));
  EXPECT_FALSE(TNamedMutex::OpenExisting("OrvexMutex"));
  EXPECT_EQ(creator.Ask("open OrvexMutex"), "null");

  // A handle of a process that is killed stops counting with it.
  ASSERT_EQ(creator.Ask("create OrvexMutex"), "ok");
  EXPECT_TRUE(TNamedMutex::OpenExisting("OrvexMutex"));
  creator.Kill();
  EXPECT_FALSE(TNamedMutex::OpenExisting("OrvexMutex"));

  // A handle in this process is seen by another process and by this one.
  auto own = TNamedMutex::Create("OrvexMutex");
  ASSERT_TRUE(own);
  THelperProcess other;
  EXPECT_EQ(other.Ask("open OrvexMutex"), "ok");
  EXPECT_EQ(other.Ask("close"), "ok");
  EXPECT_TRUE(TNamedMutex::OpenExisting("OrvexMutex"));
  own.reset();
  EXPECT_EQ(other.Ask("open OrvexMutex"), "null");
}

TEST_F(NamedMutexTest, OpenedHandleExcludesLikeACreatedOne) {
  auto created = TNamedMutex::Create("OrvexMonitorFTDIMutex");
  ASSERT_TRUE(created);
  THelperProcess other;
  ASSERT_EQ(other.Ask("open OrvexMonitorFTDIMutex"), "ok");
  ASSERT_EQ(other.Ask("wait 0"), "obtained");
  EXPECT_EQ(created->Wait(20), TMutexWait::TimedOut);
  ASSERT_EQ(other.Ask("release"), "ok");
  EXPECT_EQ(created->Wait(0), TMutexWait::Obtained);
  EXPECT_EQ(other.Ask("wait 0"), "timedout");
}

// ---- Ownership by thread -------------------------------------------------------------------

TEST_F(NamedMutexTest, OwnerWaitsRecursivelyAndMustReleaseAsOften) {
  auto mutex = TNamedMutex::Create("OrvexMonitorLogFileMutex");
  ASSERT_TRUE(mutex);
  EXPECT_FALSE(mutex->Release());  // not owned yet
  for (int i = 0; i < 3; ++i) ASSERT_EQ(mutex->Wait(0), TMutexWait::Obtained);

  THelperProcess other;
  ASSERT_EQ(other.Ask("create OrvexMonitorLogFileMutex"), "ok");
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(mutex->Release());
    EXPECT_EQ(other.Ask("wait 0"), "timedout") << "after " << i + 1 << " releases";
  }
  EXPECT_TRUE(mutex->Release());
  EXPECT_FALSE(mutex->Release());  // one release too many changes nothing
  EXPECT_EQ(other.Ask("wait 0"), "obtained");
}

TEST_F(NamedMutexTest, SecondThreadWaitsWhileTheFirstOwns) {
  // Through the owner's own handle and through a handle of its own: both exclude it.
  struct Case { const char* handle; bool ownHandle; };
  const Case cases[] = {{"shared handle", false}, {"own handle", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.handle);
    auto mutex = TNamedMutex::Create("OrvexMonitorFTDIMutex");
    ASSERT_TRUE(mutex);
    ASSERT_EQ(mutex->Wait(0), TMutexWait::Obtained);

    std::promise<void> secondTimedOut;
    std::promise<void> firstReleased;
    std::atomic<bool> secondOwns{false};
    std::promise<void> secondChecked;
    std::thread second([&] {
      std::unique_ptr<TNamedMutex> own;
      TNamedMutex* handle = mutex.get();
      if (c.ownHandle) {
        own = TNamedMutex::Create("OrvexMonitorFTDIMutex");
        handle = own.get();
      }
      if (handle == nullptr) {
        ADD_FAILURE() << "no handle";
        secondTimedOut.set_value();
        secondOwns = true;
        return;
      }
      EXPECT_FALSE(handle->Release());  // the first thread's ownership is not ours to give up
      const auto start = Clock::now();
      EXPECT_EQ(handle->Wait(40), TMutexWait::TimedOut);
      EXPECT_GE(MsSince(start), 40);
      secondTimedOut.set_value();
      firstReleased.get_future().wait();
      EXPECT_EQ(handle->Wait(5000), TMutexWait::Obtained);
      secondOwns = true;
      secondChecked.get_future().wait();
      EXPECT_TRUE(handle->Release());
    });
    secondTimedOut.get_future().wait();
    EXPECT_TRUE(mutex->Release());
    firstReleased.set_value();
    while (!secondOwns) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Now the first thread is the one that waits in vain.
    EXPECT_EQ(mutex->Wait(20), TMutexWait::TimedOut);
    EXPECT_FALSE(mutex->Release());
    secondChecked.set_value();
    second.join();
    EXPECT_EQ(mutex->Wait(2000), TMutexWait::Obtained);
    EXPECT_TRUE(mutex->Release());
  }
}

TEST_F(NamedMutexTest, ThreadThatEndsWhileOwningReleasesIt) {
  auto mutex = TNamedMutex::Create("OrvexMonitorFTDIMutex");
  ASSERT_TRUE(mutex);
  std::thread owner([&] {
    EXPECT_EQ(mutex->Wait(0), TMutexWait::Obtained);
    EXPECT_EQ(mutex->Wait(0), TMutexWait::Obtained);
  });
  owner.join();
  THelperProcess other;
  ASSERT_EQ(other.Ask("create OrvexMonitorFTDIMutex"), "ok");
  EXPECT_EQ(other.Ask("wait 2000"), "obtained");
  EXPECT_EQ(other.Ask("release"), "ok");
  EXPECT_EQ(mutex->Wait(0), TMutexWait::Obtained);
  EXPECT_TRUE(mutex->Release());
}

TEST_F(NamedMutexTest, ClosingAnOwningHandleReleasesIt) {
  auto owner = TNamedMutex::Create("OrvexMonitorBaseMutex");
  auto waiter = TNamedMutex::Create("OrvexMonitorBaseMutex");
  ASSERT_TRUE(owner && waiter);
  ASSERT_EQ(owner->Wait(0), TMutexWait::Obtained);
  EXPECT_EQ(waiter->Wait(0), TMutexWait::TimedOut);  // two handles exclude each other
  owner.reset();
  EXPECT_EQ(waiter->Wait(0), TMutexWait::Obtained);
}

TEST_F(NamedMutexTest, ManyThreadsTakeTurnsWithoutOverlap) {
  auto mutex = TNamedMutex::Create("OrvexMonitorLogFileMutex");
  ASSERT_TRUE(mutex);
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> turns{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      // Half the threads share the handle, half have their own.
      std::unique_ptr<TNamedMutex> own = t % 2 ? TNamedMutex::Create("OrvexMonitorLogFileMutex") : nullptr;
      TNamedMutex* handle = own ? own.get() : mutex.get();
      for (int i = 0; i < 25; ++i) {
        if (handle->Wait(20000) != TMutexWait::Obtained) continue;
        if (inside.fetch_add(1) != 0) ++overlaps;
        std::this_thread::yield();
        inside.fetch_sub(1);
        ++turns;
        handle->Release();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(turns.load(), 150);
}

// ---- Names and the lock folder -------------------------------------------------------------

TEST_F(NamedMutexTest, UnusableNamesGiveNoHandle) {
  const std::string names[] = {"", "a/b", "../escape", std::string(201, 'x'), std::string("nul\0in", 6)};
  for (const std::string& name : names) {
    EXPECT_FALSE(TNamedMutex::Create(name)) << name;
    EXPECT_FALSE(TNamedMutex::OpenExisting(name)) << name;
  }
  EXPECT_TRUE(TNamedMutex::Create(std::string(200, 'x')));
}

TEST_F(NamedMutexTest, LockFolderIsPrivateAndForeignFoldersAreRefused) {
  auto created = TNamedMutex::Create("OrvexMonitorBaseMutex");
  ASSERT_TRUE(created);
  struct stat info {};
  ASSERT_EQ(stat((Runtime + "/orvex").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(std::filesystem::exists(Runtime + "/orvex/OrvexMonitorBaseMutex.lock"));
  created.reset();

  struct Case {
    const char* setup;
    void (*make)(const std::string& folder);
    bool needsRoot;
  };
  const Case cases[] = {
      {"symbolic link", [](const std::string& f) { ASSERT_EQ(symlink("/tmp", f.c_str()), 0); }, false},
      {"plain file", [](const std::string& f) { ASSERT_EQ(close(open(f.c_str(), O_CREAT | O_WRONLY, 0600)), 0); }, false},
      {"writable by others",
       [](const std::string& f) {
         ASSERT_EQ(mkdir(f.c_str(), 0700), 0);
         ASSERT_EQ(chmod(f.c_str(), 0777), 0);
       },
       false},
      {"owned by another user",
       [](const std::string& f) {
         ASSERT_EQ(mkdir(f.c_str(), 0700), 0);
         ASSERT_EQ(chown(f.c_str(), 12345, 12345), 0);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup);
    if (c.needsRoot && geteuid() != 0) continue;  // only root can give a folder away
    const std::string folder = Runtime + "/orvex";
    std::filesystem::remove_all(folder);
    c.make(folder);
    EXPECT_EQ(TNamedMutex::LockFolder(), "");
    EXPECT_FALSE(TNamedMutex::Create("OrvexMonitorBaseMutex"));
    EXPECT_FALSE(TNamedMutex::OpenExisting("OrvexMonitorBaseMutex"));
  }
}

TEST_F(NamedMutexTest, WithoutARuntimeFolderTheUsersTmpFolderServes) {
  unsetenv("XDG_RUNTIME_DIR");
  const std::string base = "/tmp/orvex-" + std::to_string(geteuid());
  EXPECT_EQ(TNamedMutex::LockFolder(), base + "/orvex");
  struct stat info {};
  ASSERT_EQ(lstat(base.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_uid, geteuid());
  EXPECT_EQ(info.st_mode & 0077, 0u);
}

}  // namespace
