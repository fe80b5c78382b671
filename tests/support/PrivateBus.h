#pragma once
// A session bus of a test's own: a dbus-daemon that listens in a folder of the test and starts
// services from one service folder, so that bus activation can be tried without the machine's
// session bus.

#include <QDBusConnection>
#include <QProcess>
#include <QString>

class TPrivateBus {
 public:
  // The bus listens at `folder`/bus and takes its service files from `serviceFolder`.
  TPrivateBus(const QString& folder, const QString& serviceFolder);
  // Ends the daemon.
  ~TPrivateBus();
  TPrivateBus(const TPrivateBus&) = delete;
  TPrivateBus& operator=(const TPrivateBus&) = delete;

  // Starts the daemon; true once it serves (it has printed its address) within `timeoutMs`.
  bool Start(int timeoutMs);
  const QString& Address() const { return BusAddress; }

  // The process id of the program that owns `name` on `bus`; 0 when nobody does.
  static uint OwnerPid(const QDBusConnection& bus, const QString& name);

 private:
  QString Folder;
  QString ServiceFolder;
  QString BusAddress;
  QProcess Daemon;
};
