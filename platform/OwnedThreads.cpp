#include "platform/OwnedThreads.h"

#include <algorithm>

TThread* TOwnedThreads::Start(std::unique_ptr<TThread> thread, TThreadNotify onTerminate) {
  FreeEnded();
  auto entry = std::make_shared<TEntry>();
  entry->Thread = std::move(thread);
  TThread* started = entry->Thread.get();
  started->FreeOnTerminate = false;
  // The handler runs inside the worker's own termination notice, so the worker cannot be
  // freed there: it is only marked, and freed later.
  std::weak_ptr<TEntry> weak = entry;
  started->OnTerminate = [weak, handler = std::move(onTerminate)](TThread& sender) {
    if (handler) handler(sender);
    if (auto alive = weak.lock()) alive->HandlerDone = true;
  };
  Threads.push_back(std::move(entry));
  started->Start();
  return started;
}

void TOwnedThreads::StopAll() {
  for (const auto& entry : Threads) entry->Thread->Terminate();
  // Taken out first: a worker's synchronous call, served while we wait, may start or stop
  // workers of its own.
  std::vector<std::shared_ptr<TEntry>> stopping;
  stopping.swap(Threads);
  for (const auto& entry : stopping) entry->Thread->WaitFor();
  stopping.clear();
  if (!Threads.empty()) StopAll();
}

void TOwnedThreads::FreeEnded() {
  Threads.erase(std::remove_if(Threads.begin(), Threads.end(),
                               [](const std::shared_ptr<TEntry>& entry) {
                                 return entry->HandlerDone && entry->Thread->Finished();
                               }),
                Threads.end());
}
