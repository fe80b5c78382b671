#include "support/DesktopStandIn.h"

#include "support/TempFolder.h"

#include <QDesktopServices>
#include <QFile>

#include <cstdlib>

namespace {

std::string CurrentPath() {
  const char* path = std::getenv("PATH");
  return path ? path : "";
}

}  // namespace

TDesktopStandIn::TDesktopStandIn(std::string folder) : Folder(std::move(folder)), OldPath(CurrentPath()) {
  ::setenv("PATH", (Folder + ":" + OldPath).c_str(), 1);
  QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open");
}

TDesktopStandIn::~TDesktopStandIn() {
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  ::setenv("PATH", OldPath.c_str(), 1);
}

void TDesktopStandIn::WriteXdgMime(const std::string& filetype, const std::string& fallback,
                                   const std::string& log) const {
  const std::string script = Folder + "/xdg-mime";
  const std::string logLine = log.empty() ? "" : "echo \"$@\" >> '" + log + "'\n";
  const std::string answers = "case \"$2\" in\n  filetype) " + filetype + " ;;\n  default) " + fallback + " ;;\nesac\n";
  WriteWholeFile(script, "#!/bin/sh\n" + logLine + answers);
  QFile::setPermissions(QString::fromStdString(script), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
