#include "composer/CommandBuilders.h"

#include "common/Text.h"

#include <array>

namespace {

using TBuilder = bool (*)(TBuildContext&);

// Builder of each command type, index = type - 1.
constexpr std::array<TBuilder, 22> kBuilders = {
    ComposeCmdGet,          ComposeCmdBasePrm,           ComposeCmdDigitInPrm,  ComposeCmdAnalogInPrm,
    ComposeCmdControlPointPrm, ComposeCmdVoicePrm,       ComposeCmdAdditionPrm, ComposeCmdGetSettingsChange,
    ComposeCmdExecuteUssd,  ComposeCmdSetOutput,         ComposeCmdPulseOutput, ComposeCmdResetDevice,
    ComposeGetBasePrm,      ComposeGetDigitInPrm,        ComposeGetAnalogInPrm, ComposeGetControlPointPrm,
    ComposeGetVoicePrm,     ComposeGetAdditionPrm,       ComposeGetGconf1,      ComposeGetGconf2,
    ComposeGetGconf3,       ComposeGetGconf4,
};

constexpr size_t kPasswordWidth = 8;

}  // namespace

bool ComposeCommand(int commandType, TBuildContext& context) {
  if (commandType < 1 || commandType > static_cast<int>(kBuilders.size())) return false;
  return kBuilders[static_cast<size_t>(commandType - 1)](context);
}

std::string GetPasswordField(const TFormSnapshot& snapshot) {
  const TControlState& edit = snapshot["edPassword"];
  if (!edit.Enabled) return "%PASS%";
  std::string field = Cp1251FromQString(edit.Text);
  field.resize(kPasswordWidth, ' ');
  return field;
}
