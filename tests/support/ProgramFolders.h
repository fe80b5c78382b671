#pragma once
// The two folders of a monitor under test: its program folder (settings, log, trace) and a
// runtime folder of its own, where its named mutexes live, so that tests never share a mutex
// with each other or with a monitor running on the machine. A test fixture derives from it.

#include <QTemporaryDir>

#include <string>

class TProgramFolders {
protected:
  // Makes the runtime folder XDG_RUNTIME_DIR and sets ExeDir; false when a folder could not
  // be made.
  bool EnterProgramFolders();

  QTemporaryDir Dir;
  QTemporaryDir Runtime;
  std::string ExeDir;  // Dir with its trailing separator
};
