#pragma once
// What every command builder does with its context: clear the lists, read the controls of the
// snapshot as 8-bit text, ticks and item indexes, and append lines of the three forms.

#include "composer/CommandBuilders.h"

#include <string>
#include <string_view>

class TCommandWriter {
public:
  // Clears every list and takes the password field once for all lines.
  explicit TCommandWriter(TBuildContext& context);

  const std::string& Pw() const { return Password; }
  bool Targets(int series) const { return Context.Targets.HasDeviceVersion(static_cast<uint8_t>(series)); }

  bool Ticked(const std::string& name) const { return Context.Snapshot[name].Checked; }
  int Index(const std::string& name) const { return Context.Snapshot[name].ItemIndex; }
  // The control's text in code page 1251, as it stands.
  std::string Text(const std::string& name) const;

  // Appends a line to the list of a series, targeted or not.
  void Add(int series, std::string line);
  // Keyword form: KEYWORD, blank, PW; with arguments, a blank and the arguments (also when
  // the argument text is empty: an empty field is sent as it stands).
  std::string Keyword(std::string_view keyword) const;
  std::string Keyword(std::string_view keyword, std::string_view arguments) const;
  // Series 5: "PW KEY=value;" and "PW GKEY;".
  void Assign(std::string_view key, std::string_view value);
  void Query(std::string_view key);

  TBuildContext& Context;

private:
  std::string Password;
};

// Helpers for the argument texts.
std::string Quoted(std::string_view text);               // "text" in double quotes, as it stands
inline const char* Digit(bool on) { return on ? "1" : "0"; }
std::string IndexText(int index);                        // printf "%i"
// A control's name with the digit of its input or point: Name("selIn", 2, "Mode").
std::string Name(std::string_view head, int digit, std::string_view tail = {});
