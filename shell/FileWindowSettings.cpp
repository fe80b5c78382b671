#include "shell/FileWindowSettings.h"

#include "shell/Settings.h"

std::string TFileWindowSettings::Layout(TWindowKind kind) const {
  switch (kind) {
    case TWindowKind::ShowSms: return Mirror.ShowSmsFormLayout;
    case TWindowKind::Sms: return Mirror.SmsFormLayout;
    case TWindowKind::SmsTemplate: return Mirror.SmsTemplateFormLayout;
    case TWindowKind::Config:
    case TWindowKind::About: break;
  }
  return std::string();
}

void TFileWindowSettings::SaveLayout(TWindowKind kind, const std::string& layout) {
  switch (kind) {
    case TWindowKind::ShowSms: SaveShowSmsFormLayout(ExeDir, Mirror, layout); break;
    case TWindowKind::Sms: SaveSmsFormLayout(ExeDir, Mirror, layout); break;
    case TWindowKind::SmsTemplate: SaveSmsTemplateFormLayout(ExeDir, Mirror, layout); break;
    case TWindowKind::Config:
    case TWindowKind::About: break;
  }
}

TLinkSettings TFileWindowSettings::ReadLinkSettings() const {
  TLinkSettings link;
  link.PhonePort = GetPhonePort(ExeDir);
  link.PhoneDesc = GetPhoneDesc(ExeDir);
  link.PinCode = GetPinCode(ExeDir);
  link.AutoConnect = GetAutoConnect(ExeDir);
  link.CheckPin = GetCheckPin(ExeDir);
  return link;
}

void TFileWindowSettings::SavePortSettings(const std::string& phonePort, const std::string& phoneDesc) {
  ::SavePortSettings(ExeDir, phonePort, phoneDesc);
}

void TFileWindowSettings::SavePinCode(const std::string& pinCode) { ::SavePinCode(ExeDir, pinCode); }
void TFileWindowSettings::SaveAutoConnect(bool autoConnect) { ::SaveAutoConnect(ExeDir, Mirror, autoConnect); }
void TFileWindowSettings::SaveCheckPin(bool checkPin) { ::SaveCheckPin(ExeDir, Mirror, checkPin); }
std::string TFileWindowSettings::PlacesKml() const { return GetPlacesKml(ExeDir); }
void TFileWindowSettings::SavePlacesKml(const std::string& placesKml) { ::SavePlacesKml(ExeDir, placesKml); }
TPhoneBook TFileWindowSettings::PhoneBook() const { return LoadPhoneBook(ExeDir); }

bool TFileWindowSettings::SavePhoneNumber(int32_t device, const std::string& phone) {
  return ::SavePhoneNumber(ExeDir, device, phone);
}
