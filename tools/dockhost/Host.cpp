#include "Host.h"

#include <commctrl.h>
#include <cstdio>

#include "SettingsFile.h"

namespace dockhost {

HRESULT Host::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown)) {
    *out = static_cast<IUnknown*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT Host::GetButtonInfo(dockrail::ButtonInfo* info) {
  if (!info) return E_POINTER;
  *info = {};
  info->size = sizeof(*info);
  info->flags = large ? dockrail::kButtonLarge : 0;
  info->iconSize = iconSize;
  return 0;
}

// The plug-in may ask from any of its threads, and asks again on every tick
// while its accounts have changed: one posted request stands for them all.
HRESULT Host::SettingsChanged() {
  ++settingsChanged;
  if (!savePending.exchange(true) && window) PostMessageW(window, kSaveMessage, 0, 0);
  return 0;
}

void Host::SaveIfDue(bool now) {
  if (!savePending || !plugin || settingsFile.empty()) return;
  const ULONGLONG tick = GetTickCount64();
  if (!now && saves > 0 && tick - lastSave < 1000) {
    if (window) SetTimer(window, kSaveMessage, static_cast<UINT>(1000 - (tick - lastSave)), nullptr);
    return;
  }
  if (window) KillTimer(window, kSaveMessage);
  savePending = false;
  lastSave = tick;
  ++saves;
  if (!SaveSettingsFile(plugin, settingsFile)) {
    saveFailed = true;
    fprintf(stderr, "dockhost: cannot write %ls\n", settingsFile.c_str());
  } else if (verbose) {
    printf("host: settings saved\n");
  }
}

HRESULT Host::GetDrawOffset(POINT* offset) {
  if (!offset) return E_POINTER;
  offset->x = 4;
  offset->y = 4;
  return 0;
}

HRESULT Host::Repaint(UINT what) {
  ++repaints;
  if (window) InvalidateRect(window, nullptr, TRUE);
  return 0;
}

HRESULT Host::RegisterHotkey(UINT kind, WORD hotkey, UINT number) {
  if (verbose) printf("host: hotkey %u = 0x%04x\n", number, hotkey);
  if (!window) return 0;
  UnregisterHotKey(window, static_cast<int>(number));
  if (hotkey == 0) return 0;
  // The hotkey control packs modifiers in the high byte.
  BYTE mods = HIBYTE(hotkey);
  UINT m = 0;
  if (mods & HOTKEYF_ALT) m |= MOD_ALT;
  if (mods & HOTKEYF_CONTROL) m |= MOD_CONTROL;
  if (mods & HOTKEYF_SHIFT) m |= MOD_SHIFT;
  if (mods & HOTKEYF_EXT) m |= MOD_WIN;
  RegisterHotKey(window, static_cast<int>(number), m, LOBYTE(hotkey));
  return 0;
}

}  // namespace dockhost
