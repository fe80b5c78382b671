#pragma once
// A virtual screen of a test's own with a real window manager on it: Xvfb on a display number
// that was free (several tests and builds run at once), and openbox, which frames, places and
// titles the windows as a desktop does. Plain POSIX processes: the screen comes up before the
// test program's QApplication, which then connects to it.

#include <sys/types.h>

#include <string>

class TManagedDisplay {
 public:
  // Starts the screen and the window manager and waits until both serve.
  TManagedDisplay();
  // Ends the window manager, then the screen.
  ~TManagedDisplay();
  TManagedDisplay(const TManagedDisplay&) = delete;
  TManagedDisplay& operator=(const TManagedDisplay&) = delete;

  // True when both serve; otherwise Error says what failed.
  bool IsUp() const { return Error.empty(); }
  const std::string& Failure() const { return Error; }
  // ":N", for DISPLAY.
  const std::string& Name() const { return Display; }

 private:
  bool StartServer();
  bool StartManager();

  std::string Display;
  std::string Folder;  // holds the window manager's start mark
  std::string Error;
  pid_t Server = -1;
  pid_t Manager = -1;
};
