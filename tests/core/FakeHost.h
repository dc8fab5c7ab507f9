// A host that records what the plug-in asks of it.
#pragma once

#include <windows.h>
#include <vector>

#include "dockrail/DockrailPlugin.h"

namespace pwtest {

class FakeHost : public dockrail::IDockHost {
 public:
  struct Hotkey {
    UINT kind;
    WORD hotkey;
    UINT number;
  };
  int settingsChanged = 0;
  int repaints = 0;
  int ownerAsked = 0;
  std::vector<Hotkey> hotkeys;
  UINT iconSize = 32;
  UINT flags = 0;
  POINT offset = {0, 0};
  HRESULT settingsChangedResult = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetButtonInfo(dockrail::ButtonInfo* info) override {
    info->size = sizeof(*info);
    info->flags = flags;
    info->iconSize = iconSize;
    return 0;
  }
  HWND STDMETHODCALLTYPE GetOwnerWindow() override {
    ++ownerAsked;
    return nullptr;
  }
  HRESULT STDMETHODCALLTYPE SettingsChanged() override {
    ++settingsChanged;
    return settingsChangedResult;
  }
  HRESULT STDMETHODCALLTYPE Reserved6() override { return 0; }
  HRESULT STDMETHODCALLTYPE GetDrawOffset(POINT* p) override {
    *p = offset;
    return 0;
  }
  HRESULT STDMETHODCALLTYPE Reserved8() override { return 0; }
  HRESULT STDMETHODCALLTYPE Reserved9() override { return 0; }
  HRESULT STDMETHODCALLTYPE Repaint(UINT what) override {
    if (what == dockrail::kRepaintButton) ++repaints;
    return 0;
  }
  HRESULT STDMETHODCALLTYPE RegisterHotkey(UINT kind, WORD hotkey, UINT number) override {
    hotkeys.push_back({kind, hotkey, number});
    return 0;
  }
};

}  // namespace pwtest
