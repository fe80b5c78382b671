#include "support/StandinProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

constexpr int kPatienceMs = 10000;

}  // namespace

bool SpinUntil(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    // Events are served while waiting, without spinning the processor between them.
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

TStandinProcess::TStandinProcess(const QString& program, const QStringList& arguments) {
  Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  Process.start(program, arguments);
  ReadySeen = Process.waitForStarted(kPatienceMs) && Next(QStringLiteral("ready")).has_value();
}

TStandinProcess::~TStandinProcess() { Quit(); }

QString TStandinProcess::Ask(const QString& line, int timeoutMs) {
  Process.write((line + u'\n').toUtf8());
  const auto answer = Next({QStringLiteral("ok"), QStringLiteral("error"), QStringLiteral("result"),
                            QStringLiteral("undelivered")},
                           timeoutMs);
  return answer.value_or(QStringLiteral("(no answer)"));
}

std::optional<QString> TStandinProcess::Next(const QString& prefix, int timeoutMs) {
  return Next(QStringList{prefix}, timeoutMs);
}

std::optional<QString> TStandinProcess::Next(const QStringList& prefixes, int timeoutMs) {
  std::optional<QString> found;
  SpinUntil(
      [&] {
        Collect();
        for (auto it = Lines.begin(); it != Lines.end(); ++it) {
          for (const QString& prefix : prefixes) {
            if (it->startsWith(prefix)) {
              found = *it;
              Lines.erase(it);
              return true;
            }
          }
        }
        return Process.state() == QProcess::NotRunning;
      },
      timeoutMs);
  return found;
}

int TStandinProcess::Pending(const QString& prefix, int settleMs) {
  SpinUntil([] { return false; }, settleMs);
  Collect();
  int count = 0;
  for (const QString& line : Lines)
    if (line.startsWith(prefix)) ++count;
  return count;
}

int TStandinProcess::Quit() {
  if (Process.state() != QProcess::NotRunning) {
    Process.write("quit\n");
    Process.closeWriteChannel();
    if (!Process.waitForFinished(kPatienceMs)) {
      Process.kill();
      Process.waitForFinished(kPatienceMs);
      return -1;
    }
  }
  return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
}

int TStandinProcess::ExitCode() {
  if (!Process.waitForFinished(kPatienceMs)) return Quit();
  return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
}

void TStandinProcess::Collect() {
  while (Process.canReadLine()) Lines.push_back(QString::fromUtf8(Process.readLine()).trimmed());
}
