#include "StandinConsole.h"

#include "platform/DBusWindow.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

bool ParseUInt(const QString& text, uint32_t& value) {
  bool ok = false;
  value = text.toUInt(&ok, 10);
  return ok;
}

// Pairs of hexadecimal digits and nothing else.
bool ParseHex(const QString& text, QByteArray& bytes) {
  if (text.size() % 2 != 0) return false;
  for (QChar c : text)
    if (!c.isDigit() && !(c >= u'a' && c <= u'f') && !(c >= u'A' && c <= u'F')) return false;
  bytes = QByteArray::fromHex(text.toLatin1());
  return true;
}

// "CODE [HEX]" of the command and callback lines.
bool ParseCommand(const QStringList& words, uint32_t& code, QByteArray& payload) {
  if (words.size() < 2 || words.size() > 3 || !ParseUInt(words[1], code)) return false;
  payload.clear();
  return words.size() == 2 || ParseHex(words[2], payload);
}

}  // namespace

TStandinConsole::TStandinConsole(TAutomationServer& server, uint32_t answer, int delayMs)
    : Server(server), Answer(answer), DelayMs(delayMs) {}

void TStandinConsole::Say(const QString& line) {
  const QByteArray text = line.toUtf8() + '\n';
  std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
  std::fflush(stdout);
}

void TStandinConsole::Start() {
  Input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
  connect(Input, &QSocketNotifier::activated, this, &TStandinConsole::OnInput);
}

void TStandinConsole::OnInput() {
  // A line may send a command and wait for the monitor, serving the bus meanwhile; no further
  // input is taken until it is done.
  Input->setEnabled(false);
  char buffer[4096];
  const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
    Input->setEnabled(true);
    return;
  }
  if (got <= 0) {
    if (!Pending.isEmpty()) Execute(QString::fromUtf8(Pending));
    Pending.clear();
    return;  // end of input: the channel stays closed
  }
  Pending.append(buffer, got);
  qsizetype end;
  while ((end = Pending.indexOf('\n')) >= 0) {
    const QByteArray line = Pending.left(end);
    Pending.remove(0, end + 1);
    Execute(QString::fromUtf8(line));
  }
  Input->setEnabled(true);
}

void TStandinConsole::Execute(const QString& line) {
  const QStringList words = line.simplified().split(u' ', Qt::SkipEmptyParts);
  if (words.isEmpty()) return;
  const QString& verb = words[0];
  uint32_t number = 0;
  QByteArray payload;
  if (verb == u"answer" && words.size() == 2 && ParseUInt(words[1], number)) {
    Answer = number;
    Say(QStringLiteral("ok"));
  } else if (verb == u"delay" && words.size() == 2 && ParseUInt(words[1], number)) {
    DelayMs = static_cast<int>(number);
    Say(QStringLiteral("ok"));
  } else if (verb == u"command" && ParseCommand(words, number, payload)) {
    SendCommand(number, payload);
  } else if (verb == u"callback" && ParseCommand(words, number, payload)) {
    Callback = TCommand{number, payload};
    Say(QStringLiteral("ok"));
  } else if (verb == u"event" && words.size() == 2 && ParseUInt(words[1], number)) {
    Server.Emit(static_cast<int>(number));
    Say(QStringLiteral("ok"));
  } else if (verb == u"fail" && words.size() == 3 && ParseUInt(words[2], number)) {
    if (Server.FailCall(words[1], static_cast<int>(number)))
      Say(QStringLiteral("ok"));
    else
      Say(QLatin1String("error no such operation: ") + words[1]);
  } else if (verb == u"eventin" && words.size() == 4 && ParseUInt(words[2], number)) {
    uint32_t dispId = 0;
    if (ParseUInt(words[3], dispId) && Server.EventInCall(words[1], static_cast<int>(number), static_cast<int>(dispId)))
      Say(QStringLiteral("ok"));
    else
      Say(QLatin1String("error no such operation or event: ") + line.trimmed());
  } else if (verb == u"lie" && words.size() == 2 && words[1] == u"off") {
    Server.Lie(-1, -1);
    Say(QStringLiteral("ok"));
  } else if (verb == u"lie" && words.size() == 3 && ParseUInt(words[1], number)) {
    uint32_t cars = 0;
    if (ParseUInt(words[2], cars) && number <= INT32_MAX && cars <= INT32_MAX) {
      Server.Lie(static_cast<int>(number), static_cast<int>(cars));
      Say(QStringLiteral("ok"));
    } else {
      Say(QLatin1String("error malformed counts: ") + line.trimmed());
    }
  } else if (verb == u"storm" && words.size() == 4 && ParseUInt(words[1], number)) {
    uint32_t count = 0;
    uint32_t intervalMs = 0;
    if (ParseUInt(words[2], count) && ParseUInt(words[3], intervalMs)) {
      StartStorm(static_cast<int>(number), count, intervalMs);
      Say(QStringLiteral("ok"));
    } else {
      Say(QLatin1String("error malformed storm: ") + line.trimmed());
    }
  } else if (verb == u"fleet" && words.size() >= 2) {
    // The file name is the rest of the line, blanks included.
    const QString path = line.trimmed().mid(verb.size()).trimmed();
    TStandinFleet fleet;
    QString error;
    if (!LoadStandinFleet(path, fleet, error)) {
      Say(QLatin1String("error ") + error);
      return;
    }
    Server.SetFleet(std::move(fleet));
    Say(QStringLiteral("ok"));
  } else if (verb == u"quit" && words.size() == 1) {
    Say(QStringLiteral("ok"));
    QCoreApplication::quit();
  } else {
    Say(QLatin1String("error unknown or malformed line: ") + line.trimmed());
  }
}

void TStandinConsole::StartStorm(int dispId, uint32_t count, uint32_t intervalMs) {
  // A new storm replaces one still blowing.
  if (Storm) {
    Storm->stop();
    Storm->deleteLater();
  }
  Storm = new QTimer(this);
  Storm->setInterval(static_cast<int>(intervalMs));
  auto left = std::make_shared<uint32_t>(count);
  QTimer* storm = Storm;
  connect(storm, &QTimer::timeout, this, [this, storm, dispId, left] {
    if (*left > 0) {
      --*left;
      Server.Emit(dispId);
    }
    if (*left == 0) {
      storm->stop();
      storm->deleteLater();
      if (Storm == storm) Storm = nullptr;
      Say(QStringLiteral("storm done"));
    }
  });
  Storm->start();
}

void TStandinConsole::SendCommand(uint32_t code, const QByteArray& payload) {
  uint32_t answer = 0;
  if (TDBusWindow::SendCopyData(QString::fromLatin1(kMonitorClass), code, payload,
                                kCommandTimeoutMs, &answer))
    Say(QStringLiteral("result %1 %2").arg(code).arg(answer));
  else
    Say(QStringLiteral("undelivered %1").arg(code));
}

uint32_t TStandinConsole::OnNotice(uint32_t code, const QByteArray& payload) {
  QString line = QStringLiteral("notice %1 %2").arg(code).arg(payload.size());
  if (!payload.isEmpty()) line += u' ' + QString::fromLatin1(payload.toHex());
  Say(line);
  if (Callback) {
    const TCommand callback = *Callback;
    Callback.reset();
    SendCommand(callback.Code, callback.Payload);
  }
  if (DelayMs > 0) QThread::msleep(static_cast<unsigned long>(DelayMs));
  return Answer;
}
