#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

TTempFolder::TTempFolder(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + "-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data())) Folder = name.data();
}

TTempFolder::~TTempFolder() {
  if (Folder.empty()) return;
  std::error_code ignored;
  fs::permissions(Folder, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(Folder, ignored);
}

void WriteWholeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

ino_t FileInode(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

void WithFileSizeLimit(rlim_t limit, const std::function<void()>& action) {
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = limit;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  action();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
}

TPipeReleaser::TPipeReleaser(std::string path)
    : Worker([this, path = std::move(path)] {
        for (int i = 0; i < 300 && !Stop; ++i) {
          // Without a reader in its open, this open fails at once.
          const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
          if (fd >= 0) {
            ::close(fd);
            return;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      }) {}

TPipeReleaser::~TPipeReleaser() {
  Stop = true;
  Worker.join();
}
