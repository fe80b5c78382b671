// The About window: the build's version in its label, the two links that light up under the
// pointer one at a time, and what they open (caught by URL handlers, since the offscreen
// platform opens nothing itself).

#include "shell/AboutForm.h"

#include "shell/OrvexMonitorForm.h"
#include "shell/Startup.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

#include <vector>

namespace {

// Receives the links the window opens.
class TUrlCatcher : public QObject {
  Q_OBJECT

public:
  TUrlCatcher() {
    for (const char* scheme : {"http", "https", "mailto"}) QDesktopServices::setUrlHandler(scheme, this, "Open");
  }
  ~TUrlCatcher() override {
    for (const char* scheme : {"http", "https", "mailto"}) QDesktopServices::unsetUrlHandler(scheme);
  }
  std::vector<QUrl> Opened;

public slots:
  void Open(const QUrl& url) { Opened.push_back(url); }
};

QLabel* Label(QWidget* window, const char* name) {
  auto* label = window->findChild<QLabel*>(name);
  EXPECT_NE(label, nullptr) << name;
  return label;
}

struct TLook {
  QColor Colour;
  bool Underlined;
  bool operator==(const TLook& other) const { return Colour == other.Colour && Underlined == other.Underlined; }
};

TLook LookOf(QLabel* label) { return TLook{label->palette().color(QPalette::WindowText), label->font().underline()}; }

class AboutFormTest : public ::testing::Test {
protected:
  void SetUp() override {
    TestApplication();
    SavedVersion = {VersionMajor, VersionMinor, VersionRelease};
  }
  void TearDown() override {
    VersionMajor = SavedVersion[0];
    VersionMinor = SavedVersion[1];
    VersionRelease = SavedVersion[2];
  }
  std::vector<uint32_t> SavedVersion;
};

}  // namespace

TEST_F(AboutFormTest, VersionLabelShowsTheThreeNumbers) {
  struct Case {
    const char* fileVersion;
    const char* label;
  };
  const Case cases[] = {
      {ProgramVersion(), nullptr},  // the build's own: "Версия " and the project version
      {"", "Версия 0.0.0"},
      {"0.0.0", "Версия 0.0.0"},
      {"2.15.4.7", "Версия 2.15.4"},
      {"4294967295.0.1", "Версия 4294967295.0.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileVersion);
    ReadVersion(c.fileVersion);
    TAboutForm window;
    const std::string expected = c.label ? c.label : std::string("Версия ") + ProgramVersion();
    EXPECT_EQ(Label(&window, "VersionLabel")->text().toStdString(), expected);
    EXPECT_EQ("Версия " + window.VersionText, expected);
  }
}

TEST_F(AboutFormTest, WindowLooksAsDesigned) {
  TAboutForm window;
  EXPECT_EQ(window.windowTitle(), "О программе");
  EXPECT_EQ(window.size(), QSize(348, 216));
  EXPECT_EQ(window.font().pixelSize(), 11);
  EXPECT_EQ(Label(&window, "ProductNameLabel")->text(), "Orvex");
  EXPECT_EQ(Label(&window, "ProductNameLabel")->font().pixelSize(), 29);
  EXPECT_EQ(Label(&window, "VersionNumberLabel")->text(), "Монитор");
  EXPECT_TRUE(Label(&window, "VersionNumberLabel")->font().bold());
  EXPECT_TRUE(Label(&window, "VersionLabel")->font().bold());
  EXPECT_TRUE(Label(&window, "VersionLabel")->alignment() & Qt::AlignRight);
  EXPECT_EQ(Label(&window, "Label1")->text(), "Разработка, изготовление и продажа Orvex");
  EXPECT_EQ(Label(&window, "Label2")->text(), "e-mail:");
  EXPECT_EQ(Label(&window, "Label3")->text(), "Внимание! Эта программа распространяется бесплатно.");
  EXPECT_EQ(Label(&window, "QuenzolLabel")->text(), TAboutForm::kWebAddress);
  EXPECT_EQ(Label(&window, "EM1Label")->text(), TAboutForm::kMailAddress);
  for (const char* link : {"QuenzolLabel", "EM1Label"}) {
    EXPECT_EQ(Label(&window, link)->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(LookOf(Label(&window, link)), (TLook{window.palette().color(QPalette::Link), false}));
  }
  auto* ok = window.findChild<QPushButton*>("OKButton");
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
}

TEST_F(AboutFormTest, PointerLightsUpOnlyTheLinkItIsOn) {
  TAboutForm window;
  window.show();
  QLabel* web = Label(&window, "QuenzolLabel");
  QLabel* mail = Label(&window, "EM1Label");
  const TLook rest{window.palette().color(QPalette::Link), false};
  const TLook lit{QColor(0, 0, 0xFF), true};
  struct Step {
    QLabel* label;
    QEvent::Type event;
    TLook web;
    TLook mail;
  };
  const Step steps[] = {
      {web, QEvent::Enter, lit, rest},  {web, QEvent::Leave, rest, rest},
      {mail, QEvent::Enter, rest, lit}, {mail, QEvent::Leave, rest, rest},
      {mail, QEvent::Enter, rest, lit}, {mail, QEvent::Leave, rest, rest},
  };
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(n++);
    QEvent event(step.event);
    QCoreApplication::sendEvent(step.label, &event);
    EXPECT_EQ(LookOf(web), step.web);
    EXPECT_EQ(LookOf(mail), step.mail);
  }
}

TEST_F(AboutFormTest, LinksOpenTheWebAddressAndAMailWithTheVersionInItsSubject) {
  ReadVersion("1.2.3");
  TUrlCatcher catcher;
  TAboutForm window;
  window.show();
  QTest::mouseClick(Label(&window, "QuenzolLabel"), Qt::LeftButton);
  QTest::mouseClick(Label(&window, "EM1Label"), Qt::LeftButton);
  // A click on a plain label opens nothing.
  QTest::mouseClick(Label(&window, "Label2"), Qt::LeftButton);
  ASSERT_EQ(catcher.Opened.size(), 2u);

  EXPECT_EQ(catcher.Opened[0], QUrl(QString("http://") + TAboutForm::kWebAddress));

  const QUrl mail = catcher.Opened[1];
  EXPECT_EQ(mail.scheme(), "mailto");
  EXPECT_EQ(mail.path(), TAboutForm::kMailAddress);
  EXPECT_EQ(QUrlQuery(mail).queryItemValue("subject", QUrl::FullyDecoded), "\"Orvex - Монитор v1.2.3\"");
  // Blanks, quotes and Cyrillic letters travel percent-encoded.
  const QByteArray encoded = mail.toEncoded();
  EXPECT_EQ(encoded.indexOf(' '), -1) << encoded.constData();
  EXPECT_EQ(encoded.indexOf('"'), -1) << encoded.constData();
  for (char byte : encoded) EXPECT_GE(static_cast<unsigned char>(byte), 0x21) << encoded.constData();
  EXPECT_NE(encoded.indexOf("%22Orvex%20-%20"), -1) << encoded.constData();
}

TEST_F(AboutFormTest, OkAndEscapeCloseAndFreeTheWindow) {
  for (bool escape : {false, true}) {
    SCOPED_TRACE(escape);
    QPointer<TAboutForm> window = new TAboutForm();
    window->show();
    QApplication::setActiveWindow(window);
    if (escape)
      QTest::keyClick(window, Qt::Key_Escape);
    else
      QTest::mouseClick(window->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
  }
}

#include "AboutFormTest.moc"
