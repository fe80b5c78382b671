#pragma once
// The program folder, where the ini file, the SMS log, its backups and the trace file live.
// It is the folder of the program's own file when that folder is writable (the portable
// layout: copy the program somewhere and it keeps its files beside it); otherwise the
// program's data folder, $XDG_DATA_HOME/OrvexMonitor/ (by default ~/.local/share/OrvexMonitor/),
// created on first use. The result ends with "/".

#include <string>

std::string FindExeDir();
// The same choice for a given program file, for tests.
std::string ExeDirFor(const std::string& programFile);
