#pragma once
// What the modem tests share: the program's waits shortened for tests, and waiting on the
// main thread while workers run (their synchronous calls and end handlers are served).

#include "gsm/ConfigureModem.h"
#include "gsm/TermReader.h"

#include <functional>

// Short enough for tests, yet long enough for a scripted modem to answer within its read on a
// loaded machine: an answer that misses its read is taken by the next one.
TSetupWaits FastSetupWaits();
TReaderWaits FastReaderWaits();

// Runs the main thread's events until `done` holds or `ms` have passed; false on time-out.
bool WaitUntil(const std::function<bool()>& done, int ms = 5000);
// Keeps the main thread's events going for `ms`.
void RunFor(int ms);
