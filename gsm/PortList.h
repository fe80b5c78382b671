#pragma once
// The port list that the settings window offers and the serial-port presence check reads:
// the modems of the machine first, then the serial ports not yet listed. Ports are device
// paths ("/dev/ttyUSB0").
//
// Modems are the tty devices with a model name. They come from the device manager's database
// (udev); when that names none, from a plain scan of sysfs, which reads the model of the USB
// device itself. Serial ports are the tty devices with a real driver behind them, plus the
// configured port while its node is a terminal (a pseudo-terminal of a port redirector, say).
//
// The sources are injectable, so that the list logic runs without hardware.

#include "gsm/FtdiLibrary.h"
#include "platform/TtyDevices.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One entry of the port list.
struct TComEntry {
  std::string Name;    // modem name, or "Unknown" for a bare serial port
  std::string Port;    // device path the modem is attached to, or of the serial port
  std::string Status;  // "Unknown" when found; "ok" for a modem whose port is a serial port
};

// In the order of discovery. Entries are plain values owned by the list.
using TComPortList = std::vector<TComEntry>;

struct TPortSources {
  // tty devices as udev reports them, and as the plain sysfs scan finds them.
  std::function<std::vector<TTtyDevice>()> Udev;
  std::function<std::vector<TTtyDevice>()> Sysfs;
  // Whether a device path is a terminal node that exists now.
  std::function<bool(const std::string&)> IsTerminal;

  // The machine's own sources.
  static TPortSources System();
};

class TPortList {
 public:
  explicit TPortList(TPortSources sources = TPortSources::System());

  // Modems, then serial ports; never fails, may be empty. `configuredPort` (the port
  // setting, a device path or a bare name) counts as a serial port while it is a terminal.
  TComPortList GetComPortList(const std::string& configuredPort = std::string()) const;

  // The steps of GetComPortList. Both modem sources answer an empty list when they find
  // nothing; the second is asked only then.
  TComPortList ListRegistryModems() const;
  TComPortList ListWmiModems() const;
  void MergeSerialPorts(TComPortList& list, const std::string& configuredPort) const;

 private:
  TPortSources Sources;
};

// Descriptions of the USB terminals that the D2XX library lists, in device-index order. When
// `library` is not loaded yet it is loaded from `exeDir` (or the normal library search) and
// kept there. Nothing, rather than an empty list, when the library cannot be loaded or counts
// no device; an empty list when every description failed. `ftStatus`, when given, receives the
// status of the last library call. The caller serialises all use of `library`.
std::optional<std::vector<std::string>> ListUsbTerminals(std::unique_ptr<TFtdiLibrary>& library,
                                                         const std::string& exeDir,
                                                         FT_STATUS* ftStatus = nullptr);

// The entry of `port` (a device path or a bare name), or null when the list has none.
const TComEntry* FindComPort(const TComPortList& list, const std::string& port);
