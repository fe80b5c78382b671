#include "composer/PlacemarkTree.h"

#include "platform/XmlTree.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace {

QString NameOf(const TXmlNode& element) {
  const TXmlNode* name = element.FirstChildElement(QStringLiteral("name"));
  return name ? name->TextContent().simplified() : QString();
}

bool ReadNumber(const QString& text, double& value) {
  bool ok = false;
  value = text.toDouble(&ok);  // always with a point, whatever the user's locale
  return ok && std::isfinite(value);
}

}  // namespace

bool ReadKmlPoint(const QString& coordinates, double& latitude, double& longitude) {
  static const QRegularExpression blanks(QStringLiteral("\\s+"));
  QStringList tuples = coordinates.split(blanks, Qt::SkipEmptyParts);
  if (tuples.isEmpty()) return false;
  QStringList values = tuples.first().split(u',');
  if (values.size() < 2) return false;
  double lon = 0;
  double lat = 0;
  if (!ReadNumber(values[0], lon) || !ReadNumber(values[1], lat)) return false;
  if (std::fabs(lat) > 90 || std::fabs(lon) > 180) return false;
  latitude = lat;
  longitude = lon;
  return true;
}

namespace {

// One level of the tree, with `room` items (placemarks and folders) still to give out.
TggWPList ReadFolder(const TXmlNode& container, int& room) {
  TggWPList list;
  for (const TXmlNode* child : container.ChildElements()) {
    if (room <= 0) break;
    auto item = std::make_unique<TggWPListEntry>();
    if (child->Name == QStringLiteral("Placemark")) {
      const TXmlNode* point = child->FirstChildElement(QStringLiteral("Point"));
      const TXmlNode* coordinates = point ? point->FirstChildElement(QStringLiteral("coordinates")) : nullptr;
      auto entry = std::make_unique<TggWPEntry>();
      if (!coordinates || !ReadKmlPoint(coordinates->TextContent(), entry->Latitude, entry->Longitude)) continue;
      entry->Name = NameOf(*child);
      item->Kind = TggWPListEntry::kPlacemark;
      item->Entry = std::move(entry);
      --room;
    } else if (child->Name == QStringLiteral("Folder") || child->Name == QStringLiteral("Document")) {
      auto folder = std::make_unique<TggWPFolderEntry>();
      folder->Name = NameOf(*child);
      --room;
      folder->Items = ReadFolder(*child, room);
      item->Kind = TggWPListEntry::kFolder;
      item->Folder = std::move(folder);
    } else {
      continue;
    }
    list.push_back(std::move(item));
  }
  return list;
}

}  // namespace

TggWPList ReadPlacemarkFolder(const TXmlNode& container) {
  int room = kMaxPlacemarkItems;
  return ReadFolder(container, room);
}

TPlacesRead LoadPlacesFile(const QString& path) {
  TPlacesRead read;
  if (!QFileInfo::exists(path)) {
    read.Status = TPlacesRead::TStatus::Missing;
    return read;
  }
  TXmlDocument xml;
  TXmlReadResult result = LoadXmlFile(path, xml);
  const TXmlNode* root = xml.Root();
  if (!root) {
    // Nothing read: not XML, or a file that could not be opened.
    read.Status = TPlacesRead::TStatus::Unreadable;
    return read;
  }
  // A damaged file still offers the places read before the damage.
  (void)result;
  for (const TXmlNode* child : root->ChildElements()) {
    if (child->Name == QStringLiteral("Document") || child->Name == QStringLiteral("Folder")) {
      read.Items = ReadPlacemarkFolder(*child);
      break;
    }
  }
  return read;
}
