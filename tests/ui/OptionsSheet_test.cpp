// The options sheet, driven through its frame and pages.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>

#include "ui/HotkeyField.h"
#include "ui/OptionsData.h"
#include "ui/TabSwitcher.h"
#include "ui/support/Screenshot.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

void ExpectNoFailures(UiDriver& d) {
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
}

// Picks the tab at switcher order `index` as a click would.
void PickTab(UiDriver& d, HWND frame, int index) {
  HWND tabs = d.Control(frame, IDC_FRAME_TABS);
  pw::ui::TabRecord rec = {};
  d.Send(tabs, pw::ui::TSM_GETBYINDEX, index, reinterpret_cast<LPARAM>(&rec));
  POINT pt = {(rec.rect.left + rec.rect.right) / 2, (rec.rect.top + rec.rect.bottom) / 2};
  PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
  PostMessageW(tabs, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
  d.Send(tabs, WM_NULL, 0, 0);
}

TEST(OptionsSheet, EveryPageShowsAndOkWithoutOpeningKeepsTheRest) {
  pw::ui::OptionsData data;
  data.useNoSound = 1;
  data.noSoundTime1 = 3600;
  data.noSoundTime2 = 7200;
  data.useIconNotify = 1;
  wcscpy(data.notifyIcon, L"C:\\icons.dll,3");
  data.proxyOptions = 3;
  wcscpy(data.proxyServer, L"proxy.example.org");
  data.proxyPort = 1080;
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    const wchar_t* names[6] = {L"options_general", L"options_accounts", L"options_connection",
                               L"options_filters", L"options_notify", L"options_about"};
    const wchar_t* labels[6] = {L"Postwarden options", L"Mail accounts", L"Configure Proxies to Access the Internet",
                                L"Filtering and Logging Options", L"New Mail Notifications", L"About Postwarden"};
    for (int i = 0; i < 3; ++i) {
      PickTab(d, frame, i);
      EXPECT_EQ(d.Text(frame, IDC_FRAME_LABEL), labels[i]);
      pwtest::Shoot(frame, names[i]);
    }
    d.PressOk(frame);
    d.WaitGone(frame);
  });
  pw::ui::OptionsData before = data;
  EXPECT_TRUE(pw::ui::ShowOptionsSheet(nullptr, nullptr, data));
  ExpectNoFailures(d);
  EXPECT_EQ(data.noSoundTime1, 3600);
  EXPECT_EQ(data.noSoundTime2, 7200);
  EXPECT_EQ(data.useIconNotify, 1);
  EXPECT_STREQ(data.notifyIcon, before.notifyIcon);
  EXPECT_EQ(data.proxyOptions, 3);
  EXPECT_EQ(data.proxyPort, 1080);
}

TEST(OptionsSheet, QuietPeriodAndFilterLogSwitchesRoundTrip) {
  pw::ui::OptionsData data;
  data.filterLogFlags = 1;
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    PickTab(d, frame, 4);
    HWND time1 = d.Control(frame, IDC_NTF_TIME1);
    EXPECT_FALSE(d.IsEnabled(frame, IDC_NTF_TIME1));
    d.Click(frame, IDC_NTF_NOSOUND);
    EXPECT_TRUE(d.WaitFor([&] { return d.IsEnabled(frame, IDC_NTF_TIME1); }));
    SYSTEMTIME st = {};
    GetLocalTime(&st);
    st.wHour = 22, st.wMinute = 0, st.wSecond = 0;
    d.Send(time1, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
    st.wHour = 7;
    d.Send(d.Control(frame, IDC_NTF_TIME2), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
    pwtest::Shoot(frame, L"options_notify");
    PickTab(d, frame, 3);
    EXPECT_TRUE(d.IsEnabled(frame, IDC_FLT_SUBJECT));
    EXPECT_FALSE(d.IsEnabled(frame, IDC_FLT_EDIT));  // no rule editor yet
    d.Click(frame, IDC_FLT_SUBJECT);
    d.Click(frame, IDC_FLT_TO);
    d.Click(frame, IDC_FLT_HEADER);
    EXPECT_TRUE(d.WaitFor([&] { return !d.IsEnabled(frame, IDC_FLT_SUBJECT); }));
    d.Click(frame, IDC_FLT_HEADER);
    EXPECT_TRUE(d.WaitFor([&] { return d.IsEnabled(frame, IDC_FLT_SUBJECT); }));
    pwtest::Shoot(frame, L"options_filters");
    d.PressOk(frame);
    d.WaitGone(frame);
  });
  EXPECT_TRUE(pw::ui::ShowOptionsSheet(nullptr, nullptr, data));
  ExpectNoFailures(d);
  EXPECT_EQ(data.useNoSound, 1);
  EXPECT_EQ(data.noSoundTime1, 79200);
  EXPECT_EQ(data.noSoundTime2, 25200);
  EXPECT_EQ(data.filterLogFlags, 1 | 4 | 16);
}

TEST(OptionsSheet, Socks4KeepsTheLoginTextsAndBadPortIsRefused) {
  pw::ui::OptionsData data;
  data.proxyOptions = 3;
  data.proxyPort = 1080;
  wcscpy(data.proxyUser, L"alice");
  wcscpy(data.proxyPassword, L"secret");
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    PickTab(d, frame, 2);
    EXPECT_TRUE(d.IsEnabled(frame, IDC_CON_USER));
    d.Click(frame, IDC_CON_SOCKS4);
    EXPECT_TRUE(d.WaitFor([&] { return !d.IsEnabled(frame, IDC_CON_USER); }));
    EXPECT_FALSE(d.IsEnabled(frame, IDC_CON_PASSWORD));
    d.SetText(frame, IDC_CON_PORT, L"65536");
    d.PressOk(frame);
    HWND box = d.WaitWindowClass(L"#32770");
    // The refusal names the field; the sheet stays.
    HWND refusal = nullptr;
    d.WaitFor([&] {
      HWND w = FindWindowW(L"#32770", L"Postwarden");
      if (w && w != frame) refusal = w;
      HWND next = w ? FindWindowExW(nullptr, w, L"#32770", L"Postwarden") : nullptr;
      if (!refusal && next) refusal = next;
      return refusal != nullptr;
    });
    (void)box;
    if (refusal) {
      EXPECT_NE(d.Text(refusal, 0xFFFF).find(L"proxy server's port"), std::wstring::npos);
      d.PressOk(refusal);
      d.WaitGone(refusal);
    } else {
      d.Fail(L"no refusal shown");
    }
    d.SetText(frame, IDC_CON_PORT, L"1081");
    d.PressOk(frame);
    d.WaitGone(frame);
  });
  EXPECT_TRUE(pw::ui::ShowOptionsSheet(nullptr, nullptr, data));
  ExpectNoFailures(d);
  EXPECT_EQ(data.proxyOptions, 1);
  EXPECT_EQ(data.proxyPort, 1081);
  EXPECT_STREQ(data.proxyUser, L"alice");
  EXPECT_STREQ(data.proxyPassword, L"secret");
}

TEST(OptionsSheet, CancelChangesNothingAndDamagedValuesGetSafeDefaults) {
  pw::ui::OptionsData data;
  data.noSoundTime1 = 90000;  // past a day
  data.proxyOptions = 9;      // no such type
  data.listHotkey = 0x251;
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    PickTab(d, frame, 0);
    HWND hk = d.Control(frame, IDC_OPT_LIST_HOTKEY);
    EXPECT_EQ(d.Send(hk, pw::ui::HKM_GETVALUE, 0, 0), 0x251);
    d.Send(hk, pw::ui::HKM_SETVALUE, 0x0441, 0);
    d.PressCancel(frame);
    d.WaitGone(frame);
  });
  EXPECT_FALSE(pw::ui::ShowOptionsSheet(nullptr, nullptr, data));
  ExpectNoFailures(d);
  EXPECT_EQ(data.listHotkey, 0x251);
  EXPECT_EQ(data.noSoundTime1, 0);
  EXPECT_EQ(data.proxyOptions, 0);
}

TEST(OptionsSheet, AccountsPageCreatesEditsReordersAndDeletes) {
  pw::ui::OptionsData data;
  pw::AccountSettings a, b;
  wcscpy(a.accountName, L"first");
  a.id = 11;
  wcscpy(b.accountName, L"second");
  b.id = 12;
  data.accounts = {a, b};
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    PickTab(d, frame, 1);
    HWND list = d.Control(frame, IDC_ACC_LIST);
    EXPECT_EQ(d.Send(list, LB_GETCOUNT, 0, 0), 2);
    // Create.
    d.Click(frame, IDC_ACC_CREATE);
    HWND sheet = d.WaitDialog(L"Mail Account");
    if (!sheet) return;
    d.SetText(d.CurrentPage(sheet), IDC_AO_NAME, L"third");
    d.SheetOk(sheet);
    d.WaitGone(sheet);
    EXPECT_TRUE(d.WaitFor([&] { return d.Send(list, LB_GETCOUNT, 0, 0) == 3; }));
    // Move "third" up once: first, third, second.
    d.Click(frame, IDC_ACC_UP);
    EXPECT_TRUE(d.WaitFor([&] { return d.Send(list, LB_GETCURSEL, 0, 0) == 1; }));
    // Edit "first", then cancel: unchanged.
    d.Send(list, LB_SETCURSEL, 0, 0);
    d.Click(frame, IDC_ACC_EDIT);
    sheet = d.WaitDialog(L"Mail Account");
    if (!sheet) return;
    d.SetText(d.CurrentPage(sheet), IDC_AO_NAME, L"renamed");
    d.SheetCancel(sheet);
    d.WaitGone(sheet);
    // Delete "second" (last), answering Yes.
    d.Send(list, LB_SETCURSEL, 2, 0);
    d.Click(frame, IDC_ACC_DELETE);
    HWND ask = nullptr;
    d.WaitFor([&] {
      for (HWND w = FindWindowW(L"#32770", L"Postwarden"); w; w = FindWindowExW(nullptr, w, L"#32770", L"Postwarden"))
        if (w != frame) ask = w;
      return ask != nullptr;
    });
    if (!ask) { d.Fail(L"no question"); return; }
    EXPECT_EQ(d.Text(ask, 0xFFFF), L"Do you want to remove account 'second'?");
    PostMessageW(ask, WM_COMMAND, IDYES, 0);
    d.WaitGone(ask);
    EXPECT_TRUE(d.WaitFor([&] { return d.Send(list, LB_GETCOUNT, 0, 0) == 2; }));
    pwtest::Shoot(frame, L"options_accounts");
    d.PressOk(frame);
    d.WaitGone(frame);
  });
  EXPECT_TRUE(pw::ui::ShowOptionsSheet(nullptr, nullptr, data));
  ExpectNoFailures(d);
  ASSERT_EQ(data.accounts.size(), 2u);
  EXPECT_STREQ(data.accounts[0].accountName, L"first");
  EXPECT_EQ(data.accounts[0].id, 11u);
  EXPECT_STREQ(data.accounts[1].accountName, L"third");
  EXPECT_EQ(data.accounts[1].id, 0u);
  EXPECT_EQ(data.accounts[1].interval, 1800000u);
}

}  // namespace

namespace {

// Once the rule editor is wired in, its button follows "Use filtering" and
// opens the editor on the sheet's thread.
TEST(OptionsSheet, RuleEditorButtonFollowsUseFiltering) {
  pw::ui::OptionsData data;
  std::atomic<int> opened{0};
  data.editRules = [&](HWND owner) { opened += owner != nullptr ? 1 : 100; };
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    PickTab(d, frame, 3);
    EXPECT_FALSE(d.IsEnabled(frame, IDC_FLT_EDIT));
    d.Click(frame, IDC_FLT_USE);
    EXPECT_TRUE(d.WaitFor([&] { return d.IsEnabled(frame, IDC_FLT_EDIT); }));
    d.Click(frame, IDC_FLT_EDIT);
    d.Send(frame, WM_NULL, 0, 0);
    d.PressOk(frame);
    d.WaitGone(frame);
  });
  EXPECT_TRUE(pw::ui::ShowOptionsSheet(nullptr, nullptr, data));
  ExpectNoFailures(d);
  EXPECT_EQ(opened.load(), 1);
  EXPECT_EQ(data.useFilter, 1);
}

}  // namespace
