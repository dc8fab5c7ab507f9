#include "ui/viewer/ViewerText.h"

#include <algorithm>

namespace pw::ui {
namespace {

constexpr size_t kAtOnce = 2 * 1024;     // characters: about a screen
constexpr size_t kStep = 32 * 1024;      // characters per timer tick
constexpr LONG kReplaceAbove = 32 * 1024;  // clearing a longer text replaces the control

// Text goes in as plain UTF-16 through a stream: no rich-text parsing of
// anything a message says.
struct StreamSource {
  const wchar_t* text;
  size_t left;  // bytes
};
DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got) {
  auto* s = reinterpret_cast<StreamSource*>(cookie);
  size_t n = std::min<size_t>(s->left, static_cast<size_t>(wanted) & ~size_t{1});
  memcpy(buffer, s->text, n);
  s->text += n / sizeof(wchar_t);
  s->left -= n;
  *got = static_cast<LONG>(n);
  return 0;
}

void Stream(HWND edit, const wchar_t* text, size_t chars, DWORD flags) {
  StreamSource src{text, chars * sizeof(wchar_t)};
  EDITSTREAM es{reinterpret_cast<DWORD_PTR>(&src), 0, ReadStream};
  SendMessageW(edit, EM_STREAMIN, flags | SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&es));
}

// Where a piece of at most `most` characters from `from` ends: after a line
// end when there is one, never between CR and LF or inside a surrogate pair.
size_t PieceEnd(const std::wstring& t, size_t from, size_t most) {
  size_t end = std::min(t.size(), from + most);
  if (end == t.size()) return end;
  const size_t nl = t.rfind(L'\n', end - 1);
  if (nl != std::wstring::npos && nl >= from) return nl + 1;
  if (end - from > 1 && (IS_HIGH_SURROGATE(t[end - 1]) || (t[end - 1] == L'\r' && t[end] == L'\n'))) --end;
  return end;
}

// One piece at the end of the text, the reader's place kept: the
// insertion point is moved there and back, and the view with it. The view
// is kept by its first line: scroll positions are scaled to 16 bits once
// the text is taller than that, so they do not survive the text growing.
void AppendPiece(HWND edit, PendingText& left) {
  const size_t end = PieceEnd(left.text, left.at, kStep);
  CHARRANGE sel{};
  SendMessageW(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
  const LRESULT first = SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
  CHARRANGE atEnd{0x7FFFFFFF, 0x7FFFFFFF};
  SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&atEnd));
  Stream(edit, left.text.data() + left.at, end - left.at, SFF_SELECTION);
  SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&sel));
  const LRESULT now = SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
  if (now != first) SendMessageW(edit, EM_LINESCROLL, 0, first - now);
  left.at = end;
  if (left.Empty()) left = PendingText{};  // the copy goes as soon as it is used
}

}  // namespace

HWND MakeTextEdit(ViewerState& v) {
  const DWORD style = WS_CHILD | ES_MULTILINE | ES_READONLY | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL |
                      WS_HSCROLL | WS_TABSTOP;
  HWND e = CreateWindowExW(WS_EX_CLIENTEDGE, L"RichEdit20W", L"", style, 0, 0, 0, 0, v.self, nullptr,
                           reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(v.self, GWLP_HINSTANCE)), nullptr);
  SendMessageW(e, EM_EXLIMITTEXT, 0, 0x7FFFFFF0);
  // Read-only: no undo, so replacing a large text keeps no copy of it.
  SendMessageW(e, EM_SETUNDOLIMIT, 0, 0);
  SendMessageW(e, EM_AUTOURLDETECT, TRUE, 0);
  SendMessageW(e, EM_SETEVENTMASK, 0, ENM_LINK | ENM_MOUSEEVENTS);
  return e;
}

void ClearText(ViewerState& v, HWND& edit, PendingText& left) {
  left = PendingText{};
  if (GetWindowTextLengthW(edit) <= kReplaceAbove) {
    SetWindowTextW(edit, L"");
    return;
  }
  HWND fresh = MakeTextEdit(v);
  RECT r;
  GetWindowRect(edit, &r);
  MapWindowPoints(nullptr, v.self, reinterpret_cast<POINT*>(&r), 2);
  // Same place, same size, same place in the tab order.
  SetWindowPos(fresh, edit, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
  if (GetWindowLongW(edit, GWL_STYLE) & WS_VISIBLE) ShowWindow(fresh, SW_SHOWNA);
  const bool focused = GetFocus() == edit;
  DestroyWindow(edit);
  edit = fresh;
  if (focused) SetFocus(fresh);
}

void LoadText(ViewerState& v, HWND edit, PendingText& left, std::wstring text, const CHARFORMAT2W& cf,
              size_t atOnce) {
  // The format is set before the text goes in, so the whole text takes it.
  SendMessageW(edit, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
  SendMessageW(edit, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
  const size_t first = PieceEnd(text, 0, std::max(atOnce, kAtOnce));
  Stream(edit, text.data(), first, 0);
  if (first == text.size()) return;
  left.text = std::move(text);
  left.at = first;
  SetTimer(v.self, kFillTimer, 1, nullptr);
}

bool AppendTextStep(ViewerState& v) {
  const bool sourceFirst = GetWindowLongW(v.source, GWL_STYLE) & WS_VISIBLE;
  if (sourceFirst && !v.sourceLeft.Empty()) AppendPiece(v.source, v.sourceLeft);
  else if (!v.bodyLeft.Empty()) AppendPiece(v.body, v.bodyLeft);
  else if (!v.sourceLeft.Empty()) AppendPiece(v.source, v.sourceLeft);
  if (!v.sourceLeft.Empty() || !v.bodyLeft.Empty()) return true;
  KillTimer(v.self, kFillTimer);
  return false;
}

}  // namespace pw::ui
