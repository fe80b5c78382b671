#pragma once
// The user's places of the globe program as a tree of folders and placemarks, read from the
// places file (KML) that the template window offers control points from. Each placemark
// carries its own point, so a pick never looks a placemark up again by its name (of two
// placemarks with one name, each gives its own point). No widget here.

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class TXmlNode;

struct TggWPListEntry;
using TggWPList = std::vector<std::unique_ptr<TggWPListEntry>>;

struct TggWPEntry {
  QString Name;
  double Latitude = 0;   // decimal degrees, negative for south
  double Longitude = 0;  // decimal degrees, negative for west
};

struct TggWPFolderEntry {
  QString Name;
  TggWPList Items;  // the folder's contents in file order
};

struct TggWPListEntry {
  static constexpr int32_t kPlacemark = 1;
  static constexpr int32_t kFolder = 2;
  int32_t Kind = 0;
  std::unique_ptr<TggWPEntry> Entry;         // Kind 1
  std::unique_ptr<TggWPFolderEntry> Folder;  // Kind 2
};

// The point of a "coordinates" text ("lon,lat[,alt]", the first of a list); false when it
// does not read as two numbers within the globe's ranges.
bool ReadKmlPoint(const QString& coordinates, double& latitude, double& longitude);

// Most items (placemarks and folders, at every level) that a tree holds: a menu of more could
// not be used, and would hold the window for long while it is built. The items after them in
// the file are passed over, as after damage.
inline constexpr int kMaxPlacemarkItems = 10000;

// One level of the tree from an element's children: a "Placemark" whose "Point/coordinates"
// reads is a placemark, a "Folder" or "Document" is a folder (an empty one too), everything
// else is passed over. At most kMaxPlacemarkItems items, in file order.
TggWPList ReadPlacemarkFolder(const TXmlNode& container);

struct TPlacesRead {
  enum class TStatus { Read, Missing, Unreadable };
  TStatus Status = TStatus::Read;
  // The contents of the root's first "Document" or "Folder". A damaged file gives what was
  // read before the damage.
  TggWPList Items;
};

// Reads the places file at `path`.
TPlacesRead LoadPlacesFile(const QString& path);
