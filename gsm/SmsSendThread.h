#pragma once
// The send thread: one outgoing SMS per thread. It pauses, builds the SMS-SUBMIT PDU, takes
// the port mutex and runs the "AT+CMGS=" dialogue; message notices that the modem sends in the
// middle of it are handled on the spot (+CMT) or queued for reading after the send (+CMTI).
// The outcome is reported on the main thread (sent record in the SMS log, balloon, dispatcher
// notice) by a synchronous call at the end of the thread. The queue of messages to send and
// the starting of one thread after the other belong to the monitor (TMonitorCore).

#include "platform/Thread.h"

#include <cstdint>
#include <memory>
#include <string>

class TAtChannel;
class TMonitorCore;
class TNamedMutex;

// Results of a send.
constexpr uint8_t kSendDone = 0;          // the modem answered "ok" after the PDU
constexpr uint8_t kSendPortBusy = 1;      // the port mutex was not obtained
constexpr uint8_t kSendIoError = 2;       // stop requested, the command not written or not answered
constexpr uint8_t kSendNoAnswer = 3;      // has a report text, but no step of the dialogue gives it
constexpr uint8_t kSendModemError = 4;    // a +CME or +CMS error (in the monitor's last modem error)
constexpr uint8_t kSendBadAnswer = 5;     // no prompt, no final "ok", or stop requested midway

// Every wait of the send side, in ms. The program uses the defaults; tests shorten them.
struct TSendWaits {
  uint32_t StartPause = 10000;   // before every send, the first included: spaces the messages
  uint32_t PortMutex = 60000;
  uint32_t PromptRead = 3000;    // the answer to "AT+CMGS="
  uint32_t AnswerRead = 100;     // one read of the answer to the PDU
  uint32_t Answer = 20000;       // the whole wait for the answer to the PDU
  uint32_t FollowUpMutex = 1000; // the port mutex for the stored messages announced meanwhile
};

class TSmsSendThread : public TThread {
 public:
  // `core` is the monitor that runs the thread; it outlives the thread.
  TSmsSendThread(TMonitorCore& core, const TSendWaits& waits);
  ~TSmsSendThread() override;

  std::string Pdu;           // built at the start of the dialogue
  std::string Phone;         // as queued; a leading "+" goes when the PDU is built
  std::string Text;
  std::string LastResponse;  // the last modem response, normalised
  uint8_t Result = kSendDone;

  // Acts on every notice the dialogue's reads have queued in the core's notice stream: a +CMT
  // message is decoded and logged now, a +CMTI notice is queued for reading after the send.
  void CheckUnsolicited();
  // The outcome as the user, the log and the dispatcher see it; runs on the main thread.
  void ReportResult();

  // The balloon text and the dispatcher notice's payload for a result; `errorText` is the
  // last modem error, used for kSendModemError.
  static std::string ResultBalloonText(uint8_t result, const std::string& errorText);
  static std::string ResultNoticePayload(uint8_t result, const std::string& errorText);

 protected:
  void Execute() override;

 private:
  // Sleeps `ms`, ending early when a stop is requested.
  void Pause(uint32_t ms);
  // The dialogue under the port mutex.
  void RunDialogue();
  // The answer to "AT+CMGS=" into LastResponse; false when nothing could be read.
  bool ReadPrompt(TAtChannel& channel);
  void WaitForSendAnswer(TAtChannel& channel);
  // A +CMT notice inside an answer; the port mutex is held.
  void HandleCmt(const std::string& text);

  TMonitorCore& Core;
  const TSendWaits Waits;
  std::unique_ptr<TNamedMutex> PortMutex;
  bool UndecodedLogged = false;
};
