#include "ui/HotkeyField.h"

#include <uxtheme.h>

#include "ui/ControlBase.h"

namespace pw::ui {
namespace {

// The modifier bit of a key, 0 for other keys.
WORD ModifierBit(UINT vk) {
  switch (vk) {
    case VK_SHIFT: case VK_LSHIFT: case VK_RSHIFT: return HotkeyBits::Shift;
    case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: return HotkeyBits::Ctrl;
    case VK_MENU: case VK_LMENU: case VK_RMENU: return HotkeyBits::Alt;
    case VK_LWIN: case VK_RWIN: case 0xEA: case 0xF1: return HotkeyBits::Win;
  }
  return 0;
}

HFONT ParentFont(HWND w) { return reinterpret_cast<HFONT>(SendMessageW(GetParent(w), WM_GETFONT, 0, 0)); }

}  // namespace

std::wstring HotkeyText(WORD value) {
  if (value == 0) return L"None";
  const WORD mods = value >> 8;
  std::wstring t;
  if (mods & HotkeyBits::Ctrl) t += L"Ctrl + ";
  if (mods & HotkeyBits::Shift) t += L"Shift + ";
  if (mods & HotkeyBits::Alt) t += L"Alt + ";
  if (mods & HotkeyBits::Win) t += L"Win + ";
  const UINT vk = value & 0xFF;
  if (vk) {
    LONG scan = static_cast<LONG>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    if (mods & HotkeyBits::Extended) scan |= 1 << 24;
    wchar_t name[64] = {};
    if (GetKeyNameTextW(scan, name, 64) > 0) {
      t += name;
    } else {
      wchar_t num[16];
      wsprintfW(num, L"#%d", vk);
      t += num;
    }
  }
  return t;
}

void HotkeyField::KeyDown(UINT vk, LPARAM lParam) {
  if (WORD bit = ModifierBit(vk)) {
    // A modifier after a finished combination starts a new one.
    if (value_ & 0xFF) value_ = 0;
    value_ |= bit << 8;
  } else {
    value_ = static_cast<WORD>((value_ & ~(0xFF | (HotkeyBits::Extended << 8))) | (vk & 0xFF));
    if (lParam & (1 << 24)) value_ |= HotkeyBits::Extended << 8;
  }
  Refresh();
}

void HotkeyField::KeyUp(UINT vk) {
  WORD bit = ModifierBit(vk);
  if (bit && !(value_ & 0xFF)) {
    value_ &= ~(bit << 8);
    Refresh();
  }
}

void HotkeyField::Refresh() {
  InvalidateRect(window_, nullptr, TRUE);
  PlaceCaret();
}

void HotkeyField::PlaceCaret() {
  if (!focused_) return;
  RECT rc;
  GetClientRect(window_, &rc);
  std::wstring text = HotkeyText(value_);
  HDC dc = GetDC(window_);
  SIZE size = {};
  {
    SelectScope f(dc, ParentFont(window_));
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  }
  ReleaseDC(window_, dc);
  HideCaret(window_);
  SetCaretPos(4 + size.cx, 2);
  ShowCaret(window_);
}

void HotkeyField::Paint(HDC dc) {
  RECT rc;
  GetClientRect(window_, &rc);
  HTHEME theme = IsAppThemed() ? OpenThemeData(window_, L"EDIT") : nullptr;
  if (theme) {
    DrawThemeBackground(theme, dc, 1, IsWindowEnabled(window_) ? 1 : 3, &rc, nullptr);
    CloseThemeData(theme);
  } else {
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_GRAYTEXT));
    {
      SelectScope p(dc, pen), b(dc, GetSysColorBrush(IsWindowEnabled(window_) ? COLOR_WINDOW : COLOR_BTNFACE));
      Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);
    }
    DeleteObject(pen);
  }
  std::wstring text = HotkeyText(value_);
  SelectScope f(dc, ParentFont(window_));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(IsWindowEnabled(window_) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
  RECT tr = rc;
  InflateRect(&tr, -4, 0);
  DrawTextW(dc, text.c_str(), -1, &tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

LRESULT HotkeyField::Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case HKM_SETVALUE:
      value_ = static_cast<WORD>(wParam);
      Refresh();
      return 0;
    case HKM_GETVALUE:
      return value_;
    case WM_GETDLGCODE: {
      // Every key is recorded, except that plain Tab, Shift+Tab, Enter and
      // Escape still move on, confirm and cancel: the field must not trap
      // someone who works without a mouse.
      auto* msg = reinterpret_cast<MSG*>(lParam);
      if (msg && (msg->message == WM_KEYDOWN) &&
          (msg->wParam == VK_TAB || msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE) &&
          GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0 && GetKeyState(VK_LWIN) >= 0 &&
          GetKeyState(VK_RWIN) >= 0)
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
      return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTTAB;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      KeyDown(static_cast<UINT>(wParam), lParam);
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      KeyUp(static_cast<UINT>(wParam));
      return 0;
    case WM_CHAR:
    case WM_SYSCHAR:
      return 0;
    case WM_LBUTTONDOWN:
      SetFocus(window_);
      return 0;
    case WM_SETFOCUS: {
      focused_ = true;
      RECT rc;
      GetClientRect(window_, &rc);
      CreateCaret(window_, nullptr, 1, rc.bottom - 4 > 1 ? rc.bottom - 4 : 1);
      PlaceCaret();
      return 0;
    }
    case WM_KILLFOCUS:
      focused_ = false;
      DestroyCaret();
      return 0;
    case WM_ENABLE:
      InvalidateRect(window_, nullptr, TRUE);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window_, &ps);
      RECT rc;
      GetClientRect(window_, &rc);
      {
        OffscreenDc off(dc, rc.right, rc.bottom);
        FillRect(off.Get(), &rc, GetSysColorBrush(COLOR_BTNFACE));
        Paint(off.Get());
        off.CopyTo(0, 0);
      }
      EndPaint(window_, &ps);
      return 0;
    }
  }
  handled = false;
  return 0;
}

}  // namespace pw::ui
