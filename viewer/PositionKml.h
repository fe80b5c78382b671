#pragma once
// The position file "OrvexMonitor.kml" in the program folder, into which the message window
// exports the positions of the device replies. The file accumulates one folder per device
// and one placemark per position time; after every export exactly one folder is open and
// one placemark visible, the one just exported. No widget here: the message window shows the
// result and opens the file in the globe program.

#include "common/DateTime.h"
#include "common/SmsInfo.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class TXmlNode;

inline constexpr const char* kPositionKmlName = "OrvexMonitor.kml";
// The placemarks' car picture, written beside the position file and named by a relative
// link, so that it shows without any web server.
inline constexpr const char* kCarIconName = "OrvexMonitor-car.png";

// The program folder (with its trailing separator) followed by the file name.
QString PositionKmlPath(const std::string& exeDir);

// A stored coordinate (ddmm.mmmm times 100000, negative for south and west) in decimal
// degrees.
long double DecimalDegrees(int32_t stored);
// "lon,lat,0" with six decimals and a point as decimal separator.
QString CoordinatesText(long double latitude, long double longitude);

// What one reply puts into the file.
struct TKmlPosition {
  QString TimeText;     // the placemark's name: local time as "dd-mm-yy hh:nn:ss"
  QString Description;  // the placemark's HTML description
  long double Latitude = 0;
  long double Longitude = 0;
};

// True for the kinds that carry a position: 2 GET, 11 ALARM, 25 IOPOINT, 141 CONTROLPOINT.
bool CarriesPosition(uint8_t kind);
// The position of a reply of one of those kinds: the device's UTC time moved by the whole
// hours of `utcOffsetHours` (a control-point answer carries no time and takes `now`).
// Nothing for another kind or a record without its payload.
std::optional<TKmlPosition> KmlPositionOf(const TSmsInfo& info, int utcOffsetHours, TDateTime now);

// Writes a new file holding the declaration, "kml", "Document" and its fixed head (open,
// name, the placemark style and its style map), and the car picture beside it when missing.
bool CreateKmlDocument(const QString& path, QString& error);

// Closes every "Folder" child of the document element and hides every "Placemark" in them.
void CollapseKmlFolders(TXmlNode& document);

struct TKmlExportResult {
  bool Ok = false;
  QString Error;  // why the file was left as it was
  TKmlPosition Position;
};

// Adds the reply's position to the file at `path` (created when missing) or shows it again:
// the device's folder is found by its numeric name or appended; the placemark of the same
// time is found by its name and made visible, or appended. A file that cannot be read, is
// damaged or cannot be written is left byte for byte as it was and the result says why.
// Writers of one folder take turns (TFolderLock): two exports at once both reach the file.
TKmlExportResult ExportPositionToKml(const QString& path, const TSmsInfo& info, int utcOffsetHours, TDateTime now);
