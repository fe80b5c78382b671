// Builders of the coordinate request (type 1) and the base settings (type 2).

#include "composer/CommandBuilders.h"
#include "composer/CommandWriter.h"

bool ComposeCmdGet(TBuildContext& context) {
  TCommandWriter out(context);
  // Every series has the same request; the send window takes the list of its target.
  for (int series = 1; series <= TCommandLists::kSeriesCount; ++series) out.Add(series, out.Keyword("GET"));
  return true;
}

namespace {

// Series 1 to 4: one command carries the server with both periods and the method, another
// the periods alone; the access point exists from series 3, the navigation modes in series 4.
void ComposeLegacyBase(TCommandWriter& out) {
  std::string periods;
  if (out.Ticked("selBaseServer"))
    periods = out.Keyword("CHG", out.Text("edBaseServer") + ":" + out.Text("edBasePort") + "," +
                                     out.Text("edWritePeriod") + "," + out.Text("edSendPeriod") + "," +
                                     IndexText(out.Index("cbMethodWrite")));
  else if (out.Ticked("selWritePeriod"))
    periods = out.Keyword("SET", out.Text("edWritePeriod") + "," + out.Text("edSendPeriod"));
  if (!periods.empty())
    for (int series = 1; series <= 4; ++series)
      if (out.Targets(series)) out.Add(series, periods);

  if (out.Ticked("selAPN")) {
    std::string apn = out.Keyword("APN", Quoted(out.Text("edAPN")) + "," + Quoted(out.Text("edAPNUser")) + "," +
                                             Quoted(out.Text("edAPNPassword")));
    for (int series = 3; series <= 4; ++series)
      if (out.Targets(series)) out.Add(series, apn);
  }

  // Both fields send 0 for a ticked box; the middle field is always 0.
  if (out.Ticked("selWideRecord") && out.Targets(4)) {
    std::string modes = std::string(out.Ticked("cbStaticNav") ? "0," : "1,") + "0," +
                        (out.Ticked("cbWideRecord") ? "0" : "1");
    out.Add(4, out.Keyword("SMODE", modes));
  }
}

// Series 5: one assignment per ticked setting.
void ComposeAssignedBase(TCommandWriter& out) {
  if (out.Ticked("selDevAlias")) out.Assign("ALIAS", out.Text("edDevAlias"));
  if (out.Ticked("selWritePeriod")) out.Assign("PERIODWR", out.Text("edWritePeriod"));
  if (out.Ticked("selSendPeriod")) out.Assign("PERIODSEND", out.Text("edSendPeriod"));
  if (out.Ticked("selMethodWrite")) out.Assign("MODEWR", out.Index("cbMethodWrite") == 0 ? "A" : "N");
  if (out.Ticked("selAPN"))
    out.Assign("APNFULL", Quoted(out.Text("edAPN")) + "," + Quoted(out.Text("edAPNUser")) + "," +
                              Quoted(out.Text("edAPNPassword")));
  if (out.Ticked("selBaseServer")) out.Assign("IP", out.Text("edBaseServer"));
  if (out.Ticked("selBasePort")) out.Assign("PORT", out.Text("edBasePort"));
  if (out.Ticked("selReservServer")) out.Assign("RESIP", out.Text("edReservServer"));
  if (out.Ticked("selReservPort")) out.Assign("RESPORT", out.Text("edReservPort"));
  // Static processing sends 0 for on, velocity-vector recording 1 for on.
  if (out.Ticked("selStaticNav")) out.Assign("MODE1", out.Ticked("cbStaticNav") ? "0" : "1");
  if (out.Ticked("selWideRecord")) out.Assign("MODEWIDE", out.Ticked("cbWideRecord") ? "1" : "0");
}

}  // namespace

bool ComposeCmdBasePrm(TBuildContext& context) {
  TCommandWriter out(context);
  if (context.Targets.HasLegacyVersion()) ComposeLegacyBase(out);
  if (out.Targets(5)) ComposeAssignedBase(out);
  return true;
}
