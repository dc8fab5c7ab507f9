// The header-field pane and the attachment strip of the viewer's Message
// tab. A click on an attachment offers to save it; nothing is ever opened.
#include <windowsx.h>

#include <algorithm>

#include "ui/SafeFileName.h"
#include "ui/viewer/AttachmentSave.h"
#include "ui/viewer/MessageViewer.h"

namespace pw::ui {
namespace {

ViewerState* StateOf(HWND child) { return ViewerOf(GetParent(child)); }

HFONT FontOf(const ViewerState& v) {
  return v.font ? v.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

int LineHeight(HWND w, HFONT font) {
  HDC dc = GetDC(w);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(w, dc);
  return tm.tmHeight + 4;
}

// A variant of the viewer's font with the given weight and slant.
HFONT StyledFont(HFONT base, bool bold, bool italic) {
  LOGFONTW lf{};
  GetObjectW(base, sizeof(lf), &lf);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = italic ? TRUE : FALSE;
  return CreateFontIndirectW(&lf);
}

void PaintPane(HWND w, ViewerState& v) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(w, &ps);
  RECT rc;
  GetClientRect(w, &rc);
  FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
  const ViewSettingsBlock& s = v.settings;
  HFONT nameFont = StyledFont(FontOf(v), s.fieldNameBOLD, s.fieldNameITALIC);
  HFONT valueFont = StyledFont(FontOf(v), s.fieldValueBOLD, s.fieldValueITALIC);
  const int row = LineHeight(w, FontOf(v));
  HGDIOBJ old = SelectObject(dc, nameFont);
  int nameWidth = 0;
  for (const auto& r : v.paneRows) {
    SIZE sz{};
    GetTextExtentPoint32W(dc, r.first.c_str(), static_cast<int>(r.first.size()), &sz);
    nameWidth = std::max<int>(nameWidth, sz.cx);
  }
  SetBkMode(dc, TRANSPARENT);
  for (size_t i = 0; i < v.paneRows.size(); ++i) {
    RECT name{4, static_cast<LONG>(i) * row, 4 + nameWidth, static_cast<LONG>(i + 1) * row};
    RECT value{name.right + 6, name.top, rc.right - 4, name.bottom};
    SelectObject(dc, nameFont);
    SetTextColor(dc, s.fieldNameColor == -1 ? GetSysColor(COLOR_BTNTEXT) : static_cast<COLORREF>(s.fieldNameColor));
    DrawTextW(dc, v.paneRows[i].first.c_str(), -1, &name, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, valueFont);
    SetTextColor(dc, s.fieldValueColor == -1 ? GetSysColor(COLOR_BTNTEXT) : static_cast<COLORREF>(s.fieldValueColor));
    DrawTextW(dc, v.paneRows[i].second.c_str(), -1, &value,
              DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  SelectObject(dc, old);
  DeleteObject(nameFont);
  DeleteObject(valueFont);
  EndPaint(w, &ps);
}

void PaintStrip(HWND w, ViewerState& v) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(w, &ps);
  RECT rc;
  GetClientRect(w, &rc);
  FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
  const int row = LineHeight(w, FontOf(v));
  HFONT bold = StyledFont(FontOf(v), true, false);
  HGDIOBJ old = SelectObject(dc, bold);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  RECT label{6, 0, rc.right - 4, row};
  const std::wstring title = ViewerString(1089, L"Attachments");
  DrawTextW(dc, title.c_str(), -1, &label, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, FontOf(v));
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  for (size_t i = 0; i < v.attachments.size(); ++i) {
    RECT r{14, static_cast<LONG>(i + 1) * row, rc.right - 4, static_cast<LONG>(i + 2) * row};
    // Shown as it would be saved: no paths, no direction overrides.
    const std::wstring shown = SafeFileName(v.attachments[i].name, L"attachment.dat");
    DrawTextW(dc, shown.c_str(), -1, &r, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  SelectObject(dc, old);
  DeleteObject(bold);
  EndPaint(w, &ps);
}

void StripClick(HWND w, ViewerState& v, int y) {
  const int row = LineHeight(w, FontOf(v));
  const int i = y / row - 1;
  if (i < 0 || static_cast<size_t>(i) >= v.attachments.size()) return;
  // Hold the message: the part's bytes live in its text.
  RefPtr<MailMessage> hold = v.message;
  auto part = v.attachments[i].part;
  if (!part) return;
  SaveAttachmentAs(GetAncestor(w, GA_ROOT), v.attachments[i].name, *part);
}

}  // namespace

int PaneHeight(const ViewerState& v) {
  return v.paneRows.empty() ? 0 : static_cast<int>(v.paneRows.size()) * LineHeight(v.pane, FontOf(v)) + 2;
}

int MeasureStrip(ViewerState& v) {
  if (v.attachments.empty() || !v.strip) return 0;
  HDC dc = GetDC(v.strip);
  HFONT bold = StyledFont(FontOf(v), true, false);
  HGDIOBJ old = SelectObject(dc, bold);
  const std::wstring title = ViewerString(1089, L"Attachments");
  SIZE sz{};
  GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &sz);
  int width = sz.cx;
  SelectObject(dc, FontOf(v));
  for (const auto& a : v.attachments) {
    const std::wstring shown = SafeFileName(a.name, L"attachment.dat");
    GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &sz);
    width = std::max<int>(width, sz.cx);
  }
  SelectObject(dc, old);
  DeleteObject(bold);
  ReleaseDC(v.strip, dc);
  return width + 40;
}

LRESULT CALLBACK ViewerPaneProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  ViewerState* v = StateOf(w);
  if (msg == WM_PAINT && v) {
    PaintPane(w, *v);
    return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

LRESULT CALLBACK ViewerStripProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  ViewerState* v = StateOf(w);
  if (v) {
    if (msg == WM_PAINT) {
      PaintStrip(w, *v);
      return 0;
    }
    if (msg == WM_LBUTTONUP) {
      StripClick(w, *v, GET_Y_LPARAM(lp));
      return 0;
    }
  }
  return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace pw::ui
