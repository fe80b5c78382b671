#pragma once
// The command builders: from the template window's snapshot of its shown box (and the
// request box), the targeted series and the command type, the command lines of each series.

#include "composer/FormSnapshot.h"
#include "composer/TemplateState.h"

#include <QString>

#include <map>
#include <string>

struct TBuildContext {
  // Every named control of the template window: edits, combo boxes, check boxes.
  const TFormSnapshot& Snapshot;
  const TTargetVersions& Targets;
  TCommandLists& Lists;
  // Texts the builder writes back into edits, by component name (the padded coordinates).
  std::map<std::string, QString> WriteBack;
};

// Runs the builder of a command type (1 to 22) after its validator passed; false keeps the
// window open. Each builder clears the lists first.
bool ComposeCommand(int commandType, TBuildContext& context);
