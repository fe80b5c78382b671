#include "platform/StopSignals.h"
#include "support/StandinProcess.h"
#include "support/TestApp.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <csignal>
#include <signal.h>

namespace {

void (*Disposition(int signal))(int) {
  struct sigaction current {};
  ::sigaction(signal, nullptr, &current);
  return current.sa_handler;
}

struct TSignalCase {
  int Signal;
  const char* Name;
};
const TSignalCase kStopSignals[] = {{SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}, {SIGINT, "SIGINT"}};

// A signal reaches the listener from the event loop, never inside the handler; the ones that
// came before anybody listened wait, and several that came together make one run.
TEST(StopSignals, EachSignalReachesTheListenerFromTheEventLoop) {
  TestApplication();
  for (const TSignalCase& c : kStopSignals) {
    TStopSignals stopSignals;
    ASSERT_TRUE(stopSignals.IsActive());
    int runs = 0;
    ::raise(c.Signal);
    ::raise(c.Signal);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 0) << c.Name << " ran before anybody listened";

    stopSignals.Listen([&runs] { ++runs; });
    EXPECT_EQ(runs, 0) << c.Name;
    EXPECT_TRUE(SpinUntil([&runs] { return runs > 0; }, 2000)) << c.Name << " kept before listening was lost";
    SpinUntil([] { return false; }, 50);
    EXPECT_EQ(runs, 1) << c.Name;

    ::raise(c.Signal);
    EXPECT_TRUE(SpinUntil([&runs] { return runs > 1; }, 2000)) << c.Name;
    EXPECT_EQ(runs, 2) << c.Name;
  }
  for (const TSignalCase& c : kStopSignals) EXPECT_EQ(Disposition(c.Signal), SIG_DFL) << c.Name << " after the object";
}

// A program started under `nohup` keeps ignoring the hang-up; the others are caught all the same.
TEST(StopSignals, SignalIgnoredAtStartStaysIgnored) {
  TestApplication();
  std::signal(SIGHUP, SIG_IGN);
  {
    TStopSignals stopSignals;
    int runs = 0;
    stopSignals.Listen([&runs] { ++runs; });
    ::raise(SIGHUP);
    SpinUntil([] { return false; }, 100);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
    ::raise(SIGTERM);
    EXPECT_TRUE(SpinUntil([&runs] { return runs > 0; }, 2000));
  }
  EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
  EXPECT_EQ(Disposition(SIGTERM), SIG_DFL);
  std::signal(SIGHUP, SIG_DFL);
}

}  // namespace
