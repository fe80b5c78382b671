#include "platform/Thread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A worker whose body the test supplies; it reports its own destruction.
class TProbeThread : public TThread {
 public:
  std::function<void(TProbeThread&)> Body;
  std::atomic<bool>* Destroyed = nullptr;

  // The body lives in this object, so the thread is stopped before the body goes.
  ~TProbeThread() override {
    Terminate();
    WaitFor();
    if (Destroyed) Destroyed->store(true);
  }

 protected:
  void Execute() override {
    if (Body) Body(*this);
  }
};

class ThreadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QCoreApplication::instance()) {
      static int argc = 1;
      static char name[] = "ThreadTest";
      static char* argv[] = {name, nullptr};
      App = new QCoreApplication(argc, argv);
    }
  }
  static void TearDownTestSuite() {
    delete App;
    App = nullptr;
  }

  // Runs the main thread's event loop until `done` holds or five seconds have passed.
  static bool PumpUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(5000);
    while (!done()) {
      if (deadline.hasExpired()) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  static QCoreApplication* App;
};

QCoreApplication* ThreadTest::App = nullptr;

TEST_F(ThreadTest, CreatedSuspendedAndRunsOnceStarted) {
  std::atomic<int> runs{0};
  TProbeThread thread;
  thread.Body = [&](TProbeThread&) { ++runs; };
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(runs.load(), 0);
  EXPECT_FALSE(thread.Finished());

  thread.Start();
  thread.Start();  // a second start does not run the body again
  thread.WaitFor();
  EXPECT_EQ(runs.load(), 1);
  EXPECT_TRUE(thread.Finished());
}

TEST_F(ThreadTest, TerminateRequestEndsAPollingBody) {
  std::atomic<bool> entered{false};
  TProbeThread thread;
  thread.Body = [&](TProbeThread& self) {
    entered = true;
    while (!self.Terminated()) std::this_thread::sleep_for(1ms);
  };
  EXPECT_FALSE(thread.Terminated());
  thread.Start();
  ASSERT_TRUE(PumpUntil([&] { return entered.load(); }));
  EXPECT_FALSE(thread.Finished());
  thread.Terminate();
  EXPECT_TRUE(thread.Terminated());
  thread.WaitFor();
  EXPECT_TRUE(thread.Finished());
}

TEST_F(ThreadTest, TerminationHandlerRunsOnMainThreadBeforeTheObjectIsFreed) {
  struct Case {
    bool freeOnTerminate;
    bool freedByItself;
  };
  const Case cases[] = {{true, true}, {false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.freeOnTerminate ? "free on terminate" : "kept");
    std::atomic<bool> destroyed{false};
    std::vector<std::string> events;
    bool handlerOnMain = false;
    bool finishedInHandler = false;

    auto* thread = new TProbeThread;
    thread->Destroyed = &destroyed;
    thread->FreeOnTerminate = c.freeOnTerminate;
    thread->Body = [&](TProbeThread&) { std::this_thread::sleep_for(20ms); };
    thread->OnTerminate = [&](TThread& sender) {
      handlerOnMain = QThread::currentThread() == QCoreApplication::instance()->thread();
      finishedInHandler = sender.Finished();
      events.push_back(destroyed ? "handler after free" : "handler");
    };
    thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return !events.empty(); }));
    if (c.freedByItself) {
      ASSERT_TRUE(PumpUntil([&] { return destroyed.load(); }));
    } else {
      // Give a wrong self-delete its chance to happen before checking it did not.
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
      EXPECT_FALSE(destroyed.load());
      delete thread;
    }
    EXPECT_TRUE(handlerOnMain);
    EXPECT_TRUE(finishedInHandler);
    EXPECT_EQ(events, std::vector<std::string>{"handler"});
  }
}

TEST_F(ThreadTest, SynchronizeRunsTheCallOnTheMainThreadAndWaitsForIt) {
  // The main thread serves the call either from its event loop or from inside WaitFor.
  struct Case {
    const char* name;
    bool servedByWaitFor;
  };
  const Case cases[] = {{"event loop", false}, {"WaitFor", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int value = 0;
    bool ranOnMain = false;
    std::atomic<int> seenAfterwards{-1};
    TProbeThread thread;
    thread.Body = [&](TProbeThread&) {
      TThread::Synchronize([&] {
        ranOnMain = TThread::IsMainThread();
        std::this_thread::sleep_for(20ms);  // the worker must wait through this
        value = 42;
      });
      seenAfterwards = value;
    };
    thread.Start();
    if (c.servedByWaitFor) {
      thread.WaitFor();
    } else {
      ASSERT_TRUE(PumpUntil([&] { return thread.Finished(); }));
      thread.WaitFor();
    }
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(seenAfterwards.load(), 42);
  }
}

TEST_F(ThreadTest, SynchronizeOnTheMainThreadRunsDirectly) {
  bool ran = false;
  TThread::Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_FALSE(TThread::CheckSynchronize());
}

TEST_F(ThreadTest, ManyWorkersSynchronizingAtOnceAreAllServed) {
  constexpr int kWorkers = 8;
  constexpr int kCallsEach = 50;
  int total = 0;  // touched on the main thread only
  std::vector<std::unique_ptr<TProbeThread>> threads;
  for (int i = 0; i < kWorkers; ++i) {
    auto thread = std::make_unique<TProbeThread>();
    thread->Body = [&](TProbeThread&) {
      for (int k = 0; k < kCallsEach; ++k) TThread::Synchronize([&] { ++total; });
    };
    threads.push_back(std::move(thread));
  }
  for (auto& thread : threads) thread->Start();
  for (auto& thread : threads) thread->WaitFor();
  EXPECT_EQ(total, kWorkers * kCallsEach);
}

TEST_F(ThreadTest, ExceptionOfASynchronizedCallIsRaisedInTheWorker) {
  std::string caught;
  TProbeThread thread;
  thread.Body = [&](TProbeThread&) {
    try {
      TThread::Synchronize([] { throw std::runtime_error("refused"); });
    } catch (const std::runtime_error& error) {
      caught = error.what();
    }
  };
  thread.Start();
  thread.WaitFor();
  EXPECT_EQ(caught, "refused");
}

TEST_F(ThreadTest, ExceptionEscapingTheBodyIsKeptAndTheHandlerStillRuns) {
  bool handled = false;
  TProbeThread thread;
  thread.Body = [](TProbeThread&) { throw std::runtime_error("body failed"); };
  thread.OnTerminate = [&](TThread&) { handled = true; };
  thread.Start();
  ASSERT_TRUE(PumpUntil([&] { return handled; }));
  ASSERT_TRUE(thread.FatalException);
  EXPECT_THROW(std::rethrow_exception(thread.FatalException), std::runtime_error);
}

// The idle priority stays in the normal class, niced: Linux's idle class would run the modem's
// set-up only while a CPU has nothing else to do, and on a busy machine it missed the answers.
TEST_F(ThreadTest, PriorityReachesTheScheduler) {
  struct Case {
    TThreadPriority priority;
    int policy;
    int nice;
  };
  // A normal thread keeps the nice value of the thread that made it (the test may run niced).
  const int inherited = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
  const Case cases[] = {{TThreadPriority::Idle, SCHED_OTHER, 19}, {TThreadPriority::Normal, SCHED_OTHER, inherited}};
  for (const Case& c : cases) {
    std::atomic<int> policy{-1};
    std::atomic<int> nice{-100};
    TProbeThread thread;
    thread.SetPriority(c.priority);
    thread.Body = [&](TProbeThread&) {
      int current = -1;
      sched_param param{};
      if (pthread_getschedparam(pthread_self(), &current, &param) == 0) policy = current;
      errno = 0;
      const int value = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
      if (errno == 0) nice = value;
    };
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(policy.load(), c.policy) << static_cast<int>(c.priority);
    EXPECT_EQ(nice.load(), c.nice) << static_cast<int>(c.priority);
  }
}

}  // namespace
