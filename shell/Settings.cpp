#include "shell/Settings.h"

#include "common/Text.h"
#include "platform/IniFile.h"

#include <QtGlobal>

namespace {

const std::string kCommon = "COMMON";
const std::string kVisual = "VISUAL";
const std::string kPhoneSection = "TELNUMBERS";

int32_t FlagValue(bool flag) { return flag ? 1 : 0; }

// One key of the start-up load that is written with its default when absent.
void LoadString(TIniFile& ini, const std::string& section, const std::string& key,
                const std::string& fallback, std::string& field) {
  if (ini.ValueExists(section, key)) {
    field = ini.ReadString(section, key, fallback);
  } else {
    field = fallback;
    ini.WriteString(section, key, fallback);
  }
}

void LoadFlag(TIniFile& ini, const std::string& section, const std::string& key, bool fallback, bool& field) {
  if (ini.ValueExists(section, key)) {
    field = ini.ReadInteger(section, key, FlagValue(fallback)) != 0;
  } else {
    field = fallback;
    ini.WriteInteger(section, key, FlagValue(fallback));
  }
}

// Writes the string only when the file holds another value; the read default is "".
void SaveStringIfChanged(TIniFile& ini, const std::string& section, const std::string& key,
                         const std::string& value) {
  if (ini.ReadString(section, key, "") != value) ini.WriteString(section, key, value);
}

void SaveFlagIfChanged(const std::string& exeDir, const std::string& section, const std::string& key,
                       int32_t readDefault, bool flag) {
  TIniFile ini(SettingsFileName(exeDir));
  if (ini.ReadInteger(section, key, readDefault) != FlagValue(flag)) ini.WriteInteger(section, key, FlagValue(flag));
  // A file that cannot be written keeps its old value; the caller's flag holds all the same.
  ini.UpdateFile();
}

void SaveLayout(const std::string& exeDir, const std::string& key, const std::string& layout, std::string& field) {
  TIniFile ini(SettingsFileName(exeDir));
  ini.WriteString(kVisual, key, layout);
  if (ini.UpdateFile()) field = layout;
}

}  // namespace

std::string SettingsFileName(const std::string& exeDir) { return exeDir + kSettingsFileName; }

void LoadSettings(const std::string& exeDir, TSettingsMirror& mirror) {
  TIniFile ini(SettingsFileName(exeDir));
  // A file that is there but cannot be read must neither be replaced by defaults nor reset a
  // mirror that a reload before a modem open still needs; at start the mirror holds the
  // defaults, which the program then runs on.
  if (!ini.IsReadable()) {
    qWarning("The settings file %s was not read: %s. The settings in use stay as they were (the defaults at start).",
             ini.FileName().c_str(), ini.ReadError().c_str());
    return;
  }

  LoadString(ini, kCommon, "PinCode", "", mirror.PinCode);
  LoadString(ini, kCommon, "PhonePort", "direct", mirror.PhonePort);
  LoadString(ini, kCommon, "PhoneDesc", kDefaultPhoneDesc, mirror.PhoneDesc);
  LoadFlag(ini, kVisual, "ShowNotify", true, mirror.ShowNotify);
  LoadFlag(ini, kCommon, "AutoConnect", false, mirror.AutoConnect);
  LoadFlag(ini, kCommon, "CheckPin", true, mirror.CheckPin);
  LoadFlag(ini, kCommon, "WriteDebugLog", false, mirror.WriteDebugLog);

  mirror.SmsFormLayout = ini.ReadString(kVisual, "SmsForm", "200,400,");
  mirror.SmsTemplateFormLayout = ini.ReadString(kVisual, "SmsTemplateForm", "200,400");
  mirror.ShowSmsFormLayout = ini.ReadString(kVisual, "ShowSmsForm", "");

  // A program folder that cannot be written (an installed program) still runs on the values
  // read and the defaults; the missing keys are written at a later start that can.
  ini.UpdateFile();
}

std::string GetPhonePort(const std::string& exeDir) {
  return TIniFile(SettingsFileName(exeDir)).ReadString(kCommon, "PhonePort", "");
}

std::string GetPhoneDesc(const std::string& exeDir) {
  return TIniFile(SettingsFileName(exeDir)).ReadString(kCommon, "PhoneDesc", "");
}

std::string GetPinCode(const std::string& exeDir) {
  return TIniFile(SettingsFileName(exeDir)).ReadString(kCommon, "PinCode", "");
}

bool GetAutoConnect(const std::string& exeDir) {
  return TIniFile(SettingsFileName(exeDir)).ReadInteger(kCommon, "AutoConnect", 0) != 0;
}

bool GetCheckPin(const std::string& exeDir) {
  return TIniFile(SettingsFileName(exeDir)).ReadInteger(kCommon, "CheckPin", 1) != 0;
}

void SaveSmsFormLayout(const std::string& exeDir, TSettingsMirror& mirror, const std::string& layout) {
  SaveLayout(exeDir, "SmsForm", layout, mirror.SmsFormLayout);
}

void SaveSmsTemplateFormLayout(const std::string& exeDir, TSettingsMirror& mirror, const std::string& layout) {
  SaveLayout(exeDir, "SmsTemplateForm", layout, mirror.SmsTemplateFormLayout);
}

void SaveShowSmsFormLayout(const std::string& exeDir, TSettingsMirror& mirror, const std::string& layout) {
  SaveLayout(exeDir, "ShowSmsForm", layout, mirror.ShowSmsFormLayout);
}

void SavePinCode(const std::string& exeDir, const std::string& pinCode) {
  TIniFile ini(SettingsFileName(exeDir));
  SaveStringIfChanged(ini, kCommon, "PinCode", pinCode);
  ini.UpdateFile();  // failure is quiet: the PIN is saved again after the next good set-up
}

void SavePortSettings(const std::string& exeDir, const std::string& phonePort, const std::string& phoneDesc) {
  TIniFile ini(SettingsFileName(exeDir));
  SaveStringIfChanged(ini, kCommon, "PhonePort", phonePort);
  SaveStringIfChanged(ini, kCommon, "PhoneDesc", phoneDesc);
  ini.UpdateFile();  // failure is quiet, as for the PIN
}

std::string GetPlacesKml(const std::string& exeDir) {
  return TIniFile(SettingsFileName(exeDir)).ReadString(kCommon, "PlacesKml", "");
}

void SavePlacesKml(const std::string& exeDir, const std::string& placesKml) {
  TIniFile ini(SettingsFileName(exeDir));
  SaveStringIfChanged(ini, kCommon, "PlacesKml", placesKml);
  ini.UpdateFile();  // failure is quiet: the next click asks for the file again
}

void SaveShowNotify(const std::string& exeDir, bool showNotify) {
  SaveFlagIfChanged(exeDir, kVisual, "ShowNotify", 0, showNotify);
}

bool SaveAutoConnect(const std::string& exeDir, TSettingsMirror& mirror, bool autoConnect) {
  SaveFlagIfChanged(exeDir, kCommon, "AutoConnect", 0, autoConnect);
  mirror.AutoConnect = autoConnect;
  return autoConnect;
}

bool SaveCheckPin(const std::string& exeDir, TSettingsMirror& mirror, bool checkPin) {
  SaveFlagIfChanged(exeDir, kCommon, "CheckPin", 1, checkPin);
  mirror.CheckPin = checkPin;
  return checkPin;
}

TPhoneBook LoadPhoneBook(const std::string& exeDir) {
  TPhoneBook book;
  const TIniFile ini(SettingsFileName(exeDir));
  for (const std::string& key : ini.ReadSection(kPhoneSection)) {
    const int32_t device = StrToIntDef(key, 0);
    if (device == 0) continue;
    std::string phone = ini.ReadString(kPhoneSection, key, std::string());
    if (!phone.empty()) book.push_back({device, std::move(phone)});
  }
  return book;
}

bool SavePhoneNumber(const std::string& exeDir, int32_t device, const std::string& phone) {
  TIniFile ini(SettingsFileName(exeDir));
  ini.WriteString(kPhoneSection, std::to_string(device), phone);
  return ini.UpdateFile();
}
