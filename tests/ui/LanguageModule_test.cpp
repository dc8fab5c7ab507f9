// A language module replaces the templates and strings it carries; the
// plug-in's own are used for everything it lacks.
#include <gtest/gtest.h>

#include "base/Module.h"
#include "ui/AccountDialog.h"
#include "ui/support/Screenshot.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

TEST(LanguageModule, TranslatedPageAndStringWithOwnFallback) {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring path(exe);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"pw_test_langmod.dll";
  HMODULE mod = LoadLibraryW(path.c_str());
  ASSERT_NE(mod, nullptr) << "missing " << std::string(path.begin(), path.end());
  pw::UseResourceModule(mod);
  ASSERT_EQ(pw::ResourceModule(), mod);
  EXPECT_EQ(pw::LoadStr(IDS_ACCOUNT_SHEET), L"E-Mail-Konto");
  EXPECT_EQ(pw::LoadStr(IDS_ACCPAGE_INCOMING), L"Incoming server");  // not translated

  pw::ui::AccountDialog dialog;
  wcscpy(dialog.settings.sound, L"ding.wav");
  dialog.settings.runHidden = 1;
  UiDriver d([](UiDriver& d) {
    HWND sheet = d.WaitDialog(L"E-Mail-Konto");
    if (!sheet) return;
    HWND p0 = d.CurrentPage(sheet);
    EXPECT_EQ(d.Text(p0, 9001), L"Konto&name:");
    EXPECT_EQ(d.Text(p0, IDC_AO_INTERVAL), L"30");
    pwtest::Shoot(sheet, L"langmod_account_options");
    d.SetText(p0, IDC_AO_NAME, L"Privat");
    d.SelectPage(sheet, 1);
    HWND p1 = d.CurrentPage(sheet);
    EXPECT_NE(d.Control(p1, IDC_SRV_SERVER_IN), nullptr);  // the plug-in's own page
    d.SheetOk(sheet);
    d.WaitGone(sheet);
  });
  EXPECT_EQ(dialog.Show(nullptr, pw::ResourceModule()), 1);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_STREQ(dialog.settings.accountName, L"Privat");
  // Fields the translated page lacks keep the copy's values.
  EXPECT_EQ(dialog.settings.interval, 1800000u);
  EXPECT_STREQ(dialog.settings.sound, L"ding.wav");
  EXPECT_EQ(dialog.settings.runHidden, 1u);
  pw::UseResourceModule(nullptr);
  FreeLibrary(mod);
  EXPECT_EQ(pw::ResourceModule(), pw::DllModule());
}

}  // namespace
