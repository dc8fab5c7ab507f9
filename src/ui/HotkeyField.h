// A field that records a key combination, the Windows key included.
// Value: low byte the virtual key, high byte the modifier bits.
#pragma once

#include <windows.h>
#include <string>

namespace pw::ui {

inline constexpr wchar_t kHotkeyClass[] = L"DKRHOTKEY_CLASS";

enum HotkeyMessage : UINT {
  HKM_SETVALUE = WM_USER + 1,  // wParam: value
  HKM_GETVALUE = WM_USER + 2,
};

namespace HotkeyBits {
inline constexpr WORD Shift = 0x01;
inline constexpr WORD Ctrl = 0x02;
inline constexpr WORD Alt = 0x04;
inline constexpr WORD Extended = 0x08;
inline constexpr WORD Win = 0x20;
}  // namespace HotkeyBits

// "None", or "Ctrl + Shift + Alt + Win + " as set, then the key's name.
std::wstring HotkeyText(WORD value);

class HotkeyField {
 public:
  static constexpr wchar_t kProp[] = L"dkrhotkey_this";
  explicit HotkeyField(HWND window) : window_(window) {}
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

 private:
  void KeyDown(UINT vk, LPARAM lParam);
  void KeyUp(UINT vk);
  void Refresh();
  void PlaceCaret();
  void Paint(HDC dc);

  HWND window_;
  WORD value_ = 0;
  bool focused_ = false;
};

}  // namespace pw::ui
