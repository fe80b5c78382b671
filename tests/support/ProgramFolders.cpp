#include "support/ProgramFolders.h"

#include <cstdlib>

bool TProgramFolders::EnterProgramFolders() {
  if (!Dir.isValid() || !Runtime.isValid()) return false;
  ::setenv("XDG_RUNTIME_DIR", Runtime.path().toUtf8().constData(), 1);
  ExeDir = Dir.path().toStdString() + "/";
  return true;
}
