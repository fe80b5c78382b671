#include "platform/DeviceMonitor.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>

TDeviceMonitor::TDeviceMonitor(std::function<void()> onChange, QObject* parent)
    : QObject(parent), OnChange(std::move(onChange)) {}

TDeviceMonitor::~TDeviceMonitor() {
  delete Notifier;
  if (Monitor) udev_monitor_unref(Monitor);
  if (Udev) udev_unref(Udev);
}

bool TDeviceMonitor::Start() {
  if (Notifier) return true;
  Udev = udev_new();
  if (!Udev) return false;
  Monitor = udev_monitor_new_from_netlink(Udev, "udev");
  if (!Monitor || udev_monitor_filter_add_match_subsystem_devtype(Monitor, "tty", nullptr) < 0 ||
      udev_monitor_filter_add_match_subsystem_devtype(Monitor, "usb", nullptr) < 0 ||
      udev_monitor_enable_receiving(Monitor) < 0) {
    if (Monitor) udev_monitor_unref(Monitor);
    Monitor = nullptr;
    udev_unref(Udev);
    Udev = nullptr;
    return false;
  }
  Notifier = new QSocketNotifier(udev_monitor_get_fd(Monitor), QSocketNotifier::Read);
  connect(Notifier, &QSocketNotifier::activated, this, [this] { Receive(); });
  return true;
}

void TDeviceMonitor::Receive() {
  // Everything queued is taken at once; each add or remove is one notice.
  while (udev_device* device = udev_monitor_receive_device(Monitor)) {
    const char* action = udev_device_get_action(device);
    const bool counts = action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0);
    udev_device_unref(device);
    if (counts && OnChange) OnChange();
  }
}
