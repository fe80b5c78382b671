#pragma once
// The terminal (tty) devices of this machine, as the device manager (udev) reports them or as
// a plain scan of sysfs finds them, and the checks that turn them into modems and serial
// ports for the port list.
//
// udev enumerates from sysfs by itself, so the driver behind each device is known even where
// no udev daemon runs; the model names, though, come from the daemon's database and are
// missing there. The sysfs scan reads the model from the USB device's own attributes instead.

#include <string>
#include <vector>

struct TTtyDevice {
  std::string Name;    // kernel name, "ttyUSB0"
  std::string Node;    // device node, "/dev/ttyUSB0"
  std::string Model;   // hardware behind the device, "vendor model"; empty when not reported
  std::string Driver;  // driver of the nearest ancestor device that has one; empty when none
  bool NoUart = false; // a serial-core port that reports no UART: nothing is wired there
};

// Every tty device that udev enumerates, in udev's order. Empty when udev cannot be used.
std::vector<TTtyDevice> UdevTtyDevices();

// Every entry of <sysRoot>/class/tty, sorted by name. The model is the "manufacturer" and
// "product" of the nearest USB device above the tty device.
std::vector<TTtyDevice> SysfsTtyDevices(const std::string& sysRoot = "/sys");

// True for a device with a real driver behind it, which makes it a serial port: virtual
// consoles (tty0..tty63), ptmx and the other virtual terminals have none, and a serial-core
// port without a UART is only a placeholder.
bool IsSerialPortDevice(const TTtyDevice& device);

// Device path of a port name: "/dev/ttyUSB0" stays as it is, a name without the leading "/"
// is taken under "/dev/" ("ttyUSB0" means "/dev/ttyUSB0"). Empty stays empty.
std::string PortDevicePath(const std::string& port);

// True when `path` is a character device that answers as a terminal now. A terminal that
// another program holds in exclusive mode counts too.
bool IsTerminalNode(const std::string& path);
