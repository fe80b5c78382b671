#pragma once
// The settings file "OrvexMonitor.ini" in the program folder, and the main form's mirror of it.
//
// Every operation opens the file afresh and lets it go when done; nothing keeps it open and
// there is no save at exit. Keys are written one by one as they change, and the file is only
// rewritten when a value really changes. No operation raises: a file that cannot be read or
// written is passed over quietly, as the failure rules of each operation below say.
//
// `exeDir` is the program folder with its trailing separator ("/opt/orvex/").

#include "common/SettingsMirror.h"
#include "seam/WindowSettings.h"

#include <cstdint>

#include <string>

inline constexpr const char* kSettingsFileName = "OrvexMonitor.ini";


std::string SettingsFileName(const std::string& exeDir);

// Fills the mirror from the file. The seven keys of [COMMON] and [VISUAL] that the program
// needs are written with their defaults when absent; the three window layouts are only read.
// A file that exists but cannot be read (anything but a regular file, one over
// kMaxIniFileBytes) changes nothing and says why in the warning output; a file that cannot be
// written still gives the mirror the values read and the defaults of the absent keys.
void LoadSettings(const std::string& exeDir, TSettingsMirror& mirror);

// Fresh reads for the settings window: the file, not the mirror. An absent key (or a file
// that cannot be read) gives "" for the strings, false for AutoConnect, true for CheckPin.
std::string GetPhonePort(const std::string& exeDir);
std::string GetPhoneDesc(const std::string& exeDir);
std::string GetPinCode(const std::string& exeDir);
bool GetAutoConnect(const std::string& exeDir);
bool GetCheckPin(const std::string& exeDir);
// The file of the globe program's places that the template window offers control points
// from ([COMMON] PlacesKml): the path's own bytes; "" when none was chosen yet. Not written
// at start: only SavePlacesKml writes it.
std::string GetPlacesKml(const std::string& exeDir);

// Window layouts, saved when the window closes: the key is written and then the mirror field
// takes the text. A failed write leaves the mirror field as it was.
void SaveSmsFormLayout(const std::string& exeDir, TSettingsMirror& mirror, const std::string& layout);
void SaveSmsTemplateFormLayout(const std::string& exeDir, TSettingsMirror& mirror, const std::string& layout);
void SaveShowSmsFormLayout(const std::string& exeDir, TSettingsMirror& mirror, const std::string& layout);

// Change savers: each key is written only when the file holds a different value (compared
// exactly). SavePinCode, SavePortSettings and SaveShowNotify leave the mirror alone;
// SaveAutoConnect and SaveCheckPin set their mirror field to the flag, also when the file
// could not be written, and return the flag.
void SavePinCode(const std::string& exeDir, const std::string& pinCode);
void SavePortSettings(const std::string& exeDir, const std::string& phonePort, const std::string& phoneDesc);
void SaveShowNotify(const std::string& exeDir, bool showNotify);
void SavePlacesKml(const std::string& exeDir, const std::string& placesKml);
bool SaveAutoConnect(const std::string& exeDir, TSettingsMirror& mirror, bool autoConnect);
bool SaveCheckPin(const std::string& exeDir, TSettingsMirror& mirror, bool checkPin);

// The phone book, section "TELNUMBERS": the entries in key order; keys that are not a
// non-zero integer and empty values are passed over. A number is kept for a device as given;
// false when the file could not be written.
TPhoneBook LoadPhoneBook(const std::string& exeDir);
bool SavePhoneNumber(const std::string& exeDir, int32_t device, const std::string& phone);
