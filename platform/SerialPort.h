#pragma once
// A serial port opened the way the modem link needs it: exclusively, raw 115200 baud 8N1,
// no flow control, DTR and RTS raised. Reads never block: a read takes at most what the
// receive queue holds. A write waits at most 20 ms per byte plus 20 ms for the line.
//
// One object may be used from several threads at once (the set-up, reader and send threads
// and the main thread): every operation holds the port's own lock for the system call, and
// closing waits for an operation in progress, so no thread ever uses a closed or reused
// descriptor. The lock only protects the descriptor; the exchanges themselves are
// serialised by their callers. A close interrupts a write that waits for room on the line and
// a wait for bytes.

#include <atomic>
#include <cstdint>
#include <shared_mutex>
#include <string>

class TSerialPort {
 public:
  TSerialPort();
  TSerialPort(const TSerialPort&) = delete;
  TSerialPort& operator=(const TSerialPort&) = delete;
  ~TSerialPort();

  // "/dev/ttyUSB0" stays as it is; a name without the leading "/" is taken under "/dev/", so
  // "ttyUSB0" means "/dev/ttyUSB0" and "pts/3" means "/dev/pts/3".
  static std::string DevicePath(const std::string& name);

  // Opens the device for reading and writing, not as controlling terminal, and takes it for
  // this object alone: a second open of the same device, here or in another program that
  // honours the lock, fails. A port already open is closed first. Every close gives the
  // exclusive mode up again, so the line can be opened anew once this object lets it go.
  bool Open(const std::string& name);
  // Puts the open line into the link's mode (raw 115200 8N1, no flow control, DTR and RTS
  // raised). A pseudo-terminal has no modem lines; that does not count as a failure.
  bool Configure();
  void Close();
  bool IsOpen() const;
  std::string Path() const;

  // Bytes waiting in the receive queue.
  bool QueuedBytes(uint32_t& count) const;
  // Sleeps until bytes arrive (or the line reports an error or a hang-up), at most `waitMs`;
  // true when the line has something to look at. A close ends the wait at once (false).
  bool WaitReadable(uint32_t waitMs) const;
  // Reads at most `size` bytes of those already queued; true when the call succeeded.
  bool Read(void* buffer, uint32_t size, uint32_t& count);
  // Writes all `length` bytes within the write time-out; `written` tells how many went.
  bool Write(const void* buffer, uint32_t length, uint32_t& written);

 private:
  void CloseLocked();
  // Ends the waits of WaitReadable; the close that called it takes the signal back.
  void WakeWaiters();
  void DrainWake();

  mutable std::shared_mutex Lock;
  std::atomic<bool> Closing{false};
  int Fd = -1;
  // Signalled by a close, so that a thread sleeping on the line lets the descriptor go.
  const int WakeFd;
  std::string DeviceName;
};
