#include "platform/NamedMutex.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Byte 0 of a lock file: write-locked by the owning handle. Byte 1: read-locked by every open
// handle, so that a test for a write lock on it tells whether the name exists.
constexpr off_t kOwnerByte = 0;
constexpr off_t kPresenceByte = 1;

// The polling period of a wait for a mutex that another process holds.
constexpr std::chrono::milliseconds kPollStep{2};
constexpr uint32_t kMaxRecursion = 0x7FFFFFFFu;
constexpr std::size_t kMaxNameLength = 200;

int SetLock(int fd, short type, off_t byte) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  lock.l_pid = 0;  // must be 0 for open-file-description locks
  return fcntl(fd, F_OFD_SETLK, &lock);
}

// True when an open file description other than fd's holds a lock on the byte that a write
// lock would conflict with.
bool OtherHoldsLock(int fd, off_t byte, bool& failed) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  lock.l_pid = 0;
  failed = fcntl(fd, F_OFD_GETLK, &lock) != 0;
  return !failed && lock.l_type != F_UNLCK;
}

// A folder for our lock files only: created with mode 0700 when missing; refused when it is
// not a real directory, belongs to another user, or others may write into it.
bool EnsurePrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode)) return false;
  if (info.st_uid != geteuid()) return false;
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return false;
  return true;
}

bool UsableName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxNameLength &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace

struct TNamedMutex::TState {
  std::mutex Guard;
  std::condition_variable Released;
  int Fd = -1;
  std::thread::id Owner;
  uint32_t Count = 0;

  // Drops every ownership that `thread` holds through this handle.
  void ReleaseAllOf(std::thread::id thread) {
    std::lock_guard lock(Guard);
    if (Count == 0 || Owner != thread) return;
    Count = 0;
    Owner = {};
    if (Fd >= 0) SetLock(Fd, F_UNLCK, kOwnerByte);
    Released.notify_all();
  }
};

namespace {

// The mutexes that the current thread owns, so that a thread that ends without releasing them
// does not leave them held (its id may later be given to a new thread, which must not inherit
// them).
struct TThreadOwnership {
  std::vector<std::weak_ptr<TNamedMutex::TState>> Owned;

  ~TThreadOwnership() {
    const std::thread::id self = std::this_thread::get_id();
    for (auto& entry : Owned)
      if (auto state = entry.lock()) state->ReleaseAllOf(self);
  }

  void Forget(const TNamedMutex::TState* state) {
    std::erase_if(Owned, [state](const std::weak_ptr<TNamedMutex::TState>& entry) {
      auto held = entry.lock();
      return !held || held.get() == state;
    });
  }

  void Remember(const std::shared_ptr<TNamedMutex::TState>& state) {
    Forget(state.get());
    Owned.push_back(state);
  }
};

thread_local TThreadOwnership ThreadOwnership;

}  // namespace

std::string TNamedMutex::LockFolder() {
  std::string runtime;
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg != nullptr && *xdg != '\0') {
    runtime = xdg;
  } else {
    runtime = "/tmp/orvex-" + std::to_string(geteuid());
    if (!EnsurePrivateFolder(runtime)) return {};
  }
  std::string folder = runtime + "/orvex";
  if (!EnsurePrivateFolder(folder)) return {};
  return folder;
}

TNamedMutex::TNamedMutex(std::string name, std::shared_ptr<TState> state)
    : MutexName(std::move(name)), State(std::move(state)) {}

TNamedMutex::~TNamedMutex() {
  std::lock_guard lock(State->Guard);
  // Closing the descriptor drops both locks of this handle.
  if (State->Fd >= 0) close(State->Fd);
  State->Fd = -1;
  State->Count = 0;
  State->Owner = {};
}

std::unique_ptr<TNamedMutex> TNamedMutex::Create(const std::string& name) {
  if (!UsableName(name)) return nullptr;
  const std::string folder = LockFolder();
  if (folder.empty()) return nullptr;
  const std::string path = folder + "/" + name + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  if (SetLock(fd, F_RDLCK, kPresenceByte) != 0) {
    close(fd);
    return nullptr;
  }
  auto state = std::make_shared<TState>();
  state->Fd = fd;
  return std::unique_ptr<TNamedMutex>(new TNamedMutex(name, std::move(state)));
}

std::unique_ptr<TNamedMutex> TNamedMutex::OpenExisting(const std::string& name) {
  if (!UsableName(name)) return nullptr;
  const std::string folder = LockFolder();
  if (folder.empty()) return nullptr;
  const std::string path = folder + "/" + name + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return nullptr;
  // The file outlives its handles; the name exists only while some handle holds its presence
  // lock.
  bool failed = false;
  if (!OtherHoldsLock(fd, kPresenceByte, failed) || SetLock(fd, F_RDLCK, kPresenceByte) != 0) {
    close(fd);
    return nullptr;
  }
  auto state = std::make_shared<TState>();
  state->Fd = fd;
  return std::unique_ptr<TNamedMutex>(new TNamedMutex(name, std::move(state)));
}

TMutexWait TNamedMutex::Wait(uint32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const std::thread::id self = std::this_thread::get_id();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(State->Guard);
  if (State->Fd < 0) return TMutexWait::Failed;
  if (State->Count > 0 && State->Owner == self) {
    if (State->Count == kMaxRecursion) return TMutexWait::Failed;
    ++State->Count;
    return TMutexWait::Obtained;
  }
  for (;;) {
    // While another thread owns it through this handle, the lock file cannot tell: the byte
    // lock belongs to the handle, so only the count shows it.
    if (State->Count == 0) {
      if (SetLock(State->Fd, F_WRLCK, kOwnerByte) == 0) {
        State->Owner = self;
        State->Count = 1;
        ThreadOwnership.Remember(State);
        return TMutexWait::Obtained;
      }
      if (errno != EAGAIN && errno != EACCES) return TMutexWait::Failed;
    }
    const Clock::time_point now = Clock::now();
    if (timeoutMs != kInfinite && now >= deadline) return TMutexWait::TimedOut;
    auto step = std::chrono::duration_cast<Clock::duration>(kPollStep);
    if (timeoutMs != kInfinite) step = std::min(step, deadline - now);
    // A release through this handle wakes the wait at once; one in another handle or process
    // is seen at the next poll.
    State->Released.wait_for(lock, step);
    if (State->Fd < 0) return TMutexWait::Failed;
  }
}

bool TNamedMutex::Release() {
  std::lock_guard lock(State->Guard);
  if (State->Count == 0 || State->Owner != std::this_thread::get_id()) return false;
  if (--State->Count == 0) {
    State->Owner = {};
    if (State->Fd >= 0) SetLock(State->Fd, F_UNLCK, kOwnerByte);
    ThreadOwnership.Forget(State.get());
    State->Released.notify_all();
  }
  return true;
}
