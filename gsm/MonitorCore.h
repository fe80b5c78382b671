#pragma once
// The GUI-free base of the main form: the state and operations of the GSM side that the
// worker threads and the window messages use (settings mirror, program folder, SMS log and
// its named mutex, unread flag, last modem error). What these operations need from the GUI
// (the unread notice, balloons, dispatcher notices) goes through the virtual hooks, which the
// main form overrides.

#include "common/SettingsMirror.h"
#include "common/SmsInfo.h"
#include "gsm/ModemErrors.h"
#include "gsm/ModemPort.h"
#include "gsm/NoticeStream.h"
#include "gsm/PduCodec.h"
#include "gsm/PairQueue.h"
#include "gsm/SmsLog.h"
#include "gsm/SmsSendThread.h"
#include "gsm/TermReader.h"
#include "platform/OwnedThreads.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TNamedMutex;

inline constexpr const char* kLogMutexName = "OrvexMonitorLogFileMutex";

class TMonitorCore : public TSettingsMirror, public TModemError {
public:
  // `exeDir` is the program folder with its trailing separator.
  explicit TMonitorCore(std::string exeDir);
  virtual ~TMonitorCore();
  TMonitorCore(const TMonitorCore&) = delete;
  TMonitorCore& operator=(const TMonitorCore&) = delete;

  const std::string ExeDir;
  const std::string LogPath;  // ExeDir + "OrvexMonitor.log"
  // True while unread messages wait; set and cleared on the main thread.
  std::atomic<bool> UnreadPending{false};

  // Creates (or opens) the log mutex; until then every log operation finds it busy.
  void CreateLogMutex();
  void CloseLogMutex();

  TSmsLog& SmsLog() { return Log; }
  int32_t LastLogIndex() const { return Log.LastLogIndex; }

  bool WriteSmsLogRecord(const std::string& path, const TLogRecord& record) { return Log.WriteSmsLogRecord(path, record); }
  bool AppendSmsToLog(const TSmsInfo& info, uint8_t read) { return Log.AppendSmsToLog(info, read); }
  void CheckSmsLog(const std::string& path) { Log.CheckSmsLog(path); }
  // The start-up search: runs NotifyUnreadSms when the log holds an unread record.
  void CheckUnreadSms();
  void LoadUnreadSms(TSmsInfoList& list, std::vector<int32_t>* indexes = nullptr) { Log.LoadUnreadSms(list, indexes); }
  void LoadSmsLog(TLogEntryList& list) { Log.LoadSmsLog(list); }
  void MarkAllSmsRead() { Log.MarkAllSmsRead(); }

  // The send side: messages go out one at a time, each by a send thread of its own, head
  // of the queue first. All of it runs on the main thread.
  TSendQueue SendQueue;
  TSendWaits SendWaits;
  // The send thread of the head pair; null when none runs, or when the modem close has let
  // it go (it then still ends, and its end starts the next send).
  TSmsSendThread* ActiveSmsSendThread = nullptr;
  // Hands one message to the send queue and starts a send when none runs.
  virtual void QueueSmsSend(const std::string& phone, const std::string& text);
  // Starts the send thread for the head pair.
  void StartSmsSendThread();
  // The end of a send thread: reads the stored messages announced meanwhile, drops the sent
  // pair (sent or not: a pair is never retried) and starts the next send.
  void SendSmsTerminate(TSmsSendThread& thread);
  // The modem close: asks the running send thread to stop and lets it go without waiting.
  void TerminateSmsSendThread();
  // The end of the program: stops a send thread that still runs and waits for it, reporting
  // nothing more. The owner calls it while its hooks still work.
  void StopSmsSendThread();
  // True from StopSmsSendThread on: a send that ends now is reported to no one.
  bool SendShutDown() const { return ShuttingDown; }

  // Reads the stored messages queued during the send that just ended.
  void ReadQueuedSms();

  // The modem link that the dispatcher's modem check talks to; null while the link is closed.
  virtual TModemPort* ModemPort() { return IsModemOpen() ? &Modem : nullptr; }
  // Whether the modem link is open: the handle of the transport that the port setting
  // selects is open.
  virtual bool IsModemOpen() const { return ModemLinkOpen(); }

  // GUI hooks.
  // A new unread message is stored, or the log holds unread records at start.
  virtual void NotifyUnreadSms() = 0;
  // A notice to the dispatcher program; the dispatcher's answer, 0 when it was dropped
  // because none runs.
  virtual uint32_t NotifyDispatcher(uint32_t code, const std::string& payload) {
    (void)code;
    (void)payload;
    return 0;
  }
  // A tray balloon whose click does nothing.
  virtual void ShowNoticeBalloon(const std::string& title, const std::string& text, uint32_t timeoutMs,
                                 uint32_t icon) {
    (void)title;
    (void)text;
    (void)timeoutMs;
    (void)icon;
  }
  // The message list may have changed: refreshes the message window, when it is open, and
  // brings it to the front.
  virtual void RefreshShowSmsForm() {}

  // The modem link. Its settings are copied from the mirror by ApplyModemSettings after each
  // load of the settings.
  TModemPort Modem{ExeDir};
  void ApplyModemSettings();
  // Open: the handle of the transport that the port setting selects is open.
  bool ModemLinkOpen() const;

  // Receiving messages. Every operation here talks to the modem, so the caller holds the port
  // mutex; the decoder's parts of concatenated messages are used under it too. A message is
  // parsed, logged as unread and then signalled with NotifyUnreadSms, which runs on the main
  // thread (a worker waits for it). A reply whose parsing raises a conversion error is logged
  // as an unparsed record (kind 0) with its sender and its text as received.
  TReaderWaits ReaderWaits;
  TPduDecoder Decoder;
  // One +CMT notice: "+cmt:" header, a line break and the PDU.
  void HandleCmt(const std::string& text);
  // The storage (two letters, as read) and the index that a +CMTI notice names.
  static bool ParseCmti(const std::string& text, std::string& storage, std::string& index);
  // One +CMTI notice: reads the stored message it names.
  void HandleCmti(const std::string& text);
  // Reads one stored message, logs it, deletes it from the store once it is logged, and
  // signals it; true when a record was logged.
  bool ReadStoredSms(const std::string& storage, const std::string& index);
  // A message of the store's listing ("storage,index", a line feed, its PDU): logged as a read
  // of it would log it, then deleted; true when a record was logged.
  bool HandleListedSms(const std::string& text);
  static bool ParseListedSms(const std::string& text, std::string& storage, std::string& index, std::string& pdu);
  void DeleteStoredSms(const std::string& index);
  // A worker that has handled messages under the port mutex calls this once it has let the
  // mutex go: the unread notice of those messages then runs on the main thread, and the
  // worker waits for it. (On the main thread the notice runs at once.)
  void DeliverUnreadSignal();
  // Queues a stored-message notice for the reader, as if the modem had sent it.
  void QueueStoredNotice(const std::string& storage, const std::string& index);
  // Lists the modem's store and queues every message in it, with the PDU the listing carries,
  // for the reader, which logs and deletes them turn by turn; an entry without its PDU line
  // is queued as a stored-message notice, read as the messages the modem announces.
  void QueueAllStoredSms();
  // Every read of the port, by any thread, passes through here: the notices (+CMT with its
  // PDU line, +CMTI, RING) in it wait for the reader, or for a running send, to handle them.
  TNoticeStream Unsolicited;
  // One answer of the modem, read up to its final line, in ReplyToText form without the
  // notices; true when anything was read.
  bool ReadReply(uint32_t capacity, uint32_t waitMs, std::string& text);

  // Stored messages announced while they could not be read (during a send).
  TReadQueue ReadQueue;
  void QueueSmsRead(const std::string& storage, const std::string& index) { ReadQueue.Add(storage, index); }

  // The running reader, null when none runs; set and cleared on the main thread. Other threads
  // may test it but must not use the object, which ends on its own after a close: they use
  // the operations above.
  std::atomic<TTermReader*> ActiveTermReader{nullptr};
  // Starts a reader; with `readStore` it first reads what the store holds.
  void StartTermReader(bool readStore = false);
  // Asks the running reader to end, without waiting.
  void StopTermReader();
  // The workers of the modem link; they end before the core does. A derived class stops them
  // in its own destructor (StopModemThreads), while its hooks still exist.
  TOwnedThreads ModemThreads;
  void StopModemThreads();

private:
  class TLogMutexLock : public TLogLock {
  public:
    explicit TLogMutexLock(TMonitorCore& core) : Core(core) {}
    bool Acquire(unsigned timeoutMs) override;
    void Release() override;

  private:
    TMonitorCore& Core;
  };

  // The send thread that has not ended yet, whether active or let go by the modem close:
  // a new send starts only after it, so that one send thread runs at a time.
  TSmsSendThread* RunningSendThread = nullptr;
  bool ShuttingDown = false;

  // Logs a decoded message (sender, time text, text); true when a record was written.
  bool StoreReceivedSms(std::vector<std::string>& parts);
  // Logs a text that could not be decoded as a kind-0 record; true when it was written.
  bool StoreUndecodedSms(const std::string& text);
  // Decodes the PDU of a stored message, logs the message once it is whole and deletes every
  // stored part of it; true when a record was logged.
  bool StoreStoredPdu(const std::string& storage, const std::string& index, const std::string& pdu);
  // Logs the messages the decoder gave up waiting for and deletes their stored parts.
  void StoreGivenUpSms();
  // Deletes the stored messages that the tags ("storage,index") name, selecting each storage
  // first unless it is selected already.
  void DeleteStoredParts(const std::vector<std::string>& tags);
  // The storage that the last AT+CPMS= selected; empty when not known. Used under the port
  // mutex only.
  std::string SelectedStorage;
  void SignalUnreadSms();

  std::atomic<bool> UnreadSignalDue{false};
  // Cleared when the core is going: the hooks are not called any more.
  std::atomic<bool> HooksLive{true};
  std::unique_ptr<TNamedMutex> LogMutex;
  TLogMutexLock LogLock{*this};
  TSmsLog Log;
};
