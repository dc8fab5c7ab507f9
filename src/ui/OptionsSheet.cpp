#include "ui/OptionsSheet.h"

#include <cwchar>

#include "base/Module.h"
#include "ui/TabSwitcher.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

struct PageRow {
  uint32_t number;  // position number given to the switcher
  UINT title, description, picture;
};

const PageRow kPageRows[OptionsSheet::kPages] = {
    {1, IDS_TAB_OPTIONS, IDS_DESC_OPTIONS, IDP_TAB_OPTIONS},
    {2, IDS_TAB_ACCOUNTS, IDS_DESC_ACCOUNTS, IDP_TAB_ACCOUNTS},
    {6, IDS_TAB_CONNECTION, IDS_DESC_CONNECTION, IDP_TAB_CONNECTION},
    {3, IDS_TAB_FILTERS, IDS_DESC_FILTERS, IDP_TAB_FILTERS},
    {4, IDS_TAB_NOTIFY, IDS_DESC_NOTIFY, IDP_TAB_NOTIFY},
    {5, IDS_TAB_ABOUT, IDS_DESC_ABOUT, IDP_TAB_ABOUT},
};

template <size_t N>
void Terminate(wchar_t (&s)[N]) { s[N - 1] = 0; }

}  // namespace

namespace {

// Ctrl+Tab switches pages, as in the system's property sheets.
HHOOK g_hook = nullptr;
HWND g_frame = nullptr;

LRESULT CALLBACK KeyHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == MSGF_DIALOGBOX && g_frame) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0 &&
        (msg->hwnd == g_frame || IsChild(g_frame, msg->hwnd))) {
      PostMessageW(g_frame, WM_APP + 1, GetKeyState(VK_SHIFT) < 0 ? 1 : 0, 0);
      return 1;
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

class FrameHook {
 public:
  FrameHook() {
    if (!g_hook) g_hook = SetWindowsHookExW(WH_MSGFILTER, KeyHook, nullptr, GetCurrentThreadId());
    owned_ = g_hook != nullptr;
  }
  ~FrameHook() {
    if (owned_ && g_hook) {
      UnhookWindowsHookEx(g_hook);
      g_hook = nullptr;
      g_frame = nullptr;
    }
  }
  FrameHook(const FrameHook&) = delete;
  FrameHook& operator=(const FrameHook&) = delete;

 private:
  bool owned_ = false;
};

}  // namespace

bool SanitizeOptions(OptionsData& d) {
  bool changed = false;
  auto fixTime = [&](int32_t& t) {
    if (t < 0 || t >= 86400) { t = 0; changed = true; }
  };
  fixTime(d.noSoundTime1);
  fixTime(d.noSoundTime2);
  // Known proxy types: 0 none, 1 SOCKS 4, 2 SOCKS 4A, 3 SOCKS 5, 4 HTTP.
  if (d.proxyOptions < 0 || (d.proxyOptions & 0xFF) > 4) { d.proxyOptions = 0; changed = true; }
  if (d.proxyPort < 0 || d.proxyPort > 65535) { d.proxyPort = 0; changed = true; }
  if (d.useIconNotify != 0 && d.useIconNotify != 1) { d.useIconNotify = d.useIconNotify ? 1 : 0; changed = true; }
  Terminate(d.reader); Terminate(d.dateFormat); Terminate(d.proxyServer); Terminate(d.proxyUser);
  Terminate(d.proxyPassword); Terminate(d.filtersLogFile); Terminate(d.smallAnim); Terminate(d.largeAnim);
  Terminate(d.notifyIcon);
  for (AccountSettings& a : d.accounts) {
    Terminate(a.accountName); Terminate(a.sound); Terminate(a.cmdLine); Terminate(a.workDir);
    Terminate(a.inServer); Terminate(a.inUser); Terminate(a.inPassword); Terminate(a.outServer);
    Terminate(a.outUser); Terminate(a.outPassword); Terminate(a.outFrom); Terminate(a.outName);
    if ((a.connection & 15) > 2) { a.connection = 0; changed = true; }
  }
  return changed;
}

OptionsSheet::OptionsSheet(OptionsData& data, HMODULE resources)
    : DialogWindow(IDD_OPTIONS_FRAME), data_(data), resources_(resources) {
  pages_[0] = MakeGeneralPage(data);
  pages_[1] = MakeAccountsPage(data, resources);
  pages_[2] = MakeConnectionPage(data);
  pages_[3] = MakeFiltersPage(data);
  pages_[4] = MakeNotifyPage(data);
  pages_[5] = MakeAboutPage(data);
}

OptionsSheet::~OptionsSheet() {
  if (icon_) DestroyIcon(icon_);
}

void OptionsSheet::OnInitDialog() {
  icon_ = static_cast<HICON>(LoadImageW(DllModule(), MAKEINTRESOURCEW(103), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                        GetSystemMetrics(SM_CYSMICON), 0));
  if (icon_) SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  HWND tabs = Item(IDC_FRAME_TABS);
  for (int i = 0; i < kPages; ++i) {
    const PageRow& row = kPageRows[i];
    std::wstring title = LoadStr(row.title), desc = LoadStr(row.description);
    TabAdd add = {row.number, title.c_str(), desc.c_str(), row.picture, DllModule(), i, 0};
    SendMessageW(tabs, TSM_ADD, 0, reinterpret_cast<LPARAM>(&add));
  }
  g_frame = Window();
  ShowPage(0);
}

void OptionsSheet::ShowPage(int index) {
  if (index < 0 || index >= kPages) return;
  OptionsPageBase* page = pages_[index].get();
  if (!page->Window()) {
    HWND w = page->Create(Window(), resources_);
    if (!w) return;
    RECT place;
    GetWindowRect(Item(IDC_FRAME_PLACE), &place);
    MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&place), 2);
    SetWindowPos(w, Item(IDC_FRAME_PLACE), place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  }
  for (int i = 0; i < kPages; ++i)
    if (pages_[i]->Window()) ShowWindow(pages_[i]->Window(), i == index ? SW_SHOW : SW_HIDE);
  SendDlgItemMessageW(Window(), IDC_FRAME_TABS, TSM_SELECT, index, 0);
  TabRecord rec;
  SendDlgItemMessageW(Window(), IDC_FRAME_TABS, TSM_GETBYINDEX, index, reinterpret_cast<LPARAM>(&rec));
  SetDlgItemTextW(Window(), IDC_FRAME_LABEL, rec.text2);
}

void OptionsSheet::OnCommand(WPARAM wParam) {
  if (LOWORD(wParam) == IDC_FRAME_TABS && HIWORD(wParam) == kTabClicked) {
    int id = static_cast<int>(SendDlgItemMessageW(Window(), IDC_FRAME_TABS, TSM_GETSELECTED, 0, 0));
    for (int i = 0; i < kPages; ++i)
      if (static_cast<int>(kPageRows[i].number) == id) ShowPage(i);
  }
}

LRESULT OptionsSheet::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  // Ctrl+Tab and Ctrl+Shift+Tab reach the frame as a private message
  // posted by the pages' keyboard hook (see ShowOptionsSheet).
  if (message == WM_APP + 1) {
    int id = static_cast<int>(SendDlgItemMessageW(Window(), IDC_FRAME_TABS, TSM_GETSELECTED, 0, 0));
    int cur = 0;
    for (int i = 0; i < kPages; ++i)
      if (static_cast<int>(kPageRows[i].number) == id) cur = i;
    ShowPage((cur + (wParam ? kPages - 1 : 1)) % kPages);
    handled = true;
  }
  return 0;
}

bool OptionsSheet::OnOK() {
  // Pages never opened keep the copy as it was; the first refusal keeps
  // the sheet open on the page that refused.
  for (int i = 0; i < kPages; ++i) {
    if (!pages_[i]->Window()) continue;
    if (!pages_[i]->OnOK()) {
      ShowPage(i);
      return false;
    }
  }
  return true;
}

bool ShowOptionsSheet(HWND owner, HMODULE resources, OptionsData& data) {
  SanitizeOptions(data);
  OptionsData copy = data;
  OptionsSheet sheet(copy, resources);
  FrameHook hook;
  INT_PTR r = sheet.DoModal(owner, resources);
  if (r != 1) return false;
  data = std::move(copy);
  return true;
}

}  // namespace pw::ui
