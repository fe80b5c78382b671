#pragma once
// What the send window asks of the one template window: the number and password the commands
// are for, the protocol series targeted, the mode of a command type, the modal run and the
// command lines it composed.

#include "seam/CommandLists.h"
#include "seam/MonitorServices.h"

#include <QString>

#include <cstdint>

class TTemplateWindow : public TMonitorWindow {
public:
  // The request box's number and password. A field that is not `editable` shows the text but
  // cannot be changed: a group's name stands in both, and the lines then carry the password
  // placeholder.
  virtual void SetNumber(const QString& number, bool editable) = 0;
  virtual void SetPassword(const QString& password, bool editable) = 0;
  // The number as the window holds it now (the user may have edited it).
  virtual QString Number() const = 0;
  // A protocol series (1 to 5) the commands are for.
  virtual void AddDeviceVersion(uint8_t series) = 0;
  // The mode entry of a command type 1 to 22.
  virtual void PrepareCommand(int commandType) = 0;
  // Shows the window modally; its result, 1 for OK.
  virtual int ExecModal() = 0;
  // The lines composed for each series by the last OK.
  virtual const TCommandLists& ComposedLists() const = 0;
};
