#include "app/WindowFactory.h"

#include "composer/SmsTemplateForm.h"
#include "shell/AboutForm.h"
#include "shell/ConfigForm.h"

QWidget* MakeProgramWindow(TWindowKind kind, TMonitorServices& monitor) {
  switch (kind) {
    case TWindowKind::SmsTemplate:
      return new TSmsTemplateForm(monitor);
    case TWindowKind::Config:
      return new TConfigForm(monitor);
    case TWindowKind::About:
      return new TAboutForm();
    case TWindowKind::ShowSms:
    case TWindowKind::Sms:
      break;
  }
  return nullptr;
}
