#pragma once
// The one interface through which the windows (message, send, template, settings and About
// windows) reach the monitor. The main form implements it; a window test gives a window a
// small fake instead. Nothing here names the main form or the settings file: viewer/ and
// composer/ build on this floor and never on shell/.

#include "common/SmsInfo.h"
#include "gsm/PortList.h"
#include "gsm/SmsLog.h"
#include "seam/Fleet.h"
#include "seam/WindowKind.h"
#include "seam/WindowSettings.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;
class TTemplateWindow;

class TMonitorServices {
public:
  virtual ~TMonitorServices() = default;

  // The program folder, with its trailing separator: the command journal and the position
  // file live there (the settings file too, which the windows reach only through Settings()).
  virtual const std::string& ExeDir() const = 0;
  // The settings the windows read and the changes they keep.
  virtual TWindowSettings& Settings() = 0;

  // The SMS log. The history load reads only what was appended since the history's last load
  // (TSmsLog::LoadSmsLog).
  virtual void LoadUnreadSms(TSmsInfoList& list) = 0;
  virtual void LoadSmsLog(TSmsHistory& history) = 0;
  virtual void MarkAllSmsRead() = 0;
  // Ends the unread notice (tray, reminder, balloon) and marks the log read.
  virtual void ClearUnreadNotice() = 0;

  // Hands one message (phone and text in code page 1251) to the send queue; false when the
  // queue refuses it: a number that is no destination, a text longer than one message, or
  // a full queue.
  virtual bool QueueSmsSend(const std::string& phone, const std::string& text) = 0;
  // How many more messages the send queue takes now.
  virtual size_t SendQueueRoom() const = 0;

  // The modem link.
  virtual bool IsModemOpen() const = 0;
  // Closes an open link (with its balloon) and opens it again.
  virtual bool ReopenModem() = 0;
  // The reconnect timer: running or not.
  virtual bool ReconnectEnabled() const = 0;
  virtual void SetReconnectEnabled(bool enabled) = 0;
  // Where the port list comes from (the machine's own sources unless a test replaced them).
  virtual const TPortSources& PortSources() const = 0;
  // The descriptions of the USB terminals the D2XX library lists; nothing when it cannot.
  virtual std::optional<std::vector<std::string>> ListUsbTerminals() = 0;

  // The dispatcher's fleet; empty while no dispatcher lent it.
  virtual const TFleet& Fleet() const = 0;

  // The one template window of the run (created by the window factory on first use); null
  // when the factory makes none.
  virtual TTemplateWindow* TemplateWindow() = 0;
};

// What the main form asks of an open window. Every window the factory makes implements it;
// what a window does not need it leaves as is.
class TMonitorWindow {
public:
  virtual ~TMonitorWindow() = default;
  // Before the window is shown (first opening and every later one): the layout string the
  // settings hold for it, for the windows that keep one.
  virtual void RestoreLayout(const std::string& layout) { (void)layout; }
  // Something the window shows may have changed: the log (message window), the fleet (send
  // window), the devices (settings window).
  virtual void RefreshWindow() {}
};

// The message window's two views, which the tray menu and the unread balloon choose.
class TMessageWindow : public TMonitorWindow {
public:
  virtual void ShowOperationHistory() = 0;
  virtual void ShowUnreadMessages() = 0;
};

// Makes a window of a kind for the monitor; null for a kind it does not make. The window is a
// top-level widget; the main form keeps one instance per kind and forgets it when the window
// is destroyed.
using TWindowFactory = std::function<QWidget*(TWindowKind kind, TMonitorServices& monitor)>;

// The send window's fill from the fleet: on opening, and again when the dispatcher's fleet
// was reloaded while it is open.
class TSendWindow : public TMonitorWindow {
public:
  virtual void FillDeviceList(const TFleet& fleet) = 0;
  virtual void RefillDeviceList(const TFleet& fleet) = 0;
};
