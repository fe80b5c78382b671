#include "composer/SmsTemplateForm.h"

#include "shell/OrvexMonitorForm.h"

TSmsTemplateForm::TSmsTemplateForm(TOrvexMonitorForm& mainForm, QWidget* parent)
    : QWidget(parent), LayoutText(mainForm.SmsTemplateFormLayout) {
  setObjectName("SmsTemplateForm");
}
