// Arbitrary bytes as the payload of the dispatcher's send command: the parse either refuses
// the payload or gives a phone number and a text that are exactly the bytes before the first
// zero byte and the bytes after it up to the next one, and it never reads outside the payload.

#include "shell/DispatcherLink.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A heap block of exactly the payload's size, so that any read past its end is caught.
  std::unique_ptr<char[]> payload(new char[size == 0 ? 1 : size]);
  if (size > 0) std::memcpy(payload.get(), data, size);
  const std::optional<TSmsSendRequest> request = ParseSendSmsPayload(size == 0 ? nullptr : payload.get(), size);

  const void* firstNul = size == 0 ? nullptr : std::memchr(data, 0, size);
  if (size < 12 || firstNul == nullptr) {
    if (request) __builtin_trap();
    return 0;
  }
  if (!request) __builtin_trap();
  const size_t phoneLength = static_cast<size_t>(static_cast<const uint8_t*>(firstNul) - data);
  if (request->Phone.size() != phoneLength || std::memcmp(request->Phone.data(), data, phoneLength) != 0)
    __builtin_trap();
  const size_t textStart = phoneLength + 1;
  const size_t textLength = request->Text.size();
  if (textStart + textLength > size) __builtin_trap();
  if (std::memcmp(request->Text.data(), data + textStart, textLength) != 0) __builtin_trap();
  // The text ends at the payload's end or at a zero byte, never before either.
  if (textStart + textLength < size && data[textStart + textLength] != 0) __builtin_trap();
  if (std::memchr(request->Text.data(), 0, textLength) != nullptr) __builtin_trap();
  return 0;
}
