// The message window's globe button on the real window: the selected reply of either view goes
// into the position file and the file to the program the desktop names (a stand-in xdg-mime
// first on PATH, the URL caught by a handler); no program and a damaged file give their boxes.

#include "viewer/ShowSmsForm.h"

#include "seam/MonitorServices.h"
#include "support/DesktopStandIn.h"
#include "support/FakeMonitor.h"
#include "support/ModalBoxes.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFile>
#include <QItemSelectionModel>
#include <QToolButton>
#include <QTableView>
#include <QUrl>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace {

TDateTime At(int hour, int minute, int second) {
  return EncodeDate(2026, 12, 9) + EncodeTime(hour, minute, second, 0);
}

std::unique_ptr<TSmsInfo> Get(int32_t device) {
  auto info = std::make_unique<TSmsInfo>();
  info->Kind = kKindGet;
  info->DeviceNumber = device;
  info->Phone = "+79001234567";
  info->Time = At(11, 6, 0);
  auto get = std::make_unique<TSmsGet>();
  get->FixTime = At(11, 5, 33);
  get->Latitude = 554512340;
  get->Longitude = 373756780;
  get->Valid = 1;
  info->Payload = std::move(get);
  return info;
}

std::unique_ptr<TSmsInfo> Set(int32_t device) {
  auto info = std::make_unique<TSmsInfo>();
  info->Kind = kKindSet;
  info->DeviceNumber = device;
  info->Time = At(11, 7, 0);
  info->Payload = std::make_unique<TSmsSet>();
  return info;
}

// The monitor whose log gives the two views below.
class TExportMonitor : public TFakeMonitor {
public:
  explicit TExportMonitor(const std::string& exeDir) : TFakeMonitor(exeDir, TLogUse::InFolder) {
    // The history: a sent message, then a received position report of 555.
    TLogRecord sent;
    sent.Direction = 1;
    sent.Read = 1;
    sent.Time = At(11, 0, 0);
    sent.Phone = "+79001234567";
    sent.Text = "GET 00000000";
    Log()->WriteSmsLogRecord(Log()->LogPath(), sent);
    TLogRecord received;
    received.Read = 1;
    received.Time = At(11, 6, 0);
    received.Phone = "+79001234567";
    received.Text = "00555 110533.000,a,5545.1234,n,03737.5678,e,0.0,0.0,091226";
    Log()->WriteSmsLogRecord(Log()->LogPath(), received);
  }
  // The unread view: a position report of 12345 and a settings answer of 777.
  void LoadUnreadSms(TSmsInfoList& list) override {
    list.push_back(Get(12345));
    list.push_back(Set(777));
  }
};

class PositionExportTest : public ::testing::Test {
protected:
  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Temp.IsCreated());
    Desk = std::make_unique<TDesktopStandIn>(Temp.Path());
    Desktop("echo globe.desktop");
    Window = std::make_unique<TShowSmsForm>(Monitor);
    Window->UtcOffsetHours = 3;
  }
  void TearDown() override {
    Window.reset();
    Desk.reset();
  }

  // The stand-in xdg-mime: text/xml, and this shell line for the program of that type.
  void Desktop(const std::string& fallback) { Desk->WriteXdgMime("echo text/xml", fallback); }

  QToolButton* ExportButton() const { return Window->findChild<QToolButton*>(QStringLiteral("btnGoogleExport")); }

  // Selects the row that passes the test, as a click on it would.
  void Select(const std::function<bool(const TSmsRow&)>& which) {
    auto* list = Window->findChild<QTableView*>(QStringLiteral("lvSmsList"));
    const TSmsListModel& model = Window->ListModel();
    for (int row = 0; row < model.rowCount(); ++row) {
      if (!which(model.Row(row))) continue;
      list->selectionModel()->setCurrentIndex(model.index(row, 0),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      return;
    }
    ADD_FAILURE() << "no such row";
  }
  void SelectDevice(int32_t device) {
    Select([device](const TSmsRow& row) { return row.Image == kImageIncoming && row.DeviceNumber == device; });
  }

  std::vector<TSeenBox> ClickExport() {
    return AnswerModals([&] { ExportButton()->click(); });
  }

  std::string Kml() const { return ReadWholeFile(Temp.Path() + "/OrvexMonitor.kml"); }

  TTempFolder Temp{"orvex-export"};
  TExportMonitor Monitor{Temp.Path() + "/"};
  std::unique_ptr<TDesktopStandIn> Desk;
  std::unique_ptr<TShowSmsForm> Window;
};

TEST_F(PositionExportTest, UnreadViewExportsTheSelectedReplyAndOpensTheFile) {
  Window->ShowUnreadMessages();
  SelectDevice(777);
  EXPECT_FALSE(ExportButton()->isEnabled()) << "a settings answer carries no position";
  SelectDevice(12345);
  ASSERT_TRUE(ExportButton()->isEnabled());

  EXPECT_TRUE(ClickExport().empty());
  const std::string kml = Kml();
  EXPECT_NE(kml.find("<name>12345</name>"), std::string::npos);
  EXPECT_NE(kml.find("<name>09-12-26 14:05:33</name>"), std::string::npos) << "the window's offset of 3 hours";
  EXPECT_NE(kml.find("<coordinates>37.626130,55.752057,0</coordinates>"), std::string::npos);
  ASSERT_EQ(Desk->Urls.size(), 1);
  EXPECT_EQ(Desk->Urls.front(), QUrl::fromLocalFile(QString::fromStdString(Temp.Path() + "/OrvexMonitor.kml")));
}

TEST_F(PositionExportTest, HistoryViewExportsTheReplyOfTheSelectedEntry) {
  Window->ShowOperationHistory();
  Select([](const TSmsRow& row) { return row.Image == kImageOutgoing; });
  EXPECT_FALSE(ExportButton()->isEnabled()) << "a sent message carries no position";
  SelectDevice(555);
  ASSERT_TRUE(ExportButton()->isEnabled());

  EXPECT_TRUE(ClickExport().empty());
  EXPECT_NE(Kml().find("<name>555</name>"), std::string::npos);
  EXPECT_EQ(Desk->Urls.size(), 1);
}

TEST_F(PositionExportTest, NoProgramStillUpdatesTheFileAndSaysSo) {
  Desktop("true");
  Window->ShowUnreadMessages();
  SelectDevice(12345);
  std::vector<TSeenBox> boxes = ClickExport();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, QStringLiteral("Orvex монитор"));
  EXPECT_EQ(boxes[0].Text, QStringLiteral("Программное обеспечение Google Earth не установлено"));
  EXPECT_EQ(boxes[0].Icon, QMessageBox::Critical);
  EXPECT_NE(Kml().find("<name>12345</name>"), std::string::npos);
  EXPECT_TRUE(Desk->Urls.empty());
}

TEST_F(PositionExportTest, DamagedFileIsLeftAsItIsAndTheBoxSaysWhy) {
  const std::string damaged = "<?xml version=\"1.0\"?>\n<kml><Document><Folder><name>12345</na";
  WriteWholeFile(Temp.Path() + "/OrvexMonitor.kml", damaged);
  Window->ShowUnreadMessages();
  SelectDevice(12345);
  for (int click = 0; click < 2; ++click) {  // every later click says it again
    std::vector<TSeenBox> boxes = ClickExport();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, QStringLiteral("Orvex монитор"));
    EXPECT_TRUE(boxes[0].Text.startsWith(QStringLiteral("Не удалось записать положение в файл "))) <<
        boxes[0].Text.toStdString();
    EXPECT_EQ(boxes[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(Kml(), damaged);
  }
  EXPECT_TRUE(Desk->Urls.empty());
}

}  // namespace
