#pragma once
// The pseudo-terminal front end of the simulated modem: the host opens the slave side of a
// pty as its serial port; the engine sits on the master side. Control lines come from the
// standard input and, when asked for, from a Unix-domain control socket.
//
// Like a modem on a serial line, it talks into the void while no host has the port open: what
// it sends then (notices of messages arriving meanwhile) is lost, and a host that opens the
// port later reads only what comes after. The stored messages stay in the store.

#include "tools/modemsim/ModemSim.h"
#include "tools/modemsim/SimControl.h"

#include <string>
#include <vector>

struct TPtyServerOptions {
  std::string ControlSocket;          // path of the control socket; none when empty
  std::string Link;                   // a symbolic link to the slave made under this path
  std::vector<std::string> Commands;  // control lines run before the slave path is printed
};

class TPtyServer {
public:
  explicit TPtyServer(TPtyServerOptions options);
  ~TPtyServer();
  TPtyServer(const TPtyServer&) = delete;
  TPtyServer& operator=(const TPtyServer&) = delete;

  // Opens the pty (and the socket); false with a reason in `error`.
  bool Open(std::string& error);
  const std::string& SlavePath() const { return SlaveDevice; }
  // Serves until "quit", SIGINT or SIGTERM; answers the exit status.
  int Run();

private:
  struct TClient {
    int Fd = -1;
    std::string Input;
  };

  void ServeControl(std::string& input, int replyFd);
  // A new pty in raw mode, its master non-blocking.
  static bool OpenLine(int& master, std::string& slavePath, std::string& error);
  // Points the link (when asked for) at `slavePath`.
  bool LinkTo(const std::string& slavePath, std::string& error);
  // Whether a host has the slave open: the master hangs up while none has. When the last
  // host goes, what was meant for it is dropped and the line is free for the next host.
  bool WatchHost();
  // Moves the modem to a fresh pty when the old one cannot be opened again.
  void RenewLine();
  static void WriteAll(int fd, const std::string& bytes);

  TPtyServerOptions Options;
  TModemSim Sim;
  TSimControl Control;
  int Master = -1;
  int Listener = -1;
  bool HostPresent = false;
  std::string SlaveDevice;
  std::vector<TClient> Clients;
  std::string StdinInput;
  std::string ToHost;
};
