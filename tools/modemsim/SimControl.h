#pragma once
// The control language of the simulated modem: one command per line, in UTF-8, as the
// pseudo-terminal front end reads it from its standard input or its control socket (the
// commands are listed in tools/modemsim/README.md). Each line answers zero or more data
// lines and then one closing line, "ok" or "error: <reason>".

#include "tools/modemsim/ModemSim.h"

#include <optional>
#include <string>
#include <string_view>

class TSimControl {
public:
  explicit TSimControl(TModemSim& sim);

  // Runs one line; the answer's lines are each ended by '\n'. A blank line or one starting
  // with "#" answers nothing.
  std::string Run(std::string_view line);
  bool QuitRequested() const { return Quit; }

  // Backslash escapes of the control language: \r \n \t \\ and \xHH.
  static std::string Unescape(std::string_view text);
  // The other way round, for the data lines: control bytes and the backslash escaped.
  static std::string Escape(std::string_view text);

private:
  std::string Execute(const std::string& command, std::string_view args);
  std::string Inject(const std::string& command, std::string_view args, const std::string& after = std::string());

  TModemSim& Sim;
  std::optional<TSimTimeStamp> FixedTime;
  uint16_t NextReference = 1;
  bool Quit = false;
};
