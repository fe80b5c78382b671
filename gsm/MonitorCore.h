#pragma once
// The GUI-free base of the main form: the state and operations of the GSM side that the
// worker threads and the window messages use (settings mirror, program folder, SMS log and
// its named mutex, unread flag, last modem error). What these operations need from the GUI
// (the unread notice, balloons, dispatcher notices) goes through the virtual hooks, which the
// main form overrides.

#include "common/SettingsMirror.h"
#include "common/SmsInfo.h"
#include "gsm/ModemErrors.h"
#include "gsm/SmsLog.h"
#include "gsm/SmsSendThread.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class TModemPort;
class TNamedMutex;

inline constexpr const char* kLogMutexName = "OrvexMonitorLogFileMutex";

// The messages waiting to be sent, (phone, text) pairs, head first. Guarded, so that the
// windows, the dispatcher's requests and the send side may reach it from any thread.
class TSendQueue {
public:
  using TPair = std::pair<std::string, std::string>;

  void Add(std::string phone, std::string text) {
    std::lock_guard<std::mutex> lock(Mutex);
    Pairs.emplace_back(std::move(phone), std::move(text));
  }
  // The head pair; false when the queue is empty.
  bool Front(TPair& pair) const {
    std::lock_guard<std::mutex> lock(Mutex);
    if (Pairs.empty()) return false;
    pair = Pairs.front();
    return true;
  }
  void DropFront() {
    std::lock_guard<std::mutex> lock(Mutex);
    if (!Pairs.empty()) Pairs.pop_front();
  }
  std::vector<TPair> Items() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return {Pairs.begin(), Pairs.end()};
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return Pairs.size();
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(Mutex);
    Pairs.clear();
  }

private:
  mutable std::mutex Mutex;
  std::deque<TPair> Pairs;
};

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
  void LoadUnreadSms(TSmsInfoList& list) { Log.LoadUnreadSms(list); }
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

  // Stored messages that the modem announced during a send, (storage, index) pairs, read
  // when the send has ended.
  TSendQueue ReadQueue;
  void QueueSmsRead(const std::string& storage, const std::string& index) { ReadQueue.Add(storage, index); }
  virtual void ReadStoredSms(const std::string& storage, const std::string& index) {
    (void)storage;
    (void)index;
  }
  virtual void HandleCmt(const std::string& text) { (void)text; }
  // A +CMT notice inside an answer of the send dialogue; the send thread holds the port mutex.
  void HandleCmtDuringSend(const std::string& text);
  // Reads the stored messages queued during the send that just ended.
  void ReadQueuedSms();

  // The modem link; null while the monitor drives none.
  virtual TModemPort* ModemPort() { return nullptr; }
  // Whether the modem link is open; the modem side overrides it once it drives a modem.
  virtual bool IsModemOpen() const { return false; }

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
  std::unique_ptr<TNamedMutex> LogMutex;
  TLogMutexLock LogLock{*this};
  TSmsLog Log;
};
