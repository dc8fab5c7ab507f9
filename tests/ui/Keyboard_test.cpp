// The options sheet from the keyboard alone, with real key input.
#include <gtest/gtest.h>

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
    Keys({{VK_ESCAPE, false}, {VK_ESCAPE, true}});
    d.WaitGone(frame);
  });
  EXPECT_FALSE(pw::ui::ShowOptionsSheet(nullptr, nullptr, data));
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
}

}  // namespace
