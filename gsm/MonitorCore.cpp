#include "gsm/MonitorCore.h"

#include "platform/NamedMutex.h"

TMonitorCore::TMonitorCore(std::string exeDir)
    : ExeDir(std::move(exeDir)), LogPath(ExeDir + "OrvexMonitor.log"), Log(ExeDir, LogLock) {}

TMonitorCore::~TMonitorCore() {
  // Normally the owner has stopped the send side already, while its hooks still worked.
  StopSmsSendThread();
}

void TMonitorCore::CreateLogMutex() { LogMutex = TNamedMutex::Create(kLogMutexName); }

void TMonitorCore::CloseLogMutex() { LogMutex.reset(); }

void TMonitorCore::CheckUnreadSms() {
  if (Log.CheckUnreadSms()) NotifyUnreadSms();
}

bool TMonitorCore::TLogMutexLock::Acquire(unsigned timeoutMs) {
  return Core.LogMutex && Core.LogMutex->Wait(timeoutMs) == TMutexWait::Obtained;
}

void TMonitorCore::TLogMutexLock::Release() {
  if (Core.LogMutex) Core.LogMutex->Release();
}
