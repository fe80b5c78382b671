#pragma once
// The settings as the windows see them: what they read of the settings file and the changes
// they ask to keep. The windows never hold the monitor's settings themselves and never write
// the settings file: every change goes through here, and the monitor keeps its own copy of the
// settings in step with the file.

#include "seam/WindowKind.h"

#include <cstdint>
#include <string>
#include <vector>

// The modem link as the settings file holds it, read afresh for the settings window.
struct TLinkSettings {
  std::string PhonePort;
  std::string PhoneDesc;
  std::string PinCode;
  bool AutoConnect = false;
  bool CheckPin = true;
};

// The phone book: a number typed for a device, kept in the settings file.
struct TDevTelNumber {
  int32_t DeviceNumber = 0;
  std::string Phone;  // code page 1251
};
using TPhoneBook = std::vector<TDevTelNumber>;

class TWindowSettings {
public:
  virtual ~TWindowSettings() = default;

  // The layout string of a window that keeps one (message, send and template windows); ""
  // for the others.
  virtual std::string Layout(TWindowKind kind) const = 0;
  // Keeps the layout of a window that keeps one, for its next opening; others are ignored.
  virtual void SaveLayout(TWindowKind kind, const std::string& layout) = 0;

  // The settings window's fields, read from the file (not from the monitor's copy).
  virtual TLinkSettings ReadLinkSettings() const = 0;
  // The settings window's changes, each written only when the file holds a different value.
  virtual void SavePortSettings(const std::string& phonePort, const std::string& phoneDesc) = 0;
  virtual void SavePinCode(const std::string& pinCode) = 0;
  virtual void SaveAutoConnect(bool autoConnect) = 0;
  virtual void SaveCheckPin(bool checkPin) = 0;

  // The globe program's places file that the template window offers control points from (the
  // path's own bytes); "" when none was chosen.
  virtual std::string PlacesKml() const = 0;
  virtual void SavePlacesKml(const std::string& placesKml) = 0;

  // The phone book as the file holds it now, and one number kept for a device (code page
  // 1251); false when the file could not be written.
  virtual TPhoneBook PhoneBook() const = 0;
  virtual bool SavePhoneNumber(int32_t device, const std::string& phone) = 0;
};
