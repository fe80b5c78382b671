// The windows under a real window manager (openbox on a virtual screen of this test's own):
// each window that keeps its place (the message, send and template windows) comes back where
// and as large as it was left, outer frame included, however often it is reopened, and every
// window's title is its caption alone. The whole program runs on that screen (platform xcb),
// set up as the program sets itself up.

#include "app/ProgramSetup.h"
#include "app/WindowFactory.h"
#include "composer/SmsForm.h"
#include "composer/SmsTemplateForm.h"
#include "support/FakeMonitor.h"
#include "support/ManagedDisplay.h"
#include "support/StandinProcess.h"
#include "support/TempFolder.h"
#include "viewer/ShowSmsForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// The screen, the window manager and the program's application object, for all cases.
class TManagedScreen : public ::testing::Environment {
public:
  void SetUp() override {
    Display = std::make_unique<TManagedDisplay>();
    ASSERT_TRUE(Display->IsUp()) << Display->Failure();
    setenv("DISPLAY", Display->Name().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    static int argc = 1;
    static char name[] = "orvex-monitor";
    static char* argv[] = {name, nullptr};
    Application = std::make_unique<QApplication>(argc, argv);
    SetUpApplication(*Application);
  }
  // The application goes before its screen.
  void TearDown() override {
    Application.reset();
    Display.reset();
  }

  static inline std::unique_ptr<TManagedDisplay> Display;
  static inline std::unique_ptr<QApplication> Application;
};

[[maybe_unused]] ::testing::Environment* const kScreen = ::testing::AddGlobalTestEnvironment(new TManagedScreen);

// How long the window manager may take to answer: a while on a machine loaded by other tests.
constexpr int kPatienceMs = 20000;

// Waits until the window manager has framed the shown window.
bool Framed(QWidget& window) {
  return SpinUntil([&] { return window.isVisible() && window.frameGeometry().size() != window.size(); }, kPatienceMs);
}

// The outer geometry of a window as "x,y wxh"; of the place alone ("x,y 0x0") for a window
// that keeps no size.
std::string Outer(QWidget& window, bool sized) {
  const QRect outer = window.frameGeometry();
  const QSize size = sized ? outer.size() : QSize(0, 0);
  return std::to_string(outer.x()) + "," + std::to_string(outer.y()) + " " + std::to_string(size.width()) + "x" +
         std::to_string(size.height());
}

// The outer geometry once it is `expected`, or as it is when the window manager has not made
// it so in time.
std::string OuterWhenSettled(QWidget& window, bool sized, const std::string& expected) {
  SpinUntil([&] { return Outer(window, sized) == expected; }, kPatienceMs);
  return Outer(window, sized);
}

// The title the window manager shows for a window: its _NET_WM_NAME, read byte for byte so
// that the test does not depend on the locale it runs in.
QString ShownTitle(QWidget& window) {
  QProcess xprop;
  xprop.start("xprop", {"-id", QString::number(window.winId()), "-f", "_NET_WM_NAME", "8c", "_NET_WM_NAME"});
  if (!xprop.waitForFinished(kPatienceMs)) return "(xprop did not answer)";
  const QString answer = QString::fromLatin1(xprop.readAllStandardOutput()).trimmed();
  const qsizetype equals = answer.indexOf(u'=');
  if (equals < 0) return answer;
  QByteArray bytes;
  for (const QString& number : answer.mid(equals + 1).split(u',', Qt::SkipEmptyParts))
    bytes.append(static_cast<char>(number.trimmed().toInt()));
  return QString::fromUtf8(bytes);
}

// One window that keeps its place: how it is opened from the monitor's stored layout (shown),
// and the layout the monitor then holds.
struct TPlaced {
  std::string What;
  std::function<QWidget*(TFakeMonitor&)> Open;
  std::function<std::string&(TFakeMonitor&)> Layout;
  // Whether the stored layout holds the outer size too (else the place only).
  bool Sized;
};

std::vector<TPlaced> PlacedWindows() {
  return {
      {"message window",
       [](TFakeMonitor& monitor) {
         auto* window = new TShowSmsForm(monitor);
         window->ShowOperationHistory();
         window->RestoreLayout(monitor.Mirror.ShowSmsFormLayout);
         window->show();
         return window;
       },
       [](TFakeMonitor& monitor) -> std::string& { return monitor.Mirror.ShowSmsFormLayout; }, true},
      {"send window",
       [](TFakeMonitor& monitor) {
         auto* window = new TsmsForm(monitor);
         window->RestoreLayout(monitor.Mirror.SmsFormLayout);
         window->FillDeviceList(monitor.FleetList);
         window->show();
         return window;
       },
       [](TFakeMonitor& monitor) -> std::string& { return monitor.Mirror.SmsFormLayout; }, false},
      {"template window",
       [](TFakeMonitor& monitor) {
         auto* window = new TSmsTemplateForm(monitor);
         window->AddDeviceVersion(5);
         window->PrepareCmdBasePrm();
         window->show();
         return window;
       },
       [](TFakeMonitor& monitor) -> std::string& { return monitor.Mirror.SmsTemplateFormLayout; }, false},
  };
}

class WindowGeometryTest : public ::testing::Test {
protected:
  TTempFolder Folder{"orvex-geometry"};
  std::unique_ptr<TFakeMonitor> Monitor;

  void SetUp() override {
    ASSERT_TRUE(Folder.IsCreated());
    Monitor = std::make_unique<TFakeMonitor>(Folder.Path() + "/");
  }
};

// Opened, placed by the user, then closed and reopened ten times: the outer geometry (frame
// included) stays what the user left, and so does the stored layout.
TEST_F(WindowGeometryTest, TenReopensLeaveTheSameOuterGeometry) {
  for (const TPlaced& placed : PlacedWindows()) {
    SCOPED_TRACE(placed.What);
    std::unique_ptr<QWidget> window(placed.Open(*Monitor));
    ASSERT_TRUE(Framed(*window)) << "the window manager did not frame the window";
    // The user drags the window elsewhere and, where it keeps its size, makes it larger.
    QRect target = window->frameGeometry().translated(37, 23);
    window->move(target.topLeft());
    if (placed.Sized) {
      window->resize(window->width() + 41, window->height() + 29);
      target.setSize(target.size() + QSize(41, 29));
    }
    const QRect placedAt(target.topLeft(), placed.Sized ? target.size() : QSize(0, 0));
    const std::string left = std::to_string(placedAt.x()) + "," + std::to_string(placedAt.y()) + " " +
                             std::to_string(placedAt.width()) + "x" + std::to_string(placedAt.height());
    ASSERT_EQ(OuterWhenSettled(*window, placed.Sized, left), left);
    window.reset();
    const std::string stored = placed.Layout(*Monitor);

    for (int reopen = 1; reopen <= 10; ++reopen) {
      window.reset(placed.Open(*Monitor));
      ASSERT_TRUE(Framed(*window)) << "reopen " << reopen;
      EXPECT_EQ(OuterWhenSettled(*window, placed.Sized, left), left) << "reopen " << reopen;
      window.reset();
      EXPECT_EQ(placed.Layout(*Monitor), stored) << "reopen " << reopen;
      if (HasFailure()) break;
    }
  }
}

// The stored layout says where the outer frame goes, and for the message window how large it
// is: the window manager's frame does not come on top of it.
TEST_F(WindowGeometryTest, AStoredLayoutPlacesTheOuterFrame) {
  Monitor->Mirror.ShowSmsFormLayout = "120,240,700,520,110,120,130,130,120";
  Monitor->Mirror.SmsFormLayout = "150,260,";
  Monitor->Mirror.SmsTemplateFormLayout = "170,280";
  const char* const expected[] = {"240,120 700x520", "260,150 0x0", "280,170 0x0"};
  int i = 0;
  for (const TPlaced& placed : PlacedWindows()) {
    std::unique_ptr<QWidget> window(placed.Open(*Monitor));
    ASSERT_TRUE(Framed(*window)) << placed.What;
    EXPECT_EQ(OuterWhenSettled(*window, placed.Sized, expected[i]), expected[i]) << placed.What;
    ++i;
  }
}

// Every window's title, as the window manager shows it, is the window's caption alone.
TEST_F(WindowGeometryTest, TitlesAreTheCaptionsAlone) {
  struct Case {
    TWindowKind Kind;
    const char* Caption;
  };
  const Case cases[] = {
      {TWindowKind::Config, "Параметры"},
      {TWindowKind::About, "О программе"},
      {TWindowKind::ShowSms, "История операций"},
      {TWindowKind::Sms, "Отправить СМС"},
      {TWindowKind::SmsTemplate, "Настройки устройства"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<QWidget> window(MakeProgramWindow(c.Kind, *Monitor));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    if (c.Kind == TWindowKind::ShowSms) static_cast<TShowSmsForm&>(*window).ShowOperationHistory();
    if (c.Kind == TWindowKind::SmsTemplate) static_cast<TSmsTemplateForm&>(*window).PrepareCmdBasePrm();
    window->show();
    ASSERT_TRUE(Framed(*window)) << c.Caption;
    EXPECT_EQ(ShownTitle(*window).toStdString(), c.Caption);
  }
}

}  // namespace
