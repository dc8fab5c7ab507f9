// The plug-in's own controls, placed in a plain window and fed the input a
// user would give them.
#include <windows.h>
#include <gtest/gtest.h>

#include <vector>

#include "ui/ColorButton.h"
#include "ui/FolderList.h"
#include "ui/HotkeyField.h"
#include "ui/WebLink.h"
#include "ui/support/Screenshot.h"

namespace {

// A visible top-level window that records its children's notifications.
class Host {
 public:
  Host() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"pwtest.ControlHost";
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    RegisterClassW(&wc);
    window_ = CreateWindowExW(0, wc.lpszClassName, L"controls", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 420, 320,
                              nullptr, nullptr, wc.hInstance, this);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  }
  ~Host() { DestroyWindow(window_); }
  HWND Add(const wchar_t* cls, const wchar_t* text, int id, int x, int y, int w, int h, DWORD style = 0) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, window_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  }
  HWND Window() const { return window_; }
  std::vector<std::pair<int, int>> notes;  // (id, code)

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Host*>(GetWindowLongPtrW(w, GWLP_USERDATA));
    if (m == WM_COMMAND && self && lp) self->notes.push_back({LOWORD(wp), HIWORD(wp)});
    if (m == WM_GETFONT) return reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT));
    return DefWindowProcW(w, m, wp, lp);
  }
  HWND window_;
};

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

LPARAM KeyData(UINT vk, bool up) {
  LPARAM scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  return 1 | (scan << 16) | (up ? (3u << 30) : 0);
}

std::wstring FieldText(HWND hk) {
  return pw::ui::HotkeyText(static_cast<WORD>(SendMessageW(hk, pw::ui::HKM_GETVALUE, 0, 0)));
}

TEST(HotkeyField, KeySequencesBuildAndRestartCombinations) {
  Host host;
  HWND hk = host.Add(pw::ui::kHotkeyClass, L"", 1, 10, 10, 200, 22);
  EXPECT_EQ(FieldText(hk), L"None");
  SendMessageW(hk, WM_KEYDOWN, VK_CONTROL, KeyData(VK_CONTROL, false));
  EXPECT_EQ(FieldText(hk), L"Ctrl + ");
  SendMessageW(hk, WM_KEYDOWN, 'Q', KeyData('Q', false));
  SendMessageW(hk, WM_KEYUP, 'Q', KeyData('Q', true));
  SendMessageW(hk, WM_KEYUP, VK_CONTROL, KeyData(VK_CONTROL, true));
  EXPECT_EQ(SendMessageW(hk, pw::ui::HKM_GETVALUE, 0, 0), 0x0200 | 'Q');
  EXPECT_EQ(FieldText(hk), L"Ctrl + Q");
  // A modifier after a finished combination starts over.
  SendMessageW(hk, WM_KEYDOWN, VK_SHIFT, KeyData(VK_SHIFT, false));
  EXPECT_EQ(FieldText(hk), L"Shift + ");
  // Released before a key: the modifier goes again.
  SendMessageW(hk, WM_KEYUP, VK_SHIFT, KeyData(VK_SHIFT, true));
  EXPECT_EQ(SendMessageW(hk, pw::ui::HKM_GETVALUE, 0, 0), 0);
  // Alt arrives as a system key; the Windows key has its own bit.
  SendMessageW(hk, WM_SYSKEYDOWN, VK_MENU, KeyData(VK_MENU, false));
  SendMessageW(hk, WM_KEYDOWN, VK_LWIN, KeyData(VK_LWIN, false) | (1 << 24));
  SendMessageW(hk, WM_SYSKEYDOWN, VK_HOME, KeyData(VK_HOME, false) | (1 << 24));
  EXPECT_EQ(SendMessageW(hk, pw::ui::HKM_GETVALUE, 0, 0), ((0x04 | 0x20 | 0x08) << 8) | VK_HOME);
  EXPECT_EQ(FieldText(hk).rfind(L"Alt + Win + ", 0), 0u);
  // A key the system cannot name.
  EXPECT_EQ(pw::ui::HotkeyText(0x00FF), L"#255");
  Pump();
  pwtest::Shoot(host.Window(), L"control_hotkey");
}

TEST(WebLink, MarkupGivesTextLinkAndEntities) {
  auto m = pw::ui::ParseLinkMarkup(L"Tom &amp; Jerry&#65;&foo;! <a href=\"https://x.example/\">site</a> end");
  EXPECT_EQ(m.text, L"Tom & JerryA&! site end");
  EXPECT_EQ(m.url, L"https://x.example/");
  EXPECT_EQ(m.text.substr(m.start, m.end - m.start), L"site");
  auto plain = pw::ui::ParseLinkMarkup(L"a <b c &copy; &lt;x&gt; &quot;q&quot;&nbsp;.");
  EXPECT_EQ(plain.text, L"a <b c \u00A9 <x> \"q\" .");
  EXPECT_EQ(plain.end, 0u);
  // Hostile: huge or unterminated entities, a dangling anchor, overlong text.
  auto odd = pw::ui::ParseLinkMarkup(L"&#99999999999; &#; &abcdefghijklmnopqrstuvwxyz; <a href=\"x");
  EXPECT_EQ(odd.text.substr(0, 4), L"& & ");
  EXPECT_EQ(odd.end, 0u);
  std::wstring big(2000, L'x');
  EXPECT_EQ(pw::ui::ParseLinkMarkup(big.c_str()).text.size(), 500u);

  Host host;
  HWND link = host.Add(pw::ui::kWebLinkClass, L"Visit <a href=\"https://x.example/\">our site</a> today", 2, 10, 40,
                       300, 20);
  wchar_t shown[64] = {};
  GetWindowTextW(link, shown, 64);
  EXPECT_STREQ(shown, L"Visit our site today");
  UpdateWindow(link);
  Pump();
  pwtest::Shoot(host.Window(), L"control_weblink");
}

TEST(FolderList, KeyboardScrollingAndNotifications) {
  Host host;
  HWND list = host.Add(pw::ui::kFolderListClass, L"", 3, 10, 10, 200, 100, WS_TABSTOP);
  // Empty: arrows do nothing, no scroll bar.
  SendMessageW(list, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(SendMessageW(list, pw::ui::FLM_GETSEL, 0, 0), -1);
  EXPECT_FALSE(GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL);
  for (int i = 0; i < 50; ++i) {
    std::wstring t = L"Folder " + std::to_wstring(i);
    pw::ui::FolderEntry e = {static_cast<uint32_t>(100 + i), t.c_str(), i % 3, i % 2, -1};
    SendMessageW(list, pw::ui::FLM_ADD, 0, reinterpret_cast<LPARAM>(&e));
  }
  Pump();  // the scroll bar follows once the adds are done
  EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL);
  EXPECT_EQ(SendMessageW(list, pw::ui::FLM_FIND, 0, 142), 42);
  EXPECT_EQ(SendMessageW(list, pw::ui::FLM_FIND, 0, 7), -1);
  host.notes.clear();
  SendMessageW(list, WM_KEYDOWN, VK_UP, 0);  // from no selection: the last row
  EXPECT_EQ(SendMessageW(list, pw::ui::FLM_GETSEL, 0, 0), 49);
  SCROLLINFO si = {sizeof(si), SIF_POS | SIF_PAGE};
  GetScrollInfo(list, SB_VERT, &si);
  EXPECT_EQ(si.nPos + static_cast<int>(si.nPage), 50);  // scrolled into view
  SendMessageW(list, WM_KEYDOWN, VK_DOWN, 0);  // at the end: nothing
  SendMessageW(list, pw::ui::FLM_SELECT, 49, 0);  // same row: no notification
  EXPECT_EQ(host.notes.size(), 1u);
  SendMessageW(list, WM_VSCROLL, SB_PAGEUP, 0);
  SendMessageW(list, WM_MOUSEWHEEL, MAKEWPARAM(0, -240), 0);
  GetScrollInfo(list, SB_VERT, &si);
  EXPECT_EQ(si.nPos, 50 - static_cast<int>(si.nPage) * 2 + 2);
  // Deleting the selected last row moves the selection and notifies.
  host.notes.clear();
  SendMessageW(list, pw::ui::FLM_DELETE, 49, 0);
  EXPECT_EQ(SendMessageW(list, pw::ui::FLM_GETSEL, 0, 0), 48);
  EXPECT_EQ(host.notes.size(), 1u);
  Pump();
  pwtest::Shoot(host.Window(), L"control_folderlist");
  host.notes.clear();
  SendMessageW(list, pw::ui::FLM_CLEAR, 0, 0);
  ASSERT_EQ(host.notes.size(), 1u);
  EXPECT_EQ(host.notes[0].second, pw::ui::kFolderSelChanged);
  EXPECT_EQ(SendMessageW(list, pw::ui::FLM_GETSEL, 0, 0), -1);
  EXPECT_EQ(SendMessageW(list, pw::ui::FLM_GETTEXT, 3, 0), 0);
}

TEST(ColorPicker, OpensAboveItsButtonNearTheBottomAndReportsTheChoice) {
  RECT work = {0, 0, 1024, 740};
  RECT low = {100, 700, 130, 720}, high = {100, 100, 130, 120};
  EXPECT_EQ(pw::ui::PickerPosition(low, work).y, 700 - pw::ui::kPickerHeight);
  EXPECT_EQ(pw::ui::PickerPosition(high, work).y, 120);
  EXPECT_EQ(pw::ui::PaletteColor(0), RGB(0, 0, 0));
  EXPECT_EQ(pw::ui::PaletteColor(215), RGB(255, 255, 255));
  EXPECT_EQ(pw::ui::PaletteColor(1), RGB(0, 0x33, 0));

  Host host;
  RECT wa;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &wa, 0);
  SetWindowPos(host.Window(), nullptr, 40, wa.bottom - 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  HWND button = host.Add(pw::ui::kColorButtonClass, L"", 4, 10, 10, 24, 24);
  EXPECT_EQ(SendMessageW(button, pw::ui::CBM_GETCOLOR, 0, 0), 0xFF0000);
  SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  HWND picker = FindWindowW(pw::ui::kColorPickerClass, nullptr);
  ASSERT_NE(picker, nullptr);
  RECT pr, br;
  GetWindowRect(picker, &pr);
  GetWindowRect(button, &br);
  EXPECT_EQ(pr.bottom, br.top);
  Pump();
  pwtest::Shoot(picker, L"control_colorpicker");
  // Over the cell at column 2, row 1, then a click there.
  SendMessageW(picker, WM_MOUSEMOVE, 0, MAKELPARAM(1 + 10 * 2 + 5, 20 + 10 * 1 + 5));
  host.notes.clear();
  SendMessageW(picker, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1 + 10 * 2 + 5, 20 + 10 * 1 + 5));
  Pump();
  EXPECT_FALSE(IsWindow(picker));
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(button, pw::ui::CBM_GETCOLOR, 0, 0)), pw::ui::PaletteColor(20));
  ASSERT_EQ(host.notes.size(), 1u);
  EXPECT_EQ(host.notes[0].first, 4);
  // The no-colour box gives -1.
  SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  picker = FindWindowW(pw::ui::kColorPickerClass, nullptr);
  ASSERT_NE(picker, nullptr);
  RECT cr;
  GetClientRect(picker, &cr);
  SendMessageW(picker, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cr.right - 28, 10));
  Pump();
  EXPECT_EQ(SendMessageW(button, pw::ui::CBM_GETCOLOR, 0, 0), -1);  // no colour
  // Escape closes without a choice.
  SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  picker = FindWindowW(pw::ui::kColorPickerClass, nullptr);
  ASSERT_NE(picker, nullptr);
  host.notes.clear();
  SendMessageW(picker, WM_KEYDOWN, VK_ESCAPE, 0);
  Pump();
  EXPECT_FALSE(IsWindow(picker));
  EXPECT_TRUE(host.notes.empty());
  pwtest::Shoot(host.Window(), L"control_colorbutton");
}

}  // namespace
