// The account sheet, driven through its real pages.
#include <gtest/gtest.h>

#include "ui/AccountDialog.h"
#include "ui/support/Screenshot.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

void ExpectNoFailures(UiDriver& d) {
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
}

TEST(AccountDialog, NewAccountShowsDefaultsAndStoresThem) {
  pw::ui::AccountDialog dialog;
  UiDriver d([](UiDriver& d) {
    HWND sheet = d.WaitDialog(L"Mail Account");
    if (!sheet) return;
    HWND p0 = d.CurrentPage(sheet);
    EXPECT_EQ(d.Text(p0, IDC_AO_INTERVAL), L"30");
    EXPECT_EQ(d.Text(p0, IDC_AO_TIMEOUT), L"5");
    EXPECT_EQ(d.Text(p0, IDC_AO_CONNECTION), L"Connected via lan");
    pwtest::Shoot(sheet, L"account_options");
    d.SetText(p0, IDC_AO_NAME, L"Work");
    d.SelectPage(sheet, 1);
    HWND p1 = d.CurrentPage(sheet);
    EXPECT_EQ(d.Text(p1, IDC_SRV_PORT), L"110");
    EXPECT_TRUE(d.IsChecked(p1, IDC_SRV_NONE));
    EXPECT_EQ(d.Text(p1, IDC_SRV_AUTH), L"Regular (Plain text password)");
    pwtest::Shoot(sheet, L"account_incoming");
    d.SetText(p1, IDC_SRV_SERVER_IN, L"pop.example.org");
    d.SelectPage(sheet, 2);
    HWND p2 = d.CurrentPage(sheet);
    EXPECT_EQ(d.Text(p2, IDC_SRV_PORT), L"25");
    EXPECT_TRUE(d.IsChecked(p2, IDC_SRV_NONE));
    pwtest::Shoot(sheet, L"account_outgoing");
    d.SheetOk(sheet);
    d.WaitGone(sheet);
  });
  EXPECT_EQ(dialog.Show(nullptr, nullptr), 1);
  ExpectNoFailures(d);
  EXPECT_STREQ(dialog.settings.accountName, L"Work");
  EXPECT_STREQ(dialog.settings.inServer, L"pop.example.org");
  EXPECT_EQ(dialog.settings.interval, 1800000u);
  EXPECT_EQ(dialog.settings.timeout, 5000u);
  EXPECT_EQ(dialog.settings.inPort, 110u);
  EXPECT_EQ(dialog.settings.outPort, 25u);
  EXPECT_EQ(dialog.settings.inOptions, 0u);
  EXPECT_EQ(dialog.settings.connection, 0u);
}

TEST(AccountDialog, SecurityRadiosSetThePortAndTheOptionBits) {
  pw::ui::AccountDialog dialog;
  dialog.settings.inOptions = 0x2 | 0x80;  // APOP and a bit the page does not know
  UiDriver d([](UiDriver& d) {
    HWND sheet = d.WaitDialog(L"Mail Account");
    if (!sheet) return;
    d.SelectPage(sheet, 1);
    HWND p1 = d.CurrentPage(sheet);
    EXPECT_EQ(d.Text(p1, IDC_SRV_AUTH), L"MD5 APOP (RFC-1734)");
    d.SetText(p1, IDC_SRV_PORT, L"1234");
    d.Click(p1, IDC_SRV_SSL);
    EXPECT_TRUE(d.WaitFor([&] { return d.Text(p1, IDC_SRV_PORT) == L"995"; }));
    d.Click(p1, IDC_SRV_TLS);
    EXPECT_TRUE(d.WaitFor([&] { return d.Text(p1, IDC_SRV_PORT) == L"110"; }));
    d.SelectPage(sheet, 2);
    HWND p2 = d.CurrentPage(sheet);
    d.Click(p2, IDC_SRV_SSL);
    EXPECT_TRUE(d.WaitFor([&] { return d.Text(p2, IDC_SRV_PORT) == L"465"; }));
    d.SheetOk(sheet);
    d.WaitGone(sheet);
  });
  EXPECT_EQ(dialog.Show(nullptr, nullptr), 1);
  ExpectNoFailures(d);
  EXPECT_EQ(dialog.settings.inOptions, 0x4u | 0x2u);  // rebuilt: unknown bit gone
  EXPECT_EQ(dialog.settings.inPort, 110u);
  EXPECT_EQ(dialog.settings.outOptions, 0x1u);
  EXPECT_EQ(dialog.settings.outPort, 465u);
}

TEST(AccountDialog, PagesNeverOpenedKeepTheirFieldsAndCancelReturnsNotOne) {
  pw::ui::AccountDialog dialog;
  wcscpy(dialog.settings.outServer, L"smtp.example.org");
  dialog.settings.outPort = 587;
  dialog.settings.outOptions = 0x4 | 0x40;
  UiDriver d([](UiDriver& d) {
    HWND sheet = d.WaitDialog(L"Mail Account");
    if (!sheet) return;
    d.SheetOk(sheet);
    d.WaitGone(sheet);
  });
  EXPECT_EQ(dialog.Show(nullptr, nullptr), 1);
  ExpectNoFailures(d);
  EXPECT_STREQ(dialog.settings.outServer, L"smtp.example.org");
  EXPECT_EQ(dialog.settings.outPort, 587u);
  EXPECT_EQ(dialog.settings.outOptions, 0x44u);

  pw::ui::AccountDialog second;
  UiDriver c([](UiDriver& d) {
    HWND sheet = d.WaitDialog(L"Mail Account");
    if (!sheet) return;
    d.SetText(d.CurrentPage(sheet), IDC_AO_NAME, L"changed");
    d.SheetCancel(sheet);
    d.WaitGone(sheet);
  });
  EXPECT_NE(second.Show(nullptr, nullptr), 1);
  ExpectNoFailures(c);
}

// Typed text stops at what the record can hold, so nothing is cut later
// without the user seeing it; numbers too large for the stored
// milliseconds are capped instead of wrapping.
TEST(AccountDialog, LimitsAndCapsWhatTheUserEnters) {
  pw::ui::AccountDialog dialog;
  UiDriver d([](UiDriver& d) {
    HWND sheet = d.WaitDialog(L"Mail Account");
    if (!sheet) return;
    HWND p0 = d.CurrentPage(sheet);
    d.SetText(p0, IDC_AO_INTERVAL, L"");
    d.Type(p0, IDC_AO_INTERVAL, L"99999");
    d.Type(p0, IDC_AO_NAME, std::wstring(300, L'n'));
    EXPECT_EQ(d.Text(p0, IDC_AO_NAME).size(), 254u);
    d.SelectPage(sheet, 1);
    HWND p1 = d.CurrentPage(sheet);
    d.Type(p1, IDC_SRV_PASSWORD, std::wstring(60, L'p'));
    d.Type(p1, IDC_SRV_USER, std::wstring(120, L'u'));
    d.SheetOk(sheet);
    d.WaitGone(sheet);
  });
  EXPECT_EQ(dialog.Show(nullptr, nullptr), 1);
  ExpectNoFailures(d);
  EXPECT_EQ(dialog.settings.interval, 71582u * 60000u);
  EXPECT_EQ(wcslen(dialog.settings.accountName), 254u);
  EXPECT_EQ(wcslen(dialog.settings.inPassword), 49u);
  EXPECT_EQ(wcslen(dialog.settings.inUser), 99u);
}

TEST(AccountDialog, PortAbove65535IsRefusedAndTheSheetStaysOpen) {
  pw::ui::AccountDialog dialog;
  dialog.settings.inPort = 110;
  UiDriver d([](UiDriver& d) {
    HWND sheet = d.WaitDialog(L"Mail Account");
    if (!sheet) return;
    d.SelectPage(sheet, 1);
    HWND p1 = d.CurrentPage(sheet);
    // The edit takes five digits; a pasted or set value can still be larger.
    d.SetText(p1, IDC_SRV_PORT, L"70000");
    d.SheetOk(sheet);
    HWND box = d.WaitDialog(L"Postwarden");
    if (box) {
      HWND text = d.Control(box, 0xFFFF);
      EXPECT_NE(d.Text(text).find(L"incoming server's port"), std::wstring::npos);
      d.PressOk(box);
      d.WaitGone(box);
    }
    EXPECT_TRUE(IsWindowVisible(sheet));
    d.SheetCancel(sheet);
    d.WaitGone(sheet);
  });
  EXPECT_NE(dialog.Show(nullptr, nullptr), 1);
  ExpectNoFailures(d);
  EXPECT_EQ(dialog.settings.inPort, 110u);
}

TEST(AccountDialog, StoredValuesOutOfRangeShowSafeDefaults) {
  pw::ui::AccountDialog dialog;
  dialog.settings.connection = 7;
  dialog.settings.inPort = 99999;
  UiDriver d([](UiDriver& d) {
    HWND sheet = d.WaitDialog(L"Mail Account");
    if (!sheet) return;
    EXPECT_EQ(d.Text(d.CurrentPage(sheet), IDC_AO_CONNECTION), L"Connected via lan");
    d.SelectPage(sheet, 1);
    EXPECT_EQ(d.Text(d.CurrentPage(sheet), IDC_SRV_PORT), L"110");
    d.SheetOk(sheet);
    d.WaitGone(sheet);
  });
  EXPECT_EQ(dialog.Show(nullptr, nullptr), 1);
  ExpectNoFailures(d);
  EXPECT_EQ(dialog.settings.connection, 0u);
  EXPECT_EQ(dialog.settings.inPort, 110u);
}

}  // namespace
