// A confirmed options sheet rebuilds the plug-in's accounts: kept accounts
// keep their messages, deleted ones go, created ones start empty; the
// result is what the settings stream holds.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "TestStreams.h"
#include "base/SettingsTree.h"
#include "core/FakeHost.h"
#include "core/InProcessPlugin.h"
#include "ui/AccountDialog.h"
#include "ui/TabSwitcher.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

void PickTab(UiDriver& d, HWND frame, int index) {
  HWND tabs = d.Control(frame, IDC_FRAME_TABS);
  pw::ui::TabRecord rec = {};
  d.Send(tabs, pw::ui::TSM_GETBYINDEX, index, reinterpret_cast<LPARAM>(&rec));
  LPARAM at = MAKELPARAM((rec.rect.left + rec.rect.right) / 2, (rec.rect.top + rec.rect.bottom) / 2);
  PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(tabs, WM_LBUTTONUP, 0, at);
  d.WaitFor([&] { return d.Control(frame, IDC_ACC_LIST, 50) != nullptr || index != 1; });
}

HWND WaitQuestion(UiDriver& d, HWND frame) {
  HWND ask = nullptr;
  d.WaitFor([&] {
    for (HWND w = FindWindowW(L"#32770", L"Postwarden"); w; w = FindWindowExW(nullptr, w, L"#32770", L"Postwarden"))
      if (w != frame && IsWindowVisible(w)) ask = w;
    return ask != nullptr;
  });
  if (!ask) d.Fail(L"no question box");
  return ask;
}

TEST(OptionsRebuild, ConfirmedSheetRebuildsAccountsAndTheStreamHoldsThem) {
  pwtest::InProcessPlugin p({{L"keep", {100, 200}}, {L"drop", {300}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  pw::RefPtr<pw::MailAccount> kept = p->Accounts()[0];
  pw::RefPtr<pw::MailAccount> dropped = p->Accounts()[1];
  ASSERT_EQ(kept->Messages().Size(), 2u);

  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    PickTab(d, frame, 1);
    HWND list = d.Control(frame, IDC_ACC_LIST);
    // Delete "drop".
    d.Send(list, LB_SETCURSEL, 1, 0);
    d.Click(frame, IDC_ACC_DELETE);
    if (HWND ask = WaitQuestion(d, frame)) {
      PostMessageW(ask, WM_COMMAND, IDYES, 0);
      d.WaitGone(ask);
    }
    // Edit "keep".
    d.Send(list, LB_SETCURSEL, 0, 0);
    d.Click(frame, IDC_ACC_EDIT);
    if (HWND sheet = d.WaitDialog(L"Mail Account")) {
      d.SetText(d.CurrentPage(sheet), IDC_AO_NAME, L"kept");
      d.SheetOk(sheet);
      d.WaitGone(sheet);
    }
    // Create "new".
    d.Click(frame, IDC_ACC_CREATE);
    if (HWND sheet = d.WaitDialog(L"Mail Account")) {
      d.SetText(d.CurrentPage(sheet), IDC_AO_NAME, L"new");
      d.SheetOk(sheet);
      d.WaitGone(sheet);
    }
    d.WaitFor([&] { return d.Send(list, LB_GETCOUNT, 0, 0) == 2; });
    d.PressOk(frame);
    d.WaitGone(frame);
  });
  pw::ComPtr<IStream> s;
  *s.Out() = pwtest::MemoryStream();
  EXPECT_EQ(p->ShowOptions(s.Get()), 0);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());

  ASSERT_EQ(p->Accounts().size(), 2u);
  EXPECT_EQ(p->Accounts()[0].Get(), kept.Get());  // the same account, with its messages
  EXPECT_STREQ(kept->settings.accountName, L"kept");
  EXPECT_EQ(kept->Messages().Size(), 2u);
  EXPECT_NE(p->Accounts()[1].Get(), dropped.Get());
  EXPECT_EQ(p->Accounts()[1]->Messages().Size(), 0u);
  EXPECT_NE(p->Accounts()[1]->settings.id, kept->settings.id);

  // The stream the host keeps: version, then the tree with both accounts.
  std::vector<uint8_t> bytes = pwtest::StreamBytes(s.Get());
  ASSERT_GT(bytes.size(), 4u);
  bytes.erase(bytes.begin(), bytes.begin() + 4);
  pw::SettingsTree t;
  ASSERT_TRUE(pwtest::ReadTree(t, bytes));
  ASSERT_TRUE(t.EnterNode(L"accounts"));
  EXPECT_EQ(t.GetInt(L"count", 0), 2);
  ASSERT_TRUE(t.EnterNode(L"account#1"));
  ASSERT_TRUE(t.EnterNode(L"settings"));
  EXPECT_STREQ(t.GetString(L"AccountName", L""), L"new");
  EXPECT_EQ(t.GetInt(L"interval", 0), 1800000);
  EXPECT_EQ(t.GetInt(L"timeout", 0), 5000);
  t.LeaveNode();
  ASSERT_TRUE(t.EnterNode(L"incomming"));
  EXPECT_EQ(t.GetInt(L"port", 0), 110);
  t.LeaveNode();
  ASSERT_TRUE(t.EnterNode(L"outgoing"));
  EXPECT_EQ(t.GetInt(L"port", 0), 25);
}

TEST(OptionsRebuild, CancelLeavesAccountsAndHotkeysAsTheyWere) {
  pwtest::InProcessPlugin p({{L"keep", {100}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  p->Settings().listHotkey = 0x241;
  p->Settings().readerHotkey = 0x242;
  pw::RefPtr<pw::MailAccount> kept = p->Accounts()[0];
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    PickTab(d, frame, 1);
    HWND list = d.Control(frame, IDC_ACC_LIST);
    d.Send(list, LB_SETCURSEL, 0, 0);
    d.Click(frame, IDC_ACC_EDIT);
    if (HWND sheet = d.WaitDialog(L"Mail Account")) {
      d.SetText(d.CurrentPage(sheet), IDC_AO_NAME, L"changed");
      d.SheetOk(sheet);
      d.WaitGone(sheet);
    }
    d.PressCancel(frame);
    d.WaitGone(frame);
  });
  EXPECT_EQ(p->OnHostCommand(dockrail::kHostCommandProperties), 0);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  ASSERT_EQ(p->Accounts().size(), 1u);
  EXPECT_EQ(p->Accounts()[0].Get(), kept.Get());
  EXPECT_STREQ(kept->settings.accountName, L"keep");
  EXPECT_EQ(kept->Messages().Size(), 1u);
  EXPECT_EQ(host.settingsChanged, 0);
  // Released (0, 0) for the sheet, then the old pair again.
  ASSERT_EQ(host.hotkeys.size(), 4u);
  EXPECT_EQ(host.hotkeys[0].hotkey, 0);
  EXPECT_EQ(host.hotkeys[2].hotkey, 0x242);
  EXPECT_EQ(host.hotkeys[2].number, 2u);
  EXPECT_EQ(host.hotkeys[3].hotkey, 0x241);
  EXPECT_EQ(host.hotkeys[3].number, 1u);
}

}  // namespace

namespace {

// ShowOptions leaves the checker running while the sheet is open; a
// confirmed sheet stops it only for the rebuild and starts it again.
TEST(OptionsRebuild, CheckerRunsWhileTheSheetIsOpenAndAfterOk) {
  pwtest::InProcessPlugin p({{L"keep", {100}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  p->StartChecker();
  ASSERT_TRUE(p->CheckerRunning());
  std::atomic<bool> runningWhileOpen{false};
  pw::PluginObject* plugin = &*p;
  UiDriver d([&](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    runningWhileOpen = plugin->CheckerRunning();
    d.PressOk(frame);
    d.WaitGone(frame);
  });
  pw::ComPtr<IStream> s;
  *s.Out() = pwtest::MemoryStream();
  EXPECT_EQ(p->ShowOptions(s.Get()), 0);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_TRUE(runningWhileOpen);
  EXPECT_TRUE(p->CheckerRunning());
  EXPECT_EQ(p->Accounts().size(), 1u);
  p->StopChecker();
}

}  // namespace
