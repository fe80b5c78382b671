#include "platform/TrayIcon.h"

#include "common/Text.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

#include <algorithm>

namespace {

// The tray record of the other OS holds fixed-size, NUL-terminated texts: a text ends at its
// first NUL byte and is cut to the room of its field.
std::string CutText(const std::string& text, size_t room) {
  return text.substr(0, std::min(text.find('\0'), room));
}

// Balloon texts use "\r\n" line ends; the desktop wants "\n".
QString BalloonString(const std::string& text) {
  QString shown = QStringFromCp1251(text);
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

}  // namespace

// The icons live in a static library: naming the resource makes the linker keep it. (The
// macro declares a function and must stand outside any namespace.)
static void LoadTrayResources() { Q_INIT_RESOURCE(TrayIcons); }

QSystemTrayIcon::MessageIcon TTrayIcon::BalloonMessageIcon(uint32_t infoFlags) {
  switch (infoFlags) {
    case kBalloonInfo: return QSystemTrayIcon::Information;
    case kBalloonWarning: return QSystemTrayIcon::Warning;
    case kBalloonError: return QSystemTrayIcon::Critical;
    default: return QSystemTrayIcon::NoIcon;
  }
}

TTrayIcon::TTrayIcon() { LoadTrayResources(); }

TTrayIcon::~TTrayIcon() {
  if (Tray) Tray->hide();
}

QIcon TTrayIcon::IconImage(int iconNumber) {
  QIcon icon;
  switch (iconNumber) {
    case kIconModemClosed:
      icon.addFile(QStringLiteral(":/tray/icons/104-16.png"), QSize(16, 16));
      icon.addFile(QStringLiteral(":/tray/icons/104-32.png"), QSize(32, 32));
      icon.addFile(QStringLiteral(":/tray/icons/104-48.png"), QSize(48, 48));
      break;
    case kIconUnread: icon.addFile(QStringLiteral(":/tray/icons/105-32.png"), QSize(32, 32)); break;
    case kIconModemOpen: icon.addFile(QStringLiteral(":/tray/icons/106-32.png"), QSize(32, 32)); break;
    default: break;
  }
  return icon;
}

bool TTrayIcon::HasSystemTray() const {
  return Tray && Tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool TTrayIcon::AddTrayIcon(int iconNumber, const std::string& tip) {
  // Without a widget application there is nothing to show the icon with; the state is kept.
  if (!Tray && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    Tray = std::make_unique<QSystemTrayIcon>();
    QObject::connect(Tray.get(), &QSystemTrayIcon::messageClicked, Tray.get(), [this] { BalloonClicked(); });
    Tray->setContextMenu(Menu);
  }
  Added = true;
  SetTrayIcon(iconNumber, tip);
  if (Tray) Tray->show();
  return true;
}

void TTrayIcon::SetTrayIcon(int iconNumber, const std::string& tip) {
  if (!IconImage(iconNumber).isNull()) CurrentIcon = iconNumber;  // a failed load keeps the look
  CurrentTip = CutText(tip, kTipLength);
  ShowLook();
}

void TTrayIcon::ShowLook() {
  if (!Tray || !Added) return;
  const QIcon icon = IconImage(CurrentIcon);
  if (!icon.isNull()) Tray->setIcon(icon);
  Tray->setToolTip(QStringFromCp1251(CurrentTip));
}

void TTrayIcon::RemoveTrayIcon() {
  HideTrayBalloon();
  Added = false;
  if (Tray) Tray->hide();
}

void TTrayIcon::ShowTrayBalloon(const std::string& title, const std::string& text, uint32_t timeoutMs,
                                uint32_t infoFlags) {
  Balloon.Title = CutText(title, kBalloonTitleLength);
  Balloon.Text = CutText(text, kBalloonTextLength);
  Balloon.TimeoutMs = timeoutMs;
  Balloon.InfoFlags = infoFlags;
  if (Balloon.Title.empty() && Balloon.Text.empty()) {
    HideTrayBalloon();  // a balloon without text is no balloon: the tray takes it as a hide
    return;
  }
  BalloonShown = Added;
  if (Tray && Added) {
    const int msecs = timeoutMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(timeoutMs);
    Tray->showMessage(BalloonString(Balloon.Title), BalloonString(Balloon.Text), BalloonMessageIcon(infoFlags), msecs);
  }
}

void TTrayIcon::HideTrayBalloon() {
  BalloonShown = false;
  // Where the balloon is a widget of our own process (a tray without a notification service)
  // it can be taken down here; a desktop notification goes when its time-out ends.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible() && qstrcmp(widget->metaObject()->className(), "QBalloonTip") == 0) widget->hide();
}

void TTrayIcon::SetPopupMenu(QMenu* menu) {
  Menu = menu;
  if (Tray) Tray->setContextMenu(menu);
}

void TTrayIcon::SetBalloonClickHandler(std::function<void()> handler) { BalloonClickHandler = std::move(handler); }

void TTrayIcon::BalloonClicked() {
  if (!BalloonShown) return;
  BalloonShown = false;  // a clicked balloon closes
  if (BalloonClickHandler) BalloonClickHandler();
}
