// The rule editor opened from the plug-in's own options sheet: its edits
// reach the plug-in only when the sheet is confirmed too. And the
// condition editor opened for a message through the plug-in: the rule and
// field chosen are kept in its settings stream.
#include <gtest/gtest.h>

#include <fstream>

#include "TestStreams.h"
#include "base/SettingsTree.h"
#include "core/FakeHost.h"
#include "core/InProcessPlugin.h"
#include "filter/RuleModel.h"
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

TEST(FilterEditorsSheet, TheRuleAndFieldChosenForAMessageSurviveASaveAndALoad) {
  pwtest::InProcessPlugin p({{L"box", {100}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  auto list = std::make_unique<pw::RuleList>();
  for (const wchar_t* name : {L"First", L"Second", L"Third"}) list->addRule(name, pw::RuleResult::MarkSpam);
  p->Rules().Publish(std::move(list));
  p->Settings().defaultFilter = 1;
  p->Settings().defaultField = 17;
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::wstring header = std::wstring(dir) + L"pw_condition_header.txt";
  std::ofstream(header.c_str(), std::ios::binary) << "From: someone@example.org\r\nSubject: Hello\r\n\r\n";
  UiDriver d([](UiDriver& d) {
    HWND c = d.WaitDialog(L"Filtering conditions");
    if (!c) return;
    // The rule chosen last time is proposed.
    EXPECT_EQ(d.Send(d.Control(c, IDC_CE_RULE), CB_GETCURSEL, 0, 0), 1);
    d.PickCombo(c, IDC_CE_FIELD, 7);  // From
    EXPECT_TRUE(d.WaitFor([&] { return d.Text(c, IDC_CE_VALUE) == L"someone@example.org"; }));
    d.PickCombo(c, IDC_CE_RULE, 2);
    d.PressOk(c);
    d.WaitGone(c);
  });
  wchar_t* out = nullptr;
  p->Control((L"filter-condition \"" + header + L"\"").c_str(), &out);
  if (out) CoTaskMemFree(out);
  d.Join();
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  DeleteFileW(header.c_str());
  EXPECT_EQ(p->Settings().defaultFilter, 2);
  EXPECT_EQ(p->Settings().defaultField, 7);
  EXPECT_EQ(p->Rules().Current()->List().rules[2]->sets.size(), 1u);

  pw::ComPtr<IStream> s;
  *s.Out() = pwtest::MemoryStream();
  p->Save(s.Get());
  pwtest::InProcessPlugin q({{L"box", {100}}});
  pw::ComPtr<IStream> back;
  *back.Out() = pwtest::MemoryStream(pwtest::StreamBytes(s.Get()));
  q->Load(back.Get());
  EXPECT_EQ(q->Settings().defaultFilter, 2);
  EXPECT_EQ(q->Settings().defaultField, 7);
}

}  // namespace
