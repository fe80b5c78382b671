#pragma once
// The command builders: from the template window's snapshot of its shown box (and the
// request box), the targeted series and the command type, the command lines of each series.
//
// Series 1 to 4 speak the keyword form ("KEYWORD PW arguments", no terminator), series 5 one
// assignment per line ("PW KEY=value;") and queries ("PW GKEY;"); "GET", "USSD" and "RESET"
// keep the keyword form in series 5. PW is the 8-character password field.

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
// window open. Each builder clears the lists first. A type outside 1 to 22 has no builder:
// nothing is composed, the lists are left as they were and the window stays open.
bool ComposeCommand(int commandType, TBuildContext& context);

// The password field of every line: "%PASS%" while `edPassword` is disabled (a group target,
// whose vehicles' own passwords replace it when the lines are sent), else the edit's text in
// code page 1251 cut to 8 characters or padded with blanks to 8.
std::string GetPasswordField(const TFormSnapshot& snapshot);

// Set commands, types 1 to 12.
bool ComposeCmdGet(TBuildContext& context);               // 1: request coordinates
bool ComposeCmdBasePrm(TBuildContext& context);           // 2: base settings
bool ComposeCmdDigitInPrm(TBuildContext& context);        // 3: digital inputs and counters
bool ComposeCmdAnalogInPrm(TBuildContext& context);       // 4: analog inputs
bool ComposeCmdControlPointPrm(TBuildContext& context);   // 5: control points
bool ComposeCmdVoicePrm(TBuildContext& context);          // 6: voice settings
bool ComposeCmdAdditionPrm(TBuildContext& context);       // 7: additional settings
bool ComposeCmdGetSettingsChange(TBuildContext& context); // 8: last change of settings
bool ComposeCmdExecuteUssd(TBuildContext& context);       // 9: USSD request
bool ComposeCmdSetOutput(TBuildContext& context);         // 10: set an output
bool ComposeCmdPulseOutput(TBuildContext& context);       // 11: pulse on an output
bool ComposeCmdResetDevice(TBuildContext& context);       // 12: reset

// Parameter queries, types 13 to 22: the series-5 list (13 to 18) or the series-4 list
// (19 to 22) whatever is targeted; the send window takes only its target's lists.
bool ComposeGetBasePrm(TBuildContext& context);           // 13
bool ComposeGetDigitInPrm(TBuildContext& context);        // 14
bool ComposeGetAnalogInPrm(TBuildContext& context);       // 15
bool ComposeGetControlPointPrm(TBuildContext& context);   // 16
bool ComposeGetVoicePrm(TBuildContext& context);          // 17
bool ComposeGetAdditionPrm(TBuildContext& context);       // 18
bool ComposeGetGconf1(TBuildContext& context);            // 19
bool ComposeGetGconf2(TBuildContext& context);            // 20
bool ComposeGetGconf3(TBuildContext& context);            // 21
bool ComposeGetGconf4(TBuildContext& context);            // 22
