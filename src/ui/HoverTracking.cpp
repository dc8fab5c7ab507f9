#include "ui/ControlBase.h"

namespace pw::ui {

namespace {
constexpr UINT_PTR kHoverTimer = 100;
}

void StartHoverTracking(HWND control) { SetTimer(control, kHoverTimer, 50, nullptr); }

bool HoverTick(HWND control, UINT_PTR timerId) {
  if (timerId != kHoverTimer) return false;
  POINT pt;
  GetCursorPos(&pt);
  RECT r;
  GetWindowRect(control, &r);
  HWND under = WindowFromPoint(pt);
  bool keep = PtInRect(&r, pt) != FALSE;
  if (keep && under != control) {
    // A menu or a tooltip the control opened keeps it hot.
    wchar_t cls[32] = {};
    GetClassNameW(under, cls, 32);
    keep = lstrcmpW(cls, L"#32768") == 0 || lstrcmpW(cls, L"CPPTooltip") == 0;
  }
  if (!keep) {
    KillTimer(control, kHoverTimer);
    SendMessageW(control, WM_MOUSELEAVE, 0, 0);
  }
  return true;
}

}  // namespace pw::ui
