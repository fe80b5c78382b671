// Control points from the places file, driven through the three buttons of a window that has
// the template window's point controls by name: the menu's tree, a pick filling only its own
// point, a menu rebuilt from a changed file, the choice of the file, and the boxes.

#include "composer/PlacemarkMenu.h"

#include "seam/MonitorServices.h"
#include "shell/Settings.h"
#include "support/ModalBoxes.h"
#include "support/FakeMonitor.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>
#include <string>
#include <vector>

namespace {

// The point controls of the template window, by their component names.
class TPointsWindow : public QWidget {
public:
  TPointsWindow() {
    auto* layout = new QVBoxLayout(this);
    for (int point = 1; point <= 3; ++point) {
      for (const char* suffix : {"Latd", "Latm", "Latmm", "Lond", "Lonm", "Lonmm"}) {
        auto* edit = new QLineEdit(QStringLiteral("1"), this);
        edit->setObjectName(QStringLiteral("edCP%1%2").arg(point).arg(QLatin1String(suffix)));
        layout->addWidget(edit);
      }
      for (const auto& [suffix, items] :
           {std::pair{"ns", QStringList{"N", "S"}}, std::pair{"ew", QStringList{"E", "W"}}}) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(QStringLiteral("cbCP%1%2").arg(point).arg(QLatin1String(suffix)));
        combo->addItems(items);
        layout->addWidget(combo);
      }
      auto* button = new QPushButton(QStringLiteral("Взять из Google Earth"), this);
      button->setObjectName(QStringLiteral("btnCP%1FromGoogle").arg(point));
      button->setFixedSize(125, 18);
      layout->addWidget(button);
    }
  }
};

const std::string kPlaces =
    "<kml><Document><name>Мои метки</name>"
    "<Placemark><name>Склад</name><Point><coordinates>37.62613,55.7520567,0</coordinates></Point></Placemark>"
    "<Folder><name>Рейсы &amp; точки</name>"
    "<Placemark><name>Порт</name><Point><coordinates>151.2093,-33.8688,0</coordinates></Point></Placemark>"
    "<Folder><name>Пустая</name></Folder></Folder>"
    "<Placemark><name>Склад</name><Point><coordinates>-30.3,59.9</coordinates></Point></Placemark>"
    "</Document></kml>";

// The menu as lines: "caption", "*caption" for a bold folder, its items indented.
void MenuLines(const QMenu& menu, int depth, std::vector<std::string>& lines) {
  for (QAction* action : menu.actions()) {
    std::string line(static_cast<size_t>(depth), ' ');
    if (action->menu()) {
      lines.push_back(line + (action->font().bold() ? "*" : "") + action->text().toStdString());
      MenuLines(*action->menu(), depth + 1, lines);
    } else {
      lines.push_back(line + action->text().toStdString());
    }
  }
}

std::vector<std::string> MenuLines(const QMenu& menu) {
  std::vector<std::string> lines;
  MenuLines(menu, 0, lines);
  return lines;
}

QAction* Item(const QMenu& menu, int index) { return menu.actions().at(index); }

class PlacemarkMenuTest : public ::testing::Test {
protected:
  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Temp.IsCreated());
    Window = std::make_unique<TPointsWindow>();
    Menu = new TPlacemarkMenu(*Window, Monitor);
    Menu->ConnectButtons();
    Window->show();
  }

  QPushButton* Button(int point) const {
    return Window->findChild<QPushButton*>(QStringLiteral("btnCP%1FromGoogle").arg(point));
  }
  QString Edit(int point, const char* suffix) const {
    return Window->findChild<QLineEdit*>(QStringLiteral("edCP%1%2").arg(point).arg(QLatin1String(suffix)))->text();
  }
  QString Combo(int point, const char* suffix) const {
    return Window->findChild<QComboBox*>(QStringLiteral("cbCP%1%2").arg(point).arg(QLatin1String(suffix)))
        ->currentText();
  }
  std::string Point(int point) const {
    QStringList texts;
    for (const char* suffix : {"Latd", "Latm", "Latmm"}) texts << Edit(point, suffix);
    texts << Combo(point, "ns");
    for (const char* suffix : {"Lond", "Lonm", "Lonmm"}) texts << Edit(point, suffix);
    texts << Combo(point, "ew");
    return texts.join(QLatin1Char(' ')).toStdString();
  }
  // Clicks the button, answering the boxes (and any file dialog with `other`).
  std::vector<TSeenBox> Click(int point, const std::function<void(QWidget*)>& other = {}) {
    Menu->pGetFromGG->hide();
    return AnswerModals([&] { Button(point)->click(); }, other);
  }

  TTempFolder Temp{"orvex-placemenu"};
  const std::string ExeDir = Temp.Path() + "/";
  const std::string Places = Temp.Path() + "/myplaces.kml";
  TFakeMonitor Monitor{ExeDir};
  std::unique_ptr<TPointsWindow> Window;
  TPlacemarkMenu* Menu = nullptr;
};

TEST_F(PlacemarkMenuTest, MenuOffersThePlacesAndAPickFillsOnlyItsOwnPoint) {
  WriteWholeFile(Places, kPlaces);
  SavePlacesKml(ExeDir, Places);
  EXPECT_TRUE(Click(2).empty());

  QMenu& menu = *Menu->pGetFromGG;
  EXPECT_EQ(menu.objectName(), QStringLiteral("pGetFromGG"));
  EXPECT_TRUE(menu.isVisible());
  EXPECT_EQ(Menu->PickButton, Button(2));
  EXPECT_EQ(MenuLines(menu), (std::vector<std::string>{"Склад", "*Рейсы && точки", " Порт", " *Пустая", "Склад"}));

  // Of the two placemarks of one name, each gives its own point; west sets the selector.
  Item(menu, 2)->trigger();
  EXPECT_EQ(Point(2), "59 54 000 N 30 18 000 W");
  Item(*Item(menu, 1)->menu(), 0)->trigger();
  EXPECT_EQ(Point(2), "33 52 128 S 151 12 558 E");
  Item(menu, 0)->trigger();
  EXPECT_EQ(Point(2), "55 45 124 N 37 37 568 E");
  EXPECT_EQ(Point(1), "1 1 1 N 1 1 1 E");
  EXPECT_EQ(Point(3), "1 1 1 N 1 1 1 E");
}

TEST_F(PlacemarkMenuTest, EveryClickReadsTheFileAgain) {
  WriteWholeFile(Places, kPlaces);
  SavePlacesKml(ExeDir, Places);
  Click(1);
  QAction* old = Item(*Menu->pGetFromGG, 0);
  QPointer<QMenu> oldFolder = Item(*Menu->pGetFromGG, 1)->menu();

  WriteWholeFile(Places,
                 "<kml><Folder><Placemark><name>Новая</name><Point><coordinates>10.5,-0.5</coordinates></Point>"
                 "</Placemark></Folder></kml>");
  Click(3);
  EXPECT_EQ(MenuLines(*Menu->pGetFromGG), (std::vector<std::string>{"Новая"}));
  EXPECT_FALSE(oldFolder) << "the old submenus go with the old tree";
  EXPECT_NE(Item(*Menu->pGetFromGG, 0), old);
  EXPECT_EQ(Menu->PickButton, Button(3));
  Item(*Menu->pGetFromGG, 0)->trigger();
  EXPECT_EQ(Point(3), "0 30 000 S 10 30 000 E");
  EXPECT_EQ(Point(1), "1 1 1 N 1 1 1 E");
}

TEST_F(PlacemarkMenuTest, FileIsAskedForOnceAndRemembered) {
  WriteWholeFile(Places, kPlaces);
  // Cancelled: no box, no menu, nothing saved.
  std::vector<TSeenBox> boxes = Click(1, [](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
  });
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(Menu->pGetFromGG->isVisible());
  EXPECT_EQ(GetPlacesKml(ExeDir), "");

  QString askedFrom;
  bool hiddenShown = false;
  boxes = Click(1, [&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    askedFrom = dialog->directory().absolutePath();
    hiddenShown = dialog->filter().testFlag(QDir::Hidden);
    // Typed as a user would: the dialog's file list fills in the background.
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(Places));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(askedFrom, QDir::homePath());
  EXPECT_TRUE(hiddenShown);
  EXPECT_EQ(GetPlacesKml(ExeDir), Places);
  EXPECT_EQ(MenuLines(*Menu->pGetFromGG).size(), 5u);

  // The next click reads the remembered file without asking.
  boxes = Click(2, [](QWidget*) { ADD_FAILURE() << "asked again"; });
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(Menu->PickButton, Button(2));
}

TEST_F(PlacemarkMenuTest, FilesThatGiveNothingEndInTheBoxes) {
  const TSeenBox notInstalled{QStringLiteral("Orvex монитор"),
                              QStringLiteral("Программное обеспечение Google Earth не установлено"),
                              QMessageBox::Critical};
  const TSeenBox nothing{QStringLiteral("Orvex Монитор"),
                         QStringLiteral("Не удалось загрузить список меток из Google Earth"), QMessageBox::Warning};
  struct Case {
    const char* name;
    const char* text;  // nullptr: the named file is missing
    std::vector<TSeenBox> boxes;
    bool forgotten;
  };
  const Case cases[] = {
      {"missing", nullptr, {notInstalled, nothing}, true},
      {"not XML", "\x89PNG", {nothing}, false},
      {"no placemark", "<kml><Document><Placemark><name>A</name></Placemark></Document></kml>", {nothing}, false},
  };
  for (const Case& c : cases) {
    std::remove(Places.c_str());
    if (c.text) WriteWholeFile(Places, c.text);
    SavePlacesKml(ExeDir, Places);
    std::vector<TSeenBox> boxes = Click(1);
    ASSERT_EQ(boxes.size(), c.boxes.size()) << c.name;
    for (size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_EQ(boxes[i].Caption, c.boxes[i].Caption) << c.name;
      EXPECT_EQ(boxes[i].Text, c.boxes[i].Text) << c.name;
      EXPECT_EQ(boxes[i].Icon, c.boxes[i].Icon) << c.name;
    }
    EXPECT_FALSE(Menu->pGetFromGG->isVisible()) << c.name;
    EXPECT_EQ(GetPlacesKml(ExeDir), c.forgotten ? "" : Places) << c.name;
  }
}

}  // namespace
