#include "tools/modemsim/PtyServer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t StopRequested = 0;

void OnStopSignal(int) { StopRequested = 1; }

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: poll returns with EINTR
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

TPtyServer::TPtyServer(TPtyServerOptions options) : Options(std::move(options)), Control(Sim) {}

TPtyServer::~TPtyServer() {
  for (TClient& client : Clients) close(client.Fd);
  if (Listener >= 0) {
    close(Listener);
    unlink(Options.ControlSocket.c_str());
  }
  if (!Options.Link.empty() && !SlaveDevice.empty()) unlink(Options.Link.c_str());
  if (Master >= 0) close(Master);
}

bool TPtyServer::OpenLine(int& master, std::string& slavePath, std::string& error) {
  master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  char name[256];
  if (ptsname_r(master, name, sizeof name) != 0) {
    error = "cannot name the pseudo-terminal";
    return false;
  }
  slavePath = name;
  // Raw mode makes the line a plain byte pipe for a host that does not set it up itself; the
  // mode stays with the pty after this first open is closed again.
  const int slave = open(name, O_RDWR | O_NOCTTY);
  if (slave < 0) {
    error = std::string("cannot open ") + name + ": " + std::strerror(errno);
    return false;
  }
  termios mode{};
  if (tcgetattr(slave, &mode) == 0) {
    cfmakeraw(&mode);
    tcsetattr(slave, TCSANOW, &mode);
  }
  close(slave);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return true;
}

bool TPtyServer::LinkTo(const std::string& slavePath, std::string& error) {
  if (Options.Link.empty()) return true;
  // Made beside the link and renamed over it, so that the link never goes missing.
  const std::string fresh = Options.Link + ".new";
  unlink(fresh.c_str());
  if (symlink(slavePath.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), Options.Link.c_str()) != 0) {
    error = "cannot link " + Options.Link + ": " + std::strerror(errno);
    unlink(fresh.c_str());
    return false;
  }
  return true;
}

bool TPtyServer::Open(std::string& error) {
  if (!OpenLine(Master, SlaveDevice, error) || !LinkTo(SlaveDevice, error)) return false;
  if (!Options.ControlSocket.empty()) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (Options.ControlSocket.size() >= sizeof address.sun_path) {
      error = "control socket path too long";
      return false;
    }
    std::strcpy(address.sun_path, Options.ControlSocket.c_str());
    unlink(address.sun_path);
    Listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Listener < 0 || bind(Listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(Listener, 4) != 0) {
      error = "cannot listen on " + Options.ControlSocket + ": " + std::strerror(errno);
      return false;
    }
  }
  for (const std::string& command : Options.Commands) {
    std::string reply = Control.Run(command);
    if (reply.rfind("error", 0) == 0 || reply.find("\nerror") != std::string::npos) {
      error = "'" + command + "': " + reply;
      return false;
    }
  }
  return true;
}

void TPtyServer::WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // the reader went away; its answers are dropped with it
    }
    done += static_cast<size_t>(written);
  }
}

bool TPtyServer::WatchHost() {
  pollfd probe{Master, POLLIN, 0};
  const bool present = poll(&probe, 1, 0) >= 0 && !(probe.revents & POLLHUP);
  if (HostPresent && !present) {
    ToHost.clear();
    Sim.DropDue();
    // And what the host left unread in the line: only the slave side can drop that. A serial
    // line's exclusive mode ends with its last descriptor; a pty's lives on with the master, so
    // it is given up here for a host that could not do it itself.
    const int slave = open(SlaveDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
      tcflush(slave, TCIFLUSH);
      ioctl(slave, TIOCNXCL);
      close(slave);
    } else if (errno == EBUSY) {
      RenewLine();
    }
  }
  HostPresent = present;
  return present;
}

void TPtyServer::RenewLine() {
  // Only root may open a terminal left exclusive, so for anybody else the line is gone for
  // good: the modem moves to a fresh pty, and the link follows it.
  int master = -1;
  std::string slavePath, error;
  if (!OpenLine(master, slavePath, error) || !LinkTo(slavePath, error)) {
    if (master >= 0) close(master);
    std::fprintf(stderr, "orvex-modemsim: %s is held exclusively and no new line could be made: %s\n",
                 SlaveDevice.c_str(), error.c_str());
    return;
  }
  close(Master);
  Master = master;
  std::fprintf(stderr, "orvex-modemsim: %s was left exclusive by its host; the modem is now on %s\n",
               SlaveDevice.c_str(), slavePath.c_str());
  SlaveDevice = slavePath;
}

void TPtyServer::ServeControl(std::string& input, int replyFd) {
  constexpr size_t kMaxControlLine = 64 * 1024;
  if (input.size() > kMaxControlLine && input.find('\n') == std::string::npos) {
    input.clear();
    WriteAll(replyFd, "error: line too long\n");
    return;
  }
  size_t end;
  while ((end = input.find('\n')) != std::string::npos) {
    std::string line = input.substr(0, end);
    input.erase(0, end + 1);
    WriteAll(replyFd, Control.Run(line));
  }
}

int TPtyServer::Run() {
  InstallStopHandlers();
  auto start = std::chrono::steady_clock::now();
  auto elapsed = [&start] {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  };
  bool stdinOpen = true;
  char buffer[4096];

  while (!StopRequested && !Control.QuitRequested()) {
    const bool host = WatchHost();
    std::vector<pollfd> fds;
    // A hung-up master is always ready: it is left out until a host comes.
    fds.push_back({host ? Master : -1, static_cast<short>(POLLIN | (ToHost.empty() ? 0 : POLLOUT)), 0});
    fds.push_back({stdinOpen ? STDIN_FILENO : -1, POLLIN, 0});
    fds.push_back({Listener, POLLIN, 0});
    for (const TClient& client : Clients) fds.push_back({client.Fd, POLLIN, 0});

    int timeout = host ? 50 : 10;
    if (std::optional<uint64_t> next = Sim.NextEventIn())
      timeout = static_cast<int>(std::clamp<uint64_t>(*next, 1, 50));
    int ready = poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) break;
    Sim.AdvanceTo(elapsed());

    if (fds[0].revents & POLLIN) {
      ssize_t count = read(Master, buffer, sizeof buffer);
      if (count > 0) Sim.Feed(std::string_view(buffer, static_cast<size_t>(count)));
    }
    if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
      if (count > 0) {
        StdinInput.append(buffer, static_cast<size_t>(count));
        ServeControl(StdinInput, STDOUT_FILENO);
      } else if (count == 0 || errno != EINTR) {
        stdinOpen = false;  // the simulator goes on serving the pty and the socket
      }
    }
    if (Listener >= 0 && (fds[2].revents & POLLIN)) {
      int fd = accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) Clients.push_back({fd, {}});
    }
    for (size_t i = 3; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      TClient& client = Clients[i - 3];
      ssize_t count = read(client.Fd, buffer, sizeof buffer);
      if (count > 0) {
        client.Input.append(buffer, static_cast<size_t>(count));
        ServeControl(client.Input, client.Fd);
      } else if (count == 0 || errno != EINTR) {
        close(client.Fd);
        client.Fd = -1;
      }
    }
    Clients.erase(std::remove_if(Clients.begin(), Clients.end(), [](const TClient& c) { return c.Fd < 0; }),
                   Clients.end());

    Sim.AdvanceTo(elapsed());
    if (HostPresent)
      ToHost += Sim.Take();
    else
      Sim.Take();  // nobody listens
    if (!ToHost.empty()) {
      ssize_t written = write(Master, ToHost.data(), ToHost.size());
      if (written > 0) ToHost.erase(0, static_cast<size_t>(written));
    }
  }
  return 0;
}
