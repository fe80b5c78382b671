#include "gsm/PortList.h"

#include <algorithm>
#include <utility>

namespace {

const char kUnknown[] = "Unknown";
const char kPresent[] = "ok";

std::vector<TTtyDevice> Ask(const std::function<std::vector<TTtyDevice>()>& source) {
  return source ? source() : std::vector<TTtyDevice>();
}

// Every device with a model is a modem on its own node.
TComPortList ModemsOf(const std::vector<TTtyDevice>& devices) {
  TComPortList list;
  for (const TTtyDevice& device : devices)
    if (!device.Model.empty()) list.push_back(TComEntry{device.Model, device.Node, kUnknown});
  return list;
}

}  // namespace

TPortSources TPortSources::System() {
  return TPortSources{UdevTtyDevices, [] { return SysfsTtyDevices(); }, IsTerminalNode};
}

TPortList::TPortList(TPortSources sources) : Sources(std::move(sources)) {}

TComPortList TPortList::GetComPortList(const std::string& configuredPort) const {
  TComPortList list = ListRegistryModems();
  if (list.empty()) list = ListWmiModems();
  MergeSerialPorts(list, configuredPort);
  return list;
}

TComPortList TPortList::ListRegistryModems() const { return ModemsOf(Ask(Sources.Udev)); }

TComPortList TPortList::ListWmiModems() const { return ModemsOf(Ask(Sources.Sysfs)); }

void TPortList::MergeSerialPorts(TComPortList& list, const std::string& configuredPort) const {
  std::vector<TTtyDevice> devices = Ask(Sources.Udev);
  if (devices.empty()) devices = Ask(Sources.Sysfs);

  // Each port once: a port that two sources (or the configured port) name again must not
  // turn its own bare entry "ok" on the second pass.
  std::vector<std::string> ports;
  auto listed = [&ports](const std::string& port) {
    return std::find(ports.begin(), ports.end(), port) != ports.end();
  };
  for (const TTtyDevice& device : devices)
    if (IsSerialPortDevice(device) && !listed(device.Node)) ports.push_back(device.Node);
  // The configured port is probed only when the system does not list it already: opening
  // a real modem's line, even briefly, toggles its control lines.
  const std::string configured = PortDevicePath(configuredPort);
  if (!configured.empty() && !listed(configured) && Sources.IsTerminal &&
      Sources.IsTerminal(configured))
    ports.push_back(configured);

  for (const std::string& port : ports) {
    auto entry = std::find_if(list.begin(), list.end(),
                              [&port](const TComEntry& e) { return e.Port == port; });
    if (entry != list.end())
      entry->Status = kPresent;
    else
      list.push_back(TComEntry{kUnknown, port, kUnknown});
  }
}

std::optional<std::vector<std::string>> ListUsbTerminals(std::unique_ptr<TFtdiLibrary>& library,
                                                         const std::string& exeDir,
                                                         FT_STATUS* ftStatus) {
  FT_STATUS ignored = FT_OK;
  FT_STATUS& status = ftStatus ? *ftStatus : ignored;
  if (!library) library = LoadFtdiDriver(exeDir);
  if (!library) return std::nullopt;
  uint32_t count = 0;
  status = library->CountDevices(count);
  if (status != FT_OK || count == 0) return std::nullopt;
  std::vector<std::string> descriptions;
  for (uint32_t index = 0; index < count; ++index) {
    std::string description;
    status = library->DescriptionAt(index, description);
    if (status == FT_OK) descriptions.push_back(std::move(description));
  }
  return descriptions;
}

const TComEntry* FindComPort(const TComPortList& list, const std::string& port) {
  const std::string path = PortDevicePath(port);
  if (path.empty()) return nullptr;
  for (const TComEntry& entry : list)
    if (entry.Port == path) return &entry;
  return nullptr;
}
