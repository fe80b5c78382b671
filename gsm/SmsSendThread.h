#pragma once
// The send thread: one outgoing SMS per thread. It pauses, builds the SMS-SUBMIT PDU, takes
// the port mutex and runs the "AT+CMGS=" dialogue; message notices that the modem sends in the
// middle of it are handled at its end, still under the port mutex (+CMT), or queued for
// reading after the send (+CMTI).
// The outcome is reported to its host on the main thread by a synchronous call at the end of
// the thread. The queue of messages to send and the starting of one thread after the other
// belong to TSmsSender.

#include "gsm/NoticeStream.h"
#include "platform/Thread.h"

#include <cstdint>
#include <memory>
#include <string>

class TAtChannel;
class TModemError;
class TNamedMutex;
class TSmsSendThread;

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

// What a send needs of the monitor that runs it (the monitor core implements it).
class TSendHost {
 public:
  virtual ~TSendHost() = default;
  // A +CMT notice read during the dialogue: decoded and logged now (the port is held).
  virtual void HandleCmt(const std::string& text) = 0;
  // A stored message announced during the dialogue: it is read after the send.
  virtual void QueueSmsRead(const TStoredSms& slot) = 0;
  // Logs a text that could not be decoded as an unread kind-0 record; true when written.
  virtual bool LogUndecodedSms(const std::string& text) = 0;
  // The unread notice of messages handled under the port mutex, once the port is free.
  virtual void DeliverUnreadSignal() = 0;
  // The unread notice itself; on the main thread.
  virtual void NotifyUnreadSms() = 0;
  // True once the program ends: a send that ends now is reported to no one.
  virtual bool SendShutDown() const = 0;
  // The outcome of the send; on the main thread.
  virtual void ReportSend(const TSmsSendThread& thread) = 0;
  // After the end of a send, on the main thread: the stored messages announced during it are
  // read, and the message list may have changed.
  virtual void ReadQueuedSms() = 0;
  virtual void RefreshShowSmsForm() = 0;
};

class TSmsSendThread : public TThread {
 public:
  // `channel`, `lastError` and `host` belong to the monitor that runs the thread and outlive
  // it; `lastError` receives a +CME/+CMS error of the dialogue.
  TSmsSendThread(TAtChannel& channel, TModemError& lastError, TSendHost& host, const TSendWaits& waits);
  ~TSmsSendThread() override;

  std::string Pdu;           // built at the start of the dialogue
  std::string Phone;         // as queued; a leading "+" goes when the PDU is built
  std::string Text;
  std::string LastResponse;  // the last modem response, normalised
  uint8_t Result = kSendDone;

  // Acts on every notice the dialogue's reads have queued in the channel's notice stream: a
  // +CMT message is decoded and logged now, a +CMTI notice is queued for reading after the
  // send. The dialogue does this at its end, once the modem has answered the message.
  void CheckUnsolicited();

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

  TAtChannel& Channel;
  TModemError& LastError;
  TSendHost& Host;
  const TSendWaits Waits;
  std::unique_ptr<TNamedMutex> PortMutex;
  bool UndecodedLogged = false;
};
