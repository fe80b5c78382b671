#pragma once
// The main form's side of the window seam: TMonitorServices answered from the form and its
// GSM core.

#include "seam/MonitorServices.h"
#include "shell/FileWindowSettings.h"

class TOrvexMonitorForm;

class TFormServices : public TMonitorServices {
public:
  explicit TFormServices(TOrvexMonitorForm& form);

  const std::string& ExeDir() const override;
  TWindowSettings& Settings() override;
  void LoadUnreadSms(TSmsInfoList& list) override;
  void LoadSmsLog(TSmsHistory& history) override;
  void MarkAllSmsRead() override;
  void ClearUnreadNotice() override;
  bool QueueSmsSend(const std::string& phone, const std::string& text) override;
  size_t SendQueueRoom() const override;
  bool IsModemOpen() const override;
  bool ReopenModem() override;
  bool ReconnectEnabled() const override;
  void SetReconnectEnabled(bool enabled) override;
  const TPortSources& PortSources() const override;
  std::optional<std::vector<std::string>> ListUsbTerminals() override;
  const TFleet& Fleet() const override;
  TTemplateWindow* TemplateWindow() override;

private:
  TOrvexMonitorForm& Form;
  TFileWindowSettings WindowSettings;
};
