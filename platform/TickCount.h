#pragma once
// Milliseconds since the machine started, as an unsigned 32-bit count that wraps about every
// 49.7 days. Intervals are taken as unsigned differences, so the wrap does no harm.

#include <cstdint>
#include <functional>

uint32_t GetTickCount();

// A replaceable tick source: the program uses GetTickCount, tests a counter they advance.
using TTickSource = std::function<uint32_t()>;
