#pragma once
// Bounds of the tests' waits, derived from the program's own waits. The program's waits are
// wall-clock bounds and stay what they are in every build; the processor work around them takes
// several times longer in the sanitizer build, so the allowance for it is scaled.

#include "gsm/ConfigureModem.h"

#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kSlowdown = 4;
#else
inline constexpr int kSlowdown = 1;
#endif

// An allowance for work that takes at most `ms` in a normal build on a loaded machine.
constexpr int Scaled(int ms) { return ms * kSlowdown; }

// The start of the monitor program up to its window on the bus: no wait of its own, only the
// processor work of the start (settings, log check, the dispatcher's fleet).
inline constexpr int kProgramStartMs = 5000;

// The longest the modem set-up takes with the given waits against a modem that answers, with
// the network registered at once: the port mutex taken, every command read to the end of its
// wait, the probe's pause and one turn of the network wait.
int SetupBoundMs(const TSetupWaits& waits = TSetupWaits());
