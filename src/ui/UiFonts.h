// The system's fonts for the plug-in's controls (owned by the caller).
#pragma once

#include <windows.h>

namespace pw::ui {

enum class SystemFont { Menu, Message, IconTitle };

HFONT CreateSystemFont(SystemFont which, bool bold, LONG weight = FW_BOLD);
HFONT CreateBoldVariant(HFONT font);
HFONT CreateUnderlinedVariant(HFONT font);

}  // namespace pw::ui
