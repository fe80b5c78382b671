// The window seam: the main form opens its windows through the installed factory, keeps one
// of each kind, brings an open one forward and tells it to refresh; the windows see only the
// monitor's services.

#include "seam/MonitorServices.h"
#include "shell/OrvexMonitorForm.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>

namespace {

class TCountingWindow : public QWidget, public TMessageWindow {
public:
  explicit TCountingWindow(TMonitorServices& monitor) : QWidget(nullptr, Qt::Window), Monitor(monitor) {}
  TMonitorServices& Monitor;
  std::vector<std::string> Calls;
  void RestoreLayout(const std::string& layout) override { Calls.push_back("layout " + layout); }
  void RefreshWindow() override { Calls.push_back("refresh"); }
  void ShowOperationHistory() override { Calls.push_back("history"); }
  void ShowUnreadMessages() override { Calls.push_back("unread"); }
};

class WindowSeamTest : public ::testing::Test {
protected:
  QTemporaryDir Dir;
  QTemporaryDir Runtime;
  std::unique_ptr<TOrvexMonitorForm> Form;
  std::map<TWindowKind, int> Made;
  TCountingWindow* Last = nullptr;

  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Dir.isValid() && Runtime.isValid());
    setenv("XDG_RUNTIME_DIR", Runtime.path().toUtf8().constData(), 1);
    Form = std::make_unique<TOrvexMonitorForm>(Dir.path().toStdString() + "/");
    Form->SetWindowFactory([this](TWindowKind kind, TMonitorServices& monitor) -> QWidget* {
      ++Made[kind];
      Last = new TCountingWindow(monitor);
      return Last;
    });
    Form->FormCreate();
  }
};

TEST_F(WindowSeamTest, TrayMenuOpensOneWindowAndBringsItForward) {
  Form->Mirror().ShowSmsFormLayout = "1,2,3,4,5,6,7,8,9";
  Form->ViewLog->trigger();
  ASSERT_NE(Form->Window(TWindowKind::ShowSms), nullptr);
  TCountingWindow* window = Last;
  EXPECT_EQ(window->Calls, (std::vector<std::string>{"history", "layout 1,2,3,4,5,6,7,8,9"}));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(&window->Monitor, &Form->Services());

  Form->ViewLog->trigger();
  EXPECT_EQ(Made[TWindowKind::ShowSms], 1);
  EXPECT_EQ(Form->Window(TWindowKind::ShowSms), window);
  EXPECT_EQ(window->Calls.back(), "refresh");

  Form->RefreshShowSmsForm();
  EXPECT_EQ(window->Calls.back(), "refresh");
  EXPECT_EQ(std::count(window->Calls.begin(), window->Calls.end(), "refresh"), 2);
}

TEST_F(WindowSeamTest, ClosedWindowIsMadeAnewAndWindowsEndBeforeTheForm) {
  Form->About->trigger();
  QPointer<QWidget> about = Form->Window(TWindowKind::About);
  ASSERT_TRUE(about);
  about->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(about);
  EXPECT_EQ(Form->Window(TWindowKind::About), nullptr);
  Form->About->trigger();
  EXPECT_EQ(Made[TWindowKind::About], 2);

  QPointer<QWidget> open = Form->Window(TWindowKind::About);
  QPointer<QWidget> templateWindow = Form->TemplateWindow();
  EXPECT_EQ(Form->TemplateWindow(), templateWindow.data());
  EXPECT_EQ(Made[TWindowKind::SmsTemplate], 1);
  Form.reset();
  EXPECT_FALSE(open);
  EXPECT_FALSE(templateWindow);
}

TEST_F(WindowSeamTest, UnreadBalloonOpensTheUnreadView) {
  Form->UnreadNoticeClick();
  ASSERT_NE(Last, nullptr);
  EXPECT_EQ(Last->Calls.front(), "unread");
  EXPECT_FALSE(Form->BalloonClick);
}

}  // namespace
