// A small window standing in for the toolbar: one button drawn by the
// plug-in, its tooltip, its context menu and its click.
#pragma once

#include <windows.h>

#include "Host.h"

namespace dockhost {

HWND CreateToolbarWindow(dockrail::IDockPlugin* plugin, Host* host, bool visible);
// Pumps messages until the window closes or `seconds` pass (0 = no limit),
// or until `until` returns true (checked every 100 ms).
void RunLoop(double seconds, bool (*until)(void*), void* context);

inline constexpr RECT kButtonRect = {0, 0, 40, 40};
inline constexpr UINT kFirstMenuId = 1000;

}  // namespace dockhost
