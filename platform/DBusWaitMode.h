#pragma once
// How a synchronous D-Bus call of ours waits for its answer. On the application's main thread
// the wait runs a local event loop that keeps serving incoming calls (user input excluded), so
// that a peer that calls us back before it answers is answered instead of both waiting until
// their time-outs; that is the way a thread waiting in a sent window message still handles the
// messages sent to it. On any other thread the call just blocks.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QThread>

inline QDBus::CallMode DBusWaitMode() {
  QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread() ? QDBus::BlockWithGui
                                                                     : QDBus::Block;
}
