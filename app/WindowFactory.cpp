#include "app/WindowFactory.h"

#include "composer/SmsForm.h"
#include "composer/SmsTemplateForm.h"
#include "shell/AboutForm.h"
#include "shell/ConfigForm.h"
#include "viewer/ShowSmsForm.h"

QWidget* MakeProgramWindow(TWindowKind kind, TMonitorServices& monitor) {
  switch (kind) {
    case TWindowKind::SmsTemplate:
      return new TSmsTemplateForm(monitor);
    case TWindowKind::Config:
      return new TConfigForm(monitor);
    case TWindowKind::About:
      return new TAboutForm();
    case TWindowKind::ShowSms:
      return new TShowSmsForm(monitor);
    case TWindowKind::Sms:
      return new TsmsForm(monitor);
  }
  return nullptr;
}
