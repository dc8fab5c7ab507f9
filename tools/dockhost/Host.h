// The stand-in host's side of the plug-in contract: one button, its
// toolbar window, hotkeys and the settings stream kept in a file.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "dockrail/DockrailPlugin.h"

namespace dockhost {

// Posted to the toolbar window when the plug-in asks for a save; also the id
// of the timer that brings a save due later.
inline constexpr UINT kSaveMessage = WM_APP + 1;

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

  // On the host's thread: when the plug-in asked for a save, saves its
  // stream to settingsFile, at most once a second unless `now` is set.
  void SaveIfDue(bool now);

  HWND window = nullptr;
  dockrail::IDockPlugin* plugin = nullptr;
  std::wstring settingsFile;  // empty: the stream is kept nowhere
  bool verbose = false;
  std::atomic<int> settingsChanged{0};
  std::atomic<bool> savePending{false};
  ULONGLONG lastSave = 0;
  int saves = 0;
  bool saveFailed = false;
  int repaints = 0;
  UINT iconSize = 32;
  bool large = true;
};

}  // namespace dockhost
