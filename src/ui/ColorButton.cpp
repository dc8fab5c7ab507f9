#include "ui/ColorButton.h"

#include <commdlg.h>
#include <algorithm>

#include "base/Module.h"
#include "ui/ActivationScope.h"
#include "ui/ControlBase.h"

namespace pw::ui {

COLORREF PaletteColor(int k) {
  int g = (k % 6) * 0x33, r = ((k / 6) % 6) * 0x33, b = (k / 36) * 0x33;
  return RGB(r, g, b);
}

POINT PickerPosition(const RECT& button, const RECT& work) {
  POINT p = {button.left, button.bottom};
  if (p.y + kPickerHeight > work.bottom) p.y = button.top - kPickerHeight;
  return p;
}

// ---- the button ----

void ColorButton::Chosen(COLORREF colour) {
  colour_ = colour;
  InvalidateRect(window_, nullptr, FALSE);
  SendMessageW(GetParent(window_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window_), 0), reinterpret_cast<LPARAM>(window_));
}

void ColorButton::Paint(HDC dc) {
  RECT rc;
  GetClientRect(window_, &rc);
  FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
  int side = std::min(rc.right, rc.bottom);
  RECT sq = {0, 0, side, side};
  DrawEdge(dc, &sq, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  if (colour_ == static_cast<COLORREF>(-1)) {
    HBRUSH grey = CreateSolidBrush(0xCCCCCC);
    FillRect(dc, &sq, grey);
    DeleteObject(grey);
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    SelectScope p(dc, red);
    MoveToEx(dc, sq.left, sq.bottom - 1, nullptr);
    LineTo(dc, sq.right, sq.top - 1);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(red);
  } else {
    HBRUSH b = CreateSolidBrush(colour_);
    FillRect(dc, &sq, b);
    DeleteObject(b);
  }
  if (GetFocus() == window_) {
    RECT f = {0, 0, side, side};
    InflateRect(&f, -3, -3);
    DrawFocusRect(dc, &f);
  }
}

LRESULT ColorButton::Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case CBM_GETCOLOR:
      // Sign-extended, so "no colour" reads as -1 on 64-bit too.
      return static_cast<LRESULT>(static_cast<int32_t>(colour_));
    case CBM_SETCOLOR:
      colour_ = static_cast<COLORREF>(wParam);
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    case CBM_PICKED:
      picker_ = nullptr;
      Chosen(static_cast<COLORREF>(wParam));
      return 0;
    case CBM_DIALOG: {
      picker_ = nullptr;
      static COLORREF custom[16] = {};
      CHOOSECOLORW cc = {sizeof(cc)};
      cc.hwndOwner = GetParent(window_);
      cc.rgbResult = colour_ == static_cast<COLORREF>(-1) ? 0 : colour_;
      cc.lpCustColors = custom;
      cc.Flags = CC_FULLOPEN | CC_ANYCOLOR | CC_RGBINIT;
      ActivationScope scope;
      if (ChooseColorW(&cc)) Chosen(cc.rgbResult);
      return 0;
    }
    case WM_LBUTTONDOWN:
      SetFocus(window_);
      if (!picker_ || !IsWindow(picker_)) picker_ = ColorPicker::Open(window_, colour_);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS;
    case WM_KEYDOWN:
      // Space or F4 opens the palette from the keyboard.
      if ((wParam == VK_SPACE || wParam == VK_F4) && (!picker_ || !IsWindow(picker_))) picker_ = ColorPicker::Open(window_, colour_);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window_, &ps);
      Paint(dc);
      EndPaint(window_, &ps);
      return 0;
    }
  }
  handled = false;
  return 0;
}

// ---- the pop-up ----

ColorPicker::ColorPicker(HWND window) : window_(window) {}

HWND ColorPicker::Open(HWND button, COLORREF current) {
  RECT br;
  GetWindowRect(button, &br);
  MONITORINFO mi = {sizeof(mi)};
  RECT work;
  if (GetMonitorInfoW(MonitorFromRect(&br, MONITOR_DEFAULTTONEAREST), &mi)) work = mi.rcWork;
  else SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  POINT at = PickerPosition(br, work);
  HWND w = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kColorPickerClass, L"", WS_POPUP | WS_BORDER, at.x, at.y,
                           kPickerWidth, kPickerHeight, GetAncestor(button, GA_ROOT), nullptr, DllModule(), nullptr);
  if (!w) return nullptr;
  if (auto* p = ControlObject<ColorPicker>(w)) {
    p->button_ = button;
    p->current_ = current;
  }
  ShowWindow(w, SW_SHOW);
  SetForegroundWindow(w);
  SetActiveWindow(w);
  SetCapture(w);
  return w;
}

RECT ColorPicker::DialogBoxRect() const {
  RECT rc;
  GetClientRect(window_, &rc);
  return {rc.right - 18, 2, rc.right - 2, 18};
}

RECT ColorPicker::NoneBox() const {
  RECT rc;
  GetClientRect(window_, &rc);
  return {rc.right - 36, 2, rc.right - 20, 18};
}

int ColorPicker::CellAt(POINT pt) const {
  if (pt.x < 1 || pt.y < 20) return -1;
  int c = (pt.x - 1) / 10, r = (pt.y - 20) / 10;
  if (c >= 18 || r >= 12) return -1;
  return r * 18 + c;
}

void ColorPicker::Paint(HDC target) {
  RECT rc;
  GetClientRect(window_, &rc);
  OffscreenDc off(target, rc.right, rc.bottom);
  HDC dc = off.Get();
  FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
  // Preview of the current colour.
  RECT prev = {2, 2, rc.right - 40, 18};
  if (current_ == static_cast<COLORREF>(-1)) {
    FillRect(dc, &prev, GetSysColorBrush(COLOR_BTNFACE));
  } else {
    HBRUSH b = CreateSolidBrush(current_);
    FillRect(dc, &prev, b);
    DeleteObject(b);
  }
  FrameRect(dc, &prev, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  for (int k = 0; k < 216; ++k) {
    int c = k % 18, r = k / 18;
    RECT cell = {1 + 10 * c, 20 + 10 * r, 12 + 10 * c, 31 + 10 * r};
    HBRUSH b = CreateSolidBrush(PaletteColor(k));
    FillRect(dc, &cell, b);
    DeleteObject(b);
    FrameRect(dc, &cell, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  if (hot_ >= 0) {
    RECT cell = {1 + 10 * (hot_ % 18) - 1, 20 + 10 * (hot_ / 18) - 1, 12 + 10 * (hot_ % 18) + 1,
                 31 + 10 * (hot_ / 18) + 1};
    FrameRect(dc, &cell, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  RECT none = NoneBox(), dlg = DialogBoxRect();
  HBRUSH grey = CreateSolidBrush(0xCCCCCC);
  FillRect(dc, &none, grey);
  DeleteObject(grey);
  HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  {
    SelectScope p(dc, red);
    MoveToEx(dc, none.left, none.bottom - 1, nullptr);
    LineTo(dc, none.right, none.top - 1);
  }
  DeleteObject(red);
  FrameRect(dc, &none, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  DrawEdge(dc, &dlg, EDGE_RAISED, BF_RECT | BF_MIDDLE);
  SetBkMode(dc, TRANSPARENT);
  DrawTextW(dc, L"...", 3, &dlg, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
  off.CopyTo(0, 0);
}

void ColorPicker::Finish(POINT pt) {
  if (done_) return;
  done_ = true;
  RECT dlg = DialogBoxRect(), none = NoneBox();
  HWND button = button_;
  COLORREF chosen = PtInRect(&none, pt) ? static_cast<COLORREF>(-1) : current_;
  bool dialog = PtInRect(&dlg, pt) != FALSE;
  ReleaseCapture();
  DestroyWindow(window_);
  if (!button) return;
  if (dialog) PostMessageW(button, CBM_DIALOG, 0, 0);
  else SendMessageW(button, CBM_PICKED, chosen, 0);
}

LRESULT ColorPicker::Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_MOUSEMOVE: {
      POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      RECT rc;
      GetClientRect(window_, &rc);
      int cell = CellAt(pt);
      if (cell >= 0) {
        current_ = PaletteColor(cell);
      } else if (!PtInRect(&rc, pt)) {
        // Outside: the colour of the screen under the pointer.
        POINT s = pt;
        ClientToScreen(window_, &s);
        HDC screen = GetDC(nullptr);
        COLORREF c = GetPixel(screen, s.x, s.y);
        ReleaseDC(nullptr, screen);
        if (c != CLR_INVALID) current_ = c;
      }
      if (cell != hot_ || cell < 0) {
        hot_ = cell;
      }
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      Finish(pt);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) {
        done_ = true;
        ReleaseCapture();
        DestroyWindow(window_);
      }
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) SetCapture(window_);
      handled = false;
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window_, &ps);
      Paint(dc);
      EndPaint(window_, &ps);
      return 0;
    }
  }
  handled = false;
  return 0;
}

}  // namespace pw::ui
