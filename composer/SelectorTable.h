#pragma once
// The selectors of the template window's setting boxes: the check box in front of each
// device setting that says whether it is sent (or, in a query, asked for). For each: its Tag
// (the lowest protocol series that has the setting), the controls of its row that it unlocks,
// and how it pulls other selectors along where a series can only set several values in one
// command.

#include "composer/TemplateState.h"

#include <string>
#include <string_view>
#include <vector>

// Which targeted series make a coupling apply.
enum class TCouplingTargets {
  Always,
  AnyLegacy,     // any of series 1 to 4
  Series4,
  Series4Or5,
};

// On which change of the clicked selector a coupling applies.
enum class TCouplingEdge { Both, Ticked, Unticked };

struct TCoupling {
  TCouplingTargets Targets = TCouplingTargets::Always;
  TCouplingEdge Edge = TCouplingEdge::Both;
  // When not empty: the coupling applies only while this selector is ticked at that moment.
  std::string WhileTicked;
  // Each is set to the clicked selector's new state, in this order.
  std::vector<std::string> Followers;
};

struct TSelectorRule {
  std::string Name;
  int Tag = 0;
  std::vector<std::string> Row;
  // Applied in this order after the row.
  std::vector<TCoupling> Couplings;
};

// The 75 selectors.
const std::vector<TSelectorRule>& SelectorRules();
// Null for a name that is no selector.
const TSelectorRule* FindSelectorRule(std::string_view name);

// Whether a coupling applies to a click that set the selector to `ticked`, for the targets.
// `guardTicked` is the state of the coupling's WhileTicked selector (ignored when it has none).
bool CouplingApplies(const TCoupling& coupling, const TTargetVersions& targets, bool ticked, bool guardTicked);
