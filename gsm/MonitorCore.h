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

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

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

  TSendQueue SendQueue;
  // Hands one message to the send queue; the send side starts sending from there.
  virtual void QueueSmsSend(const std::string& phone, const std::string& text) { SendQueue.Add(phone, text); }

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

private:
  class TLogMutexLock : public TLogLock {
  public:
    explicit TLogMutexLock(TMonitorCore& core) : Core(core) {}
    bool Acquire(unsigned timeoutMs) override;
    void Release() override;

  private:
    TMonitorCore& Core;
  };

  std::unique_ptr<TNamedMutex> LogMutex;
  TLogMutexLock LogLock{*this};
  TSmsLog Log;
};
