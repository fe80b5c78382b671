// The template window's "Взять из Google Earth" buttons on the real window: a pick from the
// menu of point 2 changes only point 2's edits and selectors, and a menu opened again shows
// the places file as it is now.

#include "composer/PlacemarkMenu.h"
#include "composer/SmsTemplateForm.h"

#include "shell/Settings.h"
#include "support/ModalBoxes.h"
#include "support/FakeMonitor.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kPointControls[] = {"Latd", "Latm", "Latmm", "ns", "Lond", "Lonm", "Lonmm", "ew"};

class TemplatePlacesTest : public ::testing::Test {
protected:
  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Temp.IsCreated());
    Window = std::make_unique<TSmsTemplateForm>(Monitor);
    Window->AddDeviceVersion(5);
    Window->PrepareCmdControlPointPrm();
    Window->show();
    for (int point = 1; point <= 3; ++point) {
      auto* selector = Window->findChild<QCheckBox*>(QStringLiteral("selCP%1").arg(point));
      ASSERT_NE(selector, nullptr);
      selector->setChecked(true);
      for (const char* control : {"Latd", "Latm", "Latmm", "Lond", "Lonm", "Lonmm"}) {
        Window->findChild<QLineEdit*>(QStringLiteral("edCP%1%2").arg(point).arg(QLatin1String(control)))
            ->setText(QStringLiteral("1"));
      }
    }
    SavePlacesKml(ExeDir, Places);
  }

  // The point's six edits and two selectors, in their order of the window.
  std::string Point(int point) const {
    QStringList texts;
    for (const char* control : kPointControls) {
      QString name = QStringLiteral("%1CP%2%3")
                         .arg(QLatin1String(control[0] == 'n' || control[0] == 'e' ? "cb" : "ed"))
                         .arg(point)
                         .arg(QLatin1String(control));
      if (auto* edit = Window->findChild<QLineEdit*>(name)) texts << edit->text();
      if (auto* combo = Window->findChild<QComboBox*>(name)) texts << combo->currentText();
    }
    return texts.join(QLatin1Char(' ')).toStdString();
  }

  QMenu& Menu() const { return *Window->findChild<QMenu*>(QStringLiteral("pGetFromGG")); }

  std::vector<TSeenBox> Click(int point) {
    Menu().hide();
    auto* button = Window->findChild<QPushButton*>(QStringLiteral("btnCP%1FromGoogle").arg(point));
    EXPECT_TRUE(button && button->isEnabled());
    return AnswerModals([&] { QTest::mouseClick(button, Qt::LeftButton); });
  }

  QStringList Captions() const {
    QStringList captions;
    for (QAction* action : Menu().actions()) captions << action->text();
    return captions;
  }

  TTempFolder Temp{"orvex-tmplplaces"};
  const std::string ExeDir = Temp.Path() + "/";
  const std::string Places = Temp.Path() + "/places.kml";
  TFakeMonitor Monitor{ExeDir};
  std::unique_ptr<TSmsTemplateForm> Window;
};

TEST_F(TemplatePlacesTest, PickFromTheSecondPointsMenuChangesOnlyThatPoint) {
  WriteWholeFile(Places,
                 "<kml><Document>"
                 "<Placemark><name>Склад</name><Point><coordinates>37.62613,55.7520567</coordinates></Point>"
                 "</Placemark>"
                 "<Placemark><name>Порт</name><Point><coordinates>-58.3816,-34.6037</coordinates></Point>"
                 "</Placemark>"
                 "</Document></kml>");
  ASSERT_TRUE(Click(2).empty());
  ASSERT_TRUE(Menu().isVisible());
  EXPECT_EQ(Captions(), (QStringList{"Склад", "Порт"}));

  Menu().actions().at(1)->trigger();
  EXPECT_EQ(Point(2), "34 36 222 S 58 22 896 W");
  EXPECT_EQ(Point(1), "1 1 1 N 1 1 1 E");
  EXPECT_EQ(Point(3), "1 1 1 N 1 1 1 E");
  Menu().actions().at(0)->trigger();
  EXPECT_EQ(Point(2), "55 45 124 N 37 37 568 E");
}

TEST_F(TemplatePlacesTest, MenuOpenedAgainShowsTheFileAsItIsNow) {
  WriteWholeFile(Places,
                 "<kml><Document><Placemark><name>A</name><Point><coordinates>1,2</coordinates></Point>"
                 "</Placemark></Document></kml>");
  ASSERT_TRUE(Click(1).empty());
  EXPECT_EQ(Captions(), (QStringList{"A"}));

  WriteWholeFile(Places,
                 "<kml><Document><Folder><name>Новые</name><Placemark><name>B</name><Point>"
                 "<coordinates>3,4</coordinates></Point></Placemark></Folder></Document></kml>");
  ASSERT_TRUE(Click(3).empty());
  EXPECT_EQ(Captions(), (QStringList{"Новые"}));
  Menu().actions().at(0)->menu()->actions().at(0)->trigger();
  EXPECT_EQ(Point(3), "4 0 000 N 3 0 000 E");
  EXPECT_EQ(Point(1), "1 1 1 N 1 1 1 E");

  // The file gone: both boxes, and the next click asks for a file.
  std::remove(Places.c_str());
  std::vector<TSeenBox> boxes = Click(1);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].Text, QStringLiteral("Программное обеспечение Google Earth не установлено"));
  EXPECT_EQ(boxes[1].Caption, QStringLiteral("Orvex Монитор"));
  EXPECT_EQ(boxes[1].Text, QStringLiteral("Не удалось загрузить список меток из Google Earth"));
  EXPECT_EQ(GetPlacesKml(ExeDir), "");
}

}  // namespace
