#pragma once
// The base of every worker thread of the monitor. A worker overrides Execute, is created
// suspended and started with Start; it is stopped by a terminate request that Execute polls.
// When Execute has returned, the termination handler runs on the main thread (the thread of
// the application object) and, with FreeOnTerminate set, the object then deletes itself.
// A worker reaches the main thread with Synchronize, which waits until the call has run.
//
// An application object (QCoreApplication or a derived one) must exist while workers run:
// the termination handler and the synchronous calls are delivered through its event loop.

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

class TThread;

enum class TThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

using TThreadNotify = std::function<void(TThread& sender)>;

class TThread {
 public:
  TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // Destroying a thread that still runs asks it to terminate and waits for it. A derived
  // class whose Execute uses its own members must therefore not be destroyed while running
  // unless its own destructor has waited first (WaitFor).
  virtual ~TThread();

  // Runs Execute in a new thread, with the priority set so far. Only the first call counts.
  void Start();
  // Asks Execute to end; Execute sees it through Terminated().
  void Terminate();
  bool Terminated() const { return TerminateRequested.load(); }
  // True once Execute has returned.
  bool Finished() const { return ExecuteDone.load(); }
  // Waits until Execute has returned. On the main thread the synchronous calls of workers are
  // served meanwhile, so a worker that synchronizes cannot deadlock the waiter. Must not be
  // used on a FreeOnTerminate thread, which may be gone when Execute returns.
  void WaitFor();

  // Applies at once when the thread runs, else at Start.
  void SetPriority(TThreadPriority priority);
  TThreadPriority Priority() const { return ThreadPriority; }

  bool FreeOnTerminate = false;
  // Runs on the main thread after Execute has returned, before a FreeOnTerminate delete.
  TThreadNotify OnTerminate;
  // An exception that escaped Execute; the thread ends normally otherwise.
  std::exception_ptr FatalException;

  // Runs `call` on the main thread and waits until it has run; an exception it raises is
  // raised again in the caller. Called on the main thread, it runs the call directly.
  static void Synchronize(const std::function<void()>& call);
  // Runs the synchronous calls waiting for the main thread; true when there was one. The
  // event loop does this by itself; a main-thread wait loop may call it.
  static bool CheckSynchronize();
  static bool IsMainThread();

 protected:
  virtual void Execute() = 0;

 private:
  class TRunner;
  struct TLink;

  void Run();
  void DoTerminate();
  // Gives the running thread the nice value of its priority.
  void ApplyNice();

  std::unique_ptr<TRunner> Runner;
  std::shared_ptr<TLink> Link;
  std::atomic<bool> TerminateRequested{false};
  std::atomic<bool> ExecuteDone{false};
  bool Started = false;
  TThreadPriority ThreadPriority = TThreadPriority::Normal;
  // The kernel's id of the running thread, 0 before it runs.
  std::atomic<int> ThreadId{0};
};
