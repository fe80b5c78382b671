#pragma once
// The memory of the test's or benchmark's own process.

// What the process holds resident now, in MiB (0 when it cannot be told).
double ResidentMib();
