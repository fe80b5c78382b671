#include "platform/TrayIcon.h"

#include "common/Text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QMenu>

#include <memory>

namespace {

class TrayIconTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (QApplication::instance() == nullptr) App = std::make_unique<QApplication>(Argc, Argv);
  }
  static void TearDownTestSuite() { App.reset(); }

  static int Argc;
  static char ArgZero[];
  static char* Argv[];
  static std::unique_ptr<QApplication> App;

  TTrayIcon Tray;
};

int TrayIconTest::Argc = 1;
char TrayIconTest::ArgZero[] = "TrayIconTest";
char* TrayIconTest::Argv[] = {ArgZero, nullptr};
std::unique_ptr<QApplication> TrayIconTest::App;

// The average colour of the opaque pixels of an icon at 32 px.
QColor MeanColour(const QIcon& icon) {
  const QImage image = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
  long red = 0, green = 0, blue = 0, count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.alpha() < 200) continue;
      red += pixel.red();
      green += pixel.green();
      blue += pixel.blue();
      ++count;
    }
  if (count == 0) return QColor();
  return QColor(int(red / count), int(green / count), int(blue / count));
}

TEST_F(TrayIconTest, IconNumbersShowTheirTelephones) {
  struct Case {
    int number;
    const char* look;
    bool (*colourFits)(const QColor&);
  };
  const Case cases[] = {
      {104, "grey", [](const QColor& c) { return std::abs(c.red() - c.green()) < 25 && std::abs(c.green() - c.blue()) < 25; }},
      {105, "red", [](const QColor& c) { return c.red() > c.green() + 60 && c.red() > c.blue() + 60; }},
      {106, "green", [](const QColor& c) { return c.green() > c.red() + 40 && c.green() > c.blue() + 40; }},
  };
  for (const Case& c : cases) {
    const QIcon icon = TTrayIcon::IconImage(c.number);
    ASSERT_FALSE(icon.isNull()) << c.number;
    const QColor colour = MeanColour(icon);
    ASSERT_TRUE(colour.isValid()) << c.number << " has no opaque pixels";
    EXPECT_TRUE(c.colourFits(colour)) << c.number << " should be " << c.look << ", is " << colour.name().toStdString();
  }
  // The program's own icon comes in the three sizes of the desktop.
  for (int size : {16, 32, 48}) EXPECT_EQ(TTrayIcon::IconImage(104).actualSize(QSize(size, size)), QSize(size, size));
  for (int number : {0, 1, 103, 107, 1006}) EXPECT_TRUE(TTrayIcon::IconImage(number).isNull()) << number;
}

TEST_F(TrayIconTest, StateFollowsAddSetAndRemove) {
  EXPECT_FALSE(Tray.IsAdded());
  EXPECT_TRUE(Tray.AddTrayIcon(104, Cp1251("Модем отключен.")));
  EXPECT_TRUE(Tray.IsAdded());
  EXPECT_EQ(Tray.IconNumber(), 104);
  EXPECT_EQ(Tray.Tip(), Cp1251("Модем отключен."));

  Tray.SetTrayIcon(106, Cp1251("Модем подключен"));
  EXPECT_EQ(Tray.IconNumber(), 106);
  EXPECT_EQ(Tray.Tip(), Cp1251("Модем подключен"));

  // An icon that cannot be loaded keeps the previous look; the tip still changes.
  Tray.SetTrayIcon(999, "x");
  EXPECT_EQ(Tray.IconNumber(), 106);
  EXPECT_EQ(Tray.Tip(), "x");

  ASSERT_NE(Tray.SystemTrayIcon(), nullptr);
  EXPECT_TRUE(Tray.SystemTrayIcon()->isVisible());
  Tray.RemoveTrayIcon();
  EXPECT_FALSE(Tray.IsAdded());
  EXPECT_FALSE(Tray.SystemTrayIcon()->isVisible());
}

TEST_F(TrayIconTest, TextsAreCutInBytesThenShown) {
  std::string longCyrillic;
  for (int i = 0; i < 300; ++i) longCyrillic += Cp1251("ж");
  struct Case {
    const char* name;
    std::string text;
    size_t tip, title, balloon;  // expected lengths in bytes
  };
  const Case cases[] = {
      {"short", "abc", 3, 3, 3},
      {"300 ASCII", std::string(300, 'a'), 127, 63, 255},
      {"exactly the tip's room", std::string(127, 'b'), 127, 63, 127},
      {"one over the tip's room", std::string(128, 'b'), 127, 63, 128},
      {"300 Cyrillic", longCyrillic, 127, 63, 255},
      {"a NUL ends the text", std::string("ab\0cd", 5), 2, 2, 2},
  };
  Tray.AddTrayIcon(104, "");
  EXPECT_EQ(Tray.Tip(), "");
  for (const Case& c : cases) {
    Tray.SetTrayIcon(105, c.text);
    EXPECT_EQ(Tray.Tip(), c.text.substr(0, c.tip)) << c.name;
    EXPECT_EQ(Tray.SystemTrayIcon()->toolTip(), QStringFromCp1251(c.text.substr(0, c.tip))) << c.name;
    Tray.ShowTrayBalloon(c.text, c.text, 5000, 1);
    EXPECT_EQ(Tray.LastBalloon().Title, c.text.substr(0, c.title)) << c.name;
    EXPECT_EQ(Tray.LastBalloon().Text, c.text.substr(0, c.balloon)) << c.name;
    EXPECT_TRUE(Tray.IsBalloonShown()) << c.name;
  }
}

TEST_F(TrayIconTest, BalloonIsKeptUntilHidden) {
  Tray.AddTrayIcon(104, "tip");
  Tray.ShowTrayBalloon(Cp1251("Orvex монитор"), Cp1251("Ошибка при отправке СМС:\r\nМодем занят"), 3000, 3);
  EXPECT_TRUE(Tray.IsBalloonShown());
  EXPECT_EQ(Tray.LastBalloon().Title, Cp1251("Orvex монитор"));
  EXPECT_EQ(Tray.LastBalloon().TimeoutMs, 3000u);
  EXPECT_EQ(Tray.LastBalloon().InfoFlags, 3u);

  // A change of icon leaves the balloon on screen.
  Tray.SetTrayIcon(105, "unread");
  EXPECT_TRUE(Tray.IsBalloonShown());

  Tray.HideTrayBalloon();
  EXPECT_FALSE(Tray.IsBalloonShown());
  EXPECT_EQ(Tray.LastBalloon().Text, Cp1251("Ошибка при отправке СМС:\r\nМодем занят"));

  // A balloon with neither title nor text takes the shown one down.
  Tray.ShowTrayBalloon("t", "x", 1000, 1);
  Tray.ShowTrayBalloon("", "", 1000, 1);
  EXPECT_FALSE(Tray.IsBalloonShown());

  // Removing the icon takes its balloon with it.
  Tray.ShowTrayBalloon("t", "x", 1000, 1);
  Tray.RemoveTrayIcon();
  EXPECT_FALSE(Tray.IsBalloonShown());
}

TEST_F(TrayIconTest, BalloonIconsMapToTheDesktopsIcons) {
  struct Case { uint32_t flags; QSystemTrayIcon::MessageIcon icon; };
  const Case cases[] = {
      {1, QSystemTrayIcon::Information}, {2, QSystemTrayIcon::Warning}, {3, QSystemTrayIcon::Critical},
      {0, QSystemTrayIcon::NoIcon},      {4, QSystemTrayIcon::NoIcon},  {0x13, QSystemTrayIcon::NoIcon},
  };
  for (const Case& c : cases) EXPECT_EQ(TTrayIcon::BalloonMessageIcon(c.flags), c.icon) << c.flags;
}

TEST_F(TrayIconTest, BalloonClickRunsTheHandlerOnlyWhileShown) {
  int clicks = 0;
  Tray.SetBalloonClickHandler([&] { ++clicks; });
  Tray.AddTrayIcon(105, "unread");

  struct Case {
    const char* name;
    bool showFirst, hideFirst;
    int clicksAfter;
  };
  const Case cases[] = {
      {"click on a shown balloon", true, false, 1},
      {"second click on the same balloon", false, false, 0},
      {"click after the balloon was hidden", true, true, 0},
      {"click with no balloon ever shown since", false, false, 0},
  };
  for (const Case& c : cases) {
    clicks = 0;
    if (c.showFirst) Tray.ShowTrayBalloon("Orvex", "text", 20000, 2);
    if (c.hideFirst) Tray.HideTrayBalloon();
    emit Tray.SystemTrayIcon()->messageClicked();  // the desktop's notice
    EXPECT_EQ(clicks, c.clicksAfter) << c.name;
    EXPECT_FALSE(Tray.IsBalloonShown()) << c.name;
  }

  // Without a handler a click only closes the balloon.
  Tray.SetBalloonClickHandler(nullptr);
  Tray.ShowTrayBalloon("Orvex", "text", 20000, 2);
  Tray.BalloonClicked();
  EXPECT_FALSE(Tray.IsBalloonShown());
}

TEST_F(TrayIconTest, PopupMenuReachesTheIcon) {
  QMenu first;
  QMenu second;
  Tray.SetPopupMenu(&first);  // before the icon exists
  Tray.AddTrayIcon(104, "tip");
  EXPECT_EQ(Tray.PopupMenu(), &first);
  EXPECT_EQ(Tray.SystemTrayIcon()->contextMenu(), &first);
  Tray.SetPopupMenu(&second);  // and after
  EXPECT_EQ(Tray.SystemTrayIcon()->contextMenu(), &second);
  Tray.SetPopupMenu(nullptr);
  EXPECT_EQ(Tray.SystemTrayIcon()->contextMenu(), nullptr);
}

}  // namespace
