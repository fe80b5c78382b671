// orvex-dispatcher-standin: a stand-in for the dispatcher program beside the monitor. It holds
// the named mutex "OrvexMutex" while it runs (that is how the monitor tells that the dispatcher
// runs), owns the dispatcher's window "TOrvexForm" and answers the monitor's notices, sends the
// monitor commands when told to, and serves the automation operations and events with a fleet read
// from a file. It is driven through standard input (see StandinConsole.h) and ends on "quit",
// SIGTERM or SIGINT.
//
//   orvex-dispatcher-standin [--fleet FILE] [--answer N] [--delay MS]
//
// Exit codes: 0 after a normal end, 1 when another dispatcher holds the mutex, the window or
// the automation name, 2 for bad options or a bad fleet file.

#include "AutomationServer.h"
#include "StandinConsole.h"
#include "StandinFleet.h"

#include "platform/DBusWindow.h"
#include "platform/NamedMutex.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

constexpr const char* kWindowClass = "TOrvexForm";
constexpr const char* kMutexName = "OrvexMutex";

int SignalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(SignalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so that the program gives its names up in order.
void QuitOnSignals(QCoreApplication& app) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, SignalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

int Fail(int code, const QString& message) {
  std::fprintf(stderr, "orvex-dispatcher-standin: %s\n", message.toLocal8Bit().constData());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("orvex-dispatcher-standin"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Stand-in for the dispatcher program."));
  parser.addHelpOption();
  const QCommandLineOption fleetOption(QStringLiteral("fleet"),
                                       QStringLiteral("Fleet file served over automation."),
                                       QStringLiteral("file"));
  const QCommandLineOption answerOption(QStringLiteral("answer"),
                                        QStringLiteral("Answer to the monitor's notices."),
                                        QStringLiteral("n"), QStringLiteral("1"));
  const QCommandLineOption delayOption(QStringLiteral("delay"),
                                       QStringLiteral("Milliseconds to block before answering."),
                                       QStringLiteral("ms"), QStringLiteral("0"));
  parser.addOptions({fleetOption, answerOption, delayOption});
  if (!parser.parse(QCoreApplication::arguments())) return Fail(2, parser.errorText());
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
  if (!parser.positionalArguments().isEmpty())
    return Fail(2, QStringLiteral("no positional arguments are taken"));

  bool answerOk = false;
  bool delayOk = false;
  const uint answer = parser.value(answerOption).toUInt(&answerOk);
  const int delayMs = parser.value(delayOption).toInt(&delayOk);
  if (!answerOk || !delayOk || delayMs < 0)
    return Fail(2, QStringLiteral("--answer and --delay take non-negative integers"));

  TStandinFleet fleet;
  if (parser.isSet(fleetOption)) {
    QString error;
    if (!LoadStandinFleet(parser.value(fleetOption), fleet, error)) return Fail(2, error);
  }

  // Held by the main thread until the program ends.
  const std::unique_ptr<TNamedMutex> mutex = TNamedMutex::Create(kMutexName);
  if (!mutex)
    return Fail(1, QStringLiteral("the mutex %1 cannot be opened").arg(QLatin1String(kMutexName)));
  if (mutex->Wait(0) != TMutexWait::Obtained)
    return Fail(
        1, QStringLiteral("another dispatcher holds the mutex %1").arg(QLatin1String(kMutexName)));

  TAutomationServer server;
  server.SetFleet(std::move(fleet));
  TStandinConsole console(server, answer, delayMs);
  TDBusWindow window(QString::fromLatin1(kWindowClass),
                     [&console](uint32_t code, const QByteArray& payload) {
                       return console.OnNotice(code, payload);
                     });
  if (!window.Register())
    return Fail(1, QStringLiteral("the window %1 is taken or there is no session bus")
                       .arg(QLatin1String(kWindowClass)));
  if (!server.Register(QDBusConnection::sessionBus()))
    return Fail(1, QStringLiteral("the automation server's name is taken"));

  QuitOnSignals(app);
  console.Start();
  TStandinConsole::Say(QStringLiteral("ready"));
  return app.exec();
}
