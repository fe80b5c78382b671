#include "gsm/ModemPort.h"

#include "common/Text.h"
#include "gsm/PortList.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>
#include <vector>

const char kDebugLogName[] = "OVM_debug.log";
const char kTraceWrittenMarker[10] = "-->>>--\r\n";
const char kTraceReadMarker[10] = "--<<<--\r\n";
const char kTraceNoteMarker[10] = "--!!!--\r\n";

namespace {

using TClock = std::chrono::steady_clock;

// Trace records of all threads go through one lock, so that two records never interleave.
std::mutex& TraceLock() {
  static std::mutex lock;
  return lock;
}

bool WriteAll(int fd, iovec* parts, int partCount) {
  while (partCount > 0) {
    ssize_t put = ::writev(fd, parts, partCount);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    size_t left = static_cast<size_t>(put);
    while (partCount > 0 && left >= parts->iov_len) {
      left -= parts->iov_len;
      ++parts;
      --partCount;
    }
    if (partCount > 0) {
      parts->iov_base = static_cast<char*>(parts->iov_base) + left;
      parts->iov_len -= left;
    }
  }
  return true;
}

// The read of both transports: wait for the first bytes (`sleep(period, left)`: the serial port
// sleeps on its descriptor until bytes come, the USB terminal polls its queue every tenth of
// the wait); once bytes are seen, give the rest of the answer one more tenth to arrive and
// take what is queued then with one read. `isOpen()`, `queued(count)` and
// `read(buffer, size, count)` are the transport's.
template <typename TIsOpen, typename TQueued, typename TRead, typename TSleep>
uint8_t PollRead(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs, bool settle,
                 TIsOpen isOpen, TQueued queued, TRead read, TSleep sleep) {
  uint8_t result = kReadFailed;
  count = 0;
  const auto start = TClock::now();
  const auto end = start + std::chrono::milliseconds(waitMs);
  const auto period = std::chrono::milliseconds(waitMs / 10);
  if (capacity > 0) std::memset(buffer, 0, capacity);
  while (TClock::now() <= end) {
    if (!isOpen()) break;
    uint32_t waiting = 0;
    if (!queued(waiting)) break;
    if (waiting == 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - TClock::now());
      if (left.count() < 0) continue;
      sleep(period, left);
      continue;
    }
    if (settle) {
      std::this_thread::sleep_for(period);
      if (!queued(waiting) || waiting == 0) break;
    }
    // More than fits is read in pieces: what fits now, the rest at the next read.
    const uint32_t take = waiting < capacity ? waiting : capacity;
    if (take > 0 && read(buffer, take, count) && count > 0) result = kReadData;
    break;
  }
  if (result == kReadFailed && TClock::now() > end) result = kReadTimeOut;
  if (result != kReadData) count = 0;
  return result;
}

}  // namespace

TModemPort::TModemPort(std::string exeDir) : ProgramFolder(std::move(exeDir)) {}

TModemPort::~TModemPort() {
  // Every handle of the library is closed before the library goes.
  CloseTerminal();
}

TFtdiLibrary* TModemPort::Ftdi() {
  if (TFtdiLibrary* loaded = LoadedLibrary.load()) return loaded;
  std::lock_guard<std::mutex> lock(LibraryLock);
  if (!Library) {
    Library = LoadFtdiDriver(ProgramFolder);
    LoadedLibrary.store(Library.get());
  }
  return Library.get();
}

FT_HANDLE TModemPort::FtHandle() const {
  std::shared_lock<std::shared_mutex> lock(TerminalLock);
  return Terminal;
}

std::string TModemPort::PhonePort() const {
  std::lock_guard<std::mutex> lock(SettingsLock);
  return Port;
}

void TModemPort::SetPhonePort(const std::string& port) {
  std::lock_guard<std::mutex> lock(SettingsLock);
  Port = port;
}

std::string TModemPort::PhoneDesc() const {
  std::lock_guard<std::mutex> lock(SettingsLock);
  return Description;
}

void TModemPort::SetPhoneDesc(const std::string& description) {
  std::lock_guard<std::mutex> lock(SettingsLock);
  Description = description;
}

bool TModemPort::SelectsTerminal(const std::string& port) { return AnsiLowerCase(port) == "direct"; }

uint8_t TModemPort::ReadModem(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs) {
  return ReadChosen(buffer, capacity, count, waitMs, true);
}

uint8_t TModemPort::ReadModemAsItComes(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs) {
  return ReadChosen(buffer, capacity, count, waitMs, false);
}

uint8_t TModemPort::ReadChosen(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs, bool settle) {
  uint8_t result = kReadFailed;
  count = 0;
  switch (Chosen.load()) {
    case TTransport::SerialPort: result = ReadComPort(buffer, capacity, count, waitMs, settle); break;
    case TTransport::Terminal: result = ReadTerminal(buffer, capacity, count, waitMs, settle); break;
    case TTransport::None: break;
  }
  if (result == kReadData) AppendDebugLog(buffer, count, kTraceRead);
  return result;
}

bool TModemPort::WriteModem(const uint8_t* buffer, uint32_t length) {
  bool written = false;
  switch (Chosen.load()) {
    case TTransport::SerialPort: written = WriteComPort(buffer, length); break;
    case TTransport::Terminal: written = WriteTerminal(buffer, length); break;
    case TTransport::None: break;
  }
  AppendDebugLog(buffer, length, kTraceWritten);
  return written;
}

std::string TModemPort::ReplyToText(const uint8_t* buffer, uint32_t count) {
  std::string text(reinterpret_cast<const char*>(buffer), count);
  for (char& c : text)
    if (c == '\0') c = ' ';
  return Trim(AnsiLowerCase(text));
}

void TModemPort::AppendDebugLog(const uint8_t* buffer, uint32_t length, int direction) {
  if (!WriteDebugLog.load()) return;
  const char* marker = direction == kTraceWritten ? kTraceWrittenMarker
                       : direction == kTraceNote  ? kTraceNoteMarker
                                                  : kTraceReadMarker;
  std::string path = ProgramFolder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += kDebugLogName;

  std::lock_guard<std::mutex> lock(TraceLock());
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;  // no trace rather than a failed transfer
  iovec parts[2] = {{const_cast<char*>(marker), 9},
                    {const_cast<uint8_t*>(buffer), length}};
  // A failed trace write is dropped: the trace must never disturb the link.
  (void)WriteAll(fd, parts, length > 0 ? 2 : 1);
  ::close(fd);
}

void TModemPort::AppendTraceNote(std::string_view line) {
  std::string note(line);
  note += "\r\n";
  AppendDebugLog(reinterpret_cast<const uint8_t*>(note.data()), static_cast<uint32_t>(note.size()), kTraceNote);
}

std::string TModemPort::TracedBytes(std::string_view bytes) {
  constexpr size_t kShown = 32;
  static const char kHex[] = "0123456789ABCDEF";
  std::string shown = "\"";
  for (size_t i = 0; i < bytes.size() && i < kShown; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
      shown.push_back(static_cast<char>(byte));
    } else {
      shown += "\\x";
      shown.push_back(kHex[byte >> 4]);
      shown.push_back(kHex[byte & 0x0F]);
    }
  }
  shown += "\"";
  if (bytes.size() > kShown) shown += " (" + std::to_string(bytes.size()) + " bytes)";
  return shown;
}

bool TModemPort::IsComPortLost() {
  if (!ComPort.IsOpen()) return false;
  return !ComPortPresent(PhonePort());
}

bool TModemPort::IsTerminalLost() {
  std::shared_lock<std::shared_mutex> lock(TerminalLock);
  TFtdiLibrary* library = LoadedLibrary.load();
  if (!Terminal || !library) return false;
  std::string description;
  const FT_STATUS status = library->OpenDeviceDescription(Terminal, description);
  FtStatus = status;
  if (status != FT_OK) return true;
  const std::string wanted = PhoneDesc();
  return description.compare(0, wanted.size(), wanted) != 0;
}

bool TModemPort::ComPortPresent(const std::string& port) {
  const TComPortList list = TPortList().GetComPortList(port);
  return FindComPort(list, port) != nullptr;
}

std::optional<std::vector<std::string>> TModemPort::ListUsbTerminals() {
  std::lock_guard<std::mutex> lock(LibraryLock);
  FT_STATUS status = FtStatus;
  auto list = ::ListUsbTerminals(Library, ProgramFolder, &status);
  FtStatus = status;
  LoadedLibrary.store(Library.get());
  return list;
}

bool TModemPort::OpenComPort(const std::string& port, std::string& message) {
  ComPort.Close();
  if (!ComPort.Open(port)) {
    message = Cp1251("Не удалось открыть порт ") + port + ".";
    return false;
  }
  if (!ComPort.Configure()) {
    message = Cp1251("Ошибка при настройке порта ") + port + ".";
    ComPort.Close();
    return false;
  }
  Chosen = TTransport::SerialPort;
  return true;
}

uint8_t TModemPort::ReadComPort(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs, bool settle) {
  return PollRead(
      buffer, capacity, count, waitMs, settle, [this] { return ComPort.IsOpen(); },
      [this](uint32_t& waiting) { return ComPort.QueuedBytes(waiting); },
      [this](uint8_t* into, uint32_t size, uint32_t& got) { return ComPort.Read(into, size, got); },
      [this](std::chrono::milliseconds period, std::chrono::milliseconds left) {
        // Up to the end of the wait, plus a millisecond so that the loop sees it pass.
        if (!ComPort.WaitReadable(static_cast<uint32_t>(left.count()) + 1)) return;
        // A line that reports a hang-up or an error wakes at once without bytes: pace it.
        uint32_t waiting = 0;
        if (ComPort.QueuedBytes(waiting) && waiting == 0) std::this_thread::sleep_for(period);
      });
}

bool TModemPort::WriteComPort(const uint8_t* buffer, uint32_t length) {
  if (!ComPort.IsOpen()) return false;
  uint32_t written = 0;
  return ComPort.Write(buffer, length, written) && written == length;
}

bool TModemPort::OpenTerminal(const std::string& description, std::string& message) {
  TFtdiLibrary* library = LoadedLibrary.load();
  if (!library) return false;
  std::unique_lock<std::shared_mutex> lock(TerminalLock);
  uint32_t devices = 0;
  FT_STATUS status = library->CountDevices(devices);
  FtStatus = status;
  if (status != FT_OK) return false;
  int found = -1;
  for (uint32_t index = 0; index < devices && found < 0; ++index) {
    std::string listed;
    status = library->DescriptionAt(index, listed);
    FtStatus = status;
    if (status == FT_OK && listed.compare(0, description.size(), description) == 0) found = static_cast<int>(index);
  }
  if (found < 0) {
    message = Cp1251("Модем не найден");
    return false;
  }
  FT_HANDLE handle = nullptr;
  status = library->Open(found, &handle);
  FtStatus = status;
  if (status != FT_OK) {
    message = Cp1251("Ошибка при открытии модема");
    return false;
  }
  Terminal = handle;
  Chosen = TTransport::Terminal;
  // Each step runs only while the ones before it succeeded.
  status = library->SetBaudRate(handle, 230400);
  if (status == FT_OK) status = library->SetTimeouts(handle, 200, 200);
  if (status == FT_OK) status = library->SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE);
  if (status == FT_OK) status = library->SetLatencyTimer(handle, 10);
  if (status == FT_OK) status = library->SetFlowControl(handle, FT_FLOW_RTS_CTS, 0, 0);
  FtStatus = status;
  if (status != FT_OK) {
    message = Cp1251("Ошибка при настройке модкма");
    return false;
  }
  // Raising RTS is not judged: the terminal works once flow control is set.
  library->SetRts(handle);
  return true;
}

void TModemPort::ReuseTerminal() {
  if (FtHandle()) Chosen = TTransport::Terminal;
}

void TModemPort::CloseTerminal() {
  std::unique_lock<std::shared_mutex> lock(TerminalLock);
  TFtdiLibrary* library = LoadedLibrary.load();
  if (Terminal && library) {
    // Their results do not matter: the handle is given up either way.
    library->ResetDevice(Terminal);
    library->Close(Terminal);
  }
  Terminal = nullptr;
}

uint8_t TModemPort::ReadTerminal(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs, bool settle) {
  TFtdiLibrary* library = LoadedLibrary.load();
  return PollRead(
      buffer, capacity, count, waitMs, settle, [this, library] { return library && FtHandle(); },
      [this, library](uint32_t& waiting) {
        std::shared_lock<std::shared_mutex> lock(TerminalLock);
        if (!Terminal) return false;
        uint32_t sending = 0;
        uint32_t events = 0;
        const FT_STATUS status = library->GetStatus(Terminal, &waiting, &sending, &events);
        FtStatus = status;
        return status == FT_OK;
      },
      [this, library](uint8_t* into, uint32_t size, uint32_t& got) {
        std::shared_lock<std::shared_mutex> lock(TerminalLock);
        return Terminal && library->Read(Terminal, into, size, &got) == FT_OK;
      },
      [](std::chrono::milliseconds period, std::chrono::milliseconds) { std::this_thread::sleep_for(period); });
}

bool TModemPort::WriteTerminal(const uint8_t* buffer, uint32_t length) {
  TFtdiLibrary* library = LoadedLibrary.load();
  std::shared_lock<std::shared_mutex> lock(TerminalLock);
  if (!library || !Terminal) return false;
  uint32_t written = 0;
  return library->Write(Terminal, const_cast<uint8_t*>(buffer), length, &written) == FT_OK && written == length;
}
