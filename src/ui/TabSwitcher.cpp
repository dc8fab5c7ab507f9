#include "ui/TabSwitcher.h"

#include <algorithm>

#include "ui/ControlBase.h"
#include "ui/UiFonts.h"

namespace pw::ui {
namespace {

COLORREF Shift(COLORREF c, int delta) {
  auto ch = [&](int v) { return std::clamp(v + delta, 0, 255); };
  return RGB(ch(GetRValue(c)), ch(GetGValue(c)), ch(GetBValue(c)));
}

}  // namespace

TabSwitcher::TabSwitcher(HWND window) : window_(window) { font_ = CreateSystemFont(SystemFont::Menu, false); }

TabSwitcher::~TabSwitcher() {
  if (font_) DeleteObject(font_);
}

void TabSwitcher::Layout() {
  RECT client;
  GetClientRect(window_, &client);
  int tallest = 24;
  for (const Tab& t : tabs_) tallest = std::max(tallest, t.picture.Height());
  HDC dc = GetDC(window_);
  SIZE text = {};
  {
    SelectScope s(dc, font_);
    GetTextExtentPoint32W(dc, L"QWEqtdlg", 8, &text);
  }
  ReleaseDC(window_, dc);
  const int height = tallest + (text.cy + 6) + 8;
  int top = client.top + 4;
  for (Tab& t : tabs_) {
    t.rect = {client.left + 4, top, client.right - 4, top + height};
    top += height + 2;
  }
}

int TabSwitcher::HitTest(POINT pt) const {
  for (size_t i = 0; i < tabs_.size(); ++i)
    if (PtInRect(&tabs_[i].rect, pt)) return static_cast<int>(i);
  return -1;
}

int TabSwitcher::Selected() const {
  for (size_t i = 0; i < tabs_.size(); ++i)
    if (tabs_[i].flags & TabFlags::Selected) return static_cast<int>(i);
  return -1;
}

void TabSwitcher::Select(int index, bool notify) {
  if (index < 0 || index >= static_cast<int>(tabs_.size())) return;
  for (size_t i = 0; i < tabs_.size(); ++i) {
    if (static_cast<int>(i) == index) tabs_[i].flags |= TabFlags::Selected;
    else tabs_[i].flags &= ~TabFlags::Selected;
  }
  InvalidateRect(window_, nullptr, FALSE);
  if (notify)
    SendMessageW(GetParent(window_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window_), kTabClicked),
                 reinterpret_cast<LPARAM>(window_));
}

void TabSwitcher::SetHot(int index) {
  bool changed = false;
  for (size_t i = 0; i < tabs_.size(); ++i) {
    uint32_t want = static_cast<int>(i) == index ? TabFlags::Hot : 0;
    if ((tabs_[i].flags & TabFlags::Hot) != want) {
      tabs_[i].flags = (tabs_[i].flags & ~TabFlags::Hot) | want;
      changed = true;
    }
  }
  if (changed) InvalidateRect(window_, nullptr, FALSE);
}

void TabSwitcher::Copy(int index, TabRecord* out) const {
  if (!out) return;
  *out = {};
  if (index < 0 || index >= static_cast<int>(tabs_.size())) return;
  const Tab& t = tabs_[index];
  out->id = t.id;
  lstrcpynW(out->text, t.text.c_str(), ARRAYSIZE(out->text));
  lstrcpynW(out->text2, t.text2.c_str(), ARRAYSIZE(out->text2));
  out->flags = t.flags;
  out->value1 = t.value1;
  out->value2 = t.value2;
  out->rect = t.rect;
}

void TabSwitcher::Paint(HDC target) {
  RECT client;
  GetClientRect(window_, &client);
  OffscreenDc off(target, client.right, client.bottom);
  HDC dc = off.Get();
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  SelectScope font(dc, font_);
  SetBkMode(dc, TRANSPARENT);
  const COLORREF hl = GetSysColor(COLOR_HIGHLIGHT);
  for (const Tab& t : tabs_) {
    const bool sel = t.flags & TabFlags::Selected;
    const bool hot = t.flags & TabFlags::Hot;
    if (sel || hot) {
      HBRUSH fill = CreateSolidBrush(sel ? hl : Shift(hl, 50));
      HPEN pen = CreatePen(PS_SOLID, 1, sel ? Shift(hl, -50) : hl);
      {
        SelectScope b(dc, fill), p(dc, pen);
        RoundRect(dc, t.rect.left, t.rect.top, t.rect.right, t.rect.bottom, 4, 4);
      }
      DeleteObject(fill);
      DeleteObject(pen);
    }
    if (focused_ && sel) {
      RECT f = t.rect;
      InflateRect(&f, -2, -2);
      DrawFocusRect(dc, &f);
    }
    const int off1 = sel ? 1 : 0;
    int px = (t.rect.left + t.rect.right - t.picture.Width()) / 2 + off1;
    t.picture.Draw(dc, px, t.rect.top + 4 + off1);
    RECT tr = t.rect;
    tr.top = t.rect.bottom - 4 - (t.rect.bottom - t.rect.top - 8 - std::max(24, t.picture.Height()));
    tr.left += 2 + off1;
    tr.right -= 2;
    tr.top += off1;
    SetTextColor(dc, GetSysColor(sel ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawTextW(dc, t.text.c_str(), -1, &tr, DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
  }
  off.CopyTo(0, 0);
}

LRESULT TabSwitcher::Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case TSM_ADD: {
      const auto* a = reinterpret_cast<const TabAdd*>(lParam);
      if (!a) return 0;
      Tab t;
      t.id = a->id;
      t.text = a->text ? a->text : L"";
      t.text2 = a->text2 ? a->text2 : L"";
      if (a->pngId) t.picture.LoadPng(a->module, a->pngId);
      t.value1 = a->value1;
      t.value2 = a->value2;
      tabs_.push_back(std::move(t));
      Layout();
      InvalidateRect(window_, nullptr, FALSE);
      return static_cast<LRESULT>(tabs_.size() - 1);
    }
    case TSM_GETSELECTED: {
      int s = Selected();
      return s < 0 ? -1 : static_cast<LRESULT>(tabs_[s].id);
    }
    case TSM_GETBYID: {
      for (size_t i = 0; i < tabs_.size(); ++i)
        if (tabs_[i].id == wParam) {
          Copy(static_cast<int>(i), reinterpret_cast<TabRecord*>(lParam));
          return 1;
        }
      Copy(-1, reinterpret_cast<TabRecord*>(lParam));
      return 0;
    }
    case TSM_SELECT:
      Select(static_cast<int>(wParam), false);
      return 0;
    case TSM_GETBYINDEX:
      Copy(static_cast<int>(wParam), reinterpret_cast<TabRecord*>(lParam));
      return 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_NCCALCSIZE: {
      auto* r = reinterpret_cast<RECT*>(lParam);
      InflateRect(r, -1, -1);
      return 0;
    }
    case WM_NCPAINT: {
      HDC dc = GetWindowDC(window_);
      RECT r;
      GetWindowRect(window_, &r);
      OffsetRect(&r, -r.left, -r.top);
      FrameRect(dc, &r, GetSysColorBrush(COLOR_GRAYTEXT));
      ReleaseDC(window_, dc);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window_, &ps);
      Paint(dc);
      EndPaint(window_, &ps);
      return 0;
    }
    case WM_MOUSEMOVE: {
      POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      SetHot(HitTest(pt));
      if (!tracking_) {
        tracking_ = true;
        StartHoverTracking(window_);
      }
      return 0;
    }
    case WM_TIMER:
      if (!HoverTick(window_, wParam)) handled = false;
      return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      SetHot(-1);
      return 0;
    case WM_LBUTTONDOWN: {
      POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (GetWindowLongW(window_, GWL_STYLE) & WS_TABSTOP) SetFocus(window_);
      int i = HitTest(pt);
      if (i >= 0) Select(i, true);
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_KEYDOWN: {
      // Up and Down move between the tabs from the keyboard.
      int s = Selected();
      int n = static_cast<int>(tabs_.size());
      if (wParam == VK_UP && s > 0) Select(s - 1, true);
      else if (wParam == VK_DOWN && s + 1 < n) Select(s + 1, true);
      else if (wParam == VK_HOME && n) Select(0, true);
      else if (wParam == VK_END && n) Select(n - 1, true);
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      focused_ = message == WM_SETFOCUS;
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
  }
  handled = false;
  return 0;
}

LRESULT TabLabel::Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcW(window_, message, wParam, lParam);
      InvalidateRect(window_, nullptr, FALSE);
      return r;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC target = BeginPaint(window_, &ps);
      RECT rc;
      GetClientRect(window_, &rc);
      {
        OffscreenDc off(target, rc.right, rc.bottom);
        HDC dc = off.Get();
        // From the highlight colour on the left to a pale tint of it.
        COLORREF a = GetSysColor(COLOR_HIGHLIGHT);
        COLORREF b = RGB(GetRValue(a) + (255 - GetRValue(a)) * 3 / 4, GetGValue(a) + (255 - GetGValue(a)) * 3 / 4,
                         GetBValue(a) + (255 - GetBValue(a)) * 3 / 4);
        TRIVERTEX v[2] = {{0, 0, COLOR16(GetRValue(a) << 8), COLOR16(GetGValue(a) << 8), COLOR16(GetBValue(a) << 8), 0},
                          {rc.right, rc.bottom, COLOR16(GetRValue(b) << 8), COLOR16(GetGValue(b) << 8),
                           COLOR16(GetBValue(b) << 8), 0}};
        GRADIENT_RECT g = {0, 1};
        GradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_H);
        wchar_t text[256] = {};
        GetWindowTextW(window_, text, 256);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(GetParent(window_), WM_GETFONT, 0, 0));
        HFONT bold = CreateBoldVariant(font);
        {
          SelectScope s(dc, bold ? bold : font);
          SetBkMode(dc, TRANSPARENT);
          SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
          RECT tr = rc;
          InflateRect(&tr, -4, 0);
          DrawTextW(dc, text, -1, &tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        }
        if (bold) DeleteObject(bold);
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
