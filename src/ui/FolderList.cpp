#include "ui/FolderList.h"

#include <algorithm>
#include <cstdlib>

#include "ui/ControlBase.h"
#include "ui/UiFonts.h"

namespace pw::ui {

FolderList::FolderList(HWND window) : window_(window) {
  normal_ = CreateSystemFont(SystemFont::IconTitle, false);
  bold_ = CreateSystemFont(SystemFont::IconTitle, true, 600);
  HDC screen = GetDC(window_);
  measureDc_ = CreateCompatibleDC(screen);
  ReleaseDC(window_, screen);
  SelectScope f(measureDc_, normal_);
  SIZE s = {};
  GetTextExtentPoint32W(measureDc_, L"QWTWSAqg", 8, &s);
  textHeight_ = s.cy;
}

FolderList::~FolderList() {
  if (measureDc_) DeleteDC(measureDc_);
  if (normal_) DeleteObject(normal_);
  if (bold_) DeleteObject(bold_);
}

const PictureBitmap* FolderList::PictureOf(const Row& r) const {
  if (r.picture < 0 || r.picture >= static_cast<int>(pictures_.size())) return nullptr;
  const PictureBitmap& p = pictures_[r.picture];
  return p.Empty() ? nullptr : &p;
}

void FolderList::Measure(Row& r) {
  SelectScope f(measureDc_, r.unread ? bold_ : normal_);
  SIZE s = {};
  GetTextExtentPoint32W(measureDc_, r.text.c_str(), static_cast<int>(r.text.size()), &s);
  r.width = rowHeight_ + s.cx + 6;
}

void FolderList::UpdateRowHeight(const Row& r) {
  int h = textHeight_;
  if (const PictureBitmap* p = PictureOf(r)) h = std::max(h, p->Height());
  // The first row replaces the initial height; later rows can only raise it.
  rowHeight_ = rows_.size() == 1 ? h + 2 : std::max(rowHeight_, h + 2);
}

void FolderList::RecomputeRowHeight() {
  int h = textHeight_;
  for (const Row& r : rows_)
    if (const PictureBitmap* p = PictureOf(r)) h = std::max(h, p->Height());
  rowHeight_ = h + 2;
  for (Row& r : rows_) Measure(r);
}

int FolderList::Visible() const {
  RECT rc;
  GetClientRect(window_, &rc);
  return std::max(1, static_cast<int>(rc.bottom / rowHeight_));
}

void FolderList::SetTop(int top) {
  int maxTop = std::max(0, static_cast<int>(rows_.size()) - Visible());
  top = std::clamp(top, 0, maxTop);
  if (top != top_) {
    // Move what stays visible and paint only the rows that come in.
    const int dy = (top_ - top) * rowHeight_;
    top_ = top;
    if (std::abs(dy) < Visible() * rowHeight_) ScrollWindowEx(window_, 0, dy, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
    else InvalidateRect(window_, nullptr, FALSE);
  }
  UpdateScroll();
}

void FolderList::ScheduleScroll() {
  // Adding many rows in a row costs one scroll bar update, not one each.
  if (scrollPending_) return;
  scrollPending_ = true;
  PostMessageW(window_, kFlushScroll, 0, 0);
}

void FolderList::UpdateScroll() {
  scrollPending_ = false;
  const int count = static_cast<int>(rows_.size()), visible = Visible();
  const bool needed = count > visible;
  // Only what changed is sent on: scroll bar calls are the costly part of
  // adding a row.
  if (needed != scrollShown_) {
    scrollShown_ = needed;
    ShowScrollBar(window_, SB_VERT, needed);
  }
  if (!needed) return;
  SCROLLINFO si = {sizeof(si)};
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = count - 1;
  si.nPage = static_cast<UINT>(visible);
  si.nPos = top_;
  SetScrollInfo(window_, SB_VERT, &si, TRUE);
}

void FolderList::Notify(WORD code) {
  SendMessageW(GetParent(window_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window_), code),
               reinterpret_cast<LPARAM>(window_));
}

void FolderList::InvalidateRow(int index) {
  if (index < top_ || index > top_ + Visible()) return;
  RECT rc;
  GetClientRect(window_, &rc);
  rc.top = (index - top_) * rowHeight_;
  rc.bottom = rc.top + rowHeight_;
  InvalidateRect(window_, &rc, FALSE);
}

void FolderList::Select(int index, bool notify) {
  if (index < -1 || index >= static_cast<int>(rows_.size())) return;
  if (index == selected_) return;
  InvalidateRow(selected_);
  selected_ = index;
  InvalidateRow(selected_);
  if (selected_ >= 0) {
    if (selected_ < top_) SetTop(selected_);
    else if (selected_ >= top_ + Visible()) SetTop(selected_ - Visible() + 1);
  }
  if (notify) Notify(kFolderSelChanged);
}

int FolderList::HitTest(POINT pt) const {
  if (pt.y < 0) return -1;
  int r = top_ + pt.y / rowHeight_;
  if (r >= static_cast<int>(rows_.size())) return -1;
  const Row& row = rows_[r];
  int x0 = row.indent * rowHeight_;
  return pt.x >= x0 && pt.x < x0 + row.width ? r : -1;
}

void FolderList::Paint(HDC target, const RECT& update) {
  RECT rc;
  GetClientRect(window_, &rc);
  const int first = std::max(top_, top_ + static_cast<int>(update.top / rowHeight_));
  const int last = std::min(static_cast<int>(rows_.size()), top_ + static_cast<int>(update.bottom / rowHeight_) + 1);
  OffscreenDc off(target, rc.right, rowHeight_);
  HDC dc = off.Get();
  SetBkMode(dc, TRANSPARENT);
  for (int i = first; i < last; ++i) {
    const Row& row = rows_[i];
    RECT band = {0, 0, rc.right, rowHeight_};
    FillRect(dc, &band, GetSysColorBrush(COLOR_WINDOW));
    const int cell = row.indent * rowHeight_;
    if (const PictureBitmap* p = PictureOf(row))
      p->DrawForDpi(dc, cell + rowHeight_ / 2, rowHeight_ / 2, GetDeviceCaps(dc, LOGPIXELSY), rowHeight_ - 2);
    const int textX = (row.indent + 1) * rowHeight_;
    const bool sel = i == selected_;
    if (sel) {
      RECT hl = {textX, 0, cell + row.width, rowHeight_};
      if (focused_) FillRect(dc, &hl, GetSysColorBrush(COLOR_HIGHLIGHT));
      DrawFocusRect(dc, &hl);
    }
    SelectScope f(dc, row.unread ? bold_ : normal_);
    SetTextColor(dc, GetSysColor(sel && focused_ ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT tr = {textX + 2, 0, rc.right, rowHeight_};
    DrawTextW(dc, row.text.c_str(), static_cast<int>(row.text.size()), &tr,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    off.CopyTo(0, (i - top_) * rowHeight_);
  }
  RECT below = rc;
  below.top = (static_cast<int>(rows_.size()) - top_) * rowHeight_;
  if (below.top < rc.bottom) FillRect(target, &below, GetSysColorBrush(COLOR_WINDOW));
}

LRESULT FolderList::Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case FLM_ADD: {
      const auto* e = reinterpret_cast<const FolderEntry*>(lParam);
      if (!e) return -1;
      rows_.push_back({e->data, e->text ? e->text : L"", e->unread, e->indent, e->picture});
      const int old = rowHeight_;
      UpdateRowHeight(rows_.back());
      if (rowHeight_ != old && rows_.size() > 1) RecomputeRowHeight();
      else Measure(rows_.back());
      ScheduleScroll();
      InvalidateRow(static_cast<int>(rows_.size()) - 1);
      return static_cast<LRESULT>(rows_.size() - 1);
    }
    case FLM_DELETE: {
      if (!Valid(wParam)) return 0;
      const int i = static_cast<int>(wParam);
      rows_.erase(rows_.begin() + i);
      bool notify = false;
      if (selected_ == i) {
        notify = true;
        if (selected_ >= static_cast<int>(rows_.size())) selected_ = static_cast<int>(rows_.size()) - 1;
      } else if (selected_ > i) {
        --selected_;
      }
      SetTop(top_);
      InvalidateRect(window_, nullptr, FALSE);
      if (notify) Notify(kFolderSelChanged);
      return 1;
    }
    case FLM_SETPICTURES: {
      const auto* pics = reinterpret_cast<const image::Picture*>(lParam);
      pictures_.clear();
      pictures_.resize(pics ? wParam : 0);
      for (size_t i = 0; i < pictures_.size(); ++i) pictures_[i].Set(pics[i]);
      RecomputeRowHeight();
      SetTop(top_);
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    }
    case FLM_SELECT:
      Select(static_cast<int>(wParam), true);
      return 0;
    case FLM_GETSEL:
      return selected_;
    case FLM_SETPICTURE:
      if (!Valid(wParam)) return 0;
      rows_[wParam].picture = static_cast<int32_t>(lParam);
      InvalidateRow(static_cast<int>(wParam));
      return 1;
    case FLM_SETUNREAD:
      if (!Valid(wParam)) return 0;
      rows_[wParam].unread = static_cast<int32_t>(lParam);
      Measure(rows_[wParam]);
      InvalidateRow(static_cast<int>(wParam));
      return 1;
    case FLM_SETTEXT:
      if (!Valid(wParam)) return 0;
      rows_[wParam].text = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
      Measure(rows_[wParam]);
      InvalidateRow(static_cast<int>(wParam));
      return 1;
    case FLM_GETDATA:
      return Valid(wParam) ? rows_[wParam].data : 0;
    case FLM_GETUNREAD:
      return Valid(wParam) ? rows_[wParam].unread : 0;
    case FLM_GETPICTURE:
      return Valid(wParam) ? rows_[wParam].picture : 0;
    case FLM_GETTEXT:
      return Valid(wParam) ? reinterpret_cast<LRESULT>(rows_[wParam].text.c_str()) : 0;
    case FLM_FIND:
      for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].data == static_cast<uint32_t>(lParam)) return static_cast<LRESULT>(i);
      return -1;
    case FLM_CLEAR: {
      const bool had = selected_ >= 0;
      rows_.clear();
      top_ = 0;
      selected_ = -1;
      UpdateScroll();
      InvalidateRect(window_, nullptr, FALSE);
      if (had) Notify(kFolderSelChanged);
      return 0;
    }
    case kFlushScroll:
      if (scrollPending_) {
        scrollPending_ = false;
        UpdateScroll();
      }
      return 0;
    case WM_SIZE:
      SetTop(top_);
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window_, &ps);
      Paint(dc, ps.rcPaint);
      EndPaint(window_, &ps);
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      focused_ = message == WM_SETFOCUS;
      InvalidateRow(selected_);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_LBUTTONDBLCLK: {
      POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      int i = HitTest(pt);
      if (message == WM_LBUTTONDOWN) {
        SetFocus(window_);
        if (i >= 0) Select(i, true);
      } else if (i >= 0) {
        Notify(message == WM_RBUTTONUP ? kFolderRightClick : kFolderDoubleClick);
      }
      return 0;
    }
    case WM_KEYDOWN: {
      const int n = static_cast<int>(rows_.size());
      if (n == 0) return 0;
      if (wParam == VK_UP) Select(selected_ < 0 ? n - 1 : (selected_ > 0 ? selected_ - 1 : selected_), true);
      else if (wParam == VK_DOWN) Select(selected_ < 0 ? 0 : (selected_ + 1 < n ? selected_ + 1 : selected_), true);
      return 0;
    }
    case WM_MOUSEWHEEL:
      SetTop(top_ - GET_WHEEL_DELTA_WPARAM(wParam) / 120);
      return 0;
    case WM_VSCROLL: {
      int top = top_;
      switch (LOWORD(wParam)) {
        case SB_LINEUP: --top; break;
        case SB_LINEDOWN: ++top; break;
        case SB_PAGEUP: top -= Visible(); break;
        case SB_PAGEDOWN: top += Visible(); break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: {
          SCROLLINFO si = {sizeof(si), SIF_TRACKPOS};
          GetScrollInfo(window_, SB_VERT, &si);
          top = si.nTrackPos;
          break;
        }
      }
      SetTop(top);
      return 0;
    }
  }
  handled = false;
  return 0;
}

}  // namespace pw::ui
