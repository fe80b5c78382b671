#include "support/PseudoTerminal.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

TPseudoTerminal::TPseudoTerminal() {
  int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  char* name = nullptr;
  if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || (name = ::ptsname(fd)) == nullptr) {
    ::close(fd);
    return;
  }
  Master = fd;
  Slave = name;
}

TPseudoTerminal::~TPseudoTerminal() { Close(); }

void TPseudoTerminal::Close() {
  if (Master >= 0) ::close(Master);
  Master = -1;
}

bool TPseudoTerminal::Send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::write(Master, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

std::string TPseudoTerminal::Receive(int quietMs, int totalMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
  std::string got;
  while (Master >= 0) {
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (left <= 0) break;
    pollfd p{Master, POLLIN, 0};
    int ready = ::poll(&p, 1, left < quietMs ? left : quietMs);
    if (ready <= 0 || !(p.revents & POLLIN)) break;
    char chunk[4096];
    ssize_t n = ::read(Master, chunk, sizeof chunk);
    if (n <= 0) break;
    got.append(chunk, static_cast<size_t>(n));
  }
  return got;
}

std::string TPseudoTerminal::ReceiveUntil(const std::string& marker, int totalMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
  std::string got;
  while (got.find(marker) == std::string::npos && Clock::now() < deadline) {
    pollfd p{Master, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
    char chunk[4096];
    ssize_t n = ::read(Master, chunk, sizeof chunk);
    if (n <= 0) break;
    got.append(chunk, static_cast<size_t>(n));
  }
  return got;
}
