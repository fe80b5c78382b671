#pragma once
// The set-up of the modem, run in a worker thread of its own at idle priority: it takes the
// port mutex for its whole run, opens the transport that the channel's port setting selects
// (a serial port, or the USB terminal by its description), checks that a modem
// answers, unlocks the SIM when asked to, chooses the new-message indication, switches to
// PDU mode with the GSM character set and connected-line presentation, and waits up to five
// minutes for the network. Its outcome is Result with, on failure, Message; the creator reads
// them in the termination handler.
//
// Also the modem probe CheckModem, which the set-up uses and the dispatcher may request.

#include "gsm/AtChannel.h"
#include "gsm/ModemErrors.h"
#include "platform/Thread.h"

#include <cstdint>
#include <string>
#include <string_view>

// Results of the set-up.
constexpr uint8_t kSetupReady = 0;        // modem answered, configured and registered
constexpr uint8_t kSetupModemError = 1;   // the PIN step got a +CME/+CMS error (in the last modem error)
constexpr uint8_t kSetupFailed = 2;       // the reason is in Message
constexpr uint8_t kSetupNoOperator = 3;   // no operator within the network wait
constexpr uint8_t kSetupTerminated = 4;   // asked to terminate while waiting for the network

// Every wait of the set-up and the probe, in ms. The program uses the defaults; tests shorten
// them.
struct TSetupWaits {
  uint32_t PortMutex = 20000;
  // The probe: first "AT", the pause after it, the second "AT", and "ATE0".
  uint32_t FirstProbeRead = 200;
  uint32_t ProbePause = 200;
  uint32_t SecondProbeRead = 500;
  uint32_t EchoOffRead = 500;
  uint32_t PinQueryRead = 400;
  uint32_t PinEntryRead = 5000;
  uint32_t CnmiQueryRead = 1000;
  uint32_t CnmiSetRead = 1000;
  uint32_t PduModeRead = 1000;
  uint32_t CharacterSetRead = 5000;
  uint32_t LinePresentationRead = 1000;
  uint32_t OperatorRead = 400;
  uint32_t NetworkTurnPause = 100;
  uint32_t Network = 300000;
};

// Which parameter of the indication mode a list of values belongs to.
enum class TCnmiKind { Mode, Mt };

// True when `pin` can be a SIM PIN: 4 to 8 digits. No other PIN is ever sent to the modem.
bool IsSimPin(std::string_view pin);

// The modem probe: "AT" twice (the first answer ignored); a modem that echoes commands is
// told "ATE0". True when the modem answers. Each answer is read up to its final line within
// its wait, so that an echo that comes before the answer is judged with it; status reports
// are no answer. The notices in its reads wait in the channel's stream for the reader.
bool CheckModem(TAtChannel& channel, const TSetupWaits& waits = TSetupWaits());

class TConfigureModem : public TThread {
 public:
  // `channel` is the link to set up; `lastError` receives a +CME/+CMS error of the dialogue.
  // Both belong to the creator and outlive the thread. The notices that arrive during the
  // set-up wait in the channel's stream for the reader that starts after it.
  TConfigureModem(TAtChannel& channel, TModemError& lastError);
  ~TConfigureModem() override;

  std::string Message;       // failure text for kSetupFailed
  std::string LastResponse;  // normalised text of the last answer read, status reports left out
  std::string PinCode;       // PIN to enter
  uint8_t Result = kSetupReady;
  bool CheckPin = false;     // the CheckPin setting: unlock the SIM with PinCode
  TSetupWaits Waits;

  bool OpenComPort();
  bool OpenUsbTerminal();
  bool EnterPin();
  bool ConfigureSms();
  std::string NegotiateCnmi();
  static std::string PickCnmiValue(const std::string& list, TCnmiKind kind);
  bool WaitForNetwork();

 protected:
  void Execute() override;

 private:
  // One command and its whole answer (up to its final line, within `waitMs`), kept in
  // LastResponse without status reports; false when no answer came.
  bool Exchange(const std::string& command, uint32_t waitMs);
  // Judges the answer of a configuration command: no answer counts as accepted, an error
  // report or an answer without "ok" as refused.
  bool Accepted(bool answered);
  // A +CME/+CMS error line of the last answer, recorded as the last modem error.
  bool ModemErrorIn(const std::string& answer);

  TAtChannel& Channel;
  TModemPort& Modem;
  TModemError& LastError;
};
