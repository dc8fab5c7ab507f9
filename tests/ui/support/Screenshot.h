// Writes a visible window's picture as a PNG file. The window's DC is
// copied with BitBlt: PrintWindow and hidden windows give blank pictures
// under Wine.
#pragma once

#include <windows.h>
#include <string>

namespace pwtest {

// The folder for the run's screenshots (build/screenshots, or the
// PW_SHOTS_DIR environment variable), created when missing.
std::wstring ShotsDir();
bool SaveWindowPng(HWND window, const std::wstring& path);
// Brings the window to the front, lets it paint, then saves it as
// ShotsDir()\name.png. Safe to call from a driver thread.
bool Shoot(HWND window, const std::wstring& name);

}  // namespace pwtest
