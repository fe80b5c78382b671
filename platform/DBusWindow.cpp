#include "platform/DBusWindow.h"
#include "platform/DBusCall.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>

#include <atomic>
#include <exception>

namespace {

constexpr const char* kHandlerFailed = "org.orvex.Error.Failed";

bool IsBusNameElement(const QString& text) {
  if (text.isEmpty() || text[0].isDigit()) return false;
  for (QChar c : text) {
    const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                    (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

// The object "/" of the window's own connection; Qt exports its public slots as the methods of
// the interface named below. It owns the connection and gives name, object and connection up
// when it is destroyed.
class TDBusWindow::TReceiver : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.orvex.Window")

public:
  TReceiver(THandler handler, QString busName, QString connectionName)
      : Handler(std::move(handler)),
        RegisteredName(std::move(busName)),
        ConnectionName(std::move(connectionName)) {}

  ~TReceiver() override {
    QDBusConnection bus(ConnectionName);
    bus.unregisterService(RegisteredName);
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    QDBusConnection::disconnectFromBus(ConnectionName);
  }

  bool Start() {
    QDBusConnection bus(ConnectionName);
    return bus.isConnected() &&
           bus.registerObject(QString::fromLatin1(kObjectPath), this,
                              QDBusConnection::ExportAllSlots) &&
           bus.registerService(RegisteredName);
  }

  // True while a CopyData of this window runs (nested ones included).
  bool Busy() const { return Depth > 0; }

public slots:
  uint CopyData(uint code, const QByteArray& payload) {
    if (!Handler) return 0;
    // The handler may end the window (the quit command does): the handler it runs is this
    // object's own copy, and the object outlives the call (see Unregister).
    ++Depth;
    uint answer = 0;
    // An exception must not unwind through the event loop; the sender sees a failed call
    // instead of an answer it could take for the handler's.
    try {
      answer = Handler(code, payload);
    } catch (const std::exception& e) {
      sendErrorReply(QString::fromLatin1(kHandlerFailed), QString::fromLocal8Bit(e.what()));
    } catch (...) {
      sendErrorReply(QString::fromLatin1(kHandlerFailed), QStringLiteral("handler failed"));
    }
    --Depth;
    return answer;
  }

private:
  const THandler Handler;
  const QString RegisteredName;
  const QString ConnectionName;
  int Depth = 0;
};

TDBusWindow::TDBusWindow(QString className, THandler handler)
    : WindowClassName(std::move(className)), Handler(std::move(handler)) {}

TDBusWindow::~TDBusWindow() {
  Unregister();
}

QString TDBusWindow::BusName(const QString& className) {
  if (!IsBusNameElement(className)) return {};
  return QString::fromLatin1(kBusNamePrefix) + className;
}

bool TDBusWindow::Register() {
  if (Receiver) return true;
  const QString busName = BusName(WindowClassName);
  if (busName.isEmpty()) return false;

  static std::atomic<unsigned> serial{0};
  const QString connectionName =
      QStringLiteral("orvex-window-%1-%2").arg(WindowClassName).arg(serial.fetch_add(1));
  QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
  auto receiver = std::make_unique<TReceiver>(Handler, busName, connectionName);
  if (!receiver->Start()) return false;  // the receiver's destructor undoes what was done
  Receiver = std::move(receiver);
  return true;
}

void TDBusWindow::Unregister() {
  if (!Receiver) return;
  // Inside the window's own handler the answer is still to be sent on the window's
  // connection: the receiver goes once the event loop is back.
  if (Receiver->Busy())
    Receiver.release()->deleteLater();
  else
    Receiver.reset();
}

bool TDBusWindow::IsRegistered() const {
  return Receiver != nullptr;
}

bool TDBusWindow::FindWindow(const QString& className) {
  const QString busName = BusName(className);
  if (busName.isEmpty()) return false;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  return NameHasOwner(bus, busName, kDefaultTimeoutMs);
}

bool TDBusWindow::SendCopyData(const QString& className, uint32_t code, const QByteArray& payload,
                               int timeoutMs, uint32_t* result) {
  if (result != nullptr) *result = 0;
  const QString busName = BusName(className);
  if (busName.isEmpty()) return false;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;

  QDBusMessage call =
      QDBusMessage::createMethodCall(busName, QString::fromLatin1(kObjectPath),
                                     QString::fromLatin1(kInterface), QString::fromLatin1(kMethod));
  // A window is looked up, never started: a missing one fails at once.
  call.setAutoStartService(false);
  call << QVariant::fromValue(static_cast<uint>(code)) << QVariant::fromValue(payload);
  const QDBusMessage reply = CallAndWait(bus, call, timeoutMs > 0 ? timeoutMs : kDefaultTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("u"))
    return false;
  if (result != nullptr) *result = reply.arguments().at(0).toUInt();
  return true;
}

#include "DBusWindow.moc"
