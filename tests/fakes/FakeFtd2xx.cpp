// The stand-in D2XX library; see FakeFtd2xx.h. Built twice: complete, and with
// FAKE_FTDI_WITHOUT_PURGE, lacking the FT_Purge entry point.

#include "fakes/FakeFtd2xx.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

// The library writes at most this much into the caller's buffers, terminator included.
constexpr std::size_t kDescriptionLimit = 64;
constexpr std::size_t kSerialLimit = 16;
constexpr FT_DEVICE kDeviceType = 5;
constexpr uint32_t kDeviceId = 0x04036001u;

class TEchoModem : public TAnsweringModemLink {
protected:
  std::string Answer(const char* data, std::size_t size) override { return std::string(data, size); }
};

struct TDevice {
  std::string Description;
  std::string Serial;
  bool Present = true;
  std::string Queued;  // bytes for the host ahead of the modem's
  TEchoModem Echo;
  TFakeModemLink* Modem = &Echo;
};

struct THandle {
  std::size_t Device;
};

struct TFake {
  std::mutex Guard;
  std::vector<std::unique_ptr<TDevice>> Devices;
  std::set<THandle*> Handles;
  std::map<std::string, FT_STATUS> Failures;
  std::string Log;

  TFake() {
    const char* devices = std::getenv("FAKE_FTDI_DEVICES");
    Configure(devices != nullptr ? devices : "");
  }
  ~TFake() { DropHandles(); }

  void DropHandles() {
    for (THandle* handle : Handles) delete handle;
    Handles.clear();
  }

  void Configure(const std::string& descriptions) {
    DropHandles();
    Devices.clear();
    Failures.clear();
    Log.clear();
    std::size_t start = 0;
    while (start < descriptions.size()) {
      std::size_t end = descriptions.find('|', start);
      if (end == std::string::npos) end = descriptions.size();
      auto device = std::make_unique<TDevice>();
      device->Description = descriptions.substr(start, end - start);
      device->Serial = "FK" + std::to_string(100000 + Devices.size());
      Devices.push_back(std::move(device));
      start = end + 1;
    }
  }

  // The configured device behind list position `index` of the devices now plugged in.
  TDevice* Listed(std::size_t index, std::size_t* position = nullptr) {
    for (std::size_t i = 0; i < Devices.size(); ++i) {
      if (!Devices[i]->Present) continue;
      if (index-- == 0) {
        if (position != nullptr) *position = i;
        return Devices[i].get();
      }
    }
    return nullptr;
  }

  std::size_t ListedCount() const {
    return static_cast<std::size_t>(
        std::count_if(Devices.begin(), Devices.end(), [](const auto& d) { return d->Present; }));
  }

  TDevice* DeviceAt(int index) {
    return index >= 0 && static_cast<std::size_t>(index) < Devices.size() ? Devices[index].get() : nullptr;
  }

  // The device of an open handle, or the status that the call answers instead.
  TDevice* OfHandle(FT_HANDLE handle, FT_STATUS& status) {
    auto* h = static_cast<THandle*>(handle);
    if (handle == nullptr || Handles.count(h) == 0) {
      status = FT_INVALID_HANDLE;
      return nullptr;
    }
    TDevice* device = Devices[h->Device].get();
    if (!device->Present) {
      status = FT_IO_ERROR;
      return nullptr;
    }
    status = FT_OK;
    return device;
  }

  bool Failing(const char* entryPoint, FT_STATUS& status) {
    auto found = Failures.find(entryPoint);
    if (found == Failures.end()) return false;
    status = found->second;
    return true;
  }

  void Record(const std::string& line) { Log += line + "\n"; }

  std::size_t Waiting(TDevice& device) { return device.Queued.size() + device.Modem->Waiting(); }
};

TFake& Fake() {
  static TFake fake;
  return fake;
}

void CopyLimited(char* target, const std::string& text, std::size_t limit) {
  if (target == nullptr) return;
  const std::size_t count = std::min(text.size(), limit - 1);
  std::memcpy(target, text.data(), count);
  target[count] = '\0';
}

// Takes the lock and applies an injected failure of the entry point.
#define FAKE_ENTRY(name)                    \
  TFake& fake = Fake();                     \
  std::lock_guard lock(fake.Guard);         \
  if (FT_STATUS injected = FT_OK; fake.Failing(name, injected)) return injected

// The same for a call on an open handle: `device` is its device.
#define FAKE_DEVICE_ENTRY(name, handle)                     \
  FAKE_ENTRY(name);                                         \
  FT_STATUS handleStatus;                                   \
  TDevice* device = fake.OfHandle(handle, handleStatus);    \
  if (device == nullptr) return handleStatus

}  // namespace

extern "C" {

// ---- Control ---------------------------------------------------------------------------------

void FakeFtdi_Configure(const char* descriptions) {
  TFake& fake = Fake();
  std::lock_guard lock(fake.Guard);
  fake.Configure(descriptions != nullptr ? descriptions : "");
}

void FakeFtdi_Queue(int index, const char* data, uint32_t size) {
  TFake& fake = Fake();
  std::lock_guard lock(fake.Guard);
  if (TDevice* device = fake.DeviceAt(index); device != nullptr && data != nullptr) device->Queued.append(data, size);
}

void FakeFtdi_AttachModem(int index, TFakeModemLink* modem) {
  TFake& fake = Fake();
  std::lock_guard lock(fake.Guard);
  if (TDevice* device = fake.DeviceAt(index); device != nullptr) device->Modem = modem != nullptr ? modem : &device->Echo;
}

void FakeFtdi_SetPresent(int index, int present) {
  TFake& fake = Fake();
  std::lock_guard lock(fake.Guard);
  if (TDevice* device = fake.DeviceAt(index); device != nullptr) device->Present = present != 0;
}

void FakeFtdi_SetFailure(const char* entryPoint, FT_STATUS status) {
  TFake& fake = Fake();
  std::lock_guard lock(fake.Guard);
  if (entryPoint == nullptr) return;
  if (status == FT_OK) fake.Failures.erase(entryPoint);
  else fake.Failures[entryPoint] = status;
}

uint32_t FakeFtdi_CallLog(char* buffer, uint32_t capacity) {
  TFake& fake = Fake();
  std::lock_guard lock(fake.Guard);
  if (buffer != nullptr) std::memcpy(buffer, fake.Log.data(), std::min<std::size_t>(capacity, fake.Log.size()));
  return static_cast<uint32_t>(fake.Log.size());
}

// ---- The D2XX entry points -------------------------------------------------------------------

FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
  FAKE_ENTRY("FT_ListDevices");
  if (flags & FT_LIST_NUMBER_ONLY) {
    if (arg1 == nullptr) return FT_INVALID_PARAMETER;
    *static_cast<uint32_t*>(arg1) = static_cast<uint32_t>(fake.ListedCount());
    return FT_OK;
  }
  if (flags & FT_LIST_BY_INDEX) {
    TDevice* device = fake.Listed(reinterpret_cast<uintptr_t>(arg1));
    if (device == nullptr) return FT_DEVICE_NOT_FOUND;
    if (arg2 == nullptr) return FT_INVALID_PARAMETER;
    if (flags & FT_OPEN_BY_DESCRIPTION) CopyLimited(static_cast<char*>(arg2), device->Description, kDescriptionLimit);
    else CopyLimited(static_cast<char*>(arg2), device->Serial, kSerialLimit);
    return FT_OK;
  }
  return FT_INVALID_PARAMETER;
}

FT_STATUS FT_Open(int deviceIndex, FT_HANDLE* handle) {
  FAKE_ENTRY("FT_Open");
  if (handle == nullptr) return FT_INVALID_PARAMETER;
  std::size_t position = 0;
  if (deviceIndex < 0 || fake.Listed(static_cast<std::size_t>(deviceIndex), &position) == nullptr)
    return FT_DEVICE_NOT_FOUND;
  for (THandle* open : fake.Handles)
    if (open->Device == position) return FT_DEVICE_NOT_OPENED;  // one owner at a time
  auto* opened = new THandle{position};
  fake.Handles.insert(opened);
  *handle = opened;
  fake.Record("FT_Open " + std::to_string(deviceIndex));
  return FT_OK;
}

FT_STATUS FT_Close(FT_HANDLE handle) {
  FAKE_ENTRY("FT_Close");
  auto* h = static_cast<THandle*>(handle);
  if (handle == nullptr || fake.Handles.erase(h) == 0) return FT_INVALID_HANDLE;
  delete h;
  fake.Record("FT_Close");
  return FT_OK;
}

FT_STATUS FT_ResetDevice(FT_HANDLE handle) {
  FAKE_DEVICE_ENTRY("FT_ResetDevice", handle);
  device->Queued.clear();
  device->Modem->Reset();
  fake.Record("FT_ResetDevice");
  return FT_OK;
}

#ifndef FAKE_FTDI_WITHOUT_PURGE
FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) {
  FAKE_DEVICE_ENTRY("FT_Purge", handle);
  if (mask & 1) {  // the receive queue
    device->Queued.clear();
    device->Modem->Reset();
  }
  fake.Record("FT_Purge " + std::to_string(mask));
  return FT_OK;
}
#endif

FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t toRead, uint32_t* returned) {
  FAKE_DEVICE_ENTRY("FT_Read", handle);
  if (returned == nullptr || (buffer == nullptr && toRead > 0)) return FT_INVALID_PARAMETER;
  // Hands over what is there at once; a real device would wait up to its read time-out.
  char* target = static_cast<char*>(buffer);
  std::size_t count = std::min<std::size_t>(toRead, device->Queued.size());
  std::memcpy(target, device->Queued.data(), count);
  device->Queued.erase(0, count);
  if (count < toRead) count += device->Modem->HostRead(target + count, toRead - count);
  *returned = static_cast<uint32_t>(count);
  return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, uint32_t toWrite, uint32_t* written) {
  FAKE_DEVICE_ENTRY("FT_Write", handle);
  if (written == nullptr || (buffer == nullptr && toWrite > 0)) return FT_INVALID_PARAMETER;
  device->Modem->HostWrote(static_cast<const char*>(buffer), toWrite);
  *written = toWrite;
  return FT_OK;
}

FT_STATUS FT_SetDivisor(FT_HANDLE handle, uint16_t divisor) {
  FAKE_DEVICE_ENTRY("FT_SetDivisor", handle);
  (void)device;
  fake.Record("FT_SetDivisor " + std::to_string(divisor));
  return FT_OK;
}

FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) {
  FAKE_DEVICE_ENTRY("FT_SetTimeouts", handle);
  (void)device;
  fake.Record("FT_SetTimeouts " + std::to_string(readMs) + " " + std::to_string(writeMs));
  return FT_OK;
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate) {
  FAKE_DEVICE_ENTRY("FT_SetBaudRate", handle);
  (void)device;
  fake.Record("FT_SetBaudRate " + std::to_string(baudRate));
  return FT_OK;
}

FT_STATUS FT_GetDeviceInfo(FT_HANDLE handle, FT_DEVICE* type, uint32_t* id, char* serial, char* description,
                           void* /*reserved*/) {
  FAKE_DEVICE_ENTRY("FT_GetDeviceInfo", handle);
  if (type != nullptr) *type = kDeviceType;
  if (id != nullptr) *id = kDeviceId;
  CopyLimited(serial, device->Serial, kSerialLimit);
  CopyLimited(description, device->Description, kDescriptionLimit);
  return FT_OK;
}

FT_STATUS FT_GetStatus(FT_HANDLE handle, uint32_t* rxQueue, uint32_t* txQueue, uint32_t* events) {
  FAKE_DEVICE_ENTRY("FT_GetStatus", handle);
  if (rxQueue == nullptr || txQueue == nullptr || events == nullptr) return FT_INVALID_PARAMETER;
  *rxQueue = static_cast<uint32_t>(fake.Waiting(*device));
  *txQueue = 0;
  *events = 0;
  return FT_OK;
}

FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, uint32_t* rxQueue) {
  FAKE_DEVICE_ENTRY("FT_GetQueueStatus", handle);
  if (rxQueue == nullptr) return FT_INVALID_PARAMETER;
  *rxQueue = static_cast<uint32_t>(fake.Waiting(*device));
  return FT_OK;
}

FT_STATUS FT_SetRts(FT_HANDLE handle) {
  FAKE_DEVICE_ENTRY("FT_SetRts", handle);
  (void)device;
  fake.Record("FT_SetRts");
  return FT_OK;
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
  FAKE_DEVICE_ENTRY("FT_SetDataCharacteristics", handle);
  (void)device;
  fake.Record("FT_SetDataCharacteristics " + std::to_string(wordLength) + " " + std::to_string(stopBits) + " " +
              std::to_string(parity));
  return FT_OK;
}

FT_STATUS FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon, uint8_t xoff) {
  FAKE_DEVICE_ENTRY("FT_SetFlowControl", handle);
  (void)device;
  fake.Record("FT_SetFlowControl " + std::to_string(flowControl) + " " + std::to_string(xon) + " " +
              std::to_string(xoff));
  return FT_OK;
}

FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, uint8_t latencyMs) {
  FAKE_DEVICE_ENTRY("FT_SetLatencyTimer", handle);
  (void)device;
  fake.Record("FT_SetLatencyTimer " + std::to_string(latencyMs));
  return FT_OK;
}

}  // extern "C"
