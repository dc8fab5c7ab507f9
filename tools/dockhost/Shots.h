// --shots DIR: opens each of the plug-in's windows in turn and writes a
// PNG of every dialog and page into DIR.
#pragma once

#include <windows.h>
#include <string>

#include "dockrail/DockrailPlugin.h"

namespace dockhost {

using ControlFn = HRESULT(STDAPICALLTYPE*)(IUnknown*, const wchar_t*, wchar_t**);

// False when a window did not appear or a picture could not be written.
bool TakeShots(dockrail::IDockPlugin* plugin, ControlFn control, const std::wstring& dir);
// --list-shot FILE: opens the messages list window (left open) and writes it.
bool ShootList(dockrail::IDockPlugin* plugin, ControlFn control, const std::wstring& file);

}  // namespace dockhost
