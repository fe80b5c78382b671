#include "support/ManagedDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr auto kPatience = std::chrono::seconds(15);

// Starts `arguments` with the environment given (`name=value` each); -1 on failure. `keepFd`
// stays open in the child.
pid_t Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment, int keepFd = -1) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The children's chatter stays out of the test's output.
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (keepFd >= 0) posix_spawn_file_actions_adddup2(&actions, keepFd, keepFd);  // clears close-on-exec
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

// The calling process's environment, with `variable` (`name=value`) set when one is given.
std::vector<std::string> Environment(const std::string& variable = "") {
  const std::string name = variable.substr(0, variable.find('=') + 1);
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry)
    if (name.empty() || std::string(*entry).rfind(name, 0) != 0) environment.push_back(*entry);
  if (!variable.empty()) environment.push_back(variable);
  return environment;
}

void End(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid = -1;
}

bool Exited(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

TManagedDisplay::TManagedDisplay() {
  char folder[] = "/tmp/orvex-display-XXXXXX";
  if (!mkdtemp(folder)) {
    Error = "no folder for the window manager";
    return;
  }
  Folder = folder;
  if (StartServer()) StartManager();
}

TManagedDisplay::~TManagedDisplay() {
  End(Manager);
  End(Server);
  std::error_code ignored;
  if (!Folder.empty()) std::filesystem::remove_all(Folder, ignored);
}

bool TManagedDisplay::StartServer() {
  // The server picks a free display number itself and writes it to the pipe when it serves.
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    Error = "no pipe for the display number";
    return false;
  }
  Server = Spawn({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                 Environment(), pipeFds[1]);
  close(pipeFds[1]);
  std::string number;
  const auto until = std::chrono::steady_clock::now() + kPatience;
  while (Server > 0 && std::chrono::steady_clock::now() < until) {
    pollfd ready{pipeFds[0], POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char c = 0;
    if (read(pipeFds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(pipeFds[0]);
  if (number.empty()) {
    Error = Server > 0 ? "Xvfb gave no display number" : "Xvfb did not start (is the package xvfb installed?)";
    return false;
  }
  Display = ":" + number;
  return true;
}

bool TManagedDisplay::StartManager() {
  // openbox runs the start command once it manages the screen.
  const std::string mark = Folder + "/managing";
  Manager = Spawn({"openbox", "--sm-disable", "--startup", "touch " + mark}, Environment("DISPLAY=" + Display));
  const auto until = std::chrono::steady_clock::now() + kPatience;
  struct stat info;
  while (Manager > 0 && stat(mark.c_str(), &info) != 0) {
    if (std::chrono::steady_clock::now() > until || Exited(Manager)) {
      Error = "openbox did not come up (is the package openbox installed?)";
      Manager = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (Manager <= 0) {
    Error = "openbox did not start (is the package openbox installed?)";
    return false;
  }
  return true;
}
