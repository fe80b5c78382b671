#include "seam/WindowFont.h"

QFont WindowFont() {
  QFont font(kWindowFontFamily);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(kWindowFontPixels);
  return font;
}
