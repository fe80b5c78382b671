#pragma once
// The stand-in dispatcher's fleet: its vehicle groups and vehicles, loaded from a small UTF-8
// text file.
//
//   # a comment; blank lines are skipped
//   [Buses]
//   1234|Bus 12|Volvo|+79001234567|pass1234
//   [Vans]
//
// "[name]" starts a group (a group may have no vehicles); each vehicle line under it holds
// five fields separated by "|": device number (decimal), alias, model, phone and handle text.
// Fields are taken as written, blanks included; alias, model, phone and handle may be empty.

#include <QString>

#include <cstdint>
#include <vector>

struct TStandinCar {
  int32_t Device = 0;
  QString Alias;
  QString Model;
  QString Phone;
  QString Handle;
};

struct TStandinGroup {
  QString Name;
  std::vector<TStandinCar> Cars;
};

using TStandinFleet = std::vector<TStandinGroup>;

// False with "line N: what is wrong" in error when a line is not of the form above; the fleet
// is then left as it was.
bool ParseStandinFleet(const QString& text, TStandinFleet& fleet, QString& error);
// As ParseStandinFleet, for the file at path ("path: ..." in error).
bool LoadStandinFleet(const QString& path, TStandinFleet& fleet, QString& error);
