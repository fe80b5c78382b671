#pragma once
// A folder of the fuzz run's own for the files a target writes: made once, in memory where
// there is one (every write may be flushed to the disk), removed when the run ends.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// The folder, without a trailing separator; `name` goes into its name.
inline const std::string& FuzzFolder(const char* name) {
  static std::string made;
  if (made.empty()) {
    for (const char* base : {"/dev/shm", "/tmp"}) {
      std::string pattern = std::string(base) + "/orvex-" + name + "-fuzz-XXXXXX";
      if (::mkdtemp(pattern.data()) != nullptr) {
        made = pattern;
        break;
      }
    }
    if (made.empty()) std::abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
  }
  return made;
}
