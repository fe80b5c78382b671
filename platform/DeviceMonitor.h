#pragma once
// Tells the main thread when a serial or USB device comes or goes: a udev monitor on the "tty"
// and "usb" subsystems, watched by the event loop. Every add or remove event runs the
// handler once, on the thread that started the monitor.

#include <QObject>

#include <functional>

class QSocketNotifier;
struct udev;
struct udev_monitor;

class TDeviceMonitor : public QObject {
 public:
  explicit TDeviceMonitor(std::function<void()> onChange, QObject* parent = nullptr);
  ~TDeviceMonitor() override;

  // Starts watching; false when udev cannot be reached (the program then never hears of
  // devices, and works on).
  bool Start();
  bool IsWatching() const { return Notifier != nullptr; }

 private:
  void Receive();

  std::function<void()> OnChange;
  struct udev* Udev = nullptr;
  struct udev_monitor* Monitor = nullptr;
  QSocketNotifier* Notifier = nullptr;
};
