#pragma once
// The modem link: the one channel to the modem, opened and set up by the set-up thread and
// closed again, the reader that listens to it while it is open, the port mutex that the link
// creates for every exchange of the program while it is open, and the supervision of its
// device. The monitor core owns it, gives it the settings after each load of them, and hears
// through TLinkHost what the workers of the link found.
//
// Main thread only, except where an operation says otherwise.

#include "gsm/AtChannel.h"
#include "gsm/ConfigureModem.h"
#include "gsm/ModemErrors.h"
#include "gsm/MonitorEvents.h"
#include "gsm/TermReader.h"
#include "platform/OwnedThreads.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

class TNamedMutex;

// What the link takes of the settings: the port ("direct" selects the USB terminal), the
// terminal's description prefix, the SIM's PIN and whether to enter it, and the port trace.
struct TModemLinkSettings {
  std::string Port;
  std::string Description;
  std::string PinCode;
  bool CheckPin = false;
  bool WriteDebugLog = false;
};

// What the link needs of its owner: the reader's host, and the two moments the owner acts on.
class TLinkHost : public TReaderHost {
 public:
  // The link has closed: a send in progress is let go (it fails on the closed port).
  virtual void LinkClosed() = 0;
  // A set-up ended with the modem ready (the reader runs already) or with a failure (the link
  // is closed already).
  virtual void SetupEnded(const TSetupOutcome& outcome) = 0;
};

class TModemLink {
 public:
  // `exeDir` is the program folder (for the port trace); `lastError` receives the modem
  // errors of the set-up. Both outlive the link.
  TModemLink(std::string exeDir, TModemError& lastError, TLinkHost& host);
  ~TModemLink();
  TModemLink(const TModemLink&) = delete;
  TModemLink& operator=(const TModemLink&) = delete;

  // Takes the settings; the next open uses them.
  void ApplySettings(const TModemLinkSettings& settings);

  // Starts a set-up of the link in a worker at the set-up priority: it opens the transport
  // that the settings select and readies the modem; SetupEnded tells how it ended. False, and
  // nothing done, while a set-up runs already.
  bool Open();
  // Closes the transport, asks the reader to end, lets a running send go and gives up the
  // port mutex.
  void Close();
  // Whether the handle of the transport that the port setting selects is open.
  bool IsOpen() const;
  // Whether a set-up runs; the running set-up, null when none.
  bool IsConfiguring() const { return ActiveSetup != nullptr; }
  const TConfigureModem* ActiveSetupThread() const { return ActiveSetup; }
  // A device came or went: true when the open link's device is gone.
  bool IsLost();

  // The channel to the modem, open or not.
  TAtChannel& Channel() { return LinkChannel; }

  // Starts a reader; with `readStore` it first reads what the store holds. A reader still
  // running is asked to end first, and the new one starts only once it has ended: two readers
  // never read the port at once (as a reopen, or an open request while open, left them).
  void StartReader(bool readStore = false);
  // Asks the running reader to end, without waiting.
  void StopReader();
  // The reader of the open link, null when none. Any thread may test it; only the main thread
  // may use the object, which ends on its own after a close.
  const TTermReader* ActiveReader() const { return ActiveTermReader.load(); }

  // The workers of the link (set-ups and readers), ended or not, until they are freed.
  size_t ThreadCount() const { return Threads.Count(); }
  // Stops every worker and waits for each; their termination handlers do not run. Gives up
  // the port mutex.
  void StopThreads();

  // The waits of the reader and of the stored-message exchanges, and those of the set-up and
  // its priority. The program keeps the defaults; tests shorten them.
  const TReaderWaits& ReaderWaits() const { return Waits; }
  void SetReaderWaits(const TReaderWaits& waits) { Waits = waits; }
  void SetSetupWaits(const TSetupWaits& waits, TThreadPriority priority) {
    SetupWaits = waits;
    SetupPriority = priority;
  }

 private:
  void SetupTerminated(TThread& thread);
  // Starts `reader` now; ReaderEnded runs on the main thread when it has ended.
  void LaunchReader(std::unique_ptr<TTermReader> reader);
  void ReaderEnded(TThread& reader);

  TAtChannel LinkChannel;
  TModemError& LastError;
  TLinkHost& Host;
  std::string PinCode;
  bool CheckPin = false;
  TReaderWaits Waits;
  TSetupWaits SetupWaits;
  TThreadPriority SetupPriority = TThreadPriority::Idle;
  // The link's own handle of the port mutex, from Open to Close: the set-up, the reader and
  // the sender open the same mutex by name.
  std::unique_ptr<TNamedMutex> PortMutex;
  // The running set-up, null when none; set and cleared on the main thread.
  TConfigureModem* ActiveSetup = nullptr;
  std::atomic<TTermReader*> ActiveTermReader{nullptr};
  // The reader thread that has not ended yet, active or asked to end; null when none.
  TThread* RunningReader = nullptr;
  // The reader that starts once RunningReader has ended.
  std::unique_ptr<TTermReader> DueReader;
  // Declared last: its destructor stops the workers, which use everything above.
  TOwnedThreads Threads;
};
