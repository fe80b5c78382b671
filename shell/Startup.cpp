#include "shell/Startup.h"

#include "shell/OrvexMonitorForm.h"

#include <cstdio>

void ReadVersion(const char* fileVersion) {
  VersionMajor = VersionMinor = VersionRelease = 0;
  unsigned major = 0, minor = 0, release = 0;
  int scanned = std::sscanf(fileVersion, "%u.%u.%u", &major, &minor, &release);
  if (scanned >= 1) VersionMajor = major;
  if (scanned >= 2) VersionMinor = minor;
  if (scanned >= 3) VersionRelease = release;
}

const char* ProgramVersion() {
#define ORVEX_STRINGIFY2(x) #x
#define ORVEX_STRINGIFY(x) ORVEX_STRINGIFY2(x)
  return ORVEX_STRINGIFY(ORVEX_VERSION_MAJOR) "." ORVEX_STRINGIFY(ORVEX_VERSION_MINOR) "." ORVEX_STRINGIFY(ORVEX_VERSION_PATCH);
}
