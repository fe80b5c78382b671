#include "shell/ExeDir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string DataFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  fs::path base;
  if (dataHome && *dataHome) {
    base = dataHome;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home && *home ? home : "/tmp") / ".local/share";
  }
  fs::path folder = base / "OrvexMonitor";
  std::error_code error;
  fs::create_directories(folder, error);
  return folder.string() + "/";
}

}  // namespace

std::string ExeDirFor(const std::string& programFile) {
  fs::path folder = fs::path(programFile).parent_path();
  if (!folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0) return folder.string() + "/";
  return DataFolder();
}

std::string FindExeDir() {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  return ExeDirFor(error ? std::string() : self.string());
}
