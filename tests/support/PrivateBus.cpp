#include "support/PrivateBus.h"

#include "support/StandinProcess.h"

#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

TPrivateBus::TPrivateBus(const QString& folder, const QString& serviceFolder)
    : Folder(folder), ServiceFolder(serviceFolder),
      BusAddress(QLatin1String("unix:path=") + QDir(folder).filePath(QStringLiteral("bus"))) {}

TPrivateBus::~TPrivateBus() {
  if (Daemon.state() == QProcess::NotRunning) return;
  Daemon.terminate();
  if (!Daemon.waitForFinished(5000)) Daemon.kill();
  Daemon.waitForFinished(5000);
}

bool TPrivateBus::Start(int timeoutMs) {
  const QByteArray config =
      "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
      "<busconfig>\n"
      "  <type>session</type>\n"
      "  <listen>" + BusAddress.toUtf8() + "</listen>\n"
      "  <auth>EXTERNAL</auth>\n"
      "  <servicedir>" + ServiceFolder.toUtf8() + "</servicedir>\n"
      "  <policy context=\"default\">\n"
      "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
      "    <allow eavesdrop=\"true\"/>\n"
      "    <allow own=\"*\"/>\n"
      "  </policy>\n"
      "</busconfig>\n";
  const QString configPath = QDir(Folder).filePath(QStringLiteral("bus.conf"));
  QFile file(configPath);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(config) != config.size()) return false;
  file.close();

  // A service the bus starts takes the bus it was started by as its session bus.
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), BusAddress);
  Daemon.setProcessEnvironment(environment);
  Daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  Daemon.start(QStringLiteral("dbus-daemon"), {QLatin1String("--config-file=") + configPath,
                                              QStringLiteral("--nofork"), QStringLiteral("--print-address")});
  if (!Daemon.waitForStarted(timeoutMs)) return false;
  return SpinUntil([this] { return Daemon.canReadLine(); }, timeoutMs);
}

uint TPrivateBus::OwnerPid(const QDBusConnection& bus, const QString& name) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
  call << name;
  return bus.call(call).arguments().value(0).toUInt();
}
