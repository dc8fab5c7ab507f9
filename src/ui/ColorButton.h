// A colour button and the palette pop-up it opens.
#pragma once

#include <windows.h>

namespace pw::ui {

inline constexpr wchar_t kColorButtonClass[] = L"OrvaleColorButtonClass";
inline constexpr wchar_t kColorPickerClass[] = L"OrvaleColorPickerClass";

enum ColorButtonMessage : UINT {
  CBM_PICKED = WM_USER + 1,   // from the pop-up: wParam colour (-1 = none)
  CBM_DIALOG = WM_USER + 2,   // from the pop-up: open the system colour dialog
  CBM_GETCOLOR = WM_USER + 3,
  CBM_SETCOLOR = WM_USER + 4, // wParam colour; no notification
};

inline constexpr int kPickerWidth = 185, kPickerHeight = 144;

// Entry k of the 216-colour palette.
COLORREF PaletteColor(int k);
// Where the pop-up goes for a button at `button` (screen) within `work`:
// below the button, or above it when it would cross the bottom.
POINT PickerPosition(const RECT& button, const RECT& work);

class ColorButton {
 public:
  static constexpr wchar_t kProp[] = L"CColorButtonThis";
  explicit ColorButton(HWND window) : window_(window) {}
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

 private:
  void Chosen(COLORREF colour);
  void Paint(HDC dc);

  HWND window_;
  COLORREF colour_ = 0xFF0000;
  HWND picker_ = nullptr;
};

class ColorPicker {
 public:
  static constexpr wchar_t kProp[] = L"clrpick_this";
  explicit ColorPicker(HWND window);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  // Opens the pop-up for `button`; the pop-up destroys itself.
  static HWND Open(HWND button, COLORREF current);

 private:
  void Paint(HDC dc);
  int CellAt(POINT client) const;
  RECT DialogBoxRect() const;
  RECT NoneBox() const;
  void Finish(POINT client);

  HWND window_;
  HWND button_ = nullptr;
  COLORREF current_ = 0;
  int hot_ = -1;
  bool done_ = false;
};

}  // namespace pw::ui
