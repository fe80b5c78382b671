#include "viewer/PositionKml.h"

#include "common/Text.h"
#include "platform/FolderLock.h"
#include "platform/XmlTree.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>

#include <cstdlib>

static void LoadPositionKmlResources() { Q_INIT_RESOURCE(PositionKml); }

namespace {

const QString kDocument = QStringLiteral("Document");
const QString kFolder = QStringLiteral("Folder");
const QString kPlacemark = QStringLiteral("Placemark");
const QString kName = QStringLiteral("name");
const QString kOpen = QStringLiteral("open");
const QString kVisibility = QStringLiteral("visibility");
const QString kStyleId = QStringLiteral("orvexmonitor_point_s");
const QString kStyleMapId = QStringLiteral("orvexmonitor_point");

// Sets the text of the element's first child of that name, or appends the child last.
void FindOrAdd(TXmlNode& element, const QString& name, const QString& text) {
  if (TXmlNode* child = element.FirstChildElement(name)) {
    child->SetText(text);
  } else {
    element.AppendTextElement(name, text);
  }
}

QString Validity(uint8_t valid) { return valid != 0 ? QStringLiteral("верные") : QStringLiteral("неверные"); }

// A device's own text (code page 1251) inside the HTML description.
QString DeviceText(const std::string& cp1251) { return QStringFromCp1251(cp1251).toHtmlEscaped(); }

QString PositionTime(TDateTime deviceTime, int utcOffsetHours) {
  return QString::fromStdString(FormatDateTime("dd-mm-yy hh:nn:ss", deviceTime + utcOffsetHours / 24.0));
}

// The folder of the device: the first child of the document element (of any name) whose
// "name" reads as that number. Children without a numeric name are passed over.
TXmlNode* FindDeviceFolder(const TXmlNode& document, int32_t deviceNumber) {
  for (TXmlNode* child : document.ChildElements()) {
    TXmlNode* name = child->FirstChildElement(kName);
    if (!name) continue;
    int32_t number = 0;
    if (TryStrToInt(Cp1251FromQString(name->TextContent()), number) && number == deviceNumber) return child;
  }
  return nullptr;
}

TXmlNode* FindPlacemark(const TXmlNode& folder, const QString& timeText) {
  for (TXmlNode* child : folder.ChildElements()) {
    TXmlNode* name = child->FirstChildElement(kName);
    if (name && name->TextContent() == timeText) return child;
  }
  return nullptr;
}

void WriteCarIcon(const QString& kmlPath) {
  QString iconPath = QFileInfo(kmlPath).dir().filePath(QString::fromLatin1(kCarIconName));
  if (QFileInfo::exists(iconPath)) return;
  LoadPositionKmlResources();
  // Without the picture the placemarks still show, with the globe program's own pin, so a
  // copy that fails is not an error of the export.
  if (QFile::copy(QStringLiteral(":/viewer/icons/car.png"), iconPath)) {
    QFile::setPermissions(iconPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  }
}

}  // namespace

QString PositionKmlPath(const std::string& exeDir) {
  return QFile::decodeName(QByteArray::fromStdString(exeDir)) + QString::fromLatin1(kPositionKmlName);
}

long double DecimalDegrees(int32_t stored) {
  int64_t a = std::llabs(static_cast<int64_t>(stored));
  long double degrees = static_cast<long double>(a / 10000000) + static_cast<long double>(a % 10000000) * 0.00001L / 60;
  return stored < 0 ? -degrees : degrees;
}

QString CoordinatesText(long double latitude, long double longitude) {
  // QString::number always writes a point, whatever the user's locale.
  return QString::number(static_cast<double>(longitude), 'f', 6) + u',' +
         QString::number(static_cast<double>(latitude), 'f', 6) + QStringLiteral(",0");
}

bool CarriesPosition(uint8_t kind) {
  return kind == kKindGet || kind == kKindAlarm || kind == kKindIOPoint || kind == kFirstParamKind + 13;
}

std::optional<TKmlPosition> KmlPositionOf(const TSmsInfo& info, int utcOffsetHours, TDateTime now) {
  const QString device = QStringLiteral("Прибор ") + QString::number(info.DeviceNumber);
  TKmlPosition position;
  int32_t latitude = 0;
  int32_t longitude = 0;
  if (info.Kind == kKindGet) {
    auto* get = info.PayloadAs<TSmsGet>();
    if (!get) return std::nullopt;
    position.TimeText = PositionTime(get->FixTime, utcOffsetHours);
    position.Description = device + QStringLiteral("<br>Текущее положение автомобиля.<br><b>Координаты ") +
                           Validity(get->Valid) + QStringLiteral("</b>");
    latitude = get->Latitude;
    longitude = get->Longitude;
  } else if (info.Kind == kKindAlarm) {
    auto* alarm = info.PayloadAs<TSmsAlarm>();
    if (!alarm) return std::nullopt;
    position.TimeText = PositionTime(alarm->GpsTime, utcOffsetHours);
    QString input = alarm->InputNumber != 0 ? QString::number(alarm->InputNumber) : DeviceText(alarm->InputName);
    position.Description = device + QStringLiteral("<br>Сработал цифровой вход ") + input +
                           QStringLiteral(".<br><b>Координаты ") + Validity(alarm->Valid) + QStringLiteral("</b>");
    latitude = alarm->Latitude;
    longitude = alarm->Longitude;
  } else if (info.Kind == kKindIOPoint) {
    auto* point = info.PayloadAs<TSmsIOPoint>();
    if (!point) return std::nullopt;
    position.TimeText = PositionTime(point->Time, utcOffsetHours);
    position.Description = device + (point->Direction == 0 ? QStringLiteral("<br>Вход в контрольную точку")
                                                           : QStringLiteral("<br>Выход из контрольной точки "));
    position.Description +=
        point->PointNumber != 0 ? QString::number(point->PointNumber) : DeviceText(point->PointName) + u'.';
    latitude = point->Latitude;
    longitude = point->Longitude;
  } else if (info.Kind == kFirstParamKind + 13) {
    auto* point = info.PayloadAs<TSmsParamPoint>();
    if (!point) return std::nullopt;
    position.TimeText = PositionTime(now, 0);
    position.Description = device + QStringLiteral("<br>Контрольная точка №") + QString::number(point->Index) + u'.';
    latitude = point->Latitude;
    longitude = point->Longitude;
  } else {
    return std::nullopt;
  }
  position.Latitude = DecimalDegrees(latitude);
  position.Longitude = DecimalDegrees(longitude);
  return position;
}

bool CreateKmlDocument(const QString& path, QString& error) {
  TXmlDocument xml;
  TXmlNode& document = xml.SetRoot(QStringLiteral("kml")).AppendElement(kDocument);
  document.AppendTextElement(kOpen, QStringLiteral("1"));
  document.AppendTextElement(kName, QStringLiteral("Orvex"));
  TXmlNode& style = document.AppendElement(QStringLiteral("Style"));
  style.SetAttribute(QStringLiteral("id"), kStyleId);
  TXmlNode& iconStyle = style.AppendElement(QStringLiteral("IconStyle"));
  iconStyle.AppendTextElement(QStringLiteral("scale"), QStringLiteral("1.3"));
  iconStyle.AppendElement(QStringLiteral("Icon"))
      .AppendTextElement(QStringLiteral("href"), QString::fromLatin1(kCarIconName));
  TXmlNode& hotSpot = iconStyle.AppendElement(QStringLiteral("hotSpot"));
  hotSpot.SetAttribute(QStringLiteral("x"), QStringLiteral("19"));
  hotSpot.SetAttribute(QStringLiteral("y"), QStringLiteral("16"));
  hotSpot.SetAttribute(QStringLiteral("xunits"), QStringLiteral("pixels"));
  hotSpot.SetAttribute(QStringLiteral("yunits"), QStringLiteral("pixels"));
  TXmlNode& styleMap = document.AppendElement(QStringLiteral("StyleMap"));
  styleMap.SetAttribute(QStringLiteral("id"), kStyleMapId);
  for (const char* key : {"normal", "highlight"}) {
    TXmlNode& pair = styleMap.AppendElement(QStringLiteral("Pair"));
    pair.AppendTextElement(QStringLiteral("key"), QString::fromLatin1(key));
    pair.AppendTextElement(QStringLiteral("styleUrl"), u'#' + kStyleId);
  }
  if (!SaveXmlFile(path, xml, error)) return false;
  WriteCarIcon(path);
  return true;
}

void CollapseKmlFolders(TXmlNode& document) {
  for (TXmlNode* folder : document.ChildElements()) {
    if (folder->Name != kFolder) continue;
    FindOrAdd(*folder, kOpen, QStringLiteral("0"));
    for (TXmlNode* placemark : folder->ChildElements()) {
      if (placemark->Name == kPlacemark) FindOrAdd(*placemark, kVisibility, QStringLiteral("0"));
    }
  }
}

TKmlExportResult ExportPositionToKml(const QString& path, const TSmsInfo& info, int utcOffsetHours, TDateTime now) {
  TKmlExportResult result;
  std::optional<TKmlPosition> position = KmlPositionOf(info, utcOffsetHours, now);
  if (!position) {
    result.Error = QStringLiteral("Сообщение не содержит координат");
    return result;
  }
  result.Position = *position;

  // From the look for the file to its save, one writer at a time: another one's placemark
  // would otherwise be lost between its read and this save.
  TFolderLock turn(path);
  if (!turn.IsLocked()) {
    result.Error = turn.Error();
    return result;
  }
  if (!QFileInfo::exists(path) && !CreateKmlDocument(path, result.Error)) return result;

  TXmlDocument xml;
  TXmlReadResult read = LoadXmlFile(path, xml);
  if (!read.Ok) {
    result.Error = read.Error;
    return result;
  }
  TXmlNode* document = xml.Root()->FirstChildElement(kDocument);
  if (!document) {
    result.Error = QStringLiteral("В файле нет элемента Document");
    return result;
  }

  CollapseKmlFolders(*document);
  TXmlNode* folder = FindDeviceFolder(*document, info.DeviceNumber);
  if (folder) {
    FindOrAdd(*folder, kOpen, QStringLiteral("1"));
  } else {
    folder = &document->AppendElement(kFolder);
    folder->AppendTextElement(kName, QString::number(info.DeviceNumber));
    folder->AppendTextElement(kOpen, QStringLiteral("1"));
  }

  if (TXmlNode* placemark = FindPlacemark(*folder, position->TimeText)) {
    FindOrAdd(*placemark, kVisibility, QStringLiteral("1"));
  } else {
    TXmlNode& added = folder->AppendElement(kPlacemark);
    added.AppendTextElement(kName, position->TimeText);
    added.AppendTextElement(kVisibility, QStringLiteral("1"));
    added.AppendElement(QStringLiteral("description")).AppendCData(position->Description);
    added.AppendTextElement(QStringLiteral("styleUrl"), u'#' + kStyleMapId);
    added.AppendElement(QStringLiteral("Point"))
        .AppendTextElement(QStringLiteral("coordinates"), CoordinatesText(position->Latitude, position->Longitude));
  }

  if (!SaveXmlFile(path, xml, result.Error)) return result;
  // A file written by an earlier run, or whose picture was deleted, gets it back.
  WriteCarIcon(path);
  result.Ok = true;
  return result;
}
