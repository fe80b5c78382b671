#pragma once
// Named mutexes shared by every process of the user: the single-instance guard, the SMS log
// lock, the modem port lock and the probe for the dispatcher program all use one.
//
// A name is one lock file, <runtime>/orvex/<name>.lock, where <runtime> is $XDG_RUNTIME_DIR,
// or /tmp/orvex-<uid> when that is unset. Each handle opens the file on its own (one open file
// description per handle) and holds a shared lock on byte 1 for as long as it is open: that is
// how other processes see that the name exists. Owning the mutex is an exclusive lock on
// byte 0. The locks are open-file-description locks, so the kernel drops them when the last
// descriptor of the handle goes away: a process that dies, however it dies, never leaves a
// mutex held. docs/named-mutexes.md describes the protocol for programs outside this code.
//
// Ownership belongs to a thread: the owning thread may wait again (each wait counts) and must
// release as often; another thread, even one using the same handle, waits until the owner has
// released. A thread that ends while it owns a mutex releases it on the way out. Closing a
// handle (destroying the object) releases whatever the handle owned.

#include <cstdint>
#include <memory>
#include <string>

enum class TMutexWait {
  Obtained,  // the calling thread owns the mutex (again, when it already did)
  TimedOut,  // another thread or process kept it for the whole wait
  Failed,    // the lock call failed, or the recursion count is exhausted
};

class TNamedMutex {
public:
  // Wait for as long as it takes.
  static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

  // Opens the mutex of this name, creating it when no one has it yet. Null when the name is
  // unusable (empty, contains '/', too long) or the lock folder cannot be used.
  static std::unique_ptr<TNamedMutex> Create(const std::string& name);
  // Opens the mutex only while some handle of that name is open, in this process or another.
  // Null otherwise.
  static std::unique_ptr<TNamedMutex> OpenExisting(const std::string& name);

  ~TNamedMutex();
  TNamedMutex(const TNamedMutex&) = delete;
  TNamedMutex& operator=(const TNamedMutex&) = delete;

  // Waits up to timeoutMs milliseconds (kInfinite: without limit) until the calling thread owns
  // the mutex. A time-out of 0 tries once.
  TMutexWait Wait(uint32_t timeoutMs);
  // Gives up one ownership of the calling thread. False when the calling thread does not own
  // the mutex through this handle.
  bool Release();

  const std::string& Name() const { return MutexName; }

  // The folder of the lock files, created when missing (mode 0700). Empty when it cannot be
  // used: not a directory (a symbolic link is refused), or owned by another user.
  static std::string LockFolder();

  // The handle's descriptor and ownership; shared with the bookkeeping of the owning thread.
  struct TState;

private:
  TNamedMutex(std::string name, std::shared_ptr<TState> state);

  std::string MutexName;
  std::shared_ptr<TState> State;
};

// Releases a mutex that a successful Wait obtained, on every way out of the scope.
class TNamedMutexHold {
 public:
  explicit TNamedMutexHold(TNamedMutex& mutex) : Mutex(mutex) {}
  ~TNamedMutexHold() { Mutex.Release(); }
  TNamedMutexHold(const TNamedMutexHold&) = delete;
  TNamedMutexHold& operator=(const TNamedMutexHold&) = delete;

 private:
  TNamedMutex& Mutex;
};
