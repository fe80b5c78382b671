#pragma once
// A plain picture of the template window's shown box: every control by its component name
// with its text, item index, tick and enabled state. The validators and the command builders
// read it, so they are functions of plain data and are tested as tables without widgets.

#include <QString>

#include <map>
#include <string>

struct TControlState {
  QString Text;        // edits and combo boxes: the text as shown
  int ItemIndex = -1;  // combo boxes: the chosen item, -1 when none
  bool Checked = false;
  bool Enabled = true;
};

class TFormSnapshot {
public:
  // An absent control reads as empty, unticked and enabled.
  const TControlState& operator[](const std::string& name) const {
    static const TControlState kAbsent;
    auto it = Controls.find(name);
    return it == Controls.end() ? kAbsent : it->second;
  }
  TControlState& Set(const std::string& name) { return Controls[name]; }
  bool Has(const std::string& name) const { return Controls.count(name) != 0; }

  std::map<std::string, TControlState> Controls;
};
