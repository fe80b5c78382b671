#include "composer/SmsTemplateForm.h"

#include "shell/MonitorServices.h"

TSmsTemplateForm::TSmsTemplateForm(TMonitorServices& monitor, QWidget* parent)
    : QWidget(parent), LayoutText(monitor.Settings().SmsTemplateFormLayout) {
  setObjectName("SmsTemplateForm");
}
