#include "support/FakeMonitor.h"

#include "seam/TemplateWindow.h"

#include <QWidget>

TFakeMonitor::TFakeMonitor(std::string exeDir, TLogUse log) : Dir(std::move(exeDir)) {
  Sources = TPortSources{[this] { return Devices; }, {}, [](const std::string&) { return false; }};
  if (log == TLogUse::InFolder) OwnLog = std::make_unique<TSmsLog>(Dir, Lock);
}

TFakeMonitor::~TFakeMonitor() { delete Template.data(); }

void TFakeMonitor::LoadUnreadSms(TSmsInfoList& list) {
  if (OwnLog) OwnLog->LoadUnreadSms(list);
}

void TFakeMonitor::LoadSmsLog(TSmsHistory& history) {
  if (OwnLog) OwnLog->LoadSmsLog(history);
}

void TFakeMonitor::MarkAllSmsRead() {
  if (OwnLog) OwnLog->MarkAllSmsRead();
}

void TFakeMonitor::ClearUnreadNotice() {
  ++NoticesCleared;
  MarkAllSmsRead();
}

bool TFakeMonitor::QueueSmsSend(const std::string& phone, const std::string& text) {
  if (SendQueueRoom() == 0) return false;
  Queued.push_back({phone, text});
  return true;
}

bool TFakeMonitor::ReopenModem() {
  ++Reopens;
  return ReopenSucceeds;
}

void TFakeMonitor::SetReconnectEnabled(bool enabled) {
  ++ReconnectSets;
  Reconnect = enabled;
}

std::optional<std::vector<std::string>> TFakeMonitor::ListUsbTerminals() {
  if (UsbTerminals) return UsbTerminals();
  return std::nullopt;
}

TTemplateWindow* TFakeMonitor::TemplateWindow() {
  if (!Template && MakeTemplateWindow) Template = MakeTemplateWindow(*this);
  return dynamic_cast<TTemplateWindow*>(Template.data());
}
