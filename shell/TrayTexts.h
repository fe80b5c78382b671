#pragma once
// Texts of the tray shared by the main form and the send report.

#include <string>

// The program's caption, the title of every balloon (code page 1251).
std::string BalloonTitle();
