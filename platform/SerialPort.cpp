#include "platform/SerialPort.h"

#include "platform/TtyDevices.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kWriteMsPerByte = 20;
constexpr int kWriteMsConstant = 20;
constexpr int kWriteSliceMs = 10;

}  // namespace

TSerialPort::TSerialPort() : WakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TSerialPort::~TSerialPort() {
  Close();
  if (WakeFd >= 0) ::close(WakeFd);
}

void TSerialPort::WakeWaiters() {
  if (WakeFd < 0) return;
  const uint64_t one = 1;
  // A full counter still wakes every waiter; nothing to do about a failed write.
  (void)::write(WakeFd, &one, sizeof one);
}

void TSerialPort::DrainWake() {
  if (WakeFd < 0) return;
  uint64_t count = 0;
  // Non-blocking: nothing to read is no error.
  (void)::read(WakeFd, &count, sizeof count);
}

std::string TSerialPort::DevicePath(const std::string& name) { return PortDevicePath(name); }

bool TSerialPort::Open(const std::string& name) {
  Closing.store(true);
  WakeWaiters();
  std::unique_lock<std::shared_mutex> lock(Lock);
  DrainWake();
  Closing.store(false);
  CloseLocked();
  if (name.empty()) return false;
  const std::string path = DevicePath(name);
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // The terminal's exclusive mode keeps other programs out, but not a privileged one nor a
  // second descriptor of our own; the advisory lock covers those.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  // A device that is no terminal refuses exclusive mode; Configure then fails on it.
  ::ioctl(fd, TIOCEXCL);
  Fd = fd;
  DeviceName = path;
  return true;
}

bool TSerialPort::Configure() {
  std::shared_lock<std::shared_mutex> lock(Lock);
  if (Fd < 0) return false;
  termios tio{};
  if (::tcgetattr(Fd, &tio) != 0) return false;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, B115200) != 0 || ::cfsetospeed(&tio, B115200) != 0) return false;
  if (::tcsetattr(Fd, TCSANOW, &tio) != 0) return false;
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(Fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL) return false;
  return true;
}

void TSerialPort::Close() {
  // A write waiting for room on the line gives up at its next slice instead of holding
  // the close back for the rest of its time-out.
  // So does a wait for bytes.
  Closing.store(true);
  WakeWaiters();
  std::unique_lock<std::shared_mutex> lock(Lock);
  CloseLocked();
  DrainWake();
  Closing.store(false);
}

bool TSerialPort::WaitReadable(uint32_t waitMs) const {
  std::shared_lock<std::shared_mutex> lock(Lock);
  if (Fd < 0 || Closing.load()) return false;
  pollfd waitFor[2] = {{Fd, POLLIN, 0}, {WakeFd, POLLIN, 0}};
  const int count = WakeFd >= 0 ? 2 : 1;
  const int timeout = waitMs > INT32_MAX ? INT32_MAX : static_cast<int>(waitMs);
  const int ready = ::poll(waitFor, count, timeout);
  if (ready <= 0 || Closing.load()) return false;
  return waitFor[0].revents != 0;
}

void TSerialPort::CloseLocked() {
  if (Fd >= 0) {
    // The exclusive mode belongs to the terminal, not to the descriptor: left set, it outlives
    // the close for as long as the terminal does (a pseudo-terminal lives with its master), and
    // then nobody but root can open the line again, this program included. A device that is
    // no terminal refuses the call; nothing is lost then.
    ::ioctl(Fd, TIOCNXCL);
    ::close(Fd);
  }
  Fd = -1;
  DeviceName.clear();
}

bool TSerialPort::IsOpen() const {
  std::shared_lock<std::shared_mutex> lock(Lock);
  return Fd >= 0;
}

std::string TSerialPort::Path() const {
  std::shared_lock<std::shared_mutex> lock(Lock);
  return DeviceName;
}

bool TSerialPort::QueuedBytes(uint32_t& count) const {
  count = 0;
  std::shared_lock<std::shared_mutex> lock(Lock);
  if (Fd < 0) return false;
  int queued = 0;
  if (::ioctl(Fd, FIONREAD, &queued) != 0 || queued < 0) return false;
  count = static_cast<uint32_t>(queued);
  return true;
}

bool TSerialPort::Read(void* buffer, uint32_t size, uint32_t& count) {
  count = 0;
  std::shared_lock<std::shared_mutex> lock(Lock);
  if (Fd < 0) return false;
  if (size == 0) return true;
  for (;;) {
    ssize_t got = ::read(Fd, buffer, size);
    if (got >= 0) {
      count = static_cast<uint32_t>(got);
      return true;
    }
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;  // nothing queued is no failure
  }
}

bool TSerialPort::Write(const void* buffer, uint32_t length, uint32_t& written) {
  written = 0;
  std::shared_lock<std::shared_mutex> lock(Lock);
  if (Fd < 0) return false;
  using Clock = std::chrono::steady_clock;
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(int64_t{kWriteMsPerByte} * length + kWriteMsConstant);
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  while (written < length) {
    ssize_t put = ::write(Fd, bytes + written, length - written);
    if (put > 0) {
      written += static_cast<uint32_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || Closing.load()) return false;
    pollfd waitFor{Fd, POLLOUT, 0};
    const int slice = left.count() < kWriteSliceMs ? static_cast<int>(left.count()) : kWriteSliceMs;
    if (::poll(&waitFor, 1, slice) < 0 && errno != EINTR) return false;
    if (waitFor.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
  }
  return true;
}
