#include "platform/FolderLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int kPollMs = 2;

}  // namespace

TFolderLock::TFolderLock(const QString& filePath, int waitMs) {
  const QByteArray folder = QFile::encodeName(QFileInfo(filePath).absolutePath());
  Fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0) {
    // A folder that is missing or cannot be read gives no turn to take: the writer goes on and
    // finds out whether it can use the file.
    Locked = true;
    return;
  }
  const QDeadlineTimer deadline(waitMs);
  for (;;) {
    if (::flock(Fd, LOCK_EX | LOCK_NB) == 0) {
      Locked = true;
      return;
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      // No locks on this file system.
      Locked = true;
      return;
    }
    if (deadline.hasExpired()) {
      ErrorText = QStringLiteral("Файл занят другой программой");
      return;
    }
    ::usleep(kPollMs * 1000);
  }
}

TFolderLock::~TFolderLock() {
  if (Fd >= 0) ::close(Fd);
}
