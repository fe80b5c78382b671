#pragma once
// The template window's command types 1 to 22: for each, whether it is a parameter query,
// the box it shows, whether that box's selectors are reset and offered anew, and the
// window's caption.

#include <string>

struct TTemplateMode {
  int CommandType = 0;
  bool Query = false;
  const char* Box = "";
  bool ResetSelectors = false;
  const char* Caption = "";  // UTF-8
};

// The mode of a command type, null outside 1 to 22.
const TTemplateMode* FindTemplateMode(int commandType);

// The nine setting boxes, one of which shows under the request box.
extern const char* const kSettingBoxes[9];
