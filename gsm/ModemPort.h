#pragma once
// The byte transport to the one GSM modem: a modem on a serial port, or the maker's USB
// terminal. The port setting selects it: "direct" (in any letter case, nothing trimmed)
// selects the USB terminal, anything else names a serial port. Reads and writes go to the
// transport that was opened last, chosen once when it opened, whatever the setting says
// meanwhile. Reads wait for the first bytes and take what is queued then in one read; writes go
// out whole or fail. Every transfer can be traced into "OVM_debug.log" in the program folder.
//
// The operations run on whichever thread calls them and take no lock of the link: callers
// serialise their exchanges through the port mutex. The settings that select the transport
// are guarded here, so that reloading them on the main thread never races a running reader.

#include "gsm/FtdiLibrary.h"
#include "platform/SerialPort.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

// Results of ReadModem.
constexpr uint8_t kReadData = 0;      // bytes were read
constexpr uint8_t kReadTimeOut = 1;   // nothing arrived within the wait
constexpr uint8_t kReadFailed = 2;    // no open link, or the read itself failed

// Directions of a trace record.
constexpr int kTraceWritten = 1;
constexpr int kTraceRead = 2;
constexpr int kTraceNote = 3;  // a line of the monitor's own about the traffic

// The trace file and its record markers.
extern const char kDebugLogName[];           // "OVM_debug.log"
extern const char kTraceWrittenMarker[10];   // "-->>>--\r\n"
extern const char kTraceReadMarker[10];      // "--<<<--\r\n"
extern const char kTraceNoteMarker[10];      // "--!!!--\r\n"

class TModemPort {
 public:
  // `exeDir` is the program folder, where the trace file lives.
  explicit TModemPort(std::string exeDir = std::string());
  TModemPort(const TModemPort&) = delete;
  TModemPort& operator=(const TModemPort&) = delete;
  virtual ~TModemPort();

  // Settings that select and identify the transport.
  std::string PhonePort() const;
  void SetPhonePort(const std::string& port);
  std::string PhoneDesc() const;
  void SetPhoneDesc(const std::string& description);
  std::atomic<bool> WriteDebugLog{false};
  const std::string& ExeDir() const { return ProgramFolder; }

  // True when `port` selects the USB terminal.
  static bool SelectsTerminal(const std::string& port);
  bool UsesTerminal() const { return SelectsTerminal(PhonePort()); }
  // The transport that reads and writes use: the one opened last.
  enum class TTransport { None, SerialPort, Terminal };
  TTransport Transport() const { return Chosen.load(); }
  // A USB terminal left open by an earlier set-up is used again.
  void ReuseTerminal();

  // The open serial port of the modem; closed when none is open.
  TSerialPort ComPort;

  // The USB terminal's D2XX library, loaded from the program folder (or the library search)
  // on first need and kept until this object goes; null while it cannot be loaded, and a
  // later call tries again.
  TFtdiLibrary* Ftdi();
  // Descriptions of the USB terminals the library lists, in device-index order, loading the
  // library on first need; nothing when it cannot be loaded or counts no device.
  std::optional<std::vector<std::string>> ListUsbTerminals();
  // The open USB terminal, null when none.
  FT_HANDLE FtHandle() const;
  // Status of the last library call that records it; kept for inspection only.
  std::atomic<FT_STATUS> FtStatus{FT_OK};

  // Waits up to `waitMs` for the modem to send something (the serial port sleeping on its
  // descriptor, the USB terminal looking every tenth of the wait) and reads it into `buffer`: one
  // tenth of the wait after the first bytes are seen, everything then queued, up to
  // `capacity` bytes (more stays queued for the next read). The buffer's first `capacity`
  // bytes are zeroed first. kReadData with `count` bytes, kReadTimeOut, or kReadFailed.
  uint8_t ReadModem(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs);
  // The same read, taking what has come as soon as anything has, without the settling pause
  // of a tenth of the wait that the read above allows an answer to arrive whole in.
  uint8_t ReadModemAsItComes(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs);
  // Writes all `length` bytes; true only when every byte went out. Traced whatever the outcome.
  bool WriteModem(const uint8_t* buffer, uint32_t length);
  // The text on which every AT decision is taken: the first `count` bytes with NUL turned
  // into blanks, lower case (code page 1251), blanks and control characters trimmed at
  // both ends. Inner line breaks stay.
  static std::string ReplyToText(const uint8_t* buffer, uint32_t count);
  // Appends one trace record when WriteDebugLog is on. Trace errors never reach the caller.
  void AppendDebugLog(const uint8_t* buffer, uint32_t length, int direction);
  // Appends a line of the monitor's own about the traffic (kTraceNote); CR LF ends it here.
  void AppendTraceNote(std::string_view line);
  // Bytes that came from outside as a trace line shows them, between double quotes: printable
  // ASCII as it is, every other byte (and the quote and the backslash) as \xNN, at most the
  // first 32 bytes and then the whole length (" (40 bytes)"). A line of the trace stays one
  // line whatever the bytes hold.
  static std::string TracedBytes(std::string_view bytes);

  // Presence checks of the open link: true when the link was open and its device is gone.
  bool IsTerminalLost();
  bool IsComPortLost();

  // Opens and configures the serial port `port` (a device path or a name under /dev).
  // A port still open from an earlier set-up is closed first, so that its handle is neither
  // lost nor left holding the device. On failure `message` holds the reason.
  bool OpenComPort(const std::string& port, std::string& message);
  // Finds the USB terminal whose description begins with `description` (the first listed
  // device when it is empty), opens it and configures it: 230400 baud, time-outs of 200 ms,
  // 8N1, latency 10 ms, RTS/CTS flow control, RTS raised. The library must be loaded. On
  // failure `message` holds the reason (none when the device count failed); a device opened
  // but not configured stays open for CloseTerminal.
  bool OpenTerminal(const std::string& description, std::string& message);
  // Resets and closes the USB terminal. Waits for a transfer in progress on another thread.
  void CloseTerminal();

 protected:
  // Whether the system still has the serial port `port`: whether the port list holds it.
  virtual bool ComPortPresent(const std::string& port);

 private:
  uint8_t ReadComPort(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs, bool settle);
  uint8_t ReadTerminal(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs, bool settle);
  uint8_t ReadChosen(uint8_t* buffer, uint32_t capacity, uint32_t& count, uint32_t waitMs, bool settle);
  bool WriteComPort(const uint8_t* buffer, uint32_t length);
  bool WriteTerminal(const uint8_t* buffer, uint32_t length);

  const std::string ProgramFolder;
  std::atomic<TTransport> Chosen{TTransport::None};
  std::mutex LibraryLock;
  std::unique_ptr<TFtdiLibrary> Library;
  std::atomic<TFtdiLibrary*> LoadedLibrary{nullptr};
  // Guards the terminal handle: transfers share it, opening and closing take it alone.
  mutable std::shared_mutex TerminalLock;
  FT_HANDLE Terminal = nullptr;
  mutable std::mutex SettingsLock;
  std::string Port;
  std::string Description;
};
