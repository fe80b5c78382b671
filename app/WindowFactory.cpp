#include "app/WindowFactory.h"

#include "composer/SmsForm.h"
#include "composer/SmsTemplateForm.h"
#include "viewer/ShowSmsForm.h"

QWidget* MakeProgramWindow(TWindowKind kind, TMonitorServices& monitor) {
  switch (kind) {
    case TWindowKind::SmsTemplate:
      return new TSmsTemplateForm(monitor);
    case TWindowKind::ShowSms:
      return new TShowSmsForm(monitor);
    case TWindowKind::Sms:
      return new TsmsForm(monitor);
    case TWindowKind::Config:
    case TWindowKind::About:
      break;
  }
  return nullptr;
}
