#pragma once
// The windows' settings answered from the settings file in the program folder and the main
// form's mirror of it: reads come from the file or the mirror as each operation says, every
// change goes to the file through the savers of shell/Settings.h, which keep the mirror in step.

#include "common/SettingsMirror.h"
#include "seam/WindowSettings.h"

#include <string>

class TFileWindowSettings : public TWindowSettings {
public:
  // `exeDir` and `mirror` are borrowed and outlive this.
  TFileWindowSettings(const std::string& exeDir, TSettingsMirror& mirror) : ExeDir(exeDir), Mirror(mirror) {}

  // The layouts come from the mirror, as the file held them at start or as saved since.
  std::string Layout(TWindowKind kind) const override;
  void SaveLayout(TWindowKind kind, const std::string& layout) override;
  TLinkSettings ReadLinkSettings() const override;
  void SavePortSettings(const std::string& phonePort, const std::string& phoneDesc) override;
  void SavePinCode(const std::string& pinCode) override;
  // These two also set the mirror's flag, as the main form runs on it.
  void SaveAutoConnect(bool autoConnect) override;
  void SaveCheckPin(bool checkPin) override;
  std::string PlacesKml() const override;
  void SavePlacesKml(const std::string& placesKml) override;
  TPhoneBook PhoneBook() const override;
  bool SavePhoneNumber(int32_t device, const std::string& phone) override;

private:
  const std::string& ExeDir;
  TSettingsMirror& Mirror;
};
