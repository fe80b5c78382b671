#pragma once
// A synchronous D-Bus call of ours, and how it waits for its answer. On the application's main
// thread the wait runs a local event loop that keeps serving incoming calls (user input
// excluded), so that a peer that calls us back before it answers is answered instead of both
// waiting until their time-outs; that is the way a thread waiting in a sent window message
// still handles the messages sent to it. On any other thread the call just blocks.
//
// Every wait is bounded by our own clock. The bus ends a call with a time-out error after its
// time-out, but the library's own blocking waits depend on that error reaching the waiting
// thread, and under load it was seen not to (a call that waited forever, its peer idle): here
// the wait ends at the time-out plus a short grace whatever the library does.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QString>

#include <functional>

class QObject;

// The answer to `call` (a method call), or an error message: the peer's error, the bus's, or
// "org.freedesktop.DBus.Error.NoReply" when nothing came within timeoutMs (plus the grace).
QDBusMessage CallAndWait(const QDBusConnection& bus, const QDBusMessage& call, int timeoutMs);

// Waits for a call sent with asyncCall(call, timeoutMs) in the same way; true when it finished.
bool WaitForCall(const QDBusPendingCall& pending, int timeoutMs);

// The same wait without waiting here: `done` runs later, from the event loop of the thread of
// `context`, with true once the call finished or false once timeoutMs (plus the grace) passed
// without an answer. Nothing runs once `context` is gone.
void WhenCallFinished(const QDBusPendingCall& pending, int timeoutMs, QObject* context,
                      std::function<void(bool finished)> done);

// Whether the bus name has an owner right now; false too when the bus does not answer within
// timeoutMs.
bool NameHasOwner(const QDBusConnection& bus, const QString& name, int timeoutMs);
