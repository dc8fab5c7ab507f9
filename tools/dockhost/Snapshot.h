// Saves what the toolbar shows of the button as a 32-bit BMP file: read
// back from the screen when the window is visible, so it is a real
// screenshot; drawn into memory by the plug-in otherwise.
#pragma once

#include <windows.h>
#include <string>

#include "dockrail/DockrailPlugin.h"

namespace dockhost {

bool SaveButtonSnapshot(HWND window, dockrail::IDockPlugin* plugin, const std::wstring& path);

}  // namespace dockhost
