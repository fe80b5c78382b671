#include "composer/TemplateLink.h"

#include "composer/SmsTemplateForm.h"

#include <QLineEdit>

namespace {

TSmsTemplateForm* Form(QWidget* window) { return qobject_cast<TSmsTemplateForm*>(window); }

}  // namespace

TTemplateLink::TTemplateLink(QWidget* window) : Window(Form(window)) {}

QLineEdit* TTemplateLink::Number() const { return Window != nullptr ? Form(Window)->edNumber : nullptr; }

QLineEdit* TTemplateLink::Password() const { return Window != nullptr ? Form(Window)->edPassword : nullptr; }

void TTemplateLink::AddDeviceVersion(uint8_t series) {
  if (Window != nullptr) Form(Window)->AddDeviceVersion(series);
}

void TTemplateLink::Prepare(int commandType) {
  if (Window != nullptr) Form(Window)->PrepareCommand(commandType);
}

int TTemplateLink::Exec() { return Window != nullptr ? Form(Window)->exec() : 0; }

const TCommandLists& TTemplateLink::CommandLists() const {
  static const TCommandLists kNone;
  return Window != nullptr ? Form(Window)->CommandLists : kNone;
}
