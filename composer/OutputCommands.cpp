// Builders of the voice (type 6) and additional settings (type 7), the request for the last
// change of settings (8), the USSD request (9), outputs (10), pulses (11) and the reset (12).

#include "composer/CommandBuilders.h"
#include "composer/CommandWriter.h"

bool ComposeCmdVoicePrm(TBuildContext& context) {
  TCommandWriter out(context);
  if (out.Targets(4)) {
    if (out.Ticked("selTelUp1")) out.Add(4, out.Keyword("TELUP1", Quoted(out.Text("edTelUp1"))));
    if (out.Ticked("selTelUp2")) out.Add(4, out.Keyword("TELUP2", Quoted(out.Text("edTelUp2"))));
  }
  if (out.Targets(5)) {
    if (out.Ticked("selVoiceGain")) out.Assign("MICAMP", out.Text("edVoiceGain"));
    if (out.Ticked("selVoiceVol")) out.Assign("DYNAMP", out.Text("edVoiceVol"));
    if (out.Ticked("selTelUp1")) out.Assign("TELUP1", out.Text("edTelUp1"));
    if (out.Ticked("selTelUp2")) out.Assign("TELUP2", out.Text("edTelUp2"));
    if (out.Ticked("selRingOut")) out.Assign("RINGOUT", out.Ticked("cbRingOut") ? "Y" : "N");
  }
  return true;
}

bool ComposeCmdAdditionPrm(TBuildContext& context) {
  TCommandWriter out(context);
  // Series 4 has no command for the low-battery phone or the iButton switch: its devices
  // receive nothing from this box.
  if (out.Targets(5)) {
    if (out.Ticked("selAkkumTel")) out.Assign("TELAKN", out.Text("edAkkumTel"));
    if (out.Ticked("selOnlyIbutton")) out.Assign("ONLYBUTTON", out.Ticked("cbOnlyIbutton") ? "Y" : "N");
  }
  return true;
}

bool ComposeCmdGetSettingsChange(TBuildContext& context) {
  TCommandWriter out(context);
  if (out.Targets(4)) out.Add(4, out.Keyword("CGET"));
  if (out.Targets(5)) out.Add(5, out.Pw() + " GCHANGE;");
  return true;
}

bool ComposeCmdExecuteUssd(TBuildContext& context) {
  TCommandWriter out(context);
  std::string line = out.Keyword("USSD", Quoted(out.Text("edUSSD")));
  for (int series = 1; series <= TCommandLists::kSeriesCount; ++series)
    if (out.Targets(series)) out.Add(series, line);
  return true;
}

namespace {

// Remembering the state over a restart counts only when its selector and its box are ticked.
bool Remembered(const TCommandWriter& out, int output) {
  return out.Ticked(Name("selSetOut", output, "Mem")) && out.Ticked(Name("cbSetOut", output, "Mem"));
}

}  // namespace

bool ComposeCmdSetOutput(TBuildContext& context) {
  TCommandWriter out(context);
  // Series 2 and 3 devices have one output, named by no number.
  for (int series = 2; series <= 3; ++series)
    if (out.Targets(series) && out.Ticked("selSetOut1"))
      out.Add(series, out.Keyword("SOUT", Digit(out.Ticked("cbSetOut1"))));
  for (int output = 1; output <= 2; ++output)
    if (out.Targets(4) && out.Ticked(Name("selSetOut", output)))
      out.Add(4, out.Keyword(Name(Remembered(out, output) ? "MOUT" : "SOU", output),
                             Digit(out.Ticked(Name("cbSetOut", output)))));
  for (int output = 1; output <= 2; ++output)
    if (out.Targets(5) && out.Ticked(Name("selSetOut", output)))
      out.Assign(Name(Remembered(out, output) ? "MOUT" : "SOUT", output), Digit(out.Ticked(Name("cbSetOut", output))));
  return true;
}

bool ComposeCmdPulseOutput(TBuildContext& context) {
  TCommandWriter out(context);
  for (int series = 2; series <= 3; ++series)
    if (out.Targets(series) && out.Ticked("selOut1Pulse"))
      out.Add(series, out.Keyword("PULSE", out.Text("edOut1Pulse")));
  for (int output = 1; output <= 2; ++output)
    if (out.Targets(4) && out.Ticked(Name("selOut", output, "Pulse")))
      out.Add(4, out.Keyword(Name("PULS", output), out.Text(Name("edOut", output, "Pulse"))));
  for (int output = 1; output <= 2; ++output)
    if (out.Targets(5) && out.Ticked(Name("selOut", output, "Pulse")))
      out.Assign(Name("PULSE", output), out.Text(Name("edOut", output, "Pulse")));
  return true;
}

bool ComposeCmdResetDevice(TBuildContext& context) {
  TCommandWriter out(context);
  for (int series = 3; series <= TCommandLists::kSeriesCount; ++series)
    if (out.Targets(series)) out.Add(series, out.Keyword("RESET"));
  return true;
}
