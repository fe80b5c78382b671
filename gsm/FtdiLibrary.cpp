#include "gsm/FtdiLibrary.h"

#include <cstring>
#include <vector>

#include <dlfcn.h>

const char* const kFtdiLibraryName = "libftd2xx.so";

namespace {

template <typename TFunction>
bool Bind(void* module, const char* name, TFunction& target) {
  void* address = dlsym(module, name);
  if (address == nullptr) return false;
  target = reinterpret_cast<TFunction>(address);
  return true;
}

// The text up to the first zero byte of a buffer that the library filled; the last byte is
// forced to zero first, so a description without its terminator cannot run past the buffer.
std::string TextOf(std::vector<char>& buffer) {
  buffer.back() = '\0';
  return std::string(buffer.data(), std::strlen(buffer.data()));
}

}  // namespace

TFtdiLibrary::TFtdiLibrary(void* module, std::string path) : Module(module), LibraryPath(std::move(path)) {}

TFtdiLibrary::~TFtdiLibrary() {
  if (Module != nullptr) dlclose(Module);
}

FT_STATUS TFtdiLibrary::CountDevices(uint32_t& count) const {
  count = 0;
  return ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
}

FT_STATUS TFtdiLibrary::DescriptionAt(uint32_t index, std::string& description) const {
  description.clear();
  std::vector<char> buffer(kFtDescriptionBufferSize, '\0');
  // With FT_LIST_BY_INDEX the first argument carries the index itself, not a pointer.
  const FT_STATUS status = ListDevices(reinterpret_cast<void*>(static_cast<uintptr_t>(index)), buffer.data(),
                                       FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
  if (status == FT_OK) description = TextOf(buffer);
  return status;
}

FT_STATUS TFtdiLibrary::OpenDeviceDescription(FT_HANDLE handle, std::string& description) const {
  description.clear();
  // The device type is not used; its slot is 64 bits wide in case a library writes a long there.
  alignas(uint64_t) FT_DEVICE type[2] = {};
  uint32_t id = 0;
  std::vector<char> serial(kFtSerialBufferSize, '\0');
  std::vector<char> buffer(kFtDescriptionBufferSize, '\0');
  const FT_STATUS status = GetDeviceInfo(handle, type, &id, serial.data(), buffer.data(), nullptr);
  if (status == FT_OK) description = TextOf(buffer);
  return status;
}

std::unique_ptr<TFtdiLibrary> LoadFtdiDriver(const std::string& exeDir) {
  std::vector<std::string> candidates;
  if (!exeDir.empty())
    candidates.push_back(exeDir + (exeDir.back() == '/' ? "" : "/") + kFtdiLibraryName);
  candidates.push_back(kFtdiLibraryName);

  void* module = nullptr;
  std::string path;
  for (const std::string& candidate : candidates) {
    module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module != nullptr) {
      path = candidate;
      break;
    }
  }
  if (module == nullptr) return nullptr;

  std::unique_ptr<TFtdiLibrary> library(new TFtdiLibrary(module, path));
  TFtdiLibrary& lib = *library;
  const bool complete =
      Bind(module, "FT_ListDevices", lib.ListDevices) && Bind(module, "FT_Open", lib.Open) &&
      Bind(module, "FT_Close", lib.Close) && Bind(module, "FT_ResetDevice", lib.ResetDevice) &&
      Bind(module, "FT_Purge", lib.Purge) && Bind(module, "FT_Read", lib.Read) && Bind(module, "FT_Write", lib.Write) &&
      Bind(module, "FT_SetDivisor", lib.SetDivisor) && Bind(module, "FT_SetTimeouts", lib.SetTimeouts) &&
      Bind(module, "FT_SetBaudRate", lib.SetBaudRate) && Bind(module, "FT_GetDeviceInfo", lib.GetDeviceInfo) &&
      Bind(module, "FT_GetStatus", lib.GetStatus) && Bind(module, "FT_GetQueueStatus", lib.GetQueueStatus) &&
      Bind(module, "FT_SetRts", lib.SetRts) && Bind(module, "FT_SetDataCharacteristics", lib.SetDataCharacteristics) &&
      Bind(module, "FT_SetFlowControl", lib.SetFlowControl) && Bind(module, "FT_SetLatencyTimer", lib.SetLatencyTimer);
  // An incomplete library is no use: destroying the object unloads it again.
  if (!complete) return nullptr;
  return library;
}
