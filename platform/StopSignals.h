#pragma once
// The signals that end a program from outside without killing it: SIGTERM (a desktop session
// at logout, a service manager), SIGHUP (the session or terminal gone) and SIGINT (Ctrl-C).
// While an object of this class lives they no longer end the process by themselves: they are
// kept until a listener runs, and then reach it from the event loop of the thread that made the
// object, so the program can take its own way out. A signal that was ignored when the program
// started (as `nohup` asks for SIGHUP) stays ignored.
//
// One object per program: the signal handlers share one wake-up channel.

#include <functional>
#include <memory>

class QSocketNotifier;

class TStopSignals {
 public:
  // Needs the application object.
  TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;
  // Gives the signals back their default effect.
  ~TStopSignals();

  // `stop` runs from the event loop for the signals that came since the last run (once for
  // several that came together), those before this call included. An empty function stops
  // listening; signals are kept again.
  void Listen(std::function<void()> stop);

  // False when the wake-up channel could not be made: the signals then keep their default
  // effect.
  bool IsActive() const { return Notifier != nullptr; }

 private:
  std::function<void()> Stop;
  std::unique_ptr<QSocketNotifier> Notifier;
  int Fds[2] = {-1, -1};
};
