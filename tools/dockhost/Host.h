// The stand-in host's side of the plug-in contract: one button, its
// toolbar window, hotkeys and the settings stream kept in a file.
#pragma once

#include <windows.h>
#include <string>

#include "dockrail/DockrailPlugin.h"

namespace dockhost {

class Host final : public dockrail::IDockHost {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }   // lives on main()'s stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetButtonInfo(dockrail::ButtonInfo* info) override;
  HWND STDMETHODCALLTYPE GetOwnerWindow() override { return window; }
  HRESULT STDMETHODCALLTYPE SettingsChanged() override;
  HRESULT STDMETHODCALLTYPE Reserved6() override { return 0; }
  HRESULT STDMETHODCALLTYPE GetDrawOffset(POINT* offset) override;
  HRESULT STDMETHODCALLTYPE Reserved8() override { return 0; }
  HRESULT STDMETHODCALLTYPE Reserved9() override { return 0; }
  HRESULT STDMETHODCALLTYPE Repaint(UINT what) override;
  HRESULT STDMETHODCALLTYPE RegisterHotkey(UINT kind, WORD hotkey, UINT number) override;

  HWND window = nullptr;
  bool verbose = false;
  int settingsChanged = 0;
  int repaints = 0;
  UINT iconSize = 32;
  bool large = true;
};

}  // namespace dockhost
