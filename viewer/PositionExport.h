#pragma once
// The message window's export of a reply's position: the position file is updated, then
// handed to the globe program. What went wrong is shown in a box.

#include "common/SmsInfo.h"

#include <string>

class QWidget;

// Writes the reply's position into the position file of the program folder and opens the
// file in the globe program. A file that cannot be read, is damaged or cannot be written
// stays as it was and a box says why; no globe program gives the box "Программное
// обеспечение Google Earth не установлено" (the file is updated all the same). True when the
// file was updated.
bool ExportPositionToGlobe(QWidget* parent, const std::string& exeDir, const TSmsInfo& info, int utcOffsetHours);
