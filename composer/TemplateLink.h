#pragma once
// What the send window does with the one template window: prepares its number, password and
// targeted series, puts it in the mode of a command type, shows it modally and reads the
// command lines it composed. Without a template window nothing is prepared, the show gives 0
// and the lists are empty.

#include "seam/TemplateWindow.h"

#include <QString>

#include <cstdint>

class TTemplateLink {
public:
  explicit TTemplateLink(TTemplateWindow* window) : Window(window) {}

  bool IsThere() const { return Window != nullptr; }
  void SetNumber(const QString& number, bool editable);
  void SetPassword(const QString& password, bool editable);
  // The window's number; "" without a window.
  QString Number() const;
  void AddDeviceVersion(uint8_t series);
  // The mode entry of a command type 1 to 22.
  void Prepare(int commandType);
  // Shows the window modally; its result, 1 for OK.
  int Exec();
  // The lines composed for each series.
  const TCommandLists& CommandLists() const;

private:
  TTemplateWindow* Window;
};
