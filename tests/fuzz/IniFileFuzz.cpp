// Any file content: reading never fails, a write of one key keeps every other value that could
// be read before, and repeated writes leave the file as it is.
#include "platform/IniFile.h"
#include "tests/fuzz/FuzzFolder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <strings.h>
#include <utility>
#include <vector>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = FuzzFolder("ini") + "/fuzz.ini";
  std::string text(reinterpret_cast<const char*>(data), size);
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }

  // What the file offers before the write.
  std::vector<std::pair<std::string, std::string>> keys;
  std::vector<std::string> values;
  {
    TIniFile ini(path);
    for (const std::string& section : ini.ReadSections())
      for (const std::string& key : ini.ReadSection(section)) {
        keys.emplace_back(section, key);
        values.push_back(ini.ReadString(section, key, ""));
      }
  }

  {
    TIniFile ini(path);
    ini.ReadSection("COMMON");
    ini.ReadInteger("COMMON", "AutoConnect", 0);
    ini.WriteString("COMMON", "PinCode", "1234");
    if (!ini.UpdateFile()) std::abort();
  }
  TIniFile after(path);
  if (after.ReadString("COMMON", "PinCode", "") != "1234") std::abort();

  for (size_t i = 0; i < keys.size(); ++i) {
    const auto& [section, key] = keys[i];
    if (strcasecmp(section.c_str(), "COMMON") == 0 && strcasecmp(key.c_str(), "PinCode") == 0) continue;
    if (after.ReadString(section, key, "\x01missing") != values[i]) std::abort();
  }

  // Later writes settle: the file does not keep changing (or growing) with every write.
  std::string settled;
  for (int round = 0; round < 2; ++round) {
    {
      TIniFile ini(path);
      ini.WriteString("COMMON", "PinCode", "1234");
      if (!ini.UpdateFile()) std::abort();
    }
    std::string content;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
      char buffer[4096];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
      std::fclose(file);
    }
    if (round == 1 && content != settled) std::abort();
    settled = content;
  }
  return 0;
}
