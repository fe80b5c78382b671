#include "support/CommandRows.h"

#include "common/Text.h"

#include <gtest/gtest.h>

#include <cstring>

TFormSnapshot MakeSnapshot(const std::vector<const char*>& controls) {
  TFormSnapshot snapshot;
  snapshot.Set("edPassword").Text = "12345678";
  for (const char* control : controls) {
    std::string text = control;
    if (text.empty()) continue;
    if (text[0] == '+') {
      snapshot.Set(text.substr(1)).Checked = true;
    } else if (text[0] == '-') {
      snapshot.Set(text.substr(1)).Enabled = false;
    } else if (size_t equals = text.find('='); equals != std::string::npos) {
      snapshot.Set(text.substr(0, equals)).Text = QString::fromUtf8(text.substr(equals + 1));
    } else if (size_t hash = text.find('#'); hash != std::string::npos) {
      snapshot.Set(text.substr(0, hash)).ItemIndex = std::stoi(text.substr(hash + 1));
    } else {
      ADD_FAILURE() << "control text without an action: " << text;
    }
  }
  return snapshot;
}

TComposed Compose(int type, const std::vector<int>& targets, const std::vector<const char*>& controls) {
  TFormSnapshot snapshot = MakeSnapshot(controls);
  TTargetVersions versions;
  for (int series : targets) versions.AddDeviceVersion(static_cast<uint8_t>(series));
  TCommandLists lists;
  for (int series = 1; series <= TCommandLists::kSeriesCount; ++series) lists[series].push_back(kStaleLine);
  TBuildContext context{snapshot, versions, lists, {}};
  TComposed composed;
  composed.Result = ComposeCommand(type, context);
  for (int series = 1; series <= TCommandLists::kSeriesCount; ++series)
    for (const std::string& line : lists[series]) composed.Lines.push_back(std::to_string(series) + ":" + line);
  composed.WriteBack = context.WriteBack;
  return composed;
}

void ExpectRows(int type, std::initializer_list<TBuildRow> rows) {
  for (const TBuildRow& row : rows) {
    SCOPED_TRACE(std::string("type ") + std::to_string(type) + ": " + row.Name);
    TComposed composed = Compose(type, row.Targets, row.Controls);
    std::vector<std::string> expected;
    for (const char* line : row.Lines) expected.push_back(Cp1251(line));
    EXPECT_EQ(composed.Lines, expected);
    EXPECT_EQ(composed.Result, row.Result);
  }
}
