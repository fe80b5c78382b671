#include "shell/ConfigChoice.h"

#include "common/Text.h"

#include <QString>

#include <algorithm>

namespace {

// Case-insensitive and character by character, never a locale collation: a collation skips
// blanks and punctuation, which would put "ttyUSB10 (...)" before "ttyUSB1 (...)" and let the
// "begins with" selection pick the wrong port.
bool ItemTextLess(const std::string& a, const std::string& b) {
  return QString::compare(QStringFromCp1251(a), QStringFromCp1251(b), Qt::CaseInsensitive) < 0;
}

}  // namespace

std::string ComItemText(const TComEntry& entry) { return entry.Port + " (" + entry.Name + ")"; }

std::vector<TComItem> ComPortItems(const TComPortList& list, const std::string& phonePort) {
  std::vector<TComItem> items;
  bool listed = false;
  for (const TComEntry& entry : list) {
    items.push_back(TComItem{ComItemText(entry), entry});
    if (entry.Port == phonePort) listed = true;
  }
  if (!listed) {
    TComEntry unknown{"Unknown", phonePort, "unknown"};
    items.push_back(TComItem{ComItemText(unknown), unknown});
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const TComItem& a, const TComItem& b) { return ItemTextLess(a.Text, b.Text); });
  return items;
}

std::vector<std::string> TerminalItems(const std::optional<std::vector<std::string>>& descriptions) {
  std::vector<std::string> items = descriptions.value_or(std::vector<std::string>());
  SortItemTexts(items);
  return items;
}

void SortItemTexts(std::vector<std::string>& texts) { std::stable_sort(texts.begin(), texts.end(), ItemTextLess); }

int LongestItem(const std::vector<std::string>& texts) {
  int longest = -1;
  for (size_t index = 0; index < texts.size(); ++index)
    if (longest < 0 || texts[index].size() > texts[static_cast<size_t>(longest)].size())
      longest = static_cast<int>(index);
  return longest;
}

int ComPortSelection(const std::vector<TComItem>& items, const std::string& phonePort) {
  for (size_t index = 0; index < items.size(); ++index)
    if (items[index].Entry.Port.compare(0, phonePort.size(), phonePort) == 0) return static_cast<int>(index);
  return -1;
}

int TerminalSelection(const std::vector<std::string>& items, const std::string& phoneDesc) {
  auto found = std::find(items.begin(), items.end(), phoneDesc);
  return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

bool OpensOnTerminal(const std::string& phonePort) { return AnsiLowerCase(phonePort) == kTerminalPort; }

bool IsAbsentPort(const std::string& status) { return AnsiLowerCase(status) != "ok"; }

std::string PortOfItemText(const std::string& text) {
  const size_t blank = text.find(' ');
  return blank == std::string::npos ? std::string() : text.substr(0, blank);
}

TConfigChanges ApplyConfigControls(TConfigFields& fields, const TConfigControls& controls) {
  TConfigChanges changes;
  if (controls.UsbTerminal) {
    if (fields.PhonePort == kTerminalPort) {
      if (controls.UsbTerminalText != fields.PhoneDesc) {
        fields.PhoneDesc = controls.UsbTerminalText;
        changes.PortChanged = true;
      }
    } else {
      fields.PhonePort = kTerminalPort;
      fields.PhoneDesc = controls.UsbTerminalText;
      changes.PortChanged = true;
    }
  } else {
    const std::string port = PortOfItemText(controls.ComPortText);
    if (port != fields.PhonePort) {
      fields.PhonePort = port;
      changes.PortChanged = true;
    }
  }
  changes.PinChanged = controls.PinCodeText != fields.PinCode;
  changes.AutoConnectChanged = controls.AutoConnect != fields.AutoConnect;
  changes.CheckPinChanged = !controls.NotCheckPin != fields.CheckPin;
  return changes;
}

bool ReconnectAfterChange(bool autoConnect, bool modemOpen, bool running) {
  if (!autoConnect) return false;
  return modemOpen ? running : true;
}
