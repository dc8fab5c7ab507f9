#include "ui/MessagesListWindow.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Module.h"
#include "image/Picture.h"
#include "ui/FolderList.h"
#include "ui/ListCommands.h"
#include "ui/UiFonts.h"
#include "ui/ViewerMessages.h"
#include "resource.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

constexpr UINT kFlushMessage = WM_APP + 1;
constexpr UINT_PTR kLabelsTimer = 0x4C42;

double ClampSplit(double v, double fallback) {
  if (!std::isfinite(v)) return fallback;  // a damaged stream may hold NaN
  return std::min(0.9, std::max(0.1, v));
}

// A stored column order is used only when it is a permutation of 0..5.
bool IsPermutation(const int* order) {
  bool seen[6] = {};
  for (int i = 0; i < 6; ++i) {
    if (order[i] < 0 || order[i] > 5 || seen[order[i]]) return false;
    seen[order[i]] = true;
  }
  return true;
}

// A notification left in the queue when the window goes: its records are
// released without acting on them.
void ReleaseQueued(const MSG& m) {
  auto message = [](LPARAM p) {
    if (p) reinterpret_cast<MailMessage*>(p)->Release();
  };
  auto account = [](uintptr_t p) {
    if (p) reinterpret_cast<MailAccount*>(p)->Release();
  };
  if (m.message == kListMessageAdded) {
    account(m.wParam);
    message(m.lParam);
  } else if (m.message >= kListStatusFirst && m.message <= kListStatusFirst + 8) {
    account(m.wParam);
  } else if (m.message == WM_USER) {
    switch (m.wParam) {
      case kMessageUpdated:
      case kMessageRemoved:
      case kMessageRead: message(m.lParam); break;
      case kAccountUpdated:
      case kCountdownTick:
      case kEventLogged:
      case kEventLogCleared: account(static_cast<uintptr_t>(m.lParam)); break;
      default: break;
    }
  }
}

}  // namespace

MessagesListWindow::MessagesListWindow(ListWindowHost& host) : DialogWindow(IDD_MESSAGES_LIST), host_(host) {
  rowFont_.Reset(CreateSystemFont(SystemFont::IconTitle, false));
  if (HDC screen = GetDC(nullptr)) {
    dpi_ = std::max(96, GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
  }
  unreadFont_.Reset(CreateSystemFont(SystemFont::IconTitle, true, 600));
  smallIcon_.Reset(static_cast<HICON>(LoadImageW(DllModule(), MAKEINTRESOURCEW(IDI_PLUGIN), IMAGE_ICON, 16, 16, 0)));
  bigIcon_.Reset(static_cast<HICON>(LoadImageW(DllModule(), MAKEINTRESOURCEW(IDI_PLUGIN), IMAGE_ICON, 32, 32, 0)));
}

MessagesListWindow::~MessagesListWindow() {
  if (Window()) DestroyWindow(Window());
  rows_.Clear();
}

HWND MessagesListWindow::Open(HMODULE resources) {
  options_ = host_.Options();
  host_.ReadLayout(layout_);
  sortColumn_ = layout_.sortColumn;
  sortType_ = layout_.sortType < 0 ? -1 : layout_.sortType > 0 ? 1 : 0;
  selectedFolder_ = layout_.selectedFolder;
  return Create(nullptr, resources);
}

void MessagesListWindow::Show() {
  HWND w = Window();
  RECT r = layout_.rect;
  if (r.left == 0 && r.top == 0 && r.right == 0) {
    ShowWindow(w, SW_SHOWNORMAL);
    return;
  }
  // A place on no monitor (a monitor since removed) moves onto the nearest.
  if (r.right <= r.left || r.bottom <= r.top || !MonitorFromRect(&r, MONITOR_DEFAULTTONULL)) {
    MONITORINFO mi = {sizeof(mi)};
    GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &mi);
    const RECT& wa = mi.rcWork;
    const LONG width = std::min<LONG>(std::max<LONG>(r.right - r.left, 200), wa.right - wa.left);
    const LONG height = std::min<LONG>(std::max<LONG>(r.bottom - r.top, 150), wa.bottom - wa.top);
    LONG x = std::min(std::max(r.left, wa.left), wa.right - width);
    LONG y = std::min(std::max(r.top, wa.top), wa.bottom - height);
    r = {x, y, x + width, y + height};
  }
  SetWindowPos(w, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOCOPYBITS | SWP_ASYNCWINDOWPOS);
  ShowWindow(w, SW_SHOWNORMAL);
}

bool MessagesListWindow::OnCancel() {
  Close();  // Escape closes through the same steps as the close box
  return false;
}

void MessagesListWindow::OnInitDialog() {
  HWND w = Window();
  list_ = Item(IDC_LIST_MESSAGES);
  folderList_ = Item(IDC_LIST_FOLDERS);
  viewer_ = Item(IDC_LIST_VIEWER);
  if (toolbarTheme_) CloseThemeData(toolbarTheme_);
  toolbarTheme_ = OpenThemeData(w, L"Toolbar");

  image::Picture folderPics[9];
  for (int i = 0; i < 9; ++i) image::LoadPngResource(DllModule(), MAKEINTRESOURCEW(IDP_FOLDER_FIRST + i), folderPics[i]);
  SendMessageW(folderList_, FLM_SETPICTURES, 9, reinterpret_cast<LPARAM>(folderPics));
  for (int i = 0; i < 6; ++i) rowPictures_[i].LoadPng(DllModule(), IDP_ROW_NEW + i);

  vert_ = ClampSplit(layout_.vert, 0.2);
  horz_ = ClampSplit(layout_.horz, 0.5);
  CreateToolbar();

  status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, w,
                            reinterpret_cast<HMENU>(IDC_LIST_STATUS), DllModule(), nullptr);

  rowImages_ = ImageList_LoadImageW(DllModule(), MAKEINTRESOURCEW(IDB_SORT_MARKS), 15, 0, RGB(255, 0, 255),
                                    IMAGE_BITMAP, LR_CREATEDIBSECTION);
  spareImages_ = ImageList_Create(15, 14, ILC_COLOR24 | ILC_MASK, 4, 0);
  SendMessageW(w, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));
  SendMessageW(w, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.Get()));
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_INFOTIP |
                                               LVS_EX_DOUBLEBUFFER);
  ListView_SetImageList(list_, rowImages_, LVSIL_SMALL);
  SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(rowFont_.Get()), FALSE);
  struct ColumnDef {
    UINT text;
    int width;
    int format;
  };
  static const ColumnDef cols[6] = {{0, 25, LVCFMT_LEFT | LVCFMT_BITMAP_ON_RIGHT},
                                    {IDS_COL_FROM, 150, LVCFMT_LEFT | LVCFMT_BITMAP_ON_RIGHT},
                                    {IDS_COL_SUBJECT, 250, LVCFMT_LEFT | LVCFMT_BITMAP_ON_RIGHT},
                                    {IDS_COL_DATE, 100, LVCFMT_LEFT | LVCFMT_BITMAP_ON_RIGHT},
                                    {IDS_COL_SIZE, 100, LVCFMT_RIGHT | LVCFMT_BITMAP_ON_RIGHT},
                                    {IDS_COL_CONDITION, 150, LVCFMT_LEFT | LVCFMT_BITMAP_ON_RIGHT}};
  HWND header = ListView_GetHeader(list_);
  Header_SetImageList(header, rowImages_);
  for (int i = 0; i < 6; ++i) {
    std::wstring text = cols[i].text ? LoadStr(cols[i].text) : L"";
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    c.fmt = cols[i].format & ~LVCFMT_BITMAP_ON_RIGHT;
    c.cx = ToScreen(cols[i].width);
    c.pszText = text.data();
    c.iSubItem = i;
    ListView_InsertColumn(list_, i, &c);
  }
  int order[6];
  for (int i = 0; i < 6; ++i) {
    order[i] = layout_.columns[i].order > 5 ? i : layout_.columns[i].order;
    if (layout_.columns[i].width > 0 && layout_.columns[i].width < 10000)
      ListView_SetColumnWidth(list_, i, ToScreen(layout_.columns[i].width));
  }
  if (!IsPermutation(order))
    for (int i = 0; i < 6; ++i) order[i] = i;
  ListView_SetColumnOrderArray(list_, 6, order);
  if (sortType_ != 0) SetSortMark(sortColumn_, sortType_ == 1 ? 1 : 2);

  FillFolders();
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
  ShowWindow(toolbar_, SW_SHOW);
  Layout();
  {
    SharedGuard g(host_.AccountsLock());
    for (const auto& a : host_.Accounts()) a->RequestMissingHeaders(true);
  }
  // The viewer's stored state; a viewer not yet built ignores these.
  SendMessageW(viewer_, kViewSelectTab, static_cast<WPARAM>(layout_.tabIdx), 0);
  int viewerOrder[2] = {layout_.viewerColumns[0].order, layout_.viewerColumns[1].order};
  if (!((viewerOrder[0] == 0 && viewerOrder[1] == 1) || (viewerOrder[0] == 1 && viewerOrder[1] == 0))) {
    viewerOrder[0] = 0;
    viewerOrder[1] = 1;
  }
  SendMessageW(viewer_, kViewSetColumnOrder, 2, reinterpret_cast<LPARAM>(viewerOrder));
  int32_t widths[2] = {ToScreen(layout_.viewerColumns[0].width), ToScreen(layout_.viewerColumns[1].width)};
  SendMessageW(viewer_, kViewSetColumnWidths, 0, reinterpret_cast<LPARAM>(widths));
  std::vector<wchar_t*> items;
  for (auto& f : layout_.fields) items.push_back(f.data());
  ViewerStringList fields{static_cast<int>(items.size()), items.data()};
  SendMessageW(viewer_, kViewSetFields, 0, reinterpret_cast<LPARAM>(&fields));
  SendMessageW(viewer_, kViewSetSettings, 0, reinterpret_cast<LPARAM>(&layout_.viewer));
  RestoreToolbar();
}

void MessagesListWindow::StoreLayout() {
  HWND w = Window();
  ListLayout& l = layout_;
  l.vert = vert_;
  l.horz = horz_;
  int order[6] = {0, 1, 2, 3, 4, 5};
  ListView_GetColumnOrderArray(list_, 6, order);
  for (int i = 0; i < 6; ++i) {
    l.columns[i].order = order[i];
    l.columns[i].width = ToStored(ListView_GetColumnWidth(list_, i));
  }
  WINDOWPLACEMENT wp = {sizeof(wp)};
  GetWindowPlacement(w, &wp);
  RECT r = wp.rcNormalPosition;
  // The normal position is in work-area coordinates: shift it to the screen.
  MONITORINFO mi = {sizeof(mi)};
  if (GetMonitorInfoW(MonitorFromWindow(w, MONITOR_DEFAULTTONEAREST), &mi))
    OffsetRect(&r, mi.rcWork.left - mi.rcMonitor.left, mi.rcWork.top - mi.rcMonitor.top);
  l.rect = r;
  l.tabIdx = static_cast<int32_t>(SendMessageW(viewer_, kViewGetTab, 0, 0));
  int viewerOrder[2] = {0, 1};
  if (SendMessageW(viewer_, kViewGetColumnOrder, 2, reinterpret_cast<LPARAM>(viewerOrder))) {
    l.viewerColumns[0].order = viewerOrder[0];
    l.viewerColumns[1].order = viewerOrder[1];
  }
  int widths[2] = {0, 0};
  if (SendMessageW(viewer_, kViewGetColumnWidths, 0, reinterpret_cast<LPARAM>(widths)) && widths[0] > 0) {
    l.viewerColumns[0].width = ToStored(widths[0]);
    l.viewerColumns[1].width = ToStored(widths[1]);
  }
  ViewerStringList fields;
  if (SendMessageW(viewer_, kViewGetFields, 0, reinterpret_cast<LPARAM>(&fields)) && fields.items) {
    l.fields.clear();
    for (int i = 0; i < fields.count; ++i) l.fields.push_back(fields.items[i]);
  }
  FreeViewerStrings(fields);
  ViewSettingsBlock block;
  if (SendMessageW(viewer_, kViewGetSettings, 0, reinterpret_cast<LPARAM>(&block))) l.viewer = block;
  {
    SharedGuard g(host_.AccountsLock());
    for (const auto& a : host_.Accounts()) a->RequestAllHeaders();
  }
  l.selectedFolder = SelectedFolder();
  l.sortColumn = sortColumn_;
  l.sortType = sortType_;
  host_.WriteLayout(l);
}

void MessagesListWindow::Close(bool tellHost) {
  if (closing_ || !Window()) return;
  closing_ = true;
  StoreLayout();
  // While the plug-in goes, its host thread waits for this one: no call
  // into the host then.
  if (tellHost) host_.SettingsChanged();
  HWND w = Window();
  SendMessageW(viewer_, kViewShowMessage, 0, 0);
  DestroyWindow(w);
}

int MessagesListWindow::SelectedFolder() const {
  return folderList_ ? static_cast<int>(SendMessageW(folderList_, FLM_GETSEL, 0, 0)) : selectedFolder_;
}

const MessagesListWindow::Folder& MessagesListWindow::FolderAt(int index) const {
  static const Folder all;
  if (index < 0 || static_cast<size_t>(index) >= folders_.size()) return folders_.empty() ? all : folders_[0];
  return folders_[static_cast<size_t>(index)];
}

MailAccount* MessagesListWindow::FolderAccount() const { return FolderAt(SelectedFolder()).account.Get(); }

void MessagesListWindow::FillFolders() {
  // Selection changes while the folders are rebuilt are not acted on.
  filling_ = true;
  SendMessageW(folderList_, FLM_CLEAR, 0, 0);
  folders_.clear();
  const int keep = selectedFolder_;
  auto add = [&](Folder f, const std::wstring& text, int indent, int picture) {
    FolderEntry e{static_cast<uint32_t>(folders_.size()), text.c_str(), 0, indent, picture};
    folders_.push_back(std::move(f));
    SendMessageW(folderList_, FLM_ADD, 0, reinterpret_cast<LPARAM>(&e));
  };
  add(Folder{}, LoadStr(IDS_FOLDER_ACCOUNTS), 0, 0);
  {
    SharedGuard g(host_.AccountsLock());
    for (const auto& a : host_.Accounts()) {
      Folder f;
      f.account = a;
      add(std::move(f), a->settings.accountName, 1, 1);
      a->RequestAllHeaders();
    }
  }
  static const struct {
    MessageType type;
    UINT text;
    int picture;
  } types[4] = {{MessageType::Normal, IDS_FOLDER_NORMAL, 5},
                {MessageType::Approved, IDS_FOLDER_APPROVED, 6},
                {MessageType::Spam, IDS_FOLDER_SPAM, 7},
                {MessageType::Dangerous, IDS_FOLDER_DANGEROUS, 8}};
  for (const auto& t : types) {
    Folder f;
    f.typeFilter = static_cast<int32_t>(t.type);
    add(std::move(f), LoadStr(t.text), 0, t.picture);
  }
  const int sel = keep >= 0 && static_cast<size_t>(keep) < folders_.size() ? keep : 0;
  SendMessageW(folderList_, FLM_SELECT, static_cast<WPARAM>(sel), 0);
  filling_ = false;
  FolderChanged();
  UpdateFolderLabels(nullptr);
}

void MessagesListWindow::UpdateFolderLabels(MailAccount* named) {
  UpdateFolderLabels(std::vector<MailAccount*>{named});
}

void MessagesListWindow::UpdateFolderLabels(const std::vector<MailAccount*>& named) {
  labelsAt_ = GetTickCount64();
  struct Count {
    int32_t total = 0, unread = 0;
  };
  std::vector<Count> counts(folders_.size());
  {
    SharedGuard g(host_.AccountsLock());
    for (const auto& a : host_.Accounts()) {
      // Each message is counted once by type and state; the folders add up
      // the classes they show.
      int32_t byClass[5][2] = {};
      {
        SharedGuard m(a->MessageLock());
        for (const auto& msg : a->Messages()) {
          const auto type = static_cast<uint32_t>(msg->Type());
          if (type < 5) ++byClass[type][msg->HasState(MessageState::New) ? 1 : 0];
        }
      }
      for (size_t i = 0; i < folders_.size(); ++i) {
        const Folder& f = folders_[i];
        if (f.account && f.account.Get() != a.Get()) continue;
        for (int t = 0; t < 5; ++t) {
          if (f.typeFilter != -1 && f.typeFilter != t) continue;
          counts[i].total += byClass[t][0] + byClass[t][1];
          counts[i].unread += byClass[t][1];
        }
      }
    }
  }
  for (size_t i = 0; i < folders_.size(); ++i) {
    Folder& f = folders_[i];
    if (counts[i].total == f.total && counts[i].unread == f.unread &&
        (!f.account || std::find(named.begin(), named.end(), f.account.Get()) == named.end()))
      continue;
    f.total = counts[i].total;
    f.unread = counts[i].unread;
    SendMessageW(folderList_, FLM_SETUNREAD, i, f.unread);
    std::wstring name;
    int picture = 0;
    if (i == 0) {
      name = LoadStr(IDS_FOLDER_ACCOUNTS);
    } else if (f.account) {
      name = f.account->settings.accountName;
      const AccountStatus s = f.account->GetStatus();
      const uint32_t code = f.account->statusCode;
      picture = s == AccountStatus::Error ? 2 : s == AccountStatus::Suspended ? 3 : (code == 0 || code == 8) ? 1 : 4;
    } else {
      static const UINT names[5] = {IDS_FOLDER_NORMAL, IDS_FOLDER_SPAM, IDS_FOLDER_DANGEROUS, IDS_FOLDER_APPROVED, 0};
      static const int pictures[5] = {5, 7, 8, 6, 0};
      name = LoadStr(names[f.typeFilter & 3]);
      picture = pictures[f.typeFilter & 3];
    }
    wchar_t text[1024];
    if (f.unread > 0) swprintf(text, 1024, L"%ls %d (%d)", name.c_str(), f.unread, f.total);
    else if (f.total > 0) swprintf(text, 1024, L"%ls (%d)", name.c_str(), f.total);
    else lstrcpynW(text, name.c_str(), 1024);
    SendMessageW(folderList_, FLM_SETTEXT, i, reinterpret_cast<LPARAM>(text));
    SendMessageW(folderList_, FLM_SETPICTURE, i, picture);
  }
}

void MessagesListWindow::ShowStatus(MailAccount& account, uint32_t code, uint32_t arg) {
  if (code == 0 || code == 1 || code == 8) {
    UpdateFolderLabels(&account);
    Schedule(kFlushToolbar);
  }
  if (&account != FolderAccount()) return;
  const AccountStatus s = account.GetStatus();
  wchar_t text[1024] = L"";
  if ((code == 0 || code == 8) && s == AccountStatus::WaitingForConnection) {
    lstrcpynW(text, LoadStr(IDS_STATUS_WAITING).c_str(), 1024);
  } else if ((code == 0 || code == 8) && s == AccountStatus::Suspended) {
    lstrcpynW(text, LoadStr(IDS_STATUS_SUSPENDED).c_str(), 1024);
  } else {
    switch (code) {
      case 0: lstrcpynW(text, LoadStr(IDS_STATUS_READY).c_str(), 1024); break;
      case 1: lstrcpynW(text, LoadStr(IDS_STATUS_CONNECTING).c_str(), 1024); break;
      case 2: lstrcpynW(text, LoadStr(IDS_STATUS_AUTHORIZING).c_str(), 1024); break;
      case 3: lstrcpynW(text, LoadStr(IDS_STATUS_LISTING).c_str(), 1024); break;
      case 4: swprintf(text, 1024, LoadStr(IDS_STATUS_HEADER).c_str(), static_cast<unsigned long>(arg),
                       static_cast<unsigned long>(account.MessageCount())); break;
      case 5: swprintf(text, 1024, LoadStr(IDS_STATUS_DELETING).c_str(), static_cast<long>(arg)); break;
      case 6: lstrcpynW(text, LoadStr(IDS_STATUS_DISCONNECTING).c_str(), 1024); break;
      case 7: swprintf(text, 1024, LoadStr(IDS_STATUS_MESSAGE).c_str(), static_cast<unsigned long>(arg)); break;
      case 8: lstrcpynW(text, (LoadStr(IDS_STATUS_ERROR) + account.ErrorText()).c_str(), 1024); break;
      default: break;
    }
  }
  SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
}

void MessagesListWindow::ShowCountdown(MailAccount& account) {
  MailAccount* selected = FolderAccount();
  wchar_t text[32] = L"--:--";
  if (selected == &account) {
    const int32_t s = account.secondsToNext;
    if (s >= 0) swprintf(text, 32, L"%d:%02d", s / 60, s % 60);
  } else if (selected) {
    return;
  }
  SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text));
}

void MessagesListWindow::FolderChanged() {
  const int sel = SelectedFolder();
  MailAccount* account = FolderAt(sel).account.Get();
  if (account) {
    ShowStatus(*account, account->statusCode, account->statusArg);
    ShowCountdown(*account);
  } else {
    SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
    SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"--:--"));
  }
  FillList(sel);
  UpdateToolbar();
  if (account) SendMessageW(viewer_, kViewLogFill, 0, reinterpret_cast<LPARAM>(account));
  else SendMessageW(viewer_, kViewLogClear, 0, 0);
}

void MessagesListWindow::Layout() {
  HWND w = Window();
  if (!list_ || !status_) return;
  SendMessageW(status_, WM_SIZE, 0, 0);
  RECT c;
  GetClientRect(w, &c);
  RECT tb = {0, 0, 0, 0};
  if (GetWindowLongW(toolbar_, GWL_STYLE) & WS_VISIBLE) GetWindowRect(toolbar_, &tb);
  MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&tb), 2);
  const int top = tb.bottom;
  RECT sb;
  GetWindowRect(status_, &sb);
  const int statusHeight = sb.bottom - sb.top;
  const int splitX = static_cast<int>(c.left + 5 + (c.right - c.left - 10) * vert_ - 2);
  const int splitY = static_cast<int>(top + 1 + (c.bottom - top - 10) * horz_ - 2);
  HDWP d = BeginDeferWindowPos(3);
  d = DeferWindowPos(d, folderList_, nullptr, c.left + 5, top + 1, splitX - c.left - 5, splitY - top - 1,
                     SWP_NOZORDER | SWP_NOACTIVATE);
  d = DeferWindowPos(d, list_, nullptr, splitX + 5, top + 1, c.right - 5 - splitX - 5, splitY - top - 1,
                     SWP_NOZORDER | SWP_NOACTIVATE);
  d = DeferWindowPos(d, viewer_, nullptr, c.left + 5, splitY + 4, c.right - 5 - c.left - 5,
                     std::max<int>(0, c.bottom - statusHeight - 5 - splitY - 4), SWP_NOZORDER | SWP_NOACTIVATE);
  EndDeferWindowPos(d);
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
  HDC dc = GetDC(w);
  SIZE sz = {0, 0};
  GetTextExtentPoint32W(dc, L"000:00", 6, &sz);
  ReleaseDC(w, dc);
  int parts[2] = {c.right - c.left - sz.cx - 10, -1};
  SendMessageW(status_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
}

bool MessagesListWindow::SplitterHit(POINT pt, int& mode) const {
  HWND w = Window();
  RECT f, l, v;
  GetWindowRect(folderList_, &f);
  GetWindowRect(list_, &l);
  GetWindowRect(viewer_, &v);
  MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&f), 2);
  MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&l), 2);
  MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&v), 2);
  if (pt.x > f.right && pt.x < l.left && pt.y >= l.top && pt.y <= l.bottom) {
    mode = 1;
    return true;
  }
  if (pt.y > l.bottom && pt.y < v.top && pt.x >= v.left && pt.x <= v.right) {
    mode = 2;
    return true;
  }
  return false;
}

void MessagesListWindow::Schedule(uint32_t what) {
  pending_ |= what;
  if (!flushPosted_ && Window()) {
    flushPosted_ = true;
    PostMessageW(Window(), kFlushMessage, 0, 0);
  }
}

// Notifications come in bursts (a check reports every header): the
// re-sort, the folder counts and the toolbar state are brought up to date
// once after the burst rather than once per notification.
void MessagesListWindow::Flush() {
  flushPosted_ = false;
  ApplyRemovals();
  const uint32_t what = std::exchange(pending_, 0);
  if (what & kFlushSort) ResortChanged();
  if (what & kFlushLabels) LabelsLater();
  if (what & kFlushToolbar) UpdateToolbar();
}

// Counting the labels walks every message of every account: during a run
// of notifications it is done at most every 100 ms, a timer doing the last
// one. An account named by a notification is written at once.
void MessagesListWindow::LabelsLater() {
  constexpr ULONGLONG kEvery = 100;
  const ULONGLONG now = GetTickCount64();
  if (labelAccounts_.empty() && now - labelsAt_ < kEvery) {
    if (!labelsTimer_ && Window())
      labelsTimer_ = SetTimer(Window(), kLabelsTimer, static_cast<UINT>(kEvery - (now - labelsAt_)), nullptr) != 0;
    if (labelsTimer_) return;
  }
  std::vector<RefPtr<MailAccount>> named;
  named.swap(labelAccounts_);
  std::vector<MailAccount*> names{nullptr};
  for (const auto& a : named) names.push_back(a.Get());
  UpdateFolderLabels(names);
}

void MessagesListWindow::Notification(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER && wParam == kMessageRemoved) {
    RefPtr<MailMessage> m = RefPtr<MailMessage>::Adopt(reinterpret_cast<MailMessage*>(lParam));
    if (m) removals_.push_back(std::move(m));
    Schedule(kFlushLabels);
    return;
  }
  ApplyRemovals();
  if (message == kListMessageAdded) {
    RefPtr<MailAccount> account = RefPtr<MailAccount>::Adopt(reinterpret_cast<MailAccount*>(wParam));
    RefPtr<MailMessage> m = RefPtr<MailMessage>::Adopt(reinterpret_cast<MailMessage*>(lParam));
    if (!account || !m) return;
    const Folder& f = FolderAt(SelectedFolder());
    if (f.account && f.account.Get() != account.Get()) return;
    if (RefreshRow(*m, true, -1)) return;
    if (f.typeFilter != -1 && f.typeFilter != static_cast<int32_t>(m->Type())) return;
    AddRow(*m, *account);
    SyncItemCount();
    ResortLater(*m);
    Schedule(kFlushLabels);
    return;
  }
  if (message >= kListStatusFirst && message <= kListStatusFirst + 8) {
    RefPtr<MailAccount> account = RefPtr<MailAccount>::Adopt(reinterpret_cast<MailAccount*>(wParam));
    if (account) ShowStatus(*account, message - kListStatusFirst, static_cast<uint32_t>(lParam));
    return;
  }
  switch (wParam) {
    case kMessageUpdated:
    case kMessageRead: {
      RefPtr<MailMessage> m = RefPtr<MailMessage>::Adopt(reinterpret_cast<MailMessage*>(lParam));
      if (m) RefreshRow(*m, true, -1);
      break;
    }
    case kAccountUpdated: {
      RefPtr<MailAccount> a = RefPtr<MailAccount>::Adopt(reinterpret_cast<MailAccount*>(lParam));
      if (a) labelAccounts_.push_back(a);
      Schedule(kFlushLabels | kFlushToolbar);
      break;
    }
    case kCountdownTick: {
      RefPtr<MailAccount> a = RefPtr<MailAccount>::Adopt(reinterpret_cast<MailAccount*>(lParam));
      if (a) ShowCountdown(*a);
      break;
    }
    case kFiltersReapplied:
      // Every row may have changed type, colour or text.
      {
        const Folder& f = FolderAt(SelectedFolder());
        std::vector<MailMessage*> gone;
        for (size_t i = 0; i < rows_.Size(); ++i) {
          ListRowRef& r = rows_.At(i);
          r.refreshed = true;
          if (f.typeFilter != -1 && f.typeFilter != static_cast<int32_t>(r.message->Type())) gone.push_back(r.message.Get());
        }
        RemoveRows(gone);
        rows_.RecountAll();
      }
      InvalidateRect(list_, nullptr, FALSE);
      ShowFocused();
      fullSort_ = sortType_ != 0;
      Schedule(kFlushLabels | kFlushToolbar | (sortType_ != 0 ? uint32_t(kFlushSort) : 0u));
      break;
    case kEventLogged:
    case kEventLogCleared: {
      RefPtr<MailAccount> a = RefPtr<MailAccount>::Adopt(reinterpret_cast<MailAccount*>(lParam));
      if (a && a.Get() == FolderAccount())
        SendMessageW(viewer_, wParam == kEventLogged ? kViewLogAppend : kViewLogClear, 0,
                     reinterpret_cast<LPARAM>(a.Get()));
      break;
    }
    case kAccountsChanged:
      selectedFolder_ = SelectedFolder();
      FillFolders();
      break;
    default: break;
  }
}

LRESULT MessagesListWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  HWND w = Window();
  if (message == WM_USER || message == kListMessageAdded ||
      (message >= kListStatusFirst && message <= kListStatusFirst + 8)) {
    handled = true;
    Notification(message, wParam, lParam);
    return 0;
  }
  switch (message) {
    case kFlushMessage:
      handled = true;
      Flush();
      return 0;
    case WM_TIMER:
      if (wParam == kLabelsTimer) {
        handled = true;
        KillTimer(w, kLabelsTimer);
        labelsTimer_ = false;
        LabelsLater();
      }
      return 0;
    case kListCloseRequest:
    case WM_CLOSE:
      handled = true;
      Close(message == WM_CLOSE);
      return 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* mm = reinterpret_cast<MINMAXINFO*>(lParam);
      mm->ptMinTrackSize = {320, 240};
      handled = true;
      return 0;
    }
    case WM_SETCURSOR: {
      POINT pt;
      GetCursorPos(&pt);
      ScreenToClient(w, &pt);
      int mode = dragMode_;
      if (mode || SplitterHit(pt, mode)) {
        SetCursor(LoadCursorW(nullptr, mode == 1 ? IDC_SIZEWE : IDC_SIZENS));
        handled = true;
        return TRUE;
      }
      return 0;
    }
    case WM_LBUTTONDOWN: {
      POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      int mode = 0;
      if (SplitterHit(pt, mode)) {
        dragMode_ = mode;
        SetCapture(w);
        handled = true;
      }
      return 0;
    }
    case WM_MOUSEMOVE:
      if (dragMode_) {
        RECT c;
        GetClientRect(w, &c);
        if (dragMode_ == 1 && c.right > 0) vert_ = ClampSplit(double(GET_X_LPARAM(lParam)) / c.right, 0.2);
        if (dragMode_ == 2 && c.bottom > 0) horz_ = ClampSplit(double(GET_Y_LPARAM(lParam)) / c.bottom, 0.5);
        Layout();
        handled = true;
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (dragMode_) {
        dragMode_ = 0;
        if (message == WM_LBUTTONUP) ReleaseCapture();
        handled = true;
      }
      return 0;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) == list_) {
        handled = true;
        ListCommands(*this).RowMenu();
      }
      return 0;
    case WM_DESTROY:
      // Queued notifications die with the window: release what they carry.
      for (MSG m; PeekMessageW(&m, w, WM_USER, kListStatusFirst + 8, PM_REMOVE);) ReleaseQueued(m);
      ListView_SetItemCountEx(list_, 0, LVSICF_NOSCROLL);
      SendMessageW(viewer_, kViewShowMessage, 0, 0);
      if (labelsTimer_) KillTimer(w, kLabelsTimer);
      labelsTimer_ = false;
      removals_.clear();
      resort_.clear();
      rows_.Clear();
      labelAccounts_.clear();
      folders_.clear();
      if (toolbarTheme_) CloseThemeData(toolbarTheme_);
      toolbarTheme_ = nullptr;
      if (rowImages_) ImageList_Destroy(rowImages_);
      if (spareImages_) ImageList_Destroy(spareImages_);
      rowImages_ = spareImages_ = nullptr;
      for (auto& p : toolbarPictures_) p = PictureBitmap();
      for (auto& p : greyPictures_) p = PictureBitmap();
      toolbarStrip_.Reset();
      list_ = folderList_ = viewer_ = toolbar_ = status_ = nullptr;
      return 0;
    case WM_NCDESTROY:
      host_.WindowClosed();
      return 0;
    default: return 0;
  }
}

}  // namespace pw::ui
