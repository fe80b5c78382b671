#include "platform/TtyDevices.h"

#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TUdevUnref {
  void operator()(udev* context) const { udev_unref(context); }
  void operator()(udev_enumerate* enumerate) const { udev_enumerate_unref(enumerate); }
  void operator()(udev_device* device) const { udev_device_unref(device); }
};
using TUdevPtr = std::unique_ptr<udev, TUdevUnref>;
using TUdevEnumeratePtr = std::unique_ptr<udev_enumerate, TUdevUnref>;
using TUdevDevicePtr = std::unique_ptr<udev_device, TUdevUnref>;

std::string Text(const char* value) { return value ? std::string(value) : std::string(); }

// "vendor model", or the model alone when the vendor is not known; nothing without a model.
std::string JoinModel(const std::string& vendor, const std::string& model) {
  if (model.empty()) return std::string();
  if (vendor.empty()) return model;
  return vendor + " " + model;
}

std::string FirstOf(udev_device* device, const char* preferred, const char* other) {
  std::string value = Text(udev_device_get_property_value(device, preferred));
  if (value.empty()) value = Text(udev_device_get_property_value(device, other));
  return value;
}

// The first line of a sysfs attribute without its line end; empty when it cannot be read.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return std::string();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  return line;
}

// The value of KEY=value in a uevent file.
std::string UeventValue(const fs::path& file, const std::string& key) {
  std::ifstream in(file);
  std::string line;
  const std::string prefix = key + "=";
  while (std::getline(in, line))
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
  return std::string();
}

bool IsBelow(const fs::path& path, const fs::path& root) {
  const std::string p = path.string();
  const std::string r = root.string();
  return p.size() > r.size() && p.compare(0, r.size(), r) == 0 && p[r.size()] == '/';
}

}  // namespace

std::vector<TTtyDevice> UdevTtyDevices() {
  std::vector<TTtyDevice> devices;
  TUdevPtr context(udev_new());
  if (!context) return devices;
  TUdevEnumeratePtr enumerate(udev_enumerate_new(context.get()));
  if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
      udev_enumerate_scan_devices(enumerate.get()) < 0)
    return devices;
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
    TUdevDevicePtr device(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!device) continue;  // gone between the scan and now
    TTtyDevice tty;
    tty.Name = Text(udev_device_get_sysname(device.get()));
    tty.Node = Text(udev_device_get_devnode(device.get()));
    if (tty.Node.empty()) tty.Node = "/dev/" + tty.Name;
    tty.Model = JoinModel(FirstOf(device.get(), "ID_VENDOR_FROM_DATABASE", "ID_VENDOR"),
                          FirstOf(device.get(), "ID_MODEL_FROM_DATABASE", "ID_MODEL"));
    // Parents belong to the child device: they are not released here.
    for (udev_device* parent = udev_device_get_parent(device.get()); parent;
         parent = udev_device_get_parent(parent)) {
      if (const char* driver = udev_device_get_driver(parent)) {
        tty.Driver = driver;
        break;
      }
    }
    tty.NoUart = Text(udev_device_get_sysattr_value(device.get(), "type")) == "0";
    devices.push_back(std::move(tty));
  }
  return devices;
}

std::vector<TTtyDevice> SysfsTtyDevices(const std::string& sysRoot) {
  std::vector<TTtyDevice> devices;
  std::error_code error;
  const fs::path root = fs::weakly_canonical(sysRoot, error);
  if (error) return devices;
  const fs::path devicesRoot = root / "devices";
  fs::directory_iterator it(root / "class" / "tty", error);
  if (error) return devices;
  for (const fs::directory_entry& entry : it) {
    const fs::path ttyPath = entry.path();
    TTtyDevice tty;
    tty.Name = ttyPath.filename().string();
    const std::string devName = UeventValue(ttyPath / "uevent", "DEVNAME");
    tty.Node = "/dev/" + (devName.empty() ? tty.Name : devName);
    tty.NoUart = ReadAttribute(ttyPath / "type") == "0";
    std::error_code linkError;
    fs::path dir = fs::canonical(ttyPath / "device", linkError);
    if (!linkError) {
      for (; IsBelow(dir, devicesRoot); dir = dir.parent_path()) {
        std::error_code driverError;
        if (tty.Driver.empty() && fs::is_symlink(dir / "driver", driverError))
          tty.Driver = fs::read_symlink(dir / "driver", driverError).filename().string();
        if (tty.Model.empty() && fs::exists(dir / "idVendor", driverError))
          tty.Model = JoinModel(ReadAttribute(dir / "manufacturer"), ReadAttribute(dir / "product"));
        if (!tty.Driver.empty() && !tty.Model.empty()) break;
      }
    }
    devices.push_back(std::move(tty));
  }
  std::sort(devices.begin(), devices.end(),
            [](const TTtyDevice& a, const TTtyDevice& b) { return a.Name < b.Name; });
  return devices;
}

bool IsSerialPortDevice(const TTtyDevice& device) {
  const std::string& name = device.Name;
  if (name == "ptmx" || name == "tty" || name == "console") return false;
  if (name.size() > 3 && name.size() <= 5 && name.compare(0, 3, "tty") == 0 &&
      std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      std::stoi(name.substr(3)) <= 63)
    return false;
  return !device.Driver.empty() && !device.NoUart;
}

std::string PortDevicePath(const std::string& port) {
  if (port.empty() || port[0] == '/') return port;
  return "/dev/" + port;
}

bool IsTerminalNode(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return false;
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  // A terminal in exclusive mode refuses every further open with EBUSY: it is there.
  if (fd < 0) return errno == EBUSY;
  termios settings {};
  const bool terminal = ::tcgetattr(fd, &settings) == 0;
  ::close(fd);
  return terminal;
}
