#include "ui/WebLink.h"

#include <shellapi.h>
#include <cwctype>

#include "ui/ControlBase.h"
#include "ui/UiFonts.h"

namespace pw::ui {
namespace {

// The text an entity name stands for; "&" for a name it does not know.
std::wstring Entity(const std::wstring& name) {
  if (name == L"copy") return L"\u00A9";
  if (name == L"lt") return L"<";
  if (name == L"gt") return L">";
  if (name == L"nbsp") return L" ";
  if (name == L"amp") return L"&";
  if (name == L"quot") return L"\"";
  if (name.size() > 1 && name[0] == L'#') {
    unsigned long code = 0;
    for (size_t i = 1; i < name.size(); ++i) {
      if (!iswdigit(name[i]) || code > 0xFFFF) return L"&";
      code = code * 10 + (name[i] - L'0');
    }
    if (code == 0 || code > 0xFFFF) return L"&";
    return std::wstring(1, static_cast<wchar_t>(code));
  }
  return L"&";
}

bool StartsWithNoCase(const wchar_t* p, const wchar_t* word) {
  for (; *word; ++p, ++word)
    if (towlower(*p) != *word) return false;
  return true;
}

HFONT ParentFont(HWND w) { return reinterpret_cast<HFONT>(SendMessageW(GetParent(w), WM_GETFONT, 0, 0)); }

}  // namespace

LinkMarkup ParseLinkMarkup(const wchar_t* markup) {
  LinkMarkup out;
  if (!markup) return out;
  std::wstring s(markup, wcsnlen(markup, 500));
  bool inTag = false, anchor = false;
  size_t i = 0;
  while (i < s.size()) {
    wchar_t c = s[i];
    if (inTag) {
      if (c == L'>') {
        inTag = false;
        if (anchor) out.start = out.text.size();
        anchor = false;
        ++i;
      } else if (anchor && StartsWithNoCase(&s[i], L"href")) {
        size_t q = s.find(L'"', i + 4);
        size_t q2 = q == std::wstring::npos ? q : s.find(L'"', q + 1);
        if (q2 == std::wstring::npos) {
          i = s.size();
        } else {
          out.url = s.substr(q + 1, q2 - q - 1);
          i = q2 + 1;
        }
      } else {
        ++i;
      }
      continue;
    }
    if (c == L'<') {
      wchar_t n = i + 1 < s.size() ? s[i + 1] : 0;
      if ((n == L'a' || n == L'A') && (i + 2 >= s.size() || iswspace(s[i + 2]) || s[i + 2] == L'>')) {
        inTag = anchor = true;
        i += 2;
      } else if (n == L'/' && i + 2 < s.size() && (s[i + 2] == L'a' || s[i + 2] == L'A')) {
        out.end = out.text.size();
        inTag = true;
        i += 3;
      } else if (n) {
        out.text += c;
        out.text += n;
        i += 2;
      } else {
        out.text += c;
        ++i;
      }
      continue;
    }
    if (c == L'&') {
      size_t semi = s.find(L';', i + 1);
      if (semi != std::wstring::npos && semi - i - 1 <= 19) {
        out.text += Entity(s.substr(i + 1, semi - i - 1));
        i = semi + 1;
        continue;
      }
    }
    out.text += c;
    ++i;
  }
  if (out.end < out.start) out.end = 0;
  return out;
}

WebLink::WebLink(HWND window) : window_(window) {
  wchar_t text[256] = {};
  GetWindowTextW(window_, text, 256);
  link_ = ParseLinkMarkup(text);
  SetWindowTextW(window_, link_.text.c_str());
  underlined_ = CreateUnderlinedVariant(ParentFont(window_));
}

WebLink::~WebLink() {
  if (underlined_) DeleteObject(underlined_);
}

bool WebLink::InLink(int x) const { return link_.end != 0 && x >= linkLeft_ && x < linkRight_; }

void WebLink::SetHot(bool hot) {
  if (hot == hot_) return;
  hot_ = hot;
  InvalidateRect(window_, nullptr, TRUE);
}

void WebLink::Open() {
  if (!link_.url.empty()) ShellExecuteW(window_, L"open", link_.url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void WebLink::Paint(HDC dc) {
  RECT rc;
  GetClientRect(window_, &rc);
  HBRUSH bg = reinterpret_cast<HBRUSH>(
      SendMessageW(GetParent(window_), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window_)));
  FillRect(dc, &rc, bg ? bg : GetSysColorBrush(COLOR_BTNFACE));
  HFONT normal = ParentFont(window_);
  SelectScope f(dc, normal);
  SetBkMode(dc, TRANSPARENT);
  const COLORREF text = GetSysColor(COLOR_WINDOWTEXT), blue = 0xFF0000;
  const UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  const std::wstring& t = link_.text;
  if (link_.end == 0) {
    SetTextColor(dc, blue);
    DrawTextW(dc, t.c_str(), -1, &rc, flags);
    return;
  }
  struct Part { size_t from, to; COLORREF colour; HFONT font; };
  const Part parts[3] = {{0, link_.start, text, normal},
                         {link_.start, link_.end, blue, hot_ ? underlined_ : normal},
                         {link_.end, t.size(), text, normal}};
  int x = rc.left;
  for (int i = 0; i < 3; ++i) {
    const Part& p = parts[i];
    SelectObject(dc, p.font ? p.font : normal);
    SIZE size = {};
    int n = static_cast<int>(p.to - p.from);
    if (n > 0) GetTextExtentPoint32W(dc, t.c_str() + p.from, n, &size);
    RECT r = {x, rc.top, rc.right, rc.bottom};
    SetTextColor(dc, p.colour);
    if (n > 0) DrawTextW(dc, t.c_str() + p.from, n, &r, flags);
    if (i == 1) {
      linkLeft_ = x;
      linkRight_ = x + size.cx;
      if (focused_) {
        RECT fr = {x - 1, rc.top, x + size.cx + 1, rc.bottom};
        DrawFocusRect(dc, &fr);
      }
    }
    x += size.cx;
  }
  SelectObject(dc, normal);
}

LRESULT WebLink::Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case WLM_SETURL:
      link_.url = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
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
        Paint(off.Get());
        off.CopyTo(0, 0);
      }
      EndPaint(window_, &ps);
      return 0;
    }
    case WM_MOUSEMOVE: {
      bool in = InLink(static_cast<short>(LOWORD(lParam)));
      SetHot(in);
      if (in) StartHoverTracking(window_);
      return 0;
    }
    case WM_SETCURSOR:
      if (hot_) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      handled = false;
      return 0;
    case WM_TIMER:
      if (!HoverTick(window_, wParam)) handled = false;
      return 0;
    case WM_MOUSELEAVE:
      SetHot(false);
      return 0;
    case WM_LBUTTONDOWN:
      if (InLink(static_cast<short>(LOWORD(lParam)))) Open();
      return 0;
    case WM_GETDLGCODE:
      return link_.end ? DLGC_WANTCHARS : 0;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN || wParam == VK_SPACE) Open();
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      focused_ = message == WM_SETFOCUS;
      InvalidateRect(window_, nullptr, TRUE);
      return 0;
    case WM_NCHITTEST:
      return HTCLIENT;
  }
  handled = false;
  return 0;
}

}  // namespace pw::ui
