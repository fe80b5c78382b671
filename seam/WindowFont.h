#pragma once
// The face the monitor's windows are drawn in. Their sizes and positions are laid out for it:
// DejaVu Sans, the face every Debian desktop has (fonts-dejavu-core), at 11 pixels, the height
// of the 8-point face the layouts were first drawn for. The desktop's own font setting is not
// followed: a larger or wider face would cut the captions of the fixed layouts.

#include <QFont>

inline constexpr const char* kWindowFontFamily = "DejaVu Sans";
inline constexpr int kWindowFontPixels = 11;

QFont WindowFont();
