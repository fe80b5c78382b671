#include "platform/GlobeProgram.h"

#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace {

// One line that xdg-mime prints, or an empty text when it fails or the time is up.
QString AskXdgMime(const QStringList& arguments, const QDeadlineTimer& deadline) {
  QProcess process;
  process.setProgram(QStringLiteral("xdg-mime"));
  process.setArguments(arguments);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.start();
  if (!process.waitForStarted(static_cast<int>(deadline.remainingTime()))) {
    process.kill();
    process.waitForFinished(100);
    return {};
  }
  if (!process.waitForFinished(static_cast<int>(deadline.remainingTime()))) {
    process.kill();
    process.waitForFinished(100);
    return {};
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
  return QString::fromLocal8Bit(process.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
}

}  // namespace

QString TGlobeProgram::HandlerFor(const QString& path, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  QString type = AskXdgMime({QStringLiteral("query"), QStringLiteral("filetype"), path}, deadline);
  if (type.isEmpty() || deadline.hasExpired()) return {};
  return AskXdgMime({QStringLiteral("query"), QStringLiteral("default"), type}, deadline);
}

bool TGlobeProgram::OpenFile(const QString& path) {
  if (HandlerFor(path).isEmpty()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TGlobeProgram::ShowNotInstalled(QWidget* parent) {
  QMessageBox::critical(parent, QStringLiteral("Orvex монитор"),
                        QStringLiteral("Программное обеспечение Google Earth не установлено"));
}

bool TGlobeProgram::OpenFileOrSay(const QString& path, QWidget* parent) {
  if (OpenFile(path)) return true;
  ShowNotInstalled(parent);
  return false;
}
