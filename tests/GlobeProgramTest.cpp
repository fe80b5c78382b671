// The globe program: the desktop is asked through a stand-in xdg-mime first on PATH; the file
// is handed over only when a program answers, within the time bound, and the box says so
// otherwise.

#include "platform/GlobeProgram.h"

#include "support/DesktopStandIn.h"
#include "support/ModalBoxes.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QUrl>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

class GlobeProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Temp.IsCreated());
    Desktop = std::make_unique<TDesktopStandIn>(Temp.Path());
    WriteWholeFile(File.toStdString(), "<kml/>");
  }
  void TearDown() override { Desktop.reset(); }

  // The stand-in answers "query filetype" and "query default" with the given shell lines and
  // logs its arguments.
  void StandIn(const std::string& filetype, const std::string& fallback) {
    Desktop->WriteXdgMime(filetype, fallback, Log);
  }

  TTempFolder Temp{"orvex-globe"};
  const std::string Log = Temp.Path() + "/asked.log";
  const QString File = QString::fromStdString(Temp.Path() + "/OrvexMonitor.kml");
  std::unique_ptr<TDesktopStandIn> Desktop;
};

TEST_F(GlobeProgramTest, FileGoesToTheProgramTheDesktopNames) {
  StandIn("echo text/xml", "echo globe.desktop");
  EXPECT_EQ(TGlobeProgram::HandlerFor(File), QStringLiteral("globe.desktop"));
  EXPECT_EQ(ReadWholeFile(Log), "query filetype " + File.toStdString() + "\nquery default text/xml\n");

  std::vector<TSeenBox> boxes = AnswerModals([&] { EXPECT_TRUE(TGlobeProgram::OpenFileOrSay(File, nullptr)); });
  EXPECT_TRUE(boxes.empty());
  ASSERT_EQ(Desktop->Urls.size(), 1);
  EXPECT_EQ(Desktop->Urls.front(), QUrl::fromLocalFile(File));
}

TEST_F(GlobeProgramTest, NoProgramGivesTheBoxAndNothingIsHandedOver) {
  struct Case {
    const char* name;
    std::string filetype;
    std::string fallback;
    bool installed;  // false: no xdg-mime on PATH at all
  };
  const Case cases[] = {
      {"no program for the type", "echo text/xml", "true", true},
      {"no type", "true", "echo globe.desktop", true},
      {"xdg-mime fails", "exit 4", "echo globe.desktop", true},
      {"desktop answers too late", "echo text/xml", "exec sleep 5", true},
      {"type answered too late", "exec sleep 5", "echo globe.desktop", true},
      {"no xdg-mime", "", "", false},
  };
  for (const Case& c : cases) {
    QFile::remove(QString::fromStdString(Temp.Path() + "/xdg-mime"));
    if (c.installed) {
      StandIn(c.filetype, c.fallback);
    } else {
      setenv("PATH", Temp.Path().c_str(), 1);
    }
    QElapsedTimer clock;
    clock.start();
    std::vector<TSeenBox> boxes = AnswerModals([&] { EXPECT_FALSE(TGlobeProgram::OpenFileOrSay(File, nullptr)); });
    // The bound holds even for a desktop that never answers (with room for a slow machine).
    EXPECT_LT(clock.elapsed(), 4 * TGlobeProgram::kQueryTimeoutMs) << c.name;
    ASSERT_EQ(boxes.size(), 1u) << c.name;
    EXPECT_EQ(boxes[0].Caption, QStringLiteral("Orvex монитор")) << c.name;
    EXPECT_EQ(boxes[0].Text, QStringLiteral("Программное обеспечение Google Earth не установлено")) << c.name;
    EXPECT_EQ(boxes[0].Icon, QMessageBox::Critical) << c.name;
    EXPECT_TRUE(Desktop->Urls.empty()) << c.name;
    setenv("PATH", (Temp.Path() + ":" + Desktop->OldPath).c_str(), 1);
  }
}

}  // namespace
