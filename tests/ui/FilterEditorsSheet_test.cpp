// The rule editor opened from the plug-in's own options sheet: its edits
// reach the plug-in only when the sheet is confirmed too.
#include <gtest/gtest.h>

#include "TestStreams.h"
#include "base/SettingsTree.h"
#include "core/FakeHost.h"
#include "core/InProcessPlugin.h"
#include "ui/TabSwitcher.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

// Opens the Filters page, adds a rule in the editor and confirms the
// editor; then ends the sheet with OK or Cancel.
void AddRuleThroughSheet(UiDriver& d, bool sheetOk) {
  HWND frame = d.WaitDialog(L"Postwarden");
  if (!frame) return;
  HWND tabs = d.Control(frame, IDC_FRAME_TABS);
  pw::ui::TabRecord rec = {};
  d.Send(tabs, pw::ui::TSM_GETBYINDEX, 3, reinterpret_cast<LPARAM>(&rec));
  LPARAM at = MAKELPARAM((rec.rect.left + rec.rect.right) / 2, (rec.rect.top + rec.rect.bottom) / 2);
  PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(tabs, WM_LBUTTONUP, 0, at);
  HWND button = d.Control(frame, IDC_FLT_EDIT);
  if (!button) return;
  HWND page = GetParent(button);
  d.WaitFor([&] { return IsWindowVisible(page) != FALSE; });
  EXPECT_TRUE(d.IsEnabled(page, IDC_FLT_EDIT));
  d.Click(page, IDC_FLT_EDIT);
  HWND editor = d.WaitDialog(L"Filtering rules");
  if (!editor) return;
  const LRESULT before = d.Send(d.Control(editor, IDC_RE_RULES), LB_GETCOUNT, 0, 0);
  d.Click(editor, IDC_RE_ADD);
  d.WaitFor([&] { return d.Send(d.Control(editor, IDC_RE_RULES), LB_GETCOUNT, 0, 0) == before + 1; });
  d.SetText(editor, IDC_RE_NAME, L"From the sheet");
  d.PressOk(editor);
  d.WaitGone(editor);
  if (sheetOk) d.PressOk(frame);
  else d.PressCancel(frame);
  d.WaitGone(frame);
}

size_t RuleCount(pwtest::InProcessPlugin& p) { return p->Rules().Current()->List().rules.size(); }

TEST(FilterEditorsSheet, CancelledSheetDropsTheEditorsChanges) {
  pwtest::InProcessPlugin p({{L"box", {100}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  p->Settings().useFilter = 1;
  const size_t before = RuleCount(p);
  UiDriver d([](UiDriver& d) { AddRuleThroughSheet(d, false); });
  EXPECT_EQ(p->OnHostCommand(dockrail::kHostCommandProperties), 0);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_EQ(RuleCount(p), before);
}

TEST(FilterEditorsSheet, ConfirmedSheetPublishesTheRulesAndTheStreamHoldsThem) {
  pwtest::InProcessPlugin p({{L"box", {100}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  p->Settings().useFilter = 1;
  const size_t before = RuleCount(p);
  UiDriver d([](UiDriver& d) { AddRuleThroughSheet(d, true); });
  pw::ComPtr<IStream> s;
  *s.Out() = pwtest::MemoryStream();
  EXPECT_EQ(p->ShowOptions(s.Get()), 0);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  ASSERT_EQ(RuleCount(p), before + 1);
  EXPECT_STREQ(p->Rules().Current()->List().rules.back()->name, L"From the sheet");
  std::vector<uint8_t> bytes = pwtest::StreamBytes(s.Get());
  ASSERT_GT(bytes.size(), 4u);
  bytes.erase(bytes.begin(), bytes.begin() + 4);
  pw::SettingsTree t;
  ASSERT_TRUE(pwtest::ReadTree(t, bytes));
  ASSERT_TRUE(t.EnterNode(L"Filters"));
  EXPECT_EQ(t.GetInt(L"count", 0), static_cast<int32_t>(before + 1));
}

}  // namespace
