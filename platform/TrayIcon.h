#pragma once
// The program's one icon in the notification area, with its tip, its balloon and its menu.
//
// The icon is chosen by number: 104 the grey telephone (modem closed, the program's own icon),
// 105 the red one (unread messages wait), 106 the green one (modem open). Texts come in as code
// page 1251 and are cut as the tray record of the other OS holds them, in bytes: the tip to
// 127, the balloon text to 255, the balloon title to 63; then they are converted for display.
//
// The object keeps what it shows also where no notification area exists (a bare session, the
// offscreen platform of the tests, a program started without a QApplication), so the program
// runs the same and its state can be read. A balloon counts as shown until HideTrayBalloon:
// the caller runs the balloon timer. This unit is the only one in platform/ that uses widgets.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QSystemTrayIcon>

class QIcon;
class QMenu;

class TTrayIcon {
public:
  static constexpr int kIconModemClosed = 104;
  static constexpr int kIconUnread = 105;
  static constexpr int kIconModemOpen = 106;

  static constexpr size_t kTipLength = 127;
  static constexpr size_t kBalloonTextLength = 255;
  static constexpr size_t kBalloonTitleLength = 63;

  // Balloon icons ("info flags"): anything else shows no icon.
  static constexpr uint32_t kBalloonInfo = 1;
  static constexpr uint32_t kBalloonWarning = 2;
  static constexpr uint32_t kBalloonError = 3;

  struct TBalloon {
    std::string Title;  // code page 1251, already cut
    std::string Text;   // code page 1251, already cut
    uint32_t TimeoutMs = 0;
    uint32_t InfoFlags = 0;
  };

  TTrayIcon();
  ~TTrayIcon();
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  // Shows the icon with the given look; answers true.
  bool AddTrayIcon(int iconNumber, const std::string& tip);
  // Changes icon and tip. A balloon on screen stays. An unknown icon number keeps the icon.
  void SetTrayIcon(int iconNumber, const std::string& tip);
  // Takes the icon (and any balloon) off the screen.
  void RemoveTrayIcon();
  // Shows a balloon over the icon; `timeoutMs` is also passed to the desktop, which may take
  // the balloon down by itself at that time.
  void ShowTrayBalloon(const std::string& title, const std::string& text, uint32_t timeoutMs, uint32_t infoFlags);
  void HideTrayBalloon();

  // The menu that a right click on the icon opens (borrowed; null for none).
  void SetPopupMenu(QMenu* menu);
  // Run when the user clicks the balloon while it is shown.
  void SetBalloonClickHandler(std::function<void()> handler);
  // What the desktop's balloon-clicked notice leads to; a click on a balloon that was taken
  // down already (a desktop notice that outlived it) is ignored.
  void BalloonClicked();

  // What the icon shows.
  bool IsAdded() const { return Added; }
  int IconNumber() const { return CurrentIcon; }
  const std::string& Tip() const { return CurrentTip; }
  bool IsBalloonShown() const { return BalloonShown; }
  const TBalloon& LastBalloon() const { return Balloon; }
  QMenu* PopupMenu() const { return Menu; }
  // True when a notification area of the desktop shows the icon.
  bool HasSystemTray() const;

  // The Qt icon that shows all this; null while the icon was never added or where no widget
  // application runs.
  QSystemTrayIcon* SystemTrayIcon() const { return Tray.get(); }

  // The image of an icon number; a null icon for a number without one.
  static QIcon IconImage(int iconNumber);
  // The desktop's balloon icon for the info flags.
  static QSystemTrayIcon::MessageIcon BalloonMessageIcon(uint32_t infoFlags);

private:
  void ShowLook();

  std::unique_ptr<QSystemTrayIcon> Tray;
  QMenu* Menu = nullptr;
  std::function<void()> BalloonClickHandler;
  bool Added = false;
  int CurrentIcon = 0;
  std::string CurrentTip;
  bool BalloonShown = false;
  TBalloon Balloon;
};
