#include "composer/TemplateLink.h"

#include <QDialog>
#include <QLineEdit>

TTemplateLink::TTemplateLink(QWidget* window) : Window(window) {}

QLineEdit* TTemplateLink::Number() const {
  return Window != nullptr ? Window->findChild<QLineEdit*>(QStringLiteral("edNumber")) : nullptr;
}

QLineEdit* TTemplateLink::Password() const {
  return Window != nullptr ? Window->findChild<QLineEdit*>(QStringLiteral("edPassword")) : nullptr;
}

void TTemplateLink::AddDeviceVersion(uint8_t series) { (void)series; }

void TTemplateLink::Prepare(int commandType) { (void)commandType; }

int TTemplateLink::Exec() {
  auto* dialog = qobject_cast<QDialog*>(Window);
  return dialog != nullptr ? dialog->exec() : 0;
}

const TCommandLists& TTemplateLink::CommandLists() const {
  static const TCommandLists kNone;
  return kNone;
}
