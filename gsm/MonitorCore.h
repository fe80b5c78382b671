#pragma once
// The GSM side of the monitor, owned by the main form: the state and operations that the
// worker threads and the window messages use (settings mirror, program folder, the modem
// channel, SMS log and its named mutex, unread flag, last modem error). What these operations
// need from the GUI (the unread notice, the outcome of a send, dispatcher notices, the message
// list) goes through the events interface that the owner gives it. It is the host of the
// reader and of the send threads.

#include "common/SettingsMirror.h"
#include "common/SmsInfo.h"
#include "gsm/AtChannel.h"
#include "gsm/ModemErrors.h"
#include "gsm/MonitorEvents.h"
#include "gsm/PduCodec.h"
#include "gsm/PairQueue.h"
#include "gsm/SmsLog.h"
#include "gsm/SmsSender.h"
#include "gsm/SmsSendThread.h"
#include "gsm/TermReader.h"
#include "platform/OwnedThreads.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TNamedMutex;

inline constexpr const char* kLogMutexName = "OrvexMonitorLogFileMutex";

class TMonitorCore : public TSettingsMirror, public TModemError, public TSendHost, public TReaderHost {
public:
  // `exeDir` is the program folder with its trailing separator; `events` hears what the GUI
  // must know, and outlives the core.
  TMonitorCore(std::string exeDir, TMonitorEvents& events);
  virtual ~TMonitorCore();
  TMonitorCore(const TMonitorCore&) = delete;
  TMonitorCore& operator=(const TMonitorCore&) = delete;

  const std::string ExeDir;
  const std::string LogPath;  // ExeDir + "OrvexMonitor.log"
  // The one channel to the modem and its transport.
  TAtChannel Channel{ExeDir};
  TModemPort& Modem = Channel.Port;
  // True while unread messages wait; set and cleared on the main thread.
  std::atomic<bool> UnreadPending{false};

  // Creates (or opens) the log mutex; until then every log operation finds it busy.
  void CreateLogMutex();
  void CloseLogMutex();

  TSmsLog& SmsLog() { return Log; }
  int32_t LastLogIndex() const { return Log.LastLogIndex; }
  // The dispatcher has taken the unread block up to log index `index`: a later mark as read
  // covers the records up to there.
  void DispatcherTookBlockUpTo(int32_t index) { Log.LastLogIndex = index; }

  bool WriteSmsLogRecord(const std::string& path, const TLogRecord& record) { return Log.WriteSmsLogRecord(path, record); }
  bool AppendSmsToLog(const TSmsInfo& info, uint8_t read) { return Log.AppendSmsToLog(info, read); }
  void CheckSmsLog(const std::string& path) { Log.CheckSmsLog(path); }
  // The start-up search: runs NotifyUnreadSms when the log holds an unread record.
  void CheckUnreadSms();
  void LoadUnreadSms(TSmsInfoList& list, std::vector<int32_t>* indexes = nullptr) { Log.LoadUnreadSms(list, indexes); }
  void LoadSmsLog(TSmsHistory& history) { Log.LoadSmsLog(history); }
  void MarkAllSmsRead() { Log.MarkAllSmsRead(); }

  // The send side: messages go out one at a time, each by a send thread of its own.
  TSmsSender Sender{Channel, *this, *this};
  // Hands one message to the send queue and starts a send when none runs; false when the
  // queue refuses it (TSmsSender::Queue).
  virtual bool QueueSmsSend(const std::string& phone, const std::string& text) { return Sender.Queue(phone, text); }
  // The modem close: asks the running send thread to stop and lets it go without waiting.
  void TerminateSmsSendThread() { Sender.Terminate(); }
  // The end of the program: stops a send thread that still runs and waits for it, reporting
  // nothing more. The owner calls it while its hooks still work.
  void StopSmsSendThread() { Sender.Stop(); }
  bool SendShutDown() const override { return Sender.ShutDown(); }

  // Reads the stored messages queued during the send that just ended.
  void ReadQueuedSms() override;

  // The modem link that the dispatcher's modem check talks to; null while the link is closed.
  virtual TAtChannel* ModemChannel() { return IsModemOpen() ? &Channel : nullptr; }
  // Whether the modem link is open: the handle of the transport that the port setting
  // selects is open.
  virtual bool IsModemOpen() const { return ModemLinkOpen(); }

  // The events of the GSM side, passed on to the owner's events interface.
  void NotifyUnreadSms() override { Events.NotifyUnreadSms(); }
  uint32_t NotifyDispatcher(uint32_t code, const std::string& payload) { return Events.NotifyDispatcher(code, payload); }
  void RefreshShowSmsForm() override { Events.RefreshShowSmsForm(); }

  // The modem link: the channel every exchange with the modem goes through (declared before the
  // send side and the reader that use it). Its settings are copied from the mirror by
  // ApplyModemSettings after each load of the settings.
  void ApplyModemSettings();
  // Open: the handle of the transport that the port setting selects is open.
  bool ModemLinkOpen() const;

  // Receiving messages. Every operation here talks to the modem, so the caller holds the port
  // mutex; the decoder's parts of concatenated messages are used under it too. A message is
  // parsed, logged as unread and then signalled with NotifyUnreadSms, which runs on the main
  // thread (a worker waits for it). A reply whose parsing raises a conversion error is logged
  // as an unparsed record (kind 0) with its sender and its text as received.
  TReaderWaits ReaderWaits;
  // One +CMT notice: "+cmt:" header, a line break and the PDU.
  void HandleCmt(const std::string& text) override;
  // The storage (two letters, as read) and the index that a +CMTI notice names.
  static bool ParseCmti(const std::string& text, std::string& storage, std::string& index) {
    return ::ParseCmti(text, storage, index);
  }
  // One +CMTI notice: reads the stored message it names.
  void HandleCmti(const std::string& text) override;
  // Reads one stored message, logs it, deletes it from the store once it is logged, and
  // signals it; true when a record was logged.
  bool ReadStoredSms(const std::string& storage, const std::string& index);
  // A message of the store's listing ("storage,index", a line feed, its PDU): logged as a read
  // of it would log it, then deleted; true when a record was logged.
  void HandleListedSms(const std::string& text) override;
  static bool ParseListedSms(const std::string& text, std::string& storage, std::string& index, std::string& pdu) {
    return ::ParseListedSms(text, storage, index, pdu);
  }
  void DeleteStoredSms(const std::string& index, TAnswerWait wait = TAnswerWait::EachRead);
  // A worker that has handled messages under the port mutex calls this once it has let the
  // mutex go: the unread notice of those messages then runs on the main thread, and the
  // worker waits for it. (On the main thread the notice runs at once.)
  void DeliverUnreadSignal() override;

  // Stored messages announced while they could not be read (during a send).
  TReadQueue ReadQueue;
  void QueueSmsRead(const std::string& storage, const std::string& index) override { ReadQueue.Add(storage, index); }

  // The reader of the open link, null when none; set and cleared on the main thread. Other
  // threads may test it but must not use the object, which ends on its own after a close:
  // they use the operations above.
  std::atomic<TTermReader*> ActiveTermReader{nullptr};
  // Starts a reader; with `readStore` it first reads what the store holds. A reader still
  // running is asked to end first, and the new one starts only once it has ended: two readers
  // never read the port at once (as a reopen, or an open request while open, left them).
  void StartTermReader(bool readStore = false);
  // Asks the running reader to end, without waiting.
  void StopTermReader();
  // The clock by which the parts of a concatenated message are given up (seconds since 1970,
  // UTC); tests set their own.
  std::function<int64_t()>& PartClock() { return Decoder.Clock; }
  // Closes the open transport, asks the reader to end and lets a running send go (it fails
  // on the closed port; the queue drains one pair per attempt).
  void CloseModem();
  // A device came or went: true when the open link's device is gone.
  bool IsModemLost();

  // The workers of the modem link; they end before the core does. The owner stops them
  // (StopModemThreads) while its events still work.
  TOwnedThreads ModemThreads;
  void StopModemThreads();

private:
  // The end of a send: the sent record in the log, then the SmsSendResult hook; nothing when
  // the modem was closed meanwhile or the program ends.
  void ReportSend(const TSmsSendThread& thread) override;
  TPduDecoder Decoder;
  // The reader's first turn: the decoder's parts forgotten, the store listed when asked.
  void BeginReading(bool readStore) override;
  // Every turn: the messages whose parts stopped coming are logged with what they had.
  void GiveUpStaleSms() override;
  // Starts `reader` now; ReaderEnded runs on the main thread when it has ended.
  void LaunchTermReader(std::unique_ptr<TTermReader> reader);
  void ReaderEnded(TThread& reader);
  // The reader thread that has not ended yet, active or asked to end; null when none.
  TThread* RunningReader = nullptr;
  // The reader that starts once RunningReader has ended.
  std::unique_ptr<TTermReader> DueReader;
  bool LogUndecodedSms(const std::string& text) override { return StoreUndecodedSms(text); }
  // Queues a stored-message notice for the reader, as if the modem had sent it.
  void QueueStoredNotice(const std::string& storage, const std::string& index);
  // Lists the modem's store and queues a stored-message notice for every message in it: the
  // reader then reads them as it reads the messages the modem announces.
  void QueueAllStoredSms();
  // Every read of the port, by any thread, passes through the channel's notice stream: the
  // notices (+CMT with its PDU line, +CMTI, RING) in it wait for the reader, or for a running
  // send, to handle them.
  TNoticeStream& Unsolicited = Channel.Notices;
  // A storage name and a slot number come from the modem's answers and go back to it in the
  // store commands; a garbled or hostile answer could hold anything there. True when they can
  // go: a name of 1 to 8 ASCII letters or digits, a number of 1 to 5 digits. Otherwise the
  // trace says so and the command is not sent.
  bool StorageFits(const std::string& storage);
  bool SlotFits(const std::string& index);
  // One command and its answer, read up to its final line, without the notices; true when
  // anything was read.
  bool ExchangeStore(const std::string& command, std::string& answer, TAnswerWait wait = TAnswerWait::EachRead);

  class TLogMutexLock : public TLogLock {
  public:
    explicit TLogMutexLock(TMonitorCore& core) : Core(core) {}
    bool Acquire(unsigned timeoutMs) override;
    void Release() override;

  private:
    TMonitorCore& Core;
  };

  // Logs a decoded message (sender, time text, text); true when a record was written.
  bool StoreReceivedSms(std::vector<std::string>& parts);
  // Logs a text that could not be decoded as a kind-0 record; true when it was written.
  bool StoreUndecodedSms(const std::string& text);
  // Decodes the PDU of a stored message, logs the message once it is whole and deletes every
  // stored part of it; true when a record was logged.
  bool StoreStoredPdu(const std::string& storage, const std::string& index, const std::string& pdu,
                      TAnswerWait wait = TAnswerWait::EachRead);
  // Logs the messages the decoder gave up waiting for and deletes their stored parts.
  void StoreGivenUpSms();
  // Deletes the stored messages that the tags ("storage,index") name, selecting each storage
  // first unless it is selected already.
  void DeleteStoredParts(const std::vector<std::string>& tags, TAnswerWait wait = TAnswerWait::EachRead);
  // The storage that the last AT+CPMS= selected; empty when not known. Used under the port
  // mutex only.
  std::string SelectedStorage;
  void SignalUnreadSms();

  TMonitorEvents& Events;
  std::atomic<bool> UnreadSignalDue{false};
  // Cleared when the core is going: the hooks are not called any more.
  std::atomic<bool> HooksLive{true};
  std::unique_ptr<TNamedMutex> LogMutex;
  TLogMutexLock LogLock{*this};
  TSmsLog Log;
};
