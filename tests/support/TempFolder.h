#pragma once
// A folder of a test's own under /tmp, and the whole-file helpers the file tests share.

#include <sys/resource.h>
#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// Creates "/tmp/<prefix>-XXXXXX" on construction and removes it with all it holds on
// destruction, even where a test took away the folder's own permissions.
class TTempFolder {
 public:
  explicit TTempFolder(const std::string& prefix);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  // False when the folder could not be created; Path() is "" then.
  bool IsCreated() const { return !Folder.empty(); }
  const std::string& Path() const { return Folder; }

 private:
  std::string Folder;
};

// Replaces the file at `path` with `text`, byte for byte.
void WriteWholeFile(const std::string& path, const std::string& text);
// The bytes of the file at `path`; "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// The inode of the file at `path`, 0 when it does not exist: a file replaced by a write gets a
// new one.
ino_t FileInode(const std::string& path);

// Runs `action` with writes past `limit` bytes failing, as on a full disk.
void WithFileSizeLimit(rlim_t limit, const std::function<void()>& action);

// Opens the write end of the named pipe at `path` once a reader waits in its open, and closes
// it at once, for up to 3 s: a reader that would wait there for good goes on and finds the pipe
// empty, so a test of it fails instead of hanging.
class TPipeReleaser {
 public:
  explicit TPipeReleaser(std::string path);
  ~TPipeReleaser();
  TPipeReleaser(const TPipeReleaser&) = delete;
  TPipeReleaser& operator=(const TPipeReleaser&) = delete;

 private:
  std::atomic<bool> Stop{false};
  std::thread Worker;
};
