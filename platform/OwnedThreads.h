#pragma once
// Worker threads that go away by themselves once they have ended, yet never outlive their
// owner. The owner starts each worker through Start and forgets it: when its Execute has
// returned and its termination handler has run, the worker is freed at the owner's next Start
// or StopAll. StopAll (and the destructor) asks every worker still running to terminate and
// waits for it, so that nothing a worker uses is destroyed under it.
//
// Main thread only.

#include "platform/Thread.h"

#include <memory>
#include <vector>

class TOwnedThreads {
 public:
  TOwnedThreads() = default;
  TOwnedThreads(const TOwnedThreads&) = delete;
  TOwnedThreads& operator=(const TOwnedThreads&) = delete;
  ~TOwnedThreads() { StopAll(); }

  // Starts `thread`; `onTerminate` (may be empty) runs on the main thread after its Execute
  // has returned. Answers the thread, which stays valid until its handler has returned.
  TThread* Start(std::unique_ptr<TThread> thread, TThreadNotify onTerminate = {});
  // Asks every worker to terminate, waits for each and frees them all. Termination handlers
  // that have not run yet never run.
  void StopAll();
  // Workers not freed yet, ended or not.
  size_t Count() const { return Threads.size(); }

 private:
  struct TEntry {
    std::unique_ptr<TThread> Thread;
    bool HandlerDone = false;
  };
  void FreeEnded();

  std::vector<std::shared_ptr<TEntry>> Threads;
};
