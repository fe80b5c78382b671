#include "shell/FormServices.h"

#include "seam/TemplateWindow.h"
#include "shell/OrvexMonitorForm.h"

#include <QTimer>

TFormServices::TFormServices(TOrvexMonitorForm& form) : Form(form), WindowSettings(form.ExeDir(), form.Mirror()) {}

const std::string& TFormServices::ExeDir() const { return Form.ExeDir(); }
TWindowSettings& TFormServices::Settings() { return WindowSettings; }
void TFormServices::LoadUnreadSms(TSmsInfoList& list) { Form.Core.LoadUnreadSms(list); }
void TFormServices::LoadSmsLog(TSmsHistory& history) { Form.Core.LoadSmsLog(history); }
void TFormServices::MarkAllSmsRead() { Form.Core.MarkAllSmsRead(); }
void TFormServices::ClearUnreadNotice() { Form.ClearUnreadNotice(); }
bool TFormServices::QueueSmsSend(const std::string& phone, const std::string& text) {
  return Form.QueueSmsSend(phone, text);
}
size_t TFormServices::SendQueueRoom() const { return Form.Core.Sender().Room(); }
bool TFormServices::IsModemOpen() const { return Form.IsModemOpen(); }
bool TFormServices::ReopenModem() { return Form.ReopenModem(); }
bool TFormServices::ReconnectEnabled() const { return Form.ConnectTimer->isActive(); }

void TFormServices::SetReconnectEnabled(bool enabled) {
  if (enabled)
    Form.ConnectTimer->start();
  else
    Form.ConnectTimer->stop();
}

const TPortSources& TFormServices::PortSources() const { return Form.PortSources; }
std::optional<std::vector<std::string>> TFormServices::ListUsbTerminals() { return Form.Core.Modem().ListUsbTerminals(); }
const TFleet& TFormServices::Fleet() const { return Form.Fleet; }
TTemplateWindow* TFormServices::TemplateWindow() { return dynamic_cast<TTemplateWindow*>(Form.TemplateWindow()); }
