#pragma once
// What the settings window computes, apart from its widgets: the items of its two device
// lists, which item the configured modem selects, and what a confirmed window changes.
//
// Texts are code page 1251 bytes, as the settings file holds them. A port setting is compared
// as written: "direct" chooses the USB terminal, anything else names a serial port.

#include "gsm/PortList.h"
#include "seam/WindowSettings.h"

#include <optional>
#include <string>
#include <vector>

// The port setting that chooses the USB terminal.
inline constexpr const char* kTerminalPort = "direct";

// One item of the port list: its text and the entry it stands for.
struct TComItem {
  std::string Text;
  TComEntry Entry;
};

// "port (name)".
std::string ComItemText(const TComEntry& entry);

// The items of the port list for the setting `phonePort`: one per entry, plus an entry
// "Unknown" with status "unknown" for the configured port when no entry's port equals it
// exactly; sorted by text.
std::vector<TComItem> ComPortItems(const TComPortList& list, const std::string& phonePort);

// The terminal descriptions as items: none when the library listed nothing; sorted.
std::vector<std::string> TerminalItems(const std::optional<std::vector<std::string>>& descriptions);

// Sorts item texts without regard to letter case, character by character: a blank sorts
// before a digit, so "/dev/ttyUSB1 (...)" comes before "/dev/ttyUSB10 (...)". Equal texts keep
// their order.
void SortItemTexts(std::vector<std::string>& texts);

// The index of the text with the most characters (the first of equal ones); -1 for none.
int LongestItem(const std::vector<std::string>& texts);

// The first item whose port begins with `phonePort`; -1 when none does.
int ComPortSelection(const std::vector<TComItem>& items, const std::string& phonePort);

// The first item equal to `phoneDesc`; -1 when none is.
int TerminalSelection(const std::vector<std::string>& items, const std::string& phoneDesc);

// Whether the window opens on the USB terminal: the setting is "direct" in any letter case.
bool OpensOnTerminal(const std::string& phonePort);

// Whether a port item draws as absent (grey, italic): its status is not "ok" in any case.
bool IsAbsentPort(const std::string& status);

// The port of an item text: the text up to its first blank; "" when it has no blank.
std::string PortOfItemText(const std::string& text);

// The settings as the window opened on them: the link's settings as the file holds them.
using TConfigFields = TLinkSettings;

// The window's controls as the user left them.
struct TConfigControls {
  bool UsbTerminal = false;     // rbUsbTerminal ticked (else rbComPort)
  std::string UsbTerminalText;  // cbUsbTerminal
  std::string ComPortText;      // cbComPort
  std::string PinCodeText;      // edPinCode
  bool AutoConnect = false;     // cbAutoConnect
  bool NotCheckPin = false;     // cbNotCheckPin
};

// What confirming the window changes.
struct TConfigChanges {
  bool PortChanged = false;
  bool PinChanged = false;
  bool AutoConnectChanged = false;
  bool CheckPinChanged = false;

  bool Any() const { return PortChanged || PinChanged || AutoConnectChanged || CheckPinChanged; }
  // Whether a PIN that differs is written: not while the check is off.
  bool SavesPin(const TConfigControls& controls) const { return PinChanged && !controls.NotCheckPin; }
  // Whether an open modem is offered a reopen: a new port or a new PIN, saved or not.
  bool AffectsLink() const { return PortChanged || PinChanged; }
};

// Compares the controls with the fields and takes the new port choice into `fields`. On the
// terminal, a setting of exactly "direct" keeps its port and changes only when the
// description does; any other setting becomes "direct" with the description, a change. On a
// serial port the port is the item text up to its first blank.
TConfigChanges ApplyConfigControls(TConfigFields& fields, const TConfigControls& controls);

// The reconnect timer after a confirmed change: ticked and open, as it was; ticked and closed,
// running; not ticked, stopped.
bool ReconnectAfterChange(bool autoConnect, bool modemOpen, bool running);
