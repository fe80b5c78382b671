#pragma once
// An exclusive lock on a folder for as long as the object lives: writers that read a file of
// that folder, change it and write it back whole (the position file) take turns under it, so
// that two of them at once (two monitors sharing a program folder) never write over each
// other's change unseen. The lock is on the folder, not on the file, because a save replaces
// the file by a new one and a missing file is created first: both stay inside the turn.
//
// It is an advisory lock (flock) that only these writers take; the kernel drops it when the
// process ends, however it ends. A file system that keeps no locks gives a lock that counts
// as taken: the writer then goes on as it would without one.

#include <QString>

class TFolderLock {
public:
  // How long a writer waits for another one's turn to end.
  static constexpr int kWaitMs = 10000;

  // Takes the lock of the folder that holds `filePath`, waiting up to `waitMs`.
  explicit TFolderLock(const QString& filePath, int waitMs = kWaitMs);
  ~TFolderLock();
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;

  bool IsLocked() const { return Locked; }
  // Why the lock was not taken.
  const QString& Error() const { return ErrorText; }

private:
  int Fd = -1;
  bool Locked = false;
  QString ErrorText;
};
