#pragma once
// A placemark's point as the template window's control-point edits hold it: degrees, whole
// minutes and thousandths of a minute of latitude and longitude, with the hemisphere given
// by the point's two selectors ("N"/"S", "E"/"W"). No widget here.

#include <QString>

struct TDegreesMinutes {
  int Degrees = 0;
  int Minutes = 0;
  int Thousandths = 0;
};

// The magnitude of decimal degrees, rounded to the nearest thousandth of a minute (never 60
// minutes). A value that is no number or lies beyond 180 degrees gives all 0.
TDegreesMinutes DegreesMinutesOf(double degrees);

// The texts of one point's six edits and the choice of its two selectors.
struct TControlPointTexts {
  QString Latd, Latm, Latmm;  // degrees and minutes without leading zeros, thousandths three digits
  QString Lond, Lonm, Lonmm;
  QString NorthSouth;  // "N" for a latitude of 0 or more, else "S"
  QString EastWest;    // "E" for a longitude of 0 or more, else "W"
};

TControlPointTexts ControlPointTextsOf(double latitude, double longitude);

// The point (1 to 3) whose button has this component name ("btnCP1FromGoogle" ..), else 0.
int ControlPointOfButton(const QString& buttonName);
