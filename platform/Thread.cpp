#include "platform/Thread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// The QThread that carries one worker: its body is the worker's Run.
class TThread::TRunner : public QThread {
 public:
  explicit TRunner(TThread& owner) : Owner(owner) {}

 protected:
  void run() override { Owner.Run(); }

 private:
  TThread& Owner;
};

// Shared by the worker object and its pending termination notice, so that a notice that
// arrives after the object is gone finds no owner instead of a dangling pointer.
struct TThread::TLink {
  std::mutex Mutex;
  TThread* Owner = nullptr;
};

namespace {

// One synchronous call waiting for the main thread; it lives on the caller's stack until
// Done is set.
struct TSyncCall {
  const std::function<void()>* Call = nullptr;
  bool Done = false;
  std::exception_ptr Error;
};

struct TSyncQueue {
  std::mutex Mutex;
  std::condition_variable CallDone;
  std::deque<TSyncCall*> Calls;
};

TSyncQueue& SyncQueue() {
  static TSyncQueue queue;
  return queue;
}

// The idle priority is the lowest of the normal scheduling class (nice 19), not Linux's idle
// class: a thread of the idle class runs only when a CPU has nothing else to do, so on a busy
// machine it can miss every answer the modem gives within its wait. A niced thread is still
// woken promptly when its answer comes, and takes little of a busy machine.
constexpr int kIdleNice = 19;

QThread::Priority QtPriority(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::Idle: return QThread::NormalPriority;
    case TThreadPriority::Lowest: return QThread::LowestPriority;
    case TThreadPriority::Lower: return QThread::LowPriority;
    case TThreadPriority::Normal: return QThread::NormalPriority;
    case TThreadPriority::Higher: return QThread::HighPriority;
    case TThreadPriority::Highest: return QThread::HighestPriority;
    case TThreadPriority::TimeCritical: return QThread::TimeCriticalPriority;
  }
  return QThread::NormalPriority;
}

}  // namespace

TThread::TThread() : Runner(std::make_unique<TRunner>(*this)), Link(std::make_shared<TLink>()) {
  Link->Owner = this;
}

TThread::~TThread() {
  {
    std::lock_guard<std::mutex> lock(Link->Mutex);
    Link->Owner = nullptr;
  }
  if (Started) {
    Terminate();
    WaitFor();
  }
}

void TThread::Start() {
  if (Started) return;
  Started = true;
  Runner->start(QtPriority(ThreadPriority));
}

void TThread::Terminate() { TerminateRequested.store(true); }

void TThread::WaitFor() {
  if (!Started) return;
  if (IsMainThread()) {
    // Serve the workers' synchronous calls while waiting, or a worker that synchronizes
    // would wait for us as we wait for it.
    while (!Runner->wait(QDeadlineTimer(5))) CheckSynchronize();
  } else {
    Runner->wait();
  }
}

void TThread::SetPriority(TThreadPriority priority) {
  ThreadPriority = priority;
  if (Started && Runner->isRunning()) {
    Runner->setPriority(QtPriority(priority));
    ApplyNice();
  }
}

void TThread::ApplyNice() {
  const pid_t tid = ThreadId.load();
  // Raising the nice value needs no privilege; lowering it again may be refused, and the
  // thread then keeps the lower priority it had, which is harmless.
  if (tid != 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), ThreadPriority == TThreadPriority::Idle ? kIdleNice : 0);
}

void TThread::Run() {
  ThreadId.store(static_cast<pid_t>(::syscall(SYS_gettid)));
  if (ThreadPriority == TThreadPriority::Idle) ApplyNice();
  try {
    Execute();
  } catch (...) {
    FatalException = std::current_exception();
  }
  // After ExecuteDone is set the object may be destroyed by whoever waits for it, so only
  // the local copy of the link is used from here on.
  std::shared_ptr<TLink> link = Link;
  ExecuteDone.store(true);
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(
        app,
        [link] {
          TThread* owner = nullptr;
          {
            std::lock_guard<std::mutex> lock(link->Mutex);
            owner = link->Owner;
          }
          if (owner) owner->DoTerminate();
        },
        Qt::QueuedConnection);
  }
}

void TThread::DoTerminate() {
  if (OnTerminate) {
    try {
      OnTerminate(*this);
    } catch (...) {
      // An exception cannot cross the event loop that delivered the notice; the handler's
      // failure ends the handler only, and the thread is still freed below.
    }
  }
  if (FreeOnTerminate) delete this;
}

bool TThread::IsMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void TThread::Synchronize(const std::function<void()>& call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || IsMainThread()) {
    // Without an application there is no main thread to hand the call to.
    call();
    return;
  }
  TSyncQueue& queue = SyncQueue();
  TSyncCall pending;
  pending.Call = &call;
  {
    std::lock_guard<std::mutex> lock(queue.Mutex);
    queue.Calls.push_back(&pending);
  }
  QMetaObject::invokeMethod(app, [] { CheckSynchronize(); }, Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(queue.Mutex);
  queue.CallDone.wait(lock, [&] { return pending.Done; });
  if (pending.Error) std::rethrow_exception(pending.Error);
}

bool TThread::CheckSynchronize() {
  if (!IsMainThread()) return false;
  TSyncQueue& queue = SyncQueue();
  bool ranAny = false;
  for (;;) {
    TSyncCall* next = nullptr;
    {
      std::lock_guard<std::mutex> lock(queue.Mutex);
      if (queue.Calls.empty()) break;
      next = queue.Calls.front();
      queue.Calls.pop_front();
    }
    std::exception_ptr error;
    try {
      (*next->Call)();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(queue.Mutex);
      next->Error = error;
      next->Done = true;
    }
    queue.CallDone.notify_all();
    ranAny = true;
  }
  return ranAny;
}
