#pragma once
// The settings as the main form holds them, read from "OrvexMonitor.ini" by the settings file
// unit of the shell and used by the GSM side too.

#include <string>

// D2XX description of the maker's USB GSM terminal; matched as a prefix of the description
// that the library reports, so a longer description of the same terminal also matches.
inline constexpr const char* kDefaultPhoneDesc = "Orvex GSM Terminal";

// The settings as the main form holds them. The fields start at the defaults of the file, so
// that a program whose settings file cannot be read at all still runs on the defaults.
struct TSettingsMirror {
  std::string PinCode;
  std::string PhonePort = "direct";  // "direct": the USB terminal; otherwise a COM port name
  std::string PhoneDesc = kDefaultPhoneDesc;
  bool WriteDebugLog = false;
  bool ShowNotify = true;
  bool AutoConnect = false;
  bool CheckPin = true;
  std::string SmsFormLayout = "200,400,";
  std::string SmsTemplateFormLayout = "200,400";
  std::string ShowSmsFormLayout;
};
