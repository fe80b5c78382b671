#include "app/WindowFactory.h"

#include "composer/SmsForm.h"
#include "composer/SmsTemplateForm.h"

QWidget* MakeProgramWindow(TWindowKind kind, TMonitorServices& monitor) {
  switch (kind) {
    case TWindowKind::SmsTemplate:
      return new TSmsTemplateForm(monitor);
    case TWindowKind::Sms:
      return new TsmsForm(monitor);
    case TWindowKind::ShowSms:
    case TWindowKind::Config:
    case TWindowKind::About:
      break;
  }
  return nullptr;
}
