#include "ui/viewer/MessageViewer.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>

#include <algorithm>
#include <cwctype>

#include "account/MailAccount.h"
#include "account/MessageBody.h"
#include "base/Scoped.h"
#include "image/Picture.h"
#include "ui/viewer/ViewerText.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

constexpr wchar_t kProp[] = L"dkrmsgview_this";
constexpr int kTabSource = 0, kTabMessage = 1, kTabHeaders = 2, kTabLog = 3;
constexpr int kCopy = 1, kSettings = 2;

LinkOpener g_opener = nullptr;

void ShellOpen(HWND owner, const std::wstring& url) {
  ShellExecuteW(owner, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

CHARFORMAT2W Format(const ViewSettingsBlock& s, int32_t color, int32_t bold, int32_t italic) {
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof(cf);
  cf.dwMask = CFM_FACE | CFM_SIZE | CFM_CHARSET | CFM_BOLD | CFM_ITALIC | CFM_COLOR;
  wcsncpy(cf.szFaceName, s.fontName, LF_FACESIZE - 1);
  cf.yHeight = std::clamp(s.fontSize, 1, 200) * 20;
  cf.bCharSet = DEFAULT_CHARSET;
  if (bold) cf.dwEffects |= CFE_BOLD;
  if (italic) cf.dwEffects |= CFE_ITALIC;
  if (color == -1) cf.dwEffects |= CFE_AUTOCOLOR;
  else cf.crTextColor = static_cast<COLORREF>(color);
  return cf;
}

void StyleRange(HWND edit, LONG from, LONG to, const CHARFORMAT2W& cf) {
  if (to <= from) return;
  CHARRANGE r{from, to};
  SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
  SendMessageW(edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
}

// Header lines: the name up to the first colon in one style, the rest in
// another. The control keeps CR LF as one character.
void StyleHeader(HWND edit, const std::wstring& text, const ViewSettingsBlock& s) {
  const CHARFORMAT2W name = Format(s, s.fieldNameColor, s.fieldNameBOLD, s.fieldNameITALIC);
  const CHARFORMAT2W value = Format(s, s.fieldValueColor, s.fieldValueBOLD, s.fieldValueITALIC);
  SendMessageW(edit, WM_SETREDRAW, FALSE, 0);
  LONG pos = 0;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find(L"\r\n", i);
    if (end == std::wstring::npos) end = text.size();
    if (end == i) break;  // the blank line ends the header
    std::wstring_view line(text.data() + i, end - i);
    size_t colon = line.find(L':');
    LONG len = static_cast<LONG>(line.size());
    if (colon == std::wstring_view::npos) {
      StyleRange(edit, pos, pos + len, value);
    } else {
      StyleRange(edit, pos, pos + static_cast<LONG>(colon) + 1, name);
      StyleRange(edit, pos + static_cast<LONG>(colon) + 1, pos + len, value);
    }
    pos += len + 1;
    i = end + 2;
  }
  CHARRANGE none{0, 0};
  SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
  SendMessageW(edit, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(edit, nullptr, TRUE);
}

std::wstring Widen(const char* bytes, size_t n) {
  if (!n) return {};
  int len = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(n), nullptr, 0);
  std::wstring w(static_cast<size_t>(len), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(n), w.data(), len);
  return w;
}

bool Blank(const std::wstring& t) { return t.find_first_not_of(L" \t\r\n") == std::wstring::npos; }

void Layout(ViewerState& v) {
  RECT rc;
  GetClientRect(v.self, &rc);
  MoveWindow(v.tab, 0, 0, rc.right, rc.bottom, TRUE);
  RECT in = rc;
  TabCtrl_AdjustRect(v.tab, FALSE, &in);
  const int w = std::max<int>(0, in.right - in.left), h = std::max<int>(0, in.bottom - in.top);
  MoveWindow(v.source, in.left, in.top, w, h, TRUE);
  MoveWindow(v.headers, in.left, in.top, w, h, TRUE);
  MoveWindow(v.log, in.left, in.top, w, h, TRUE);
  const int paneH = std::min(h, PaneHeight(v));
  const int stripW = std::min(w, v.stripWidth);
  MoveWindow(v.pane, in.left, in.top, w, paneH, TRUE);
  MoveWindow(v.strip, in.right - stripW, in.top + paneH, stripW, h - paneH, TRUE);
  MoveWindow(v.body, in.left, in.top + paneH, w - stripW, h - paneH, TRUE);
}

// The source: the raw message (or header), its header lines styled.
void FillSource(ViewerState& v) {
  v.sourceFilled = true;
  MailMessage* m = v.message.Get();
  if (!m) return;
  const ViewSettingsBlock& s = v.settings;
  std::wstring source;
  const bool raw = m->rawMessage.IsSet() || m->rawHeader.IsSet();
  if (m->rawMessage.IsSet()) source = Widen(m->rawMessage.Get(), m->rawMessage.Size());
  else if (m->rawHeader.IsSet()) source = Widen(m->rawHeader.Get(), m->rawHeader.Size());
  else source = ViewerString(123, L"<not loaded>");
  // Only the header is styled: it goes in at once, the rest may follow.
  size_t header = 0;
  std::wstring head;
  if (raw) {
    header = source.find(L"\r\n\r\n");
    header = header == std::wstring::npos ? source.size() : header + 4;
    head = source.substr(0, header);
  }
  LoadText(v, v.source, v.sourceLeft, std::move(source),
           Format(s, s.sourceBodyColor, s.sourceBodyBOLD, s.sourceBodyITALIC), header);
  if (raw) StyleHeader(v.source, head, s);
}

// The message text: the first text part that is not blank.
void FillBody(ViewerState& v) {
  v.bodyFilled = true;
  MailMessage* m = v.message.Get();
  if (!m || !m->rawMessage.IsSet()) return;
  std::wstring text;
  for (int i = 0; i < 4096; ++i) {
    auto t = leafText(*m, i);
    if (!t) break;
    if (!Blank(*t)) {
      text = std::move(*t);
      break;
    }
  }
  const ViewSettingsBlock& s = v.settings;
  LoadText(v, v.body, v.bodyLeft, std::move(text), Format(s, s.messageBodyColor, s.messageBodyBOLD,
                                                          s.messageBodyITALIC));
}

// Only the tab the user looks at is filled: a large message costs nothing
// for the tabs never opened.
void ShowTab(ViewerState& v) {
  const int tab = TabCtrl_GetCurSel(v.tab);
  if (tab == kTabSource && !v.sourceFilled) FillSource(v);
  if (tab == kTabMessage && !v.bodyFilled) FillBody(v);
  ShowWindow(v.source, tab == kTabSource ? SW_SHOW : SW_HIDE);
  ShowWindow(v.body, tab == kTabMessage ? SW_SHOW : SW_HIDE);
  ShowWindow(v.pane, tab == kTabMessage ? SW_SHOW : SW_HIDE);
  ShowWindow(v.strip, tab == kTabMessage && v.stripWidth ? SW_SHOW : SW_HIDE);
  ShowWindow(v.headers, tab == kTabHeaders ? SW_SHOW : SW_HIDE);
  ShowWindow(v.log, tab == kTabLog ? SW_SHOW : SW_HIDE);
}

void ShowMessage(ViewerState& v, MailMessage* m) {
  v.message = RefPtr<MailMessage>(m);
  ListView_DeleteAllItems(v.headers);
  v.paneRows.clear();
  v.attachments.clear();
  ClearText(v, v.source, v.sourceLeft);
  ClearText(v, v.body, v.bodyLeft);
  KillTimer(v.self, kFillTimer);
  v.sourceFilled = v.bodyFilled = false;
  if (m) {
    int row = 0;
    for (const auto f : m->headerFields) {
      std::wstring name = f.first, value = f.second;
      LVITEMW it{};
      it.mask = LVIF_TEXT;
      it.iItem = row++;
      it.pszText = name.data();
      int at = static_cast<int>(SendMessageW(v.headers, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)));
      it.iItem = at;
      it.iSubItem = 1;
      it.pszText = value.data();
      SendMessageW(v.headers, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&it));
    }
    for (const auto& name : v.fields) {
      const wchar_t* value = nextFieldValue(m->headerFields, name.c_str());
      if (value) v.paneRows.emplace_back(name + L":", value);
    }
    if (m->rawMessage.IsSet()) attachmentNames(*m, v.attachments);
  }
  v.stripWidth = MeasureStrip(v);
  InvalidateRect(v.pane, nullptr, TRUE);
  InvalidateRect(v.strip, nullptr, TRUE);
  Layout(v);
  ShowTab(v);
}

void AddLogRows(ViewerState& v, MailAccount* account, bool fromStart) {
  if (!account) return;
  if (fromStart) {
    ListView_DeleteAllItems(v.log);
    v.logShown = 0;
  }
  auto events = account->Events(v.logShown);
  SendMessageW(v.log, WM_SETREDRAW, FALSE, 0);
  for (const auto& e : events) {
    LVITEMW it{};
    it.mask = LVIF_TEXT | LVIF_IMAGE;
    it.iItem = static_cast<int>(v.logShown++);
    it.iImage = static_cast<int>(e.kind);
    it.pszText = const_cast<wchar_t*>(e.text.Str());
    SendMessageW(v.log, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it));
  }
  SendMessageW(v.log, WM_SETREDRAW, TRUE, 0);
  ListView_SetColumnWidth(v.log, 0, LVSCW_AUTOSIZE);
  if (v.logShown) ListView_EnsureVisible(v.log, static_cast<int>(v.logShown) - 1, FALSE);
}

HMODULE SelfModule() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&SelfModule), &self);
  return self;
}

// A 16x16 picture as an icon: colour with its alpha, and a mask that makes
// the clear pixels transparent where alpha is not drawn.
HICON IconOf(const image::Picture& p) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = p.width;
  bi.bmiHeader.biHeight = -p.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  ScopedBitmap colour(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!colour) return nullptr;
  memcpy(bits, p.pixels.data(), p.pixels.size() * sizeof(uint32_t));
  const int stride = ((p.width + 15) / 16) * 2;
  std::vector<uint8_t> maskBits(static_cast<size_t>(stride) * p.height, 0);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if ((p.At(x, y) >> 24) < 128) maskBits[static_cast<size_t>(y) * stride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  ScopedBitmap mask(CreateBitmap(p.width, p.height, 1, 1, maskBits.data()));
  ICONINFO info{TRUE, 0, 0, mask.Get(), colour.Get()};
  return CreateIconIndirect(&info);
}

// The log's pictures, indexed by entry kind; the list view owns the list.
HIMAGELIST LogImages() {
  HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 0);
  const UINT ids[5] = {IDP_LOG_RECEIVED, IDP_LOG_SENT, IDP_LOG_INFO, IDP_LOG_OTHER, IDP_LOG_ERROR};
  for (UINT id : ids) {
    image::Picture p;
    ScopedIcon icon;
    if (image::LoadPngResource(SelfModule(), MAKEINTRESOURCEW(id), p) && p.width == 16 && p.height == 16)
      icon.Reset(IconOf(p));
    if (!icon) {  // keep the indexes in step with the kinds
      p.width = p.height = 16;
      p.pixels.assign(256, 0);
      icon.Reset(IconOf(p));
    }
    ImageList_AddIcon(images, icon.Get());
  }
  return images;
}

HWND Child(ViewerState& v, const wchar_t* cls, DWORD style, DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, cls, L"", WS_CHILD | style, 0, 0, 0, 0, v.self, nullptr,
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(v.self, GWLP_HINSTANCE)), nullptr);
}

void AddColumn(HWND list, int index, const std::wstring& title, int width) {
  LVCOLUMNW c{};
  c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  c.pszText = const_cast<wchar_t*>(title.c_str());
  c.cx = width;
  c.iSubItem = index;
  SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&c));
}

void Create(ViewerState& v) {
  LoadLibraryW(L"riched20.dll");  // kept: the class must outlive every viewer
  v.tab = Child(v, WC_TABCONTROLW, WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP);
  const UINT names[4] = {194, 195, 196, 209};
  const wchar_t* texts[4] = {L"Source", L"Message", L"Headers", L"Connection log"};
  for (int i = 0; i < 4; ++i) {
    std::wstring t = ViewerString(names[i], texts[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = t.data();
    SendMessageW(v.tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  v.source = MakeTextEdit(v);
  v.body = MakeTextEdit(v);
  v.pane = Child(v, kViewerHeaderClass, 0);
  v.strip = Child(v, kViewerAttachmentClass, 0);
  v.headers = Child(v, WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | WS_TABSTOP, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(v.headers, LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT |
                                                   LVS_EX_INFOTIP);
  AddColumn(v.headers, 0, ViewerString(197, L"Field Name"), 120);
  AddColumn(v.headers, 1, ViewerString(198, L"Field Value"), 300);
  v.log = Child(v, WC_LISTVIEWW, LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(v.log, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  AddColumn(v.log, 0, L"", 300);
  ListView_SetImageList(v.log, LogImages(), LVSIL_SMALL);
  ShowMessage(v, nullptr);
}

void OpenLink(ViewerState& v, HWND edit, const ENLINK& link) {
  if (link.chrg.cpMax <= link.chrg.cpMin || link.chrg.cpMax - link.chrg.cpMin > 4096) return;
  std::wstring url(static_cast<size_t>(link.chrg.cpMax - link.chrg.cpMin) + 1, L'\0');
  TEXTRANGEW range{link.chrg, url.data()};
  url.resize(static_cast<size_t>(SendMessageW(edit, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range))));
  if (!IsOpenableLink(url)) return;
  if (_wcsnicmp(url.c_str(), L"www.", 4) == 0) url.insert(0, L"http://");
  (g_opener ? g_opener : ShellOpen)(v.self, url);
}

void ContextMenu(ViewerState& v, HWND from, POINT at) {
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, kCopy, ViewerString(199, L"Copy").c_str());
  AppendMenuW(menu, MF_STRING, kSettings, ViewerString(200, L"Settings...").c_str());
  if (at.x == -1 && at.y == -1) GetCursorPos(&at);
  int cmd = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, v.self, nullptr);
  DestroyMenu(menu);
  if (cmd == kCopy) {
    if (from == v.source || from == v.body) {
      SendMessageW(from, WM_COPY, 0, 0);
    } else {
      int sel = ListView_GetNextItem(from, -1, LVNI_SELECTED);
      if (sel < 0) return;
      wchar_t a[1024] = L"", b[4096] = L"";
      ListView_GetItemText(from, sel, 0, a, 1024);
      ListView_GetItemText(from, sel, 1, b, 4096);
      std::wstring text = from == v.headers ? std::wstring(a) + L": " + b : std::wstring(a);
      if (!OpenClipboard(v.self)) return;
      EmptyClipboard();
      HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
      if (mem) {
        memcpy(GlobalLock(mem), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(mem);
        if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
      }
      CloseClipboard();
    }
  } else if (cmd == kSettings) {
    ViewSettingsBlock copy = v.settings;
    if (EditViewSettings(v.self, copy)) {
      v.settings = copy;
      ShowMessage(v, v.message.Get());
    }
  }
}

LRESULT CALLBACK ViewerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  auto* v = ViewerOf(w);
  switch (msg) {
    case WM_CREATE: {
      v = new ViewerState;
      v->self = w;
      SetPropW(w, kProp, v);
      Create(*v);
      return 0;
    }
    case WM_DESTROY:
      KillTimer(w, kFillTimer);
      RemovePropW(w, kProp);
      delete v;
      return 0;
  }
  if (!v) return DefWindowProcW(w, msg, wp, lp);
  switch (msg) {
    case WM_SIZE:
      Layout(*v);
      return 0;
    case WM_SETFONT:
      v->font = reinterpret_cast<HFONT>(wp);
      for (HWND c : {v->tab, v->headers, v->log, v->pane, v->strip}) SendMessageW(c, WM_SETFONT, wp, lp);
      v->stripWidth = MeasureStrip(*v);
      Layout(*v);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(v->font);
    case WM_TIMER:
      if (wp == kFillTimer) AppendTextStep(*v);
      return 0;
    case WM_NOTIFY: {
      auto* h = reinterpret_cast<NMHDR*>(lp);
      if (h->hwndFrom == v->tab && h->code == TCN_SELCHANGE) ShowTab(*v);
      if ((h->hwndFrom == v->source || h->hwndFrom == v->body) && h->code == EN_LINK) {
        auto* link = reinterpret_cast<ENLINK*>(lp);
        if (link->msg == WM_LBUTTONDOWN) OpenLink(*v, h->hwndFrom, *link);
      }
      return 0;
    }
    case WM_CONTEXTMENU: {
      HWND from = reinterpret_cast<HWND>(wp);
      if (from == v->source || from == v->body || from == v->headers || from == v->log)
        ContextMenu(*v, from, {static_cast<LONG>(static_cast<short>(LOWORD(lp))), static_cast<LONG>(static_cast<short>(HIWORD(lp)))});
      return 0;
    }
    case kViewShowMessage:
      ShowMessage(*v, reinterpret_cast<MailMessage*>(lp));
      return 0;
    case kViewSelectTab:
      TabCtrl_SetCurSel(v->tab, static_cast<int>(wp));
      ShowTab(*v);
      return 0;
    case kViewGetTab:
      return TabCtrl_GetCurSel(v->tab);
    case kViewSetColumnOrder:
      if (lp && wp == 2) ListView_SetColumnOrderArray(v->headers, 2, reinterpret_cast<int*>(lp));
      return 0;
    case kViewGetColumnOrder:
      if (lp && wp >= 2) ListView_GetColumnOrderArray(v->headers, 2, reinterpret_cast<int*>(lp));
      return 0;
    case kViewSetColumnWidths:
      if (lp) {
        auto* widths = reinterpret_cast<const int32_t*>(lp);
        for (int i = 0; i < 2; ++i) ListView_SetColumnWidth(v->headers, i, widths[i]);
      }
      return 0;
    case kViewGetColumnWidths:
      if (lp) {
        auto* widths = reinterpret_cast<int32_t*>(lp);
        for (int i = 0; i < 2; ++i) widths[i] = ListView_GetColumnWidth(v->headers, i);
      }
      return 0;
    case kViewGetFields: {
      auto* list = reinterpret_cast<ViewerStringList*>(lp);
      if (!list) return 0;
      FreeViewerStrings(*list);
      list->items = new wchar_t*[v->fields.size() + 1];
      for (const auto& f : v->fields) {
        auto* copy = new wchar_t[f.size() + 1];
        wcscpy(copy, f.c_str());
        list->items[list->count++] = copy;
      }
      return 0;
    }
    case kViewSetFields: {
      auto* list = reinterpret_cast<const ViewerStringList*>(lp);
      if (!list) return 0;
      v->fields.clear();
      for (int i = 0; i < list->count; ++i)
        if (list->items && list->items[i]) v->fields.emplace_back(list->items[i]);
      return 0;
    }
    case kViewSetSettings:
      if (lp) {
        v->settings = *reinterpret_cast<const ViewSettingsBlock*>(lp);
        v->settings.fontName[31] = 0;  // the block may come from a file
      }
      return 0;
    case kViewGetSettings:
      if (lp) *reinterpret_cast<ViewSettingsBlock*>(lp) = v->settings;
      return 0;
    case kViewLogFill:
      AddLogRows(*v, reinterpret_cast<MailAccount*>(lp), true);
      return 0;
    case kViewLogAppend:
      AddLogRows(*v, reinterpret_cast<MailAccount*>(lp), false);
      return 0;
    case kViewLogClear:
      ListView_DeleteAllItems(v->log);
      v->logShown = 0;
      return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

ViewerState* ViewerOf(HWND viewer) { return static_cast<ViewerState*>(GetPropW(viewer, kProp)); }

void SetViewerLinkOpener(LinkOpener opener) { g_opener = opener; }

bool IsOpenableLink(const std::wstring& text) {
  for (const wchar_t* p : {L"http://", L"https://", L"mailto:", L"www."})
    if (_wcsnicmp(text.c_str(), p, wcslen(p)) == 0) return text.size() > wcslen(p);
  return false;
}

std::wstring ViewerString(UINT id, const wchar_t* fallback) {
  const wchar_t* p = nullptr;
  int n = LoadStringW(SelfModule(), id, reinterpret_cast<LPWSTR>(&p), 0);
  return n > 0 ? std::wstring(p, static_cast<size_t>(n)) : fallback;
}

void RegisterViewerClasses(HINSTANCE instance) {
  const struct {
    const wchar_t* name;
    WNDPROC proc;
  } classes[] = {{kViewerClass, ViewerProc}, {kViewerHeaderClass, ViewerPaneProc}, {kViewerAttachmentClass, ViewerStripProc}};
  for (const auto& c : classes) {
    WNDCLASSEXW wc = {sizeof(wc)};
    if (GetClassInfoExW(instance, c.name, &wc) && wc.lpfnWndProc == c.proc) continue;
    UnregisterClassW(c.name, instance);
    wc = {sizeof(wc)};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = c.proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = c.name;
    RegisterClassExW(&wc);
  }
}

void UnregisterViewerClasses(HINSTANCE instance) {
  for (const wchar_t* n : {kViewerClass, kViewerHeaderClass, kViewerAttachmentClass}) UnregisterClassW(n, instance);
}

}  // namespace pw::ui
