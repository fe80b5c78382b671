#pragma once
// The project's stand-in for the USB terminal's D2XX library: a shared library named
// libftd2xx.so that exports the 17 entry points the monitor resolves, built into
// <build>/fakes/ (and a variant without FT_Purge into <build>/fakes/without-purge/).
//
// It lists terminals by description and connects each opened device to a modem behind it,
// a TFakeModemLink. Until a test attaches a modem of its own, each device has a built-in one
// that echoes whatever the host writes. Bytes queued with FakeFtdi_Queue are read by the host
// before anything the modem sends.
//
// Devices come from the environment variable FAKE_FTDI_DEVICES when the library is loaded
// (descriptions separated by '|'), or from FakeFtdi_Configure. A test reaches these control
// functions in the copy that the code under test has loaded with TFakeFtdiControl::Find.

#include "gsm/FtdiLibrary.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include <dlfcn.h>

// The modem on the far side of a fake device. Called with the fake's lock held, from whichever
// thread calls into the library; it must not call back into the library.
class TFakeModemLink {
public:
  virtual ~TFakeModemLink() = default;
  // Bytes the host wrote to the device.
  virtual void HostWrote(const char* data, std::size_t size) = 0;
  // How many bytes the modem has ready for the host.
  virtual std::size_t Waiting() = 0;
  // Moves up to `size` ready bytes into `buffer`; answers how many.
  virtual std::size_t HostRead(char* buffer, std::size_t size) = 0;
  // FT_ResetDevice or FT_Purge of the receive queue: drop what is ready.
  virtual void Reset() {}
};

// A modem that answers each write of the host at once: the answer waits in a queue until the
// host reads it, and a reset drops what is still waiting.
class TAnsweringModemLink : public TFakeModemLink {
public:
  void HostWrote(const char* data, std::size_t size) override { Ready += Answer(data, size); }
  std::size_t Waiting() override { return Ready.size(); }
  std::size_t HostRead(char* buffer, std::size_t size) override {
    const std::size_t count = std::min(size, Ready.size());
    std::memcpy(buffer, Ready.data(), count);
    Ready.erase(0, count);
    return count;
  }
  void Reset() override { Ready.clear(); }

protected:
  // What the modem sends back for these bytes of the host.
  virtual std::string Answer(const char* data, std::size_t size) = 0;

private:
  std::string Ready;
};

extern "C" {
// Replaces the device list ('|'-separated descriptions; "" for none). Open handles become
// invalid, failures and the call log are cleared, every device gets a fresh echo modem.
void FakeFtdi_Configure(const char* descriptions);
// Bytes that device `device` (its position in the configured list) sends to the host next.
void FakeFtdi_Queue(int device, const char* data, uint32_t size);
// Puts `modem` (borrowed; null restores the echo) behind device `device`.
void FakeFtdi_AttachModem(int device, TFakeModemLink* modem);
// Unplugs (0) or replugs (1) a device: an unplugged device is not listed, and calls on its open
// handle fail with FT_IO_ERROR.
void FakeFtdi_SetPresent(int device, int present);
// Makes every call of the named entry point answer `status` (FT_OK restores it).
void FakeFtdi_SetFailure(const char* entryPoint, FT_STATUS status);
// The calls that open, set up and close devices, one a line ("FT_SetBaudRate 230400"). Copies
// at most `capacity` bytes, answers the full length.
uint32_t FakeFtdi_CallLog(char* buffer, uint32_t capacity);
}

// The control functions of a fake that is already loaded from `path`.
struct TFakeFtdiControl {
  decltype(&FakeFtdi_Configure) Configure = nullptr;
  decltype(&FakeFtdi_Queue) Queue = nullptr;
  decltype(&FakeFtdi_AttachModem) AttachModem = nullptr;
  decltype(&FakeFtdi_SetPresent) SetPresent = nullptr;
  decltype(&FakeFtdi_SetFailure) SetFailure = nullptr;
  decltype(&FakeFtdi_CallLog) CallLogText = nullptr;

  std::string CallLog() const {
    std::string text(CallLogText(nullptr, 0), '\0');
    CallLogText(text.data(), static_cast<uint32_t>(text.size()));
    return text;
  }

  // Valid while the code under test keeps the library loaded. Empty when it is not loaded.
  static std::optional<TFakeFtdiControl> Find(const std::string& path) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) return std::nullopt;
    TFakeFtdiControl control;
    control.Configure = reinterpret_cast<decltype(control.Configure)>(dlsym(module, "FakeFtdi_Configure"));
    control.Queue = reinterpret_cast<decltype(control.Queue)>(dlsym(module, "FakeFtdi_Queue"));
    control.AttachModem = reinterpret_cast<decltype(control.AttachModem)>(dlsym(module, "FakeFtdi_AttachModem"));
    control.SetPresent = reinterpret_cast<decltype(control.SetPresent)>(dlsym(module, "FakeFtdi_SetPresent"));
    control.SetFailure = reinterpret_cast<decltype(control.SetFailure)>(dlsym(module, "FakeFtdi_SetFailure"));
    control.CallLogText = reinterpret_cast<decltype(control.CallLogText)>(dlsym(module, "FakeFtdi_CallLog"));
    dlclose(module);  // drops only the reference that RTLD_NOLOAD added
    if (!control.Configure || !control.Queue || !control.AttachModem || !control.SetPresent ||
        !control.SetFailure || !control.CallLogText)
      return std::nullopt;
    return control;
  }
};
