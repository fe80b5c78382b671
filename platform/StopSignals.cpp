#include "platform/StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int kStopSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The write end of the wake-up channel, for the handler; -1 while no object lives.
volatile std::sig_atomic_t WakeFd = -1;

void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  // A full channel already holds a wake-up; nothing else may be done in a handler.
  (void)::write(WakeFd, &byte, 1);
  errno = saved;
}

}  // namespace

TStopSignals::TStopSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, Fds) != 0) return;
  WakeFd = Fds[1];
  Notifier = std::make_unique<QSocketNotifier>(Fds[0], QSocketNotifier::Read);
  Notifier->setEnabled(false);
  QObject::connect(Notifier.get(), &QSocketNotifier::activated, [this] {
    char bytes[16];
    while (::read(Fds[0], bytes, sizeof bytes) > 0) {
    }
    if (Stop) Stop();
  });

  sigset_t unblock;
  sigemptyset(&unblock);
  for (int signal : kStopSignals) {
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
    sigaddset(&unblock, signal);
  }
  // A mask inherited from the starter would hold the signals back from this thread.
  ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
}

TStopSignals::~TStopSignals() {
  if (!Notifier) return;
  for (int signal : kStopSignals) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == OnStopSignal)
      std::signal(signal, SIG_DFL);
  }
  Notifier.reset();
  WakeFd = -1;
  ::close(Fds[0]);
  ::close(Fds[1]);
}

void TStopSignals::Listen(std::function<void()> stop) {
  Stop = std::move(stop);
  // Signals that came meanwhile wait in the channel: the notifier sees them at once.
  if (Notifier) Notifier->setEnabled(static_cast<bool>(Stop));
}
