#pragma once
// The binding to the D2XX driver library of the USB GSM terminal's USB-serial chip. The library
// is loaded at run time ("libftd2xx.so", first from the program folder, then from the normal
// library search) and stays loaded for as long as its TFtdiLibrary lives: the main form owns it
// from the first need until it is destroyed.
//
// These are our own declarations of the part of the library's C interface that the monitor
// calls: status codes and handles, the flags and values it passes, and one function type per
// entry point. Every count and status is 32 bits wide; a handle is an opaque pointer.

#include <cstdint>
#include <memory>
#include <string>

using FT_STATUS = uint32_t;
using FT_HANDLE = void*;
using FT_DEVICE = uint32_t;

// Status codes. FT_OK is success; the monitor treats every other value alike as failure.
constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
constexpr FT_STATUS FT_IO_ERROR = 4;
constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_STATUS FT_OTHER_ERROR = 18;

// Flags of FT_ListDevices.
constexpr uint32_t FT_LIST_NUMBER_ONLY = 0x80000000u;
constexpr uint32_t FT_LIST_BY_INDEX = 0x40000000u;
constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;

// Values of FT_SetDataCharacteristics and FT_SetFlowControl.
constexpr uint8_t FT_BITS_8 = 8;
constexpr uint8_t FT_STOP_BITS_1 = 0;
constexpr uint8_t FT_PARITY_NONE = 0;
constexpr uint16_t FT_FLOW_NONE = 0x0000;
constexpr uint16_t FT_FLOW_RTS_CTS = 0x0100;

// The library writes descriptions of up to 64 bytes and serial numbers of up to 16 bytes, each
// with its terminating zero; our buffers are larger so that a library that writes a little more
// still stays inside them.
constexpr std::size_t kFtDescriptionBufferSize = 256;
constexpr std::size_t kFtSerialBufferSize = 64;

// The entry points, in the order in which the loader resolves them.
using TFtListDevices = FT_STATUS (*)(void* arg1, void* arg2, uint32_t flags);
using TFtOpen = FT_STATUS (*)(int deviceIndex, FT_HANDLE* handle);
using TFtClose = FT_STATUS (*)(FT_HANDLE handle);
using TFtResetDevice = FT_STATUS (*)(FT_HANDLE handle);
using TFtPurge = FT_STATUS (*)(FT_HANDLE handle, uint32_t mask);
using TFtRead = FT_STATUS (*)(FT_HANDLE handle, void* buffer, uint32_t toRead, uint32_t* returned);
using TFtWrite = FT_STATUS (*)(FT_HANDLE handle, void* buffer, uint32_t toWrite, uint32_t* written);
using TFtSetDivisor = FT_STATUS (*)(FT_HANDLE handle, uint16_t divisor);
using TFtSetTimeouts = FT_STATUS (*)(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs);
using TFtSetBaudRate = FT_STATUS (*)(FT_HANDLE handle, uint32_t baudRate);
using TFtGetDeviceInfo = FT_STATUS (*)(FT_HANDLE handle, FT_DEVICE* type, uint32_t* id, char* serial,
                                       char* description, void* reserved);
using TFtGetStatus = FT_STATUS (*)(FT_HANDLE handle, uint32_t* rxQueue, uint32_t* txQueue, uint32_t* events);
using TFtGetQueueStatus = FT_STATUS (*)(FT_HANDLE handle, uint32_t* rxQueue);
using TFtSetRts = FT_STATUS (*)(FT_HANDLE handle);
using TFtSetDataCharacteristics = FT_STATUS (*)(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                                                uint8_t parity);
using TFtSetFlowControl = FT_STATUS (*)(FT_HANDLE handle, uint16_t flowControl, uint8_t xon, uint8_t xoff);
using TFtSetLatencyTimer = FT_STATUS (*)(FT_HANDLE handle, uint8_t latencyMs);

// The loaded library: its module and the 17 resolved entry points (all set in a loaded library).
// Destroying it unloads the library, so every handle the library gave out must be closed first.
class TFtdiLibrary {
public:
  ~TFtdiLibrary();
  TFtdiLibrary(const TFtdiLibrary&) = delete;
  TFtdiLibrary& operator=(const TFtdiLibrary&) = delete;

  // The file the library was loaded from, or the bare name when the normal search found it.
  const std::string& Path() const { return LibraryPath; }

  // FT_ListDevices(&count, null, FT_LIST_NUMBER_ONLY).
  FT_STATUS CountDevices(uint32_t& count) const;
  // FT_ListDevices(index, buffer, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION): the description of
  // device `index` (8-bit text, cut at its zero byte). Empty unless the status is FT_OK.
  FT_STATUS DescriptionAt(uint32_t index, std::string& description) const;
  // FT_GetDeviceInfo of an open device: its description. Empty unless the status is FT_OK.
  FT_STATUS OpenDeviceDescription(FT_HANDLE handle, std::string& description) const;

  TFtListDevices ListDevices = nullptr;
  TFtOpen Open = nullptr;
  TFtClose Close = nullptr;
  TFtResetDevice ResetDevice = nullptr;
  TFtPurge Purge = nullptr;
  TFtRead Read = nullptr;
  TFtWrite Write = nullptr;
  TFtSetDivisor SetDivisor = nullptr;
  TFtSetTimeouts SetTimeouts = nullptr;
  TFtSetBaudRate SetBaudRate = nullptr;
  TFtGetDeviceInfo GetDeviceInfo = nullptr;
  TFtGetStatus GetStatus = nullptr;
  TFtGetQueueStatus GetQueueStatus = nullptr;
  TFtSetRts SetRts = nullptr;
  TFtSetDataCharacteristics SetDataCharacteristics = nullptr;
  TFtSetFlowControl SetFlowControl = nullptr;
  TFtSetLatencyTimer SetLatencyTimer = nullptr;

private:
  friend std::unique_ptr<TFtdiLibrary> LoadFtdiDriver(const std::string& exeDir);
  TFtdiLibrary(void* module, std::string path);

  void* Module;
  std::string LibraryPath;
};

// The file name of the library.
extern const char* const kFtdiLibraryName;

// Loads the library from exeDir (the program folder; a trailing '/' is optional, an empty one is
// skipped) or else through the normal library search, and resolves its 17 entry points. Null
// when no library loads or any entry point is missing; a library that was loaded is then
// unloaded again. The caller keeps the result and asks again after a failure.
std::unique_ptr<TFtdiLibrary> LoadFtdiDriver(const std::string& exeDir);
