#include "support/Unprivileged.h"

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

// The user and group "nobody"/"nogroup" of Debian; fixed numbers, so no user database is read
// in the child.
constexpr uid_t kNobodyUser = 65534;
constexpr gid_t kNobodyGroup = 65534;

bool DropRights() {
  if (::geteuid() != 0) return true;
  return ::setgroups(0, nullptr) == 0 && ::setresgid(kNobodyGroup, kNobodyGroup, kNobodyGroup) == 0 &&
         ::setresuid(kNobodyUser, kNobodyUser, kNobodyUser) == 0 && ::geteuid() == kNobodyUser;
}

}  // namespace

bool GiveToUnprivilegedUser(const std::string& path) {
  if (::geteuid() != 0) return true;
  return ::chown(path.c_str(), kNobodyUser, kNobodyGroup) == 0;
}

std::optional<std::string> RunUnprivileged(const std::function<std::string()>& action, int timeoutMs) {
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return std::nullopt;
  }
  if (child == 0) {
    ::close(fds[0]);
    if (!DropRights()) ::_exit(2);
    const std::string text = action();
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
      if (n <= 0) ::_exit(3);
      done += static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool ended = false;
  while (!ended) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
    if (n > 0)
      text.append(chunk, static_cast<size_t>(n));
    else
      ended = true;  // end of file: the child closed its end
  }
  ::close(fds[0]);
  if (!ended) ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return text;
}
