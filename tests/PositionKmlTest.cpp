// The position file: its layout after exports (read back element by element, attributes in
// order), repeats and several devices, hand-edited files, texts that XML cannot hold, damaged
// files left untouched, the description texts and the coordinate conversion.

#include "viewer/PositionKml.h"

#include "common/Text.h"
#include "platform/XmlTree.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QLocale>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// 9 December 2026, in the device's UTC.
TDateTime At(int hour, int minute, int second) { return EncodeDate(2026, 12, 9) + EncodeTime(hour, minute, second, 0); }

TSmsInfo Get(int32_t device, TDateTime fixTime, int32_t latitude, int32_t longitude, uint8_t valid = 1) {
  TSmsInfo info;
  info.Kind = kKindGet;
  info.DeviceNumber = device;
  auto get = std::make_unique<TSmsGet>();
  get->FixTime = fixTime;
  get->Latitude = latitude;
  get->Longitude = longitude;
  get->Valid = valid;
  info.Payload = std::move(get);
  return info;
}

TSmsInfo Alarm(int16_t inputNumber, const std::string& inputName, uint8_t valid) {
  TSmsInfo info;
  info.Kind = kKindAlarm;
  info.DeviceNumber = 12345;
  auto alarm = std::make_unique<TSmsAlarm>();
  alarm->GpsTime = At(10, 0, 0);
  alarm->InputNumber = inputNumber;
  alarm->InputName = inputName;
  alarm->Valid = valid;
  info.Payload = std::move(alarm);
  return info;
}

TSmsInfo IOPoint(uint8_t direction, int16_t pointNumber, const std::string& pointName) {
  TSmsInfo info;
  info.Kind = kKindIOPoint;
  info.DeviceNumber = 12345;
  auto point = std::make_unique<TSmsIOPoint>();
  point->Time = At(10, 0, 0);
  point->Direction = direction;
  point->PointNumber = pointNumber;
  point->PointName = pointName;
  info.Payload = std::move(point);
  return info;
}

TSmsInfo ControlPoint(int16_t index) {
  TSmsInfo info;
  info.Kind = kFirstParamKind + 13;
  info.DeviceNumber = 12345;
  auto point = std::make_unique<TSmsParamPoint>();
  point->Index = index;
  point->Latitude = 554512340;
  point->Longitude = 373756780;
  info.Payload = std::move(point);
  return info;
}

// The tree as one line per element, indented by depth: "name attr=value ..." and, for a
// leaf, "=text" (a CDATA leaf "=[CDATA]text").
void Outline(const TXmlNode& element, int depth, std::vector<std::string>& lines) {
  std::string line(static_cast<size_t>(depth), ' ');
  line += element.Name.toStdString();
  for (const auto& [name, value] : element.Attributes) line += " " + name.toStdString() + "=" + value.toStdString();
  if (element.ChildElements().empty() && !element.Children.empty()) {
    bool cdata = element.Children.front()->Type == TXmlNode::TType::CData;
    line += "=" + std::string(cdata ? "[CDATA]" : "") + element.TextContent().toStdString();
  }
  lines.push_back(line);
  for (const TXmlNode* child : element.ChildElements()) Outline(*child, depth + 1, lines);
}

const std::vector<std::string> kTemplate = {
    "kml",
    " Document",
    "  open=1",
    "  name=Orvex",
    "  Style id=orvexmonitor_point_s",
    "   IconStyle",
    "    scale=1.3",
    "    Icon",
    "     href=OrvexMonitor-car.png",
    "    hotSpot x=19 y=16 xunits=pixels yunits=pixels",
    "  StyleMap id=orvexmonitor_point",
    "   Pair",
    "    key=normal",
    "    styleUrl=#orvexmonitor_point_s",
    "   Pair",
    "    key=highlight",
    "    styleUrl=#orvexmonitor_point_s",
};

std::vector<std::string> Placemark(const std::string& time, const char* visibility, const std::string& description,
                                   const std::string& coordinates) {
  return {"   Placemark",
          "    name=" + time,
          std::string("    visibility=") + visibility,
          "    description=[CDATA]" + description,
          "    styleUrl=#orvexmonitor_point",
          "    Point",
          "     coordinates=" + coordinates};
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const std::string kMoscow = "37.626130,55.752057,0";
const std::string kValidGet = "Прибор 12345<br>Текущее положение автомобиля.<br><b>Координаты верные</b>";

class PositionKmlTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(Temp.IsCreated()); }

  TKmlExportResult Export(const TSmsInfo& info, TDateTime now = At(20, 0, 0)) {
    TKmlExportResult result = ExportPositionToKml(Path, info, 3, now);
    EXPECT_TRUE(result.Ok) << result.Error.toStdString();
    return result;
  }

  std::vector<std::string> File() const {
    TXmlDocument document;
    TXmlReadResult read = LoadXmlFile(Path, document);
    EXPECT_TRUE(read.Ok) << read.Error.toStdString();
    std::vector<std::string> lines;
    if (document.Root()) Outline(*document.Root(), 0, lines);
    return lines;
  }

  TTempFolder Temp{"orvex-kml"};
  const std::string ExeDir = Temp.Path() + "/";
  const QString Path = PositionKmlPath(ExeDir);
};

TEST_F(PositionKmlTest, FirstExportWritesTheTemplateAFolderAndAPlacemark) {
  Export(Get(12345, At(11, 5, 33), 554512340, 373756780));
  EXPECT_EQ(File(), Join({kTemplate,
                          {"  Folder", "   name=12345", "   open=1"},
                          Placemark("09-12-26 14:05:33", "1", kValidGet, kMoscow)}));
  const std::string text = ReadWholeFile(Path.toStdString());
  EXPECT_EQ(text.substr(0, text.find('\n')), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  EXPECT_NE(text.find("<kml>"), std::string::npos) << "the root carries no namespace and no attribute";

  // The car picture lies beside the file, and comes back when deleted.
  const QString icon = QString::fromStdString(ExeDir + kCarIconName);
  EXPECT_FALSE(QImage(icon).isNull());
  QFile::remove(icon);
  Export(Get(12345, At(11, 5, 33), 554512340, 373756780));
  EXPECT_FALSE(QImage(icon).isNull());
}

TEST_F(PositionKmlTest, RepeatsDevicesAndClickTimesGiveOneOpenFolderAndOneVisiblePlacemark) {
  const std::string secondGet = "Прибор 12345<br>Текущее положение автомобиля.<br><b>Координаты неверные</b>";
  const std::string other = "Прибор 777<br>Текущее положение автомобиля.<br><b>Координаты верные</b>";
  const std::string controlPoint = "Прибор 12345<br>Контрольная точка №2.";

  // The same reply again, and another reply with the same time: one placemark, as first written.
  Export(Get(12345, At(11, 5, 33), 554512340, 373756780));
  Export(Get(12345, At(11, 5, 33), 100000000, 100000000, 0));
  EXPECT_EQ(File(), Join({kTemplate,
                          {"  Folder", "   name=12345", "   open=1"},
                          Placemark("09-12-26 14:05:33", "1", kValidGet, kMoscow)}));

  // A second device: the first folder closes and its placemark hides.
  Export(Get(777, At(12, 0, 0), 554512340, 373756780));
  EXPECT_EQ(File(), Join({kTemplate,
                          {"  Folder", "   name=12345", "   open=0"},
                          Placemark("09-12-26 14:05:33", "0", kValidGet, kMoscow),
                          {"  Folder", "   name=777", "   open=1"},
                          Placemark("09-12-26 15:00:00", "1", other, kMoscow)}));

  // A control-point answer takes the click's time: a second later, a second placemark.
  Export(ControlPoint(2), At(20, 0, 0));
  Export(ControlPoint(2), At(20, 0, 1));
  EXPECT_EQ(File(), Join({kTemplate,
                          {"  Folder", "   name=12345", "   open=1"},
                          Placemark("09-12-26 14:05:33", "0", kValidGet, kMoscow),
                          Placemark("09-12-26 20:00:00", "0", controlPoint, kMoscow),
                          Placemark("09-12-26 20:00:01", "1", controlPoint, kMoscow),
                          {"  Folder", "   name=777", "   open=0"},
                          Placemark("09-12-26 15:00:00", "0", other, kMoscow)}));

  // Back to the first placemark: only its visibility changes.
  Export(Get(12345, At(11, 5, 33), 1, 1));
  std::vector<std::string> lines = File();
  EXPECT_EQ(lines[22], "    visibility=1");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "    visibility=1"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "   open=1"), 1);
}

TEST_F(PositionKmlTest, SouthAndWestGiveNegativeDegrees) {
  TKmlExportResult result = Export(Get(12345, At(11, 5, 33), -335211280, -1511236000));
  EXPECT_EQ(File().back(), "     coordinates=-151.206000,-33.868547,0");
  EXPECT_NEAR(static_cast<double>(result.Position.Latitude), -33.868547, 1e-6);
  EXPECT_NEAR(static_cast<double>(result.Position.Longitude), -151.206, 1e-6);
}

TEST_F(PositionKmlTest, HandEditedFileIsSearchedByNumericNamesAndGetsMissingChildrenLast) {
  WriteWholeFile(Path.toStdString(),
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<kml><Document><name>Orvex</name>"
                 "<Folder><name>Мои машины</name><Placemark><name>x</name></Placemark></Folder>"
                 "<Folder><name>12345</name><Placemark><name>old</name><styleUrl>#s</styleUrl></Placemark></Folder>"
                 "</Document></kml>");
  Export(Get(12345, At(11, 5, 33), 554512340, 373756780));
  EXPECT_EQ(File(),
            Join({{"kml", " Document", "  name=Orvex"},
                  {"  Folder", "   name=Мои машины", "   Placemark", "    name=x", "    visibility=0", "   open=0"},
                  {"  Folder", "   name=12345", "   Placemark", "    name=old", "    styleUrl=#s", "    visibility=0",
                   "   open=1"},
                  Placemark("09-12-26 14:05:33", "1", kValidGet, kMoscow)}));

  // No folder of the device: a new one after the one whose name is no number.
  WriteWholeFile(Path.toStdString(), "<kml><Document><Folder><name>Мои машины</name></Folder></Document></kml>");
  Export(Get(12345, At(11, 5, 33), 554512340, 373756780));
  EXPECT_EQ(File(), Join({{"kml", " Document", "  Folder", "   name=Мои машины", "   open=0"},
                          {"  Folder", "   name=12345", "   open=1"},
                          Placemark("09-12-26 14:05:33", "1", kValidGet, kMoscow)}));
}

TEST_F(PositionKmlTest, DeviceTextsThatXmlOrHtmlCannotHoldStillGiveAReadableFile) {
  // A form feed from the device's input name, and markup characters.
  Export(Alarm(0, Cp1251("Дверь\f<1> & 2"), 1));
  EXPECT_EQ(File().back(), "     coordinates=0.000000,0.000000,0");
  EXPECT_EQ(File()[File().size() - 4],
            "    description=[CDATA]Прибор 12345<br>Сработал цифровой вход Дверь&lt;1&gt; &amp; 2.<br><b>Координаты "
            "верные</b>");
  // Every later export still works on the same file.
  TSmsInfo exit = IOPoint(1, 0, Cp1251("Склад\f"));
  exit.PayloadAs<TSmsIOPoint>()->Time = At(10, 0, 1);
  Export(exit);
  EXPECT_EQ(File()[File().size() - 4], "    description=[CDATA]Прибор 12345<br>Выход из контрольной точки Склад.");
}

TEST_F(PositionKmlTest, FileThatCannotBeReadOrWrittenIsLeftByteForByte) {
  struct Case {
    const char* name;
    std::string file;
  };
  const Case cases[] = {
      {"cut short", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml><Document><Folder><name>12345</na"},
      {"not XML", "PK\x03\x04 binary"},
      {"no Document", "<kml><Folder/></kml>"},
      {"empty", ""},
      {"element with too many attributes",
       "<kml><Document><Folder" + [] {
         std::string attributes;
         for (int i = 0; i <= kMaxXmlAttributes; ++i) attributes += " a" + std::to_string(i) + "=\"\"";
         return attributes;
       }() + "><name>12345</name></Folder></Document></kml>"},
  };
  for (const Case& c : cases) {
    WriteWholeFile(Path.toStdString(), c.file);
    TKmlExportResult result = ExportPositionToKml(Path, Get(12345, At(11, 5, 33), 1, 1), 3, At(20, 0, 0));
    EXPECT_FALSE(result.Ok) << c.name;
    EXPECT_FALSE(result.Error.isEmpty()) << c.name;
    EXPECT_EQ(ReadWholeFile(Path.toStdString()), c.file) << c.name;
  }

  // A full disk while saving.
  QFile::remove(Path);
  Export(Get(12345, At(11, 5, 33), 1, 1));
  const std::string before = ReadWholeFile(Path.toStdString());
  TKmlExportResult result;
  WithFileSizeLimit(before.size() + 16,
                    [&] { result = ExportPositionToKml(Path, Get(777, At(12, 0, 0), 1, 1), 3, At(20, 0, 0)); });
  EXPECT_FALSE(result.Ok);
  EXPECT_EQ(ReadWholeFile(Path.toStdString()), before);

  // A reply without a position changes nothing.
  TSmsInfo set;
  set.Kind = kKindSet;
  EXPECT_FALSE(ExportPositionToKml(Path, set, 3, At(20, 0, 0)).Ok);
  EXPECT_EQ(ReadWholeFile(Path.toStdString()), before);
}

// Two writers at once (two monitors sharing a program folder), starting from no file: every
// export reports success and every placemark is in the file.
TEST_F(PositionKmlTest, WritersAtOnceLoseNoPlacemark) {
  constexpr int kWriters = 2;
  constexpr int kExports = 20;
  std::vector<std::string> errors(kWriters);
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int e = 0; e < kExports; ++e) {
        TKmlExportResult result = ExportPositionToKml(Path, Get(1000 + w, At(10, e, 0), 554512340, 373756780), 3, 0);
        if (!result.Ok) errors[w] += result.Error.toStdString() + "; ";
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  for (int w = 0; w < kWriters; ++w) EXPECT_EQ(errors[w], "") << "writer " << w;
  const std::vector<std::string> lines = File();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "  Folder"), kWriters);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "   Placemark"), kWriters * kExports);
}

TEST(PositionKmlTexts, DescriptionsAndTimesByKind) {
  struct Case {
    const char* name;
    TSmsInfo info;
    const char* time;
    const char* description;
  };
  Case cases[] = {
      {"alarm by number", Alarm(3, "ignored", 1), "09-12-26 13:00:00",
       "Прибор 12345<br>Сработал цифровой вход 3.<br><b>Координаты верные</b>"},
      {"alarm by name, invalid fix", Alarm(0, Cp1251("Дверь"), 0), "09-12-26 13:00:00",
       "Прибор 12345<br>Сработал цифровой вход Дверь.<br><b>Координаты неверные</b>"},
      {"entry at a numbered point", IOPoint(0, 3, "ignored"), "09-12-26 13:00:00",
       "Прибор 12345<br>Вход в контрольную точку3"},
      {"exit at a named point", IOPoint(1, 0, Cp1251("Склад")), "09-12-26 13:00:00",
       "Прибор 12345<br>Выход из контрольной точки Склад."},
      {"control-point answer at the click's time", ControlPoint(1), "09-12-26 20:00:00",
       "Прибор 12345<br>Контрольная точка №1."},
      {"position report past midnight", Get(12345, At(22, 30, 0), 0, 0, 0), "10-12-26 01:30:00",
       "Прибор 12345<br>Текущее положение автомобиля.<br><b>Координаты неверные</b>"},
  };
  for (Case& c : cases) {
    std::optional<TKmlPosition> position = KmlPositionOf(c.info, 3, At(20, 0, 0));
    ASSERT_TRUE(position) << c.name;
    EXPECT_EQ(position->TimeText.toStdString(), c.time) << c.name;
    EXPECT_EQ(position->Description.toStdString(), c.description) << c.name;
  }

  // Kinds without a position, and a record that lacks its payload.
  TSmsInfo bare;
  for (uint8_t kind : {kKindSet, kKindGconf4, static_cast<uint8_t>(kFirstParamKind + 12), kKindGet}) {
    bare.Kind = kind;
    EXPECT_FALSE(KmlPositionOf(bare, 3, 0)) << int(kind);
  }
}

TEST(PositionKmlTexts, StoredCoordinatesInDecimalDegrees) {
  struct Case {
    int32_t stored;
    const char* degrees;
  };
  const Case cases[] = {
      {554512340, "55.752057"}, {-373756780, "-37.626130"},
      {0, "0.000000"},          {95999999, "10.000000"},     // 9 degrees 59.99999 minutes
      {-1, "-0.000000"},        {INT32_MIN, "-215.247275"},  // no overflow of the magnitude
  };
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));  // a comma for decimals
  for (const Case& c : cases) {
    long double degrees = DecimalDegrees(c.stored);
    EXPECT_EQ(CoordinatesText(0, degrees).section(u',', 0, 0).toStdString(), c.degrees) << c.stored;
  }
  EXPECT_EQ(CoordinatesText(DecimalDegrees(554512340), DecimalDegrees(-373756780)).toStdString(),
            "-37.626130,55.752057,0");
  QLocale::setDefault(QLocale::c());
}

}  // namespace
