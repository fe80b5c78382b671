// Builders of the digital inputs and counters (type 3), the analog inputs (type 4) and the
// control points (type 5).

#include "composer/CommandBuilders.h"
#include "composer/CommandWriter.h"

#include "common/Text.h"

namespace {

constexpr int kDigitalInputs = 4;
constexpr int kAnalogInputs = 2;
constexpr int kControlPoints = 3;

// The letter of an input mode (item 0 "A", 1 "B", 2 "C"); empty when no item is chosen.
std::string ModeLetter(int index) {
  if (index < 0 || index > 2) return "";
  return std::string(1, static_cast<char>('A' + index));
}

// Level, GPRS and SMS flags of an input as "level,gprs,sms".
std::string InputFlags(const TCommandWriter& out, int input) {
  return IndexText(out.Index(Name("cbIn", input, "Level"))) + "," + Digit(out.Ticked(Name("cbIn", input, "Gprs"))) +
         "," + Digit(out.Ticked(Name("cbIn", input, "Sms")));
}

}  // namespace

bool ComposeCmdDigitInPrm(TBuildContext& context) {
  TCommandWriter out(context);
  bool lettersChosen = true;
  // A mode line is still written without its letter when the mode list has no item chosen;
  // the window then stays open so that the user chooses one.
  auto letter = [&](int input) {
    std::string text = ModeLetter(out.Index(Name("cbIn", input, "Mode")));
    if (text.empty()) lettersChosen = false;
    return text;
  };

  for (int series = 2; series <= 3; ++series)
    if (out.Targets(series) && out.Ticked("selCount1Period"))
      out.Add(series, out.Keyword("SCOUNT", out.Text("edCount1Period")));

  if (out.Targets(4)) {
    if (out.Ticked("selCount1Period")) out.Add(4, out.Keyword("SCOUN1", out.Text("edCount1Period")));
    if (out.Ticked("selCount2Period")) out.Add(4, out.Keyword("SCOUN2", out.Text("edCount2Period")));
    for (int input = 1; input <= kDigitalInputs; ++input)
      if (out.Ticked(Name("selIn", input, "Mode")))
        out.Add(4, out.Keyword("SIN", std::to_string(input) + "," + InputFlags(out, input) + "," + letter(input) +
                                          "," + Quoted(out.Text(Name("edIn", input, "TelNum")))));
  }

  if (out.Targets(5)) {
    if (out.Ticked("selCount1Period")) out.Assign("PERIODCOUNT12", out.Text("edCount1Period"));
    if (out.Ticked("selCount2Period")) out.Assign("PERIODCOUNT34", out.Text("edCount2Period"));
    for (int input = 1; input <= kDigitalInputs; ++input) {
      if (out.Ticked(Name("selIn", input, "Alias")))
        out.Assign(Name("INALIAS", input), out.Text(Name("edIn", input, "Alias")));
      // A constant 0 stands between the SMS flag and the mode letter.
      if (out.Ticked(Name("selIn", input, "Mode")))
        out.Assign(Name("INPFLAGS", input), InputFlags(out, input) + ",0," + letter(input));
      if (out.Ticked(Name("selIn", input, "TelNum")))
        out.Assign(Name("TELSMS", input), out.Text(Name("edIn", input, "TelNum")));
    }
  }
  return lettersChosen;
}

bool ComposeCmdAnalogInPrm(TBuildContext& context) {
  TCommandWriter out(context);
  for (int series = 2; series <= 3; ++series)
    if (out.Targets(series) && out.Ticked("selAInPeriod"))
      out.Add(series, out.Keyword("SANI", out.Text("edAInPeriod")));

  const char* adaptive = out.Index("cbAInAdaptiveMode") == 0 ? "F" : "V";
  if (out.Targets(4)) {
    if (out.Ticked("selAInPeriod")) out.Add(4, out.Keyword("SANI", out.Text("edAInPeriod") + "," + adaptive));
    // "0" marks an input used as a digital one.
    for (int input = 1; input <= kAnalogInputs; ++input)
      if (out.Ticked(Name("selAIn", input, "AveragePeriod")))
        out.Add(4, out.Keyword("SAIN", std::to_string(input) + "," +
                                           (out.Ticked(Name("cbAIn", input, "AsDigit")) ? "0" : "1") + "," +
                                           out.Text(Name("edAIn", input, "AdaptiveLevel")) + "," +
                                           out.Text(Name("edAIn", input, "AveragePeriod"))));
  }

  if (out.Targets(5)) {
    if (out.Ticked("selAInPeriod")) out.Assign("PERIODANALOG", out.Text("edAInPeriod"));
    if (out.Ticked("selAInAdaptiveMode")) out.Assign("MODEANALOG", adaptive);
    for (int input = 1; input <= kAnalogInputs; ++input) {
      if (out.Ticked(Name("selAIn", input, "AveragePeriod")))
        out.Assign(Name("PERIODUSR", input), out.Text(Name("edAIn", input, "AveragePeriod")));
      if (out.Ticked(Name("selAIn", input, "AdaptiveLevel")))
        out.Assign(Name("ALEVEL", input), out.Text(Name("edAIn", input, "AdaptiveLevel")));
      if (out.Ticked(Name("selAIn", input, "AsDigit")))
        out.Assign(Name("MODEAD", input), out.Ticked(Name("cbAIn", input, "AsDigit")) ? "D" : "A");
      if (out.Ticked(Name("selAIn", input, "DigitLevel")))
        out.Assign(Name("POROG", input), out.Text(Name("edAIn", input, "DigitLevel")));
    }
  }
  return true;
}

namespace {

// Whole degrees and minutes get leading zeros up to `width`; a shorter degree field of
// longitude gets "00" when it has fewer than 2 characters.
QString PadFront(const QString& text, int width) {
  if (text.size() >= width) return text;
  if (width == 3 && text.size() < 2) return "00" + text;
  return "0" + text;
}

// The fraction of a minute is the digits after the decimal point: zeros go at the end, to at
// least 5 digits ("0000" after fewer than 2 characters).
QString PadFraction(const QString& text) {
  if (text.size() < 2) return text + "0000";
  if (text.size() < 5) return text + QString(5 - text.size(), QChar('0'));
  return text;
}

// Pads the six coordinate edits of a point, hands the padded texts back to the window and
// gives "DDMMfffff,ns,DDDMMfffff,ew".
std::string PointCoordinates(TCommandWriter& out, int point) {
  struct TCoordinateEdit {
    const char* Tail;
    int Width;  // 0 for a fraction
  };
  static const TCoordinateEdit edits[] = {{"Latd", 2}, {"Latm", 2}, {"Latmm", 0}, {"Lond", 3}, {"Lonm", 2}, {"Lonmm", 0}};
  std::string padded[6];
  for (int i = 0; i < 6; ++i) {
    std::string name = Name("edCP", point, edits[i].Tail);
    const QString& text = out.Context.Snapshot[name].Text;
    QString value = edits[i].Width == 0 ? PadFraction(text) : PadFront(text, edits[i].Width);
    out.Context.WriteBack[name] = value;
    padded[i] = Cp1251FromQString(value);
  }
  return padded[0] + padded[1] + padded[2] + "," + out.Text(Name("cbCP", point, "ns")) + "," + padded[3] +
         padded[4] + padded[5] + "," + out.Text(Name("cbCP", point, "ew"));
}

// The eight action flags of a point in their order: pulse on output 1, on output 2, report
// by GPRS, by SMS, each on entering and then on leaving.
std::string PointFlags(const TCommandWriter& out, int point) {
  static const char* const kFlags[] = {"Imp1In", "Imp1Out", "Imp2In", "Imp2Out",
                                       "GPRSIn", "GPRSOut", "SMSIn",  "SMSOut"};
  std::string flags;
  for (const char* flag : kFlags) {
    if (!flags.empty()) flags += ',';
    flags += Digit(out.Ticked(Name("cbCP", point, flag)));
  }
  return flags;
}

}  // namespace

bool ComposeCmdControlPointPrm(TBuildContext& context) {
  TCommandWriter out(context);
  // Only series 5 has control points.
  if (!out.Targets(5)) return true;
  for (int point = 1; point <= kControlPoints; ++point) {
    if (out.Ticked(Name("selCP", point, "Alias"))) out.Assign(Name("CPALIAS", point), out.Text(Name("edCP", point, "Alias")));
    if (out.Ticked(Name("selCP", point))) out.Assign(Name("CONTROLPOINT", point), PointCoordinates(out, point));
    if (out.Ticked(Name("selCP", point, "Radius")))
      out.Assign(Name("RADIUS", point), out.Text(Name("edCP", point, "Radius")));
    if (out.Ticked(Name("selCP", point, "TelNumber")))
      out.Assign(Name("CPTELNUM", point), out.Text(Name("edCP", point, "TelNumber")));
    if (out.Ticked(Name("selCP", point, "Flags"))) out.Assign(Name("CONTROLFLAGS", point), PointFlags(out, point));
  }
  return true;
}
