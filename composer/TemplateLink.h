#pragma once
// What the send window does with the one template window: prepares its number, password and
// targeted series, puts it in the mode of a command type, shows it modally and reads the
// command lines it composed.

#include "composer/TemplateState.h"

#include <cstdint>

class QLineEdit;
class QWidget;

class TTemplateLink {
public:
  // `window` is the monitor's template window; without one (or with another kind of
  // window) nothing is prepared, the show gives 0 and the lists are empty.
  explicit TTemplateLink(QWidget* window);

  bool IsThere() const { return Window != nullptr; }
  // The window's number and password fields; null without a window.
  QLineEdit* Number() const;
  QLineEdit* Password() const;
  void AddDeviceVersion(uint8_t series);
  // The mode entry of a command type 1 to 22.
  void Prepare(int commandType);
  // Shows the window modally; its result, 1 for OK.
  int Exec();
  // The lines composed for each series.
  const TCommandLists& CommandLists() const;

private:
  QWidget* Window;
};
