#include "shell/TrayTexts.h"

#include "common/Text.h"

std::string BalloonTitle() { return Cp1251("Orvex монитор"); }
