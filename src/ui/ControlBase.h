// The shape every custom control of the plug-in shares: the per-window
// object lives in a window property from WM_CREATE to WM_DESTROY, and
// whatever the object does not handle goes to the default procedure.
#pragma once

#include <windows.h>
#include <memory>

namespace pw::ui {

// T needs: static const wchar_t kProp[]; explicit T(HWND);
// LRESULT Handle(UINT, WPARAM, LPARAM, bool& handled).
template <class T>
LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<T*>(GetPropW(window, T::kProp));
  if (message == WM_CREATE && !self) {
    auto made = std::make_unique<T>(window);
    if (!SetPropW(window, T::kProp, made.get())) return -1;
    self = made.release();
  }
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_DESTROY) {
    std::unique_ptr<T> owned(self);
    RemovePropW(window, T::kProp);
    bool handled = false;
    owned->Handle(message, wParam, lParam, handled);
    return 0;
  }
  bool handled = false;
  LRESULT r = self->Handle(message, wParam, lParam, handled);
  return handled ? r : DefWindowProcW(window, message, wParam, lParam);
}

// The object of a control window of class T, null for another window.
template <class T>
T* ControlObject(HWND window) {
  return static_cast<T*>(GetPropW(window, T::kProp));
}

// An off-screen bitmap the size of a rectangle: controls compose into it
// and copy the result, so nothing flickers.
class OffscreenDc {
 public:
  OffscreenDc(HDC target, int width, int height)
      : target_(target), width_(width > 0 ? width : 1), height_(height > 0 ? height : 1) {
    dc_ = CreateCompatibleDC(target);
    bitmap_ = CreateCompatibleBitmap(target, width_, height_);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~OffscreenDc() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  OffscreenDc(const OffscreenDc&) = delete;
  OffscreenDc& operator=(const OffscreenDc&) = delete;
  HDC Get() const { return dc_; }
  void CopyTo(int x, int y) const { BitBlt(target_, x, y, width_, height_, dc_, 0, 0, SRCCOPY); }

 private:
  HDC target_;
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// Selects a GDI object into a DC for a scope.
class SelectScope {
 public:
  SelectScope(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? SelectObject(dc, object) : nullptr) {}
  ~SelectScope() { if (old_) SelectObject(dc_, old_); }
  SelectScope(const SelectScope&) = delete;
  SelectScope& operator=(const SelectScope&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Timer 100 at 50 ms: sends the control WM_MOUSELEAVE once the pointer is
// neither over it nor over a menu or tooltip it opened.
void StartHoverTracking(HWND control);
// Call from WM_TIMER with id 100; true when the timer was the tracker's.
bool HoverTick(HWND control, UINT_PTR timerId);

}  // namespace pw::ui
