#include "ui/UiFonts.h"

namespace pw::ui {

HFONT CreateSystemFont(SystemFont which, bool bold, LONG weight) {
  LOGFONTW lf = {};
  if (which == SystemFont::IconTitle) {
    if (!SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(lf), &lf, 0)) return nullptr;
  } else {
    NONCLIENTMETRICSW m = {};
    m.cbSize = sizeof(m);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(m), &m, 0)) return nullptr;
    lf = which == SystemFont::Menu ? m.lfMenuFont : m.lfMessageFont;
  }
  if (bold) lf.lfWeight = weight;
  return CreateFontIndirectW(&lf);
}

HFONT CreateBoldVariant(HFONT font) {
  LOGFONTW lf = {};
  if (!font || !GetObjectW(font, sizeof(lf), &lf)) return nullptr;
  lf.lfWeight = FW_BOLD;
  return CreateFontIndirectW(&lf);
}

HFONT CreateUnderlinedVariant(HFONT font) {
  LOGFONTW lf = {};
  if (!font || !GetObjectW(font, sizeof(lf), &lf)) return nullptr;
  lf.lfUnderline = TRUE;
  return CreateFontIndirectW(&lf);
}

}  // namespace pw::ui
