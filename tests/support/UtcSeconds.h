#pragma once
// A moment as the monitor's clock gives it (seconds since 1970, UTC), for tests that set the
// clock by which the parts of concatenated messages are given up.

#include <cstdint>

int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second = 0);
