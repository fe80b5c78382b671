#pragma once
// The GSM side of the monitor, owned by the main form: the modem link (the channel, its set-up,
// its reader and the port mutex), the modem's message store, the send side, the SMS log and its
// named mutex, the settings mirror, the unread flag and the last modem error. What the GSM side
// needs from the GUI (the unread notice, the outcome of a send or of a set-up, dispatcher
// notices, the message list) goes through the events interface that the owner gives it. It is
// the host of the reader and of the send threads: it decodes, logs and signals the messages
// they find.

#include "common/SettingsMirror.h"
#include "common/SmsInfo.h"
#include "gsm/AtChannel.h"
#include "gsm/ModemErrors.h"
#include "gsm/ModemLink.h"
#include "gsm/MonitorEvents.h"
#include "gsm/PduCodec.h"
#include "gsm/SimStore.h"
#include "gsm/SmsLog.h"
#include "gsm/SmsSender.h"
#include "gsm/SmsSendThread.h"
#include "gsm/TermReader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TNamedMutex;

inline constexpr const char* kLogMutexName = "OrvexMonitorLogFileMutex";

class TMonitorCore : public TSendHost, private TLinkHost {
public:
  // `exeDir` is the program folder with its trailing separator; `events` hears what the GUI
  // must know, and outlives the core.
  TMonitorCore(std::string exeDir, TMonitorEvents& events);
  virtual ~TMonitorCore();
  TMonitorCore(const TMonitorCore&) = delete;
  TMonitorCore& operator=(const TMonitorCore&) = delete;

  const std::string ExeDir;
  const std::string LogPath;  // ExeDir + "OrvexMonitor.log"

  // True while unread messages wait; set and cleared on the main thread, read by any thread.
  bool UnreadPending() const { return Unread.load(); }
  void SetUnreadPending(bool pending) { Unread = pending; }

  // Creates (or opens) the log mutex; until then every log operation finds it busy.
  void CreateLogMutex();
  void CloseLogMutex();

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
  TSmsSender& Sender() { return Sending; }
  // Hands one message to the send queue and starts a send when none runs; false when the
  // queue refuses it (TSmsSender::Queue).
  virtual bool QueueSmsSend(const std::string& phone, const std::string& text) { return Sending.Queue(phone, text); }
  // The modem close: asks the running send thread to stop and lets it go without waiting.
  void TerminateSmsSendThread() { Sending.Terminate(); }
  // The end of the program: stops a send thread that still runs and waits for it, reporting
  // nothing more. The owner calls it while its hooks still work.
  void StopSmsSendThread() { Sending.Stop(); }
  bool SendShutDown() const override { return Sending.ShutDown(); }

  // Reads the stored messages announced during the send that just ended.
  void ReadQueuedSms() override;

  // The modem link: its channel, set-up, reader, port mutex and supervision.
  TModemLink& Link() { return ModemLink; }
  const TModemLink& Link() const { return ModemLink; }
  // The transport of the link, open or not.
  TModemPort& Modem() { return ModemLink.Channel().Port; }
  // Gives the link the modem's settings (port, terminal description, PIN, PIN check, port
  // trace); the owner calls it after each load of them.
  void ApplyModemSettings(const TSettingsMirror& settings);
  // The last modem error: the +CME/+CMS report of a failed exchange, or the set-up's message.
  const TModemError& LastError() const { return Errors; }
  // Starts a set-up of the link; ModemSetupEnded tells the owner how it ended. False while a
  // set-up runs already.
  bool OpenModem() { return ModemLink.Open(); }
  // Closes the open transport, asks the reader to end and lets a running send go (it fails
  // on the closed port; the queue drains one pair per attempt).
  void CloseModem() { ModemLink.Close(); }
  // The modem link that the dispatcher's modem check talks to; null while the link is closed.
  virtual TAtChannel* ModemChannel() { return IsModemOpen() ? &ModemLink.Channel() : nullptr; }
  // Whether the modem link is open: the handle of the transport that the port setting
  // selects is open.
  virtual bool IsModemOpen() const { return ModemLink.IsOpen(); }
  // A device came or went: true when the open link's device is gone.
  bool IsModemLost() { return ModemLink.IsLost(); }
  // Starts a reader of the open link (with `readStore` it first reads what the store holds);
  // asks the running one to end.
  void StartTermReader(bool readStore = false) { ModemLink.StartReader(readStore); }
  void StopTermReader() { ModemLink.StopReader(); }
  // The workers of the modem link end before the core does. The owner stops them while its
  // events still work.
  void StopModemThreads();

  // The modem's message store.
  TSimStore& Store() { return SimStore; }

  // The events of the GSM side, passed on to the owner's events interface.
  void NotifyUnreadSms() override { Events.NotifyUnreadSms(); }
  uint32_t NotifyDispatcher(uint32_t code, const std::string& payload) { return Events.NotifyDispatcher(code, payload); }
  void RefreshShowSmsForm() override { Events.RefreshShowSmsForm(); }

  // Receiving messages. Every operation here talks to the modem, so the caller holds the port
  // mutex; the decoder's parts of concatenated messages are used under it too. A message is
  // parsed, logged as unread and then signalled with NotifyUnreadSms, which runs on the main
  // thread (a worker waits for it). A reply whose parsing raises a conversion error is logged
  // as an unparsed record (kind 0) with its sender and its text as received.
  //
  // One +CMT notice: "+cmt:" header, a line break and the PDU.
  void HandleCmt(const std::string& text) override;
  // Reads one stored message, logs it, deletes it from the store once it is logged, and
  // signals it; true when a record was logged.
  bool ReadStoredSms(const TStoredSms& slot);
  // A worker that has handled messages under the port mutex calls this once it has let the
  // mutex go: the unread notice of those messages then runs on the main thread, and the
  // worker waits for it. (On the main thread the notice runs at once.)
  void DeliverUnreadSignal() override;
  // A stored message announced during a send: read once the send is over.
  void QueueSmsRead(const TStoredSms& slot) override { SimStore.QueueRead(slot); }

  // The clock by which the parts of a concatenated message are given up (seconds since 1970,
  // UTC); tests set their own.
  std::function<int64_t()>& PartClock() { return Decoder.Clock; }

private:
  // The end of a send: the sent record in the log, then the SmsSendResult hook; nothing when
  // the modem was closed meanwhile or the program ends.
  void ReportSend(const TSmsSendThread& thread) override;
  // The link's moments: a close lets a running send go; a set-up's end goes to the owner.
  void LinkClosed() override { TerminateSmsSendThread(); }
  void SetupEnded(const TSetupOutcome& outcome) override;
  // The reader's first turn: the decoder's parts forgotten, the store listed when asked.
  void BeginReading(bool readStore) override;
  // One +CMTI notice, or a stored message queued to be read: the message is read.
  void HandleCmti(const TStoredSms& slot) override { ReadStoredSms(slot); }
  // A message of the store's listing with its PDU: logged as a read of it would log it, then
  // deleted.
  void HandleListedSms(const TStoredSms& slot, const std::string& pdu) override;
  // Every turn: the messages whose parts stopped coming are logged with what they had.
  void GiveUpStaleSms() override;
  bool LogUndecodedSms(const std::string& text) override { return StoreUndecodedSms(text); }

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
  bool StoreStoredPdu(const TStoredSms& slot, const std::string& pdu, TAnswerWait wait = TAnswerWait::EachRead);
  // Logs the messages the decoder gave up waiting for and deletes their stored parts.
  void StoreGivenUpSms();
  void SignalUnreadSms();

  TMonitorEvents& Events;
  std::atomic<bool> Unread{false};
  std::atomic<bool> UnreadSignalDue{false};
  // Cleared when the core is going: the hooks are not called any more.
  std::atomic<bool> HooksLive{true};
  std::unique_ptr<TNamedMutex> LogMutex;
  TLogMutexLock LogLock{*this};
  TSmsLog Log;
  TPduDecoder Decoder;
  // The last modem error, kept by the link's set-up and the sends.
  TModemError Errors;
  // The link before the store and the sender, which talk through its channel.
  TModemLink ModemLink{ExeDir, Errors, *this};
  TSimStore SimStore{ModemLink.Channel(), ModemLink.ReaderWaits()};
  TSmsSender Sending{ModemLink.Channel(), Errors, *this};
};
