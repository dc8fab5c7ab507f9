// The options sheet from the keyboard alone, with real key input.
#include <gtest/gtest.h>

#include <cwctype>
#include <vector>

#include "ui/OptionsData.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

void Keys(std::initializer_list<std::pair<WORD, bool>> keys) {
  std::vector<INPUT> in;
  for (auto [vk, up] : keys) {
    INPUT i = {};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = vk;
    i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    in.push_back(i);
  }
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

TEST(Keyboard, MnemonicsCtrlTabAndEnterWorkWithoutAMouse) {
  pw::ui::OptionsData data;
  data.markReadOnRun = 1;
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    SetForegroundWindow(frame);
    d.WaitFor([&] { return GetForegroundWindow() == frame; });
    // Alt+M: "Mark all messages as Read on running mail reader".
    Keys({{VK_MENU, false}, {'M', false}, {'M', true}, {VK_MENU, true}});
    EXPECT_TRUE(d.WaitFor([&] { return !d.IsChecked(frame, IDC_OPT_MARKREAD); }));
    // Ctrl+Tab: the next page.
    Keys({{VK_CONTROL, false}, {VK_TAB, false}, {VK_TAB, true}, {VK_CONTROL, true}});
    EXPECT_TRUE(d.WaitFor([&] { return d.Text(frame, IDC_FRAME_LABEL) == L"Mail accounts"; }));
    // Enter: OK.
    Keys({{VK_RETURN, false}, {VK_RETURN, true}});
    d.WaitGone(frame);
  });
  EXPECT_TRUE(pw::ui::ShowOptionsSheet(nullptr, nullptr, data));
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_EQ(data.markReadOnRun, 0);
}

TEST(Keyboard, EscapeCancels) {
  pw::ui::OptionsData data;
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    SetForegroundWindow(frame);
    d.WaitFor([&] { return GetForegroundWindow() == frame; });
    // From inside a page: Alt+R puts the focus in the mail reader's edit.
    Keys({{VK_MENU, false}, {'R', false}, {'R', true}, {VK_MENU, true}});
    HWND reader = d.Control(frame, IDC_OPT_READER);
    EXPECT_TRUE(d.WaitFor([&] {
      GUITHREADINFO gi = {sizeof(gi)};
      GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &gi);
      return gi.hwndFocus == reader;
    }));
    Keys({{'X', false}, {'X', true}});  // typed, then thrown away
    Keys({{VK_ESCAPE, false}, {VK_ESCAPE, true}});
    d.WaitGone(frame);
  });
  EXPECT_FALSE(pw::ui::ShowOptionsSheet(nullptr, nullptr, data));
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_STREQ(data.reader, L"");
}

}  // namespace

namespace {

// The sheet's controls come from common controls 6 (the plug-in's
// manifest), whatever the host process asked for: its buttons' window
// procedure lives in comctl32, not in user32.
TEST(ActivationContext, SheetControlsAreCommonControlsSix) {
  pw::ui::OptionsData data;
  std::wstring module;
  UiDriver d([&](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    HWND ok = d.Control(frame, IDOK);
    auto proc = reinterpret_cast<const void*>(GetClassLongPtrW(ok, GCLP_WNDPROC));
    HMODULE m = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(proc), &m);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(m, path, MAX_PATH);
    module = path;
    d.PressCancel(frame);
    d.WaitGone(frame);
  });
  pw::ui::ShowOptionsSheet(nullptr, nullptr, data);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  std::wstring lower = module;
  for (auto& c : lower) c = static_cast<wchar_t>(towlower(c));
  EXPECT_NE(lower.find(L"comctl32"), std::wstring::npos) << std::string(module.begin(), module.end());
  // Outside the plug-in's context (the test program has no manifest) a
  // button is the old one: the check above tells the two apart.
  HWND plain = CreateWindowExW(0, L"BUTTON", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  auto proc = reinterpret_cast<const void*>(GetClassLongPtrW(plain, GCLP_WNDPROC));
  HMODULE m = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCWSTR>(proc), &m);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(m, path, MAX_PATH);
  DestroyWindow(plain);
  std::wstring other = path;
  for (auto& c : other) c = static_cast<wchar_t>(towlower(c));
  EXPECT_EQ(other.find(L"comctl32"), std::wstring::npos) << std::string(other.begin(), other.end());
}

}  // namespace

namespace {

HWND FocusOf(HWND window) {
  GUITHREADINFO gi = {sizeof(gi)};
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gi);
  return gi.hwndFocus;
}

// A hotkey typed into the field is kept; plain Tab and Enter still move on
// and confirm, so the field never traps the keyboard.
TEST(Keyboard, HotkeyFieldRecordsCtrlQAndLetsTabAndEnterThrough) {
  pw::ui::OptionsData data;
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    SetForegroundWindow(frame);
    d.WaitFor([&] { return GetForegroundWindow() == frame; });
    HWND list = d.Control(frame, IDC_OPT_LIST_HOTKEY), reader = d.Control(frame, IDC_OPT_READER_HOTKEY);
    Keys({{VK_MENU, false}, {'I', false}, {'I', true}, {VK_MENU, true}});
    EXPECT_TRUE(d.WaitFor([&] { return FocusOf(frame) == list; }));
    Keys({{VK_CONTROL, false}, {'Q', false}, {'Q', true}, {VK_CONTROL, true}});
    Keys({{VK_TAB, false}, {VK_TAB, true}});
    EXPECT_TRUE(d.WaitFor([&] { return FocusOf(frame) == reader; }));
    Keys({{VK_RETURN, false}, {VK_RETURN, true}});
    d.WaitGone(frame);
  });
  EXPECT_TRUE(pw::ui::ShowOptionsSheet(nullptr, nullptr, data));
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_EQ(data.listHotkey, 0x0200 | 'Q');
  EXPECT_EQ(data.readerHotkey, 0);
}

}  // namespace
