// The icon pickers, on real files.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include "ui/IconPicker.h"
#include "ui/MessageIconPicker.h"
#include "ui/support/Screenshot.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

std::wstring Source(const wchar_t* rel) {
  std::string s = PW_SOURCE_DIR;
  return std::wstring(s.begin(), s.end()) + L"/" + rel;
}

TEST(MessageIconPicker, ListsThePicturesThatDecodeAndPreselectsTheCurrent) {
  const std::wstring folder = pw::ui::MessageIconPicker::Folder();
  CreateDirectoryW(folder.c_str(), nullptr);
  const wchar_t* names[3] = {L"a_bell.png", L"b_funnel.png", L"c_globe.png"};
  const wchar_t* from[3] = {L"res/art/out/tab_notify.png", L"res/art/out/tab_filters.png",
                            L"res/art/out/tab_connection.png"};
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(CopyFileW(Source(from[i]).c_str(), (folder + L"\\" + names[i]).c_str(), FALSE))
        << GetLastError() << " " << std::string(folder.begin(), folder.end());
  // A file that is not a picture is left out.
  HANDLE junk = CreateFileW((folder + L"\\broken.png").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(junk, "not a png", 9, &written, nullptr);
  CloseHandle(junk);

  pw::ui::MessageIconPicker picker({120, 90}, L"B_FUNNEL.PNG");
  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Message icon");
    if (!w) return;
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 120);
    EXPECT_EQ(r.top, 90);
    HWND list = d.Control(w, IDC_MIP_LIST);
    EXPECT_EQ(d.Send(list, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(d.Send(list, LB_GETCURSEL, 0, 0), 1);
    pwtest::Shoot(w, L"picker_msgicon");
    d.Send(list, LB_SETCURSEL, 2, 0);
    d.PressOk(w);
    d.WaitGone(w);
  });
  EXPECT_EQ(picker.DoModal(nullptr, nullptr), 1);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_EQ(picker.Chosen(), L"c_globe.png");
  for (const wchar_t* n : names) DeleteFileW((folder + L"\\" + n).c_str());
  DeleteFileW((folder + L"\\broken.png").c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST(IconPicker, ListsTheIconsOfAFileAndReturnsTheLocation) {
  wchar_t shell[MAX_PATH] = {};
  GetSystemDirectoryW(shell, MAX_PATH);
  PathAppendW(shell, L"shell32.dll");
  pw::ui::IconPicker picker(std::wstring(shell) + L",2");
  int count = 0;
  UiDriver d([&](UiDriver& d) {
    HWND w = d.WaitDialog(L"Select Icon");
    if (!w) return;
    HWND list = d.Control(w, IDC_ICP_LIST);
    count = static_cast<int>(d.Send(list, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(d.Send(list, LB_GETCURSEL, 0, 0), count > 2 ? 2 : 0);
    d.Click(w, IDC_ICP_SMALL);  // refill with small icons keeps the selection
    d.WaitFor([&] { return d.IsChecked(w, IDC_ICP_SMALL); });
    EXPECT_EQ(d.Send(list, LB_GETCOUNT, 0, 0), count);
    EXPECT_EQ(d.Send(list, LB_GETCURSEL, 0, 0), count > 2 ? 2 : 0);
    pwtest::Shoot(w, L"picker_icon");
    d.PressOk(w);
    d.WaitGone(w);
  });
  EXPECT_EQ(picker.DoModal(nullptr, nullptr), 1);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_GT(count, 2);
  EXPECT_EQ(picker.Location(), std::wstring(shell) + L",2");
}

}  // namespace
