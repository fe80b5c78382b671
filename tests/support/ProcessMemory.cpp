#include "support/ProcessMemory.h"

#include <cstdio>
#include <unistd.h>

double ResidentMib() {
  long pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    long size = 0;
    if (std::fscanf(statm, "%ld %ld", &size, &pages) != 2) pages = 0;
    std::fclose(statm);
  }
  return static_cast<double>(pages) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024 * 1024);
}
