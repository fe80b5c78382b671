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
#include <memory>
#include <string>

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
  void LoadUnreadSms(TSmsInfoList& list) { Log.LoadUnreadSms(list); }
  void LoadSmsLog(TLogEntryList& list) { Log.LoadSmsLog(list); }
  void MarkAllSmsRead() { Log.MarkAllSmsRead(); }

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
