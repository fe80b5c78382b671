#pragma once
// The monitor's side of the dispatcher's automation server: the ten operations over which it
// reads the dispatcher's vehicle groups and vehicles, and the dispatcher's events.
//
// On the session bus the server is the name "org.orvex.OrvexAutomation", object
// "/OrvexAutomation", interface "org.orvex.IOrvexAutomation"; a failing operation is an error
// reply. The events are the signal Invoke(i dispId) of the interface
// "org.orvex.IOrvexAutomationEvents" on the same object: 201 when the dispatcher's group list
// changed, 203 when the dispatcher ends the link. When no server runs, Connect asks the bus to
// start one (service activation), as creating the automation class starts the dispatcher.

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class TDispatcherAutomation : public QObject {
  Q_OBJECT

public:
  static constexpr const char* kServiceName = "org.orvex.OrvexAutomation";
  static constexpr const char* kObjectPath = "/OrvexAutomation";
  static constexpr const char* kInterface = "org.orvex.IOrvexAutomation";
  static constexpr const char* kEventsInterface = "org.orvex.IOrvexAutomationEvents";
  static constexpr const char* kEventSignal = "Invoke";
  static constexpr int32_t kEventFleetChanged = 201;
  static constexpr int32_t kEventLinkEnds = 203;
  // Bound of each operation's wait, and of the wait for a server being started.
  static constexpr int kCallTimeoutMs = 5000;
  static constexpr int kStartTimeoutMs = 25000;

  using TEventHandler = std::function<void(int32_t dispId)>;

  explicit TDispatcherAutomation(QDBusConnection connection = QDBusConnection::sessionBus());
  ~TDispatcherAutomation() override;

  // Links to the server: the one that runs, or one the bus starts for its name. False, with
  // LastError, when there is none and none could be started. Linking again is a no-op.
  bool Connect();
  // The same without waiting: `done` runs later, from the event loop, with the outcome (and
  // LastError on failure). Nothing runs once the object is gone.
  void BeginConnect(std::function<void(bool linked)> done);
  // Ends the link: the event handler is dropped and the operations fail until Connect.
  void Disconnect();
  bool IsConnected() const { return Connected; }

  // The operations; each is true on success, false with LastError on failure (no link, no
  // server, an error reply, a reply of the wrong type, no answer within kCallTimeoutMs).
  // Group and vehicle numbers are 1-based; SelectCar selects within the current group.
  bool get_GroupsNum(int32_t& count);
  bool SelectGroup(int32_t group);
  bool get_GroupCarsNum(int32_t& count);
  bool SelectCar(int32_t car);
  bool get_GroupName(QString& name);
  bool get_CarDevice(int32_t& device);
  bool get_CarModel(QString& model);
  bool get_CarAlias(QString& alias);
  bool get_CarTelNum(QString& phone);
  bool get_CarHandle(QString& handle);

  // The same operations with several calls in flight together: Send* sends a call without
  // waiting, Take* waits for its answer (bounded by kCallTimeoutMs, serving incoming calls on
  // the main thread as the operations above do) and checks it as they do. The dispatcher
  // handles the calls of one link in the order they were sent, so a getter sent after a
  // selection answers for that selection. A call sent while not linked fails when taken.
  QDBusPendingCall Send(const char* method, const QVariantList& arguments = {});
  // Waits for the answer of a call without taking it. As answers come in the order the calls
  // went out, waiting for the last of several lets the others be taken without a wait.
  void Wait(const QDBusPendingCall& call);
  bool TakeVoid(const QDBusPendingCall& call, const char* method);
  bool TakeInt(const QDBusPendingCall& call, const char* method, int32_t& value);
  bool TakeText(const QDBusPendingCall& call, const char* method, QString& value);

  // The error of the last failing call: the D-Bus error name, ": " and its message.
  const QString& LastError() const { return LastErrorText; }

  // Subscribes to the events of the linked server; the handler runs on this object's thread
  // for every Invoke, whatever its id (the caller picks the ids it acts on). A new Advise
  // replaces the handler. Every event sent after Advise returned reaches the handler. False
  // when not linked, when the server no longer runs or the bus refuses the subscription.
  bool Advise(TEventHandler handler);
  void Unadvise();
  bool IsAdvised() const { return Advised; }

private slots:
  void OnInvoke(int dispId);

private:
  bool Call(const char* method, const QVariantList& arguments, const char* replySignature,
            QVariant* value);
  // Reads the bus's answer whether the server's name has an owner.
  bool TakeOwnerAnswer(const QDBusMessage& reply, bool& owned);
  // Marks the link made; true.
  bool Linked();
  bool GetInt(const char* method, int32_t& value);
  bool GetText(const char* method, QString& value);
  bool Fail(const QString& error);
  bool Take(const QDBusPendingCall& call, const char* method, const char* replySignature,
            QVariant* value);
  bool CheckReply(const QDBusMessage& reply, const char* method, const char* replySignature,
                  QVariant* value);
  QDBusMessage MethodCall(const char* method, const QVariantList& arguments) const;

  QDBusConnection Connection;
  bool Connected = false;
  bool Advised = false;
  TEventHandler Handler;
  QString LastErrorText;
};
