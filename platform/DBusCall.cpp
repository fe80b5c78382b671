#include "platform/DBusCall.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

// How long past the bus's own time-out the wait still hopes for the bus's answer.
constexpr int kGraceMs = 1000;
// The pace at which a worker thread looks at its call; a call is rare and short.
constexpr int kWorkerPollMs = 2;
// The main thread's look at its call between the events it serves meanwhile.
constexpr int kMainRecheckMs = 20;

bool OnMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace

bool WaitForCall(const QDBusPendingCall& pending, int timeoutMs) {
  if (pending.isFinished()) return true;
  QDeadlineTimer deadline(timeoutMs + kGraceMs);
  if (OnMainThread()) {
    QEventLoop loop;
    QDBusPendingCallWatcher watcher(pending);
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    // The loop is left when the answer is there, and looks at the call again every little
    // while: a finished call whose signal came before the loop ran (or never came) is seen all
    // the same.
    while (!pending.isFinished() && !deadline.hasExpired()) {
      bound.start(static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, kMainRecheckMs)));
      loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
  } else {
    while (!pending.isFinished() && !deadline.hasExpired()) QThread::msleep(kWorkerPollMs);
  }
  return pending.isFinished();
}

void WhenCallFinished(const QDBusPendingCall& pending, int timeoutMs, QObject* context,
                      std::function<void(bool finished)> done) {
  auto* watcher = new QDBusPendingCallWatcher(pending);
  auto* bound = new QTimer(watcher);
  bound->setSingleShot(true);
  // The first of the answer and the bound ends the wait; the other finds nothing left to do.
  auto once = std::make_shared<std::function<void(bool)>>(std::move(done));
  auto finish = [watcher, bound, once] {
    bound->stop();
    watcher->deleteLater();
    std::function<void(bool)> callback = std::move(*once);
    *once = nullptr;
    if (callback) callback(watcher->isFinished());
  };
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, finish);
  QObject::connect(bound, &QTimer::timeout, context, finish);
  // A wait whose context went ends with it.
  QObject::connect(context, &QObject::destroyed, watcher, &QObject::deleteLater);
  bound->start(timeoutMs + kGraceMs);
}

QDBusMessage CallAndWait(const QDBusConnection& bus, const QDBusMessage& call, int timeoutMs) {
  QDBusPendingCall pending = bus.asyncCall(call, timeoutMs);
  if (!WaitForCall(pending, timeoutMs))
    return call.createErrorReply(QDBusError::NoReply,
                                 QStringLiteral("no answer within %1 ms").arg(timeoutMs + kGraceMs));
  return pending.reply();
}

bool NameHasOwner(const QDBusConnection& bus, const QString& name, int timeoutMs) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
  call << name;
  const QDBusMessage reply = CallAndWait(bus, call, timeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage && reply.signature() == QLatin1String("b") &&
         reply.arguments().at(0).toBool();
}
