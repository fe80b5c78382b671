#include "platform/DispatcherAutomation.h"
#include "platform/DBusCall.h"

#include <QDBusMessage>
#include <QTimer>

namespace {

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");

QDBusMessage OwnerQuery() {
  QDBusMessage query =
      QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, QStringLiteral("NameHasOwner"));
  query << QString::fromLatin1(TDispatcherAutomation::kServiceName);
  return query;
}

// The bus starts the server from its service file and answers once the server owns its name
// (1), or at once when someone took the name meanwhile (2).
QDBusMessage StartRequest() {
  QDBusMessage start =
      QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, QStringLiteral("StartServiceByName"));
  start << QString::fromLatin1(TDispatcherAutomation::kServiceName) << QVariant::fromValue(0u);
  return start;
}

QString ErrorOf(const QDBusMessage& reply) { return reply.errorName() + QLatin1String(": ") + reply.errorMessage(); }

}  // namespace

TDispatcherAutomation::TDispatcherAutomation(QDBusConnection connection)
    : Connection(std::move(connection)) {}

TDispatcherAutomation::~TDispatcherAutomation() {
  Disconnect();
}

bool TDispatcherAutomation::TakeOwnerAnswer(const QDBusMessage& reply, bool& owned) {
  if (reply.type() != QDBusMessage::ReplyMessage) return Fail(ErrorOf(reply));
  if (reply.signature() != QLatin1String("b"))
    return Fail(QStringLiteral("NameHasOwner answered \"%1\"").arg(reply.signature()));
  owned = reply.arguments().at(0).toBool();
  return true;
}

bool TDispatcherAutomation::Linked() {
  Connected = true;
  LastErrorText.clear();
  return true;
}

bool TDispatcherAutomation::Connect() {
  if (Connected) return true;
  if (!Connection.isConnected()) return Fail(QStringLiteral("no session bus"));
  bool owned = false;
  if (!TakeOwnerAnswer(CallAndWait(Connection, OwnerQuery(), kCallTimeoutMs), owned)) return false;
  if (!owned) {
    const QDBusMessage reply = CallAndWait(Connection, StartRequest(), kStartTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) return Fail(ErrorOf(reply));
  }
  return Linked();
}

void TDispatcherAutomation::BeginConnect(std::function<void(bool linked)> done) {
  // The outcome always comes from the event loop, never from inside this call.
  auto report = [this, done](bool linked) { QTimer::singleShot(0, this, [done, linked] { done(linked); }); };
  if (Connected) return report(true);
  if (!Connection.isConnected()) return report(Fail(QStringLiteral("no session bus")));
  const QDBusPendingCall query = Connection.asyncCall(OwnerQuery(), kCallTimeoutMs);
  WhenCallFinished(query, kCallTimeoutMs, this, [this, query, done](bool finished) {
    bool owned = false;
    if (!finished) return done(Fail(QStringLiteral("NameHasOwner got no answer")));
    if (!TakeOwnerAnswer(query.reply(), owned)) return done(false);
    if (owned) return done(Linked());
    const QDBusPendingCall start = Connection.asyncCall(StartRequest(), kStartTimeoutMs);
    WhenCallFinished(start, kStartTimeoutMs, this, [this, start, done](bool started) {
      if (!started) return done(Fail(QStringLiteral("StartServiceByName got no answer")));
      if (start.reply().type() != QDBusMessage::ReplyMessage) return done(Fail(ErrorOf(start.reply())));
      done(Linked());
    });
  });
}

void TDispatcherAutomation::Disconnect() {
  Unadvise();
  Connected = false;
}

bool TDispatcherAutomation::Fail(const QString& error) {
  LastErrorText = error;
  return false;
}

QDBusMessage TDispatcherAutomation::MethodCall(const char* method,
                                              const QVariantList& arguments) const {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath),
      QString::fromLatin1(kInterface), QString::fromLatin1(method));
  // A dispatcher that went away is not started again behind the link's back.
  call.setAutoStartService(false);
  call.setArguments(arguments);
  return call;
}

bool TDispatcherAutomation::CheckReply(const QDBusMessage& reply, const char* method,
                                       const char* replySignature, QVariant* value) {
  if (reply.type() != QDBusMessage::ReplyMessage)
    return Fail(reply.errorName() + QLatin1String(": ") + reply.errorMessage());
  if (reply.signature() != QLatin1String(replySignature))
    return Fail(QStringLiteral("%1 answered \"%2\" where \"%3\" was expected")
                    .arg(QLatin1String(method), reply.signature(), QLatin1String(replySignature)));
  if (value != nullptr) *value = reply.arguments().value(0);
  return true;
}

bool TDispatcherAutomation::Call(const char* method, const QVariantList& arguments,
                                 const char* replySignature, QVariant* value) {
  if (!Connected) return Fail(QStringLiteral("not linked to the dispatcher"));
  const QDBusMessage reply = CallAndWait(Connection, MethodCall(method, arguments), kCallTimeoutMs);
  return CheckReply(reply, method, replySignature, value);
}

QDBusPendingCall TDispatcherAutomation::Send(const char* method, const QVariantList& arguments) {
  if (!Connected)
    return QDBusPendingCall::fromError(
        QDBusError(QDBusError::Disconnected, QStringLiteral("not linked to the dispatcher")));
  return Connection.asyncCall(MethodCall(method, arguments), kCallTimeoutMs);
}

void TDispatcherAutomation::Wait(const QDBusPendingCall& call) {
  WaitForCall(call, kCallTimeoutMs);
}

bool TDispatcherAutomation::Take(const QDBusPendingCall& call, const char* method,
                                 const char* replySignature, QVariant* value) {
  Wait(call);
  if (!call.isFinished()) return Fail(QStringLiteral("%1 got no answer").arg(QLatin1String(method)));
  return CheckReply(call.reply(), method, replySignature, value);
}

bool TDispatcherAutomation::TakeVoid(const QDBusPendingCall& call, const char* method) {
  return Take(call, method, "", nullptr);
}

bool TDispatcherAutomation::TakeInt(const QDBusPendingCall& call, const char* method,
                                    int32_t& value) {
  QVariant answer;
  if (!Take(call, method, "i", &answer)) return false;
  value = answer.toInt();
  return true;
}

bool TDispatcherAutomation::TakeText(const QDBusPendingCall& call, const char* method,
                                     QString& value) {
  QVariant answer;
  if (!Take(call, method, "s", &answer)) return false;
  value = answer.toString();
  return true;
}

bool TDispatcherAutomation::GetInt(const char* method, int32_t& value) {
  QVariant answer;
  if (!Call(method, {}, "i", &answer)) return false;
  value = answer.toInt();
  return true;
}

bool TDispatcherAutomation::GetText(const char* method, QString& value) {
  QVariant answer;
  if (!Call(method, {}, "s", &answer)) return false;
  value = answer.toString();
  return true;
}

bool TDispatcherAutomation::get_GroupsNum(int32_t& count) {
  return GetInt("get_GroupsNum", count);
}

bool TDispatcherAutomation::SelectGroup(int32_t group) {
  return Call("SelectGroup", {QVariant::fromValue(static_cast<int>(group))}, "", nullptr);
}

bool TDispatcherAutomation::get_GroupCarsNum(int32_t& count) {
  return GetInt("get_GroupCarsNum", count);
}

bool TDispatcherAutomation::SelectCar(int32_t car) {
  return Call("SelectCar", {QVariant::fromValue(static_cast<int>(car))}, "", nullptr);
}

bool TDispatcherAutomation::get_GroupName(QString& name) {
  return GetText("get_GroupName", name);
}

bool TDispatcherAutomation::get_CarDevice(int32_t& device) {
  return GetInt("get_CarDevice", device);
}

bool TDispatcherAutomation::get_CarModel(QString& model) {
  return GetText("get_CarModel", model);
}

bool TDispatcherAutomation::get_CarAlias(QString& alias) {
  return GetText("get_CarAlias", alias);
}

bool TDispatcherAutomation::get_CarTelNum(QString& phone) {
  return GetText("get_CarTelNum", phone);
}

bool TDispatcherAutomation::get_CarHandle(QString& handle) {
  return GetText("get_CarHandle", handle);
}

bool TDispatcherAutomation::Advise(TEventHandler handler) {
  if (!Connected) return Fail(QStringLiteral("not linked to the dispatcher"));
  Handler = std::move(handler);
  if (Advised) return true;
  Advised =
      Connection.connect(QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath),
                          QString::fromLatin1(kEventsInterface), QString::fromLatin1(kEventSignal),
                          this, SLOT(OnInvoke(int)));
  if (!Advised) {
    Handler = nullptr;
    return Fail(QStringLiteral("the bus refused the subscription to the dispatcher's events"));
  }
  // The bus handles our messages in order: once it has answered this, the subscription is in
  // force, and an event sent after Advise returns is not missed.
  if (!NameHasOwner(Connection, QString::fromLatin1(kServiceName), kCallTimeoutMs)) {
    Unadvise();
    return Fail(QStringLiteral("the dispatcher is not running"));
  }
  return true;
}

void TDispatcherAutomation::Unadvise() {
  if (Advised) {
    Connection.disconnect(QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath),
                           QString::fromLatin1(kEventsInterface), QString::fromLatin1(kEventSignal),
                           this, SLOT(OnInvoke(int)));
  }
  Advised = false;
  Handler = nullptr;
}

void TDispatcherAutomation::OnInvoke(int dispId) {
  // The handler may end the link (event 203 does): it runs from a copy.
  TEventHandler handler = Handler;
  if (handler) handler(dispId);
}
