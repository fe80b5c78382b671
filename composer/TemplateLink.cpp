#include "composer/TemplateLink.h"

void TTemplateLink::SetNumber(const QString& number, bool editable) {
  if (Window != nullptr) Window->SetNumber(number, editable);
}

void TTemplateLink::SetPassword(const QString& password, bool editable) {
  if (Window != nullptr) Window->SetPassword(password, editable);
}

QString TTemplateLink::Number() const { return Window != nullptr ? Window->Number() : QString(); }

void TTemplateLink::AddDeviceVersion(uint8_t series) {
  if (Window != nullptr) Window->AddDeviceVersion(series);
}

void TTemplateLink::Prepare(int commandType) {
  if (Window != nullptr) Window->PrepareCommand(commandType);
}

int TTemplateLink::Exec() { return Window != nullptr ? Window->ExecModal() : 0; }

const TCommandLists& TTemplateLink::CommandLists() const {
  static const TCommandLists kNone;
  return Window != nullptr ? Window->ComposedLists() : kNone;
}
