#pragma once
// Top-level windows as the monitor and the dispatcher program see each other on this desktop:
// a window is found by its class name alone, and it is sent the copied-data message, a 32-bit
// code with a block of bytes, synchronously, its handler's 32-bit result being the answer.
//
// On the session bus a window of class C is the name "org.orvex.window.C" with the object "/"
// serving the interface "org.orvex.Window", method CopyData(u code, ay payload) -> u result.
// The payload travels as the bytes it is (code page 1251 text, NULs, packed records): nothing
// converts it. "The window is there" means that its name has an owner.
//
// Each registered window has a bus connection of its own, so that two windows of one process
// (a test playing both sides, say) each get their own "/" object.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class TDBusWindow {
public:
  using THandler = std::function<uint32_t(uint32_t code, const QByteArray& payload)>;

  static constexpr const char* kBusNamePrefix = "org.orvex.window.";
  static constexpr const char* kObjectPath = "/";
  static constexpr const char* kInterface = "org.orvex.Window";
  static constexpr const char* kMethod = "CopyData";
  // A sender that gives no bound of its own waits this long for the answer.
  static constexpr int kDefaultTimeoutMs = 5000;

  // Nothing is on the bus until Register. An empty handler answers every message with 0. The
  // handler runs on the thread that registered the window, from its event loop.
  TDBusWindow(QString className, THandler handler);
  ~TDBusWindow();
  TDBusWindow(const TDBusWindow&) = delete;
  TDBusWindow& operator=(const TDBusWindow&) = delete;

  // Takes the window's name on the session bus and starts serving CopyData. False when the
  // class name cannot be a bus name, there is no session bus, or another window already has
  // the name (it is never taken over nor queued for).
  bool Register();
  // Gives the name up; the window can be registered again later. Inside the window's own
  // handler the name goes once the answer is on its way and the event loop is back.
  void Unregister();
  bool IsRegistered() const;
  const QString& ClassName() const { return WindowClassName; }

  // "org.orvex.window.<className>", or empty when the class name is not a valid bus name
  // element (letters, digits, "_" and "-", not starting with a digit, not empty).
  static QString BusName(const QString& className);

  // True when a window of that class is registered by anyone right now; false also when the
  // bus does not answer within kDefaultTimeoutMs.
  static bool FindWindow(const QString& className);

  // Sends the copied-data message to the window of that class and waits for its answer, at
  // most timeoutMs (kDefaultTimeoutMs when timeoutMs <= 0). True when the answer arrived, with
  // it in *result; false when no window has the class, the wait ran out or the peer failed,
  // with *result 0. On the application's main thread the wait keeps serving incoming calls
  // (a peer that calls this process back before it answers is answered), excluding user input;
  // on other threads it simply blocks.
  static bool SendCopyData(const QString& className, uint32_t code, const QByteArray& payload,
                           int timeoutMs, uint32_t* result);

private:
  class TReceiver;
  QString WindowClassName;
  THandler Handler;
  std::unique_ptr<TReceiver> Receiver;
};
