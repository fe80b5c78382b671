// The places tree and the control-point texts: a places file with nested and empty folders,
// shapes that are no points and placemarks of one name; missing, damaged and foreign files;
// points read from coordinate texts; degrees to degrees, minutes and thousandths.

#include "composer/ControlPointPick.h"
#include "composer/PlacemarkTree.h"

#include "platform/XmlTree.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace {

// One line per item, indented by depth: "P name lat lon" or "F name".
void Outline(const TggWPList& list, int depth, std::vector<std::string>& lines) {
  for (const auto& item : list) {
    std::string line(static_cast<size_t>(depth), ' ');
    if (item->Kind == TggWPListEntry::kPlacemark) {
      line += "P " + item->Entry->Name.toStdString() + " " +
              QString::number(item->Entry->Latitude, 'g', 10).toStdString() + " " +
              QString::number(item->Entry->Longitude, 'g', 10).toStdString();
      lines.push_back(line);
    } else {
      lines.push_back(line + "F " + item->Folder->Name.toStdString());
      Outline(item->Folder->Items, depth + 1, lines);
    }
  }
}

std::vector<std::string> Outline(const TggWPList& list) {
  std::vector<std::string> lines;
  Outline(list, 0, lines);
  return lines;
}

const std::string kPlaces =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
    "<Document>\n"
    "  <name>Мои метки</name>\n"
    "  <Placemark><name>Склад</name><Point><coordinates>37.62613,55.7520567,0</coordinates></Point></Placemark>\n"
    "  <Folder><name>Рейсы &amp; точки</name>\n"
    "    <Placemark><name>Порт</name><Point><coordinates>\n      151.2093,-33.8688,0\n    </coordinates></Point>"
    "</Placemark>\n"
    "    <Folder><name>Пустая</name></Folder>\n"
    "    <Placemark><name>Маршрут</name><LineString><coordinates>1,2 3,4</coordinates></LineString></Placemark>\n"
    "  </Folder>\n"
    "  <Style id=\"s\"/>\n"
    "  <Placemark><name>Склад</name><Point><coordinates>30.3,59.9</coordinates></Point></Placemark>\n"
    "  <Placemark><name>Вне</name><Point><coordinates>200,95</coordinates></Point></Placemark>\n"
    "</Document>\n"
    "</kml>\n";

const std::vector<std::string> kPlacesTree = {
    "P Склад 55.7520567 37.62613", "F Рейсы & точки", " P Порт -33.8688 151.2093", " F Пустая", "P Склад 59.9 30.3",
};

class PlacemarkTreeTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(Temp.IsCreated()); }
  TTempFolder Temp{"orvex-places"};
  const QString Path = QString::fromStdString(Temp.Path() + "/myplaces.kml");
};

TEST_F(PlacemarkTreeTest, PlacesFileGivesFoldersAndPlacemarksWithTheirPoints) {
  WriteWholeFile(Path.toStdString(), kPlaces);
  TPlacesRead read = LoadPlacesFile(Path);
  EXPECT_EQ(read.Status, TPlacesRead::TStatus::Read);
  EXPECT_EQ(Outline(read.Items), kPlacesTree);
}

TEST_F(PlacemarkTreeTest, MissingDamagedAndForeignFiles) {
  struct Case {
    const char* name;
    const char* text;  // nullptr: no file
    TPlacesRead::TStatus status;
    std::vector<std::string> tree;
  };
  const std::string cut = kPlaces.substr(0, kPlaces.find("<Folder><name>Пустая"));
  // A byte that is no UTF-8 in the name of the second placemark of the first folder.
  std::string badByte = kPlaces;
  badByte.insert(badByte.find("Пустая"), "\xff");
  std::string crowded = kPlaces;
  std::string attributes;
  for (int i = 0; i <= kMaxXmlAttributes; ++i) attributes += " a" + std::to_string(i) + "=\"\"";
  crowded.insert(crowded.find("<Folder><name>Пустая") + 7, attributes);
  const std::vector<std::string> beforeEmpty = {"P Склад 55.7520567 37.62613", "F Рейсы & точки",
                                                " P Порт -33.8688 151.2093", " F "};
  const Case cases[] = {
      {"missing", nullptr, TPlacesRead::TStatus::Missing, {}},
      {"cut inside a folder",
       cut.c_str(),
       TPlacesRead::TStatus::Read,
       {"P Склад 55.7520567 37.62613", "F Рейсы & точки", " P Порт -33.8688 151.2093"}},
      {"byte that is no UTF-8", badByte.c_str(), TPlacesRead::TStatus::Read, beforeEmpty},
      {"folder with too many attributes", crowded.c_str(), TPlacesRead::TStatus::Read,
       {beforeEmpty.begin(), beforeEmpty.end() - 1}},
      {"not XML", "GIF89a", TPlacesRead::TStatus::Unreadable, {}},
      {"empty file", "", TPlacesRead::TStatus::Unreadable, {}},
      {"root folder without a document",
       "<kml><Folder><Placemark><name>A</name><Point><coordinates>1,2</coordinates></Point></Placemark></Folder></kml>",
       TPlacesRead::TStatus::Read,
       {"P A 2 1"}},
      {"neither document nor folder",
       "<kml><Placemark><name>A</name></Placemark></kml>",
       TPlacesRead::TStatus::Read,
       {}},
  };
  for (const Case& c : cases) {
    if (c.text) WriteWholeFile(Path.toStdString(), c.text);
    TPlacesRead read = LoadPlacesFile(Path);
    EXPECT_EQ(read.Status, c.status) << c.name;
    EXPECT_EQ(Outline(read.Items), c.tree) << c.name;
  }
}

// A places file of more placemarks than a menu can offer: the tree holds the first ones, in file
// order, folders counted too.
TEST_F(PlacemarkTreeTest, TreeHoldsAtMostItsBoundOfItems) {
  std::string text = "<kml><Document><Folder><name>Все</name>";
  for (int i = 0; i < kMaxPlacemarkItems + 10; ++i) {
    text += "<Placemark><name>" + std::to_string(i) +
            "</name><Point><coordinates>1,2</coordinates></Point></Placemark>";
  }
  text += "</Folder><Placemark><name>после</name><Point><coordinates>1,2</coordinates></Point></Placemark>";
  text += "</Document></kml>";
  WriteWholeFile(Path.toStdString(), text);
  TPlacesRead read = LoadPlacesFile(Path);
  ASSERT_EQ(read.Items.size(), 1u);
  const TggWPList& items = read.Items[0]->Folder->Items;
  ASSERT_EQ(static_cast<int>(items.size()), kMaxPlacemarkItems - 1);
  EXPECT_EQ(items.front()->Entry->Name, QStringLiteral("0"));
  EXPECT_EQ(items.back()->Entry->Name, QString::number(kMaxPlacemarkItems - 2));
}

TEST(PlacemarkTreePoints, CoordinateTextsWithinTheGlobe) {
  struct Case {
    const char* text;
    bool ok;
    double latitude;
    double longitude;
  };
  const Case cases[] = {
      {"37.62613,55.7520567,0", true, 55.7520567, 37.62613},
      {"-70.5,-33.25", true, -33.25, -70.5},
      {"  1,2,0\n 3,4,0 ", true, 2, 1},  // a list: its first point
      {"180,90", true, 90, 180},
      {"180.0001,0", false, 0, 0},
      {"0,-90.5", false, 0, 0},
      {"nan,1", false, 0, 0},
      {"inf,1", false, 0, 0},
      {"1e999,1", false, 0, 0},
      {"37,6", true, 6, 37},
      {"37.6", false, 0, 0},
      {"a,b", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const Case& c : cases) {
    double latitude = -1;
    double longitude = -1;
    EXPECT_EQ(ReadKmlPoint(QString::fromUtf8(c.text), latitude, longitude), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_DOUBLE_EQ(latitude, c.latitude) << c.text;
    EXPECT_DOUBLE_EQ(longitude, c.longitude) << c.text;
  }
}

TEST(ControlPointPick, DecimalDegreesToDegreesMinutesAndThousandths) {
  struct Case {
    double degrees;
    int d, m, t;
  };
  const Case cases[] = {
      {55.7520567, 55, 45, 124}, {37.62613, 37, 37, 568}, {55.7501, 55, 45, 6},
      {9.99999, 9, 59, 999},     {-33.8688, 33, 52, 128}, {0, 0, 0, 0},
      {180, 180, 0, 0},          {-0.000004, 0, 0, 0},    {1e300, 0, 0, 0},
  };
  for (const Case& c : cases) {
    TDegreesMinutes value = DegreesMinutesOf(c.degrees);
    EXPECT_EQ(value.Degrees, c.d) << c.degrees;
    EXPECT_EQ(value.Minutes, c.m) << c.degrees;
    EXPECT_EQ(value.Thousandths, c.t) << c.degrees;
  }
}

TEST(ControlPointPick, PointTextsAndHemispheres) {
  struct Case {
    double latitude, longitude;
    const char* texts;  // Latd Latm Latmm NS Lond Lonm Lonmm EW
  };
  const Case cases[] = {
      {55.7501, 37.62613, "55 45 006 N 37 37 568 E"},
      {-33.8688, 151.2093, "33 52 128 S 151 12 558 E"},
      {40.7128, -74.006, "40 42 768 N 74 0 360 W"},
      {0, 0, "0 0 000 N 0 0 000 E"},
  };
  for (const Case& c : cases) {
    TControlPointTexts t = ControlPointTextsOf(c.latitude, c.longitude);
    QString joined = QStringList({t.Latd, t.Latm, t.Latmm, t.NorthSouth, t.Lond, t.Lonm, t.Lonmm, t.EastWest})
                         .join(QLatin1Char(' '));
    EXPECT_EQ(joined.toStdString(), c.texts);
  }
  EXPECT_EQ(ControlPointOfButton(QStringLiteral("btnCP1FromGoogle")), 1);
  EXPECT_EQ(ControlPointOfButton(QStringLiteral("btnCP3FromGoogle")), 3);
  EXPECT_EQ(ControlPointOfButton(QStringLiteral("btnCP4FromGoogle")), 0);
  EXPECT_EQ(ControlPointOfButton(QString()), 0);
}

}  // namespace
