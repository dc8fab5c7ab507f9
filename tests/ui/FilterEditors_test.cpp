// The filter editors, driven as a user drives them: the rule editor, the
// condition-set editor (also opened from a message), the DNS Black List and
// import dialogs; then the rule list they hand back is checked.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <fstream>
#include <string>

#include "account/MailMessage.h"
#include "account/MessageHeader.h"
#include "base/Scoped.h"
#include "filter/RuleEngine.h"
#include "filter/RuleModel.h"
#include "filter/RuleSnapshot.h"
#include "ui/ConditionEditor.h"
#include "ui/FilterEditors.h"
#include "ui/support/Screenshot.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

void ExpectNoFailures(UiDriver& d) {
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
}

int Count(UiDriver& d, HWND w, int id, UINT message) { return static_cast<int>(d.Send(d.Control(w, id), message, 0, 0)); }
int Rules(UiDriver& d, HWND w) { return Count(d, w, IDC_RE_RULES, LB_GETCOUNT); }
int Sets(UiDriver& d, HWND w) { return Count(d, w, IDC_RE_SETS, LVM_GETITEMCOUNT); }

std::wstring ListText(UiDriver& d, HWND w, int id, int index) {
  HWND list = d.Control(w, id);
  wchar_t text[512] = {};
  d.Send(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
  return text;
}

std::wstring SetText(UiDriver& d, HWND w, int index) {
  wchar_t text[512] = {};
  LVITEMW item = {};
  item.iSubItem = 0;
  item.pszText = text;
  item.cchTextMax = 512;
  d.Send(d.Control(w, IDC_RE_SETS), LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
  return text;
}

void AnswerYes(UiDriver& d) {
  HWND ask = d.WaitDialog(L"Postwarden");
  if (ask) PostMessageW(ask, WM_COMMAND, IDYES, 0);
  d.WaitGone(ask);
}

std::unique_ptr<pw::RuleList> TwoRules() {
  auto list = std::make_unique<pw::RuleList>();
  list->addRule(L"Alpha", pw::RuleResult::MarkApproved).addSet().addCondition(L"From", 1, L"@friend.example", 0);
  list->addRule(L"Beta", pw::RuleResult::MarkSpam | pw::RuleResult::MarkRead)
      .addSet()
      .addCondition(L"Subject", 1, L"offer", 0);
  return list;
}

std::wstring ExeDir() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  PathRemoveFileSpecW(path);
  return path;
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

void WriteFile8(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary);
  out << bytes;
}

TEST(RuleEditor, AddReorderMarkAndAConditionSetAreKeptOnOk) {
  pw::ScopedCoInit com;
  auto list = TwoRules();
  pw::ui::FilterEditorState state;
  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Filtering rules");
    if (!w) return;
    EXPECT_EQ(Rules(d, w), 2);
    EXPECT_TRUE(d.IsEnabled(w, IDC_RE_DELETE));
    EXPECT_FALSE(d.IsEnabled(w, IDC_RE_UP));
    EXPECT_FALSE(d.IsEnabled(w, IDC_RE_SOUNDFILE));  // "Play sound" is off
    pwtest::Shoot(w, L"filters_rule_editor");
    d.Click(w, IDC_RE_ADD);
    EXPECT_TRUE(d.WaitFor([&] { return Rules(d, w) == 3; }));
    EXPECT_EQ(ListText(d, w, IDC_RE_RULES, 2), L"New Rule");
    d.SetText(w, IDC_RE_NAME, L"Third");
    EXPECT_EQ(ListText(d, w, IDC_RE_RULES, 2), L"Third");
    d.Click(w, IDC_RE_UP);
    EXPECT_TRUE(d.WaitFor([&] { return ListText(d, w, IDC_RE_RULES, 1) == L"Third"; }));
    EXPECT_EQ(Count(d, w, IDC_RE_RULES, LB_GETCURSEL), 1);
    // "Mark as": Spam, then the action bit, then Normal: the action stays.
    d.PickCombo(w, IDC_RE_MARKAS, 2);
    d.Click(w, IDC_RE_DELSERVER);
    EXPECT_TRUE(d.WaitFor([&] { return d.IsChecked(w, IDC_RE_DELSERVER); }));
    d.PickCombo(w, IDC_RE_MARKAS, 0);
    d.Click(w, IDC_RE_SOUND);
    EXPECT_TRUE(d.WaitFor([&] { return d.IsEnabled(w, IDC_RE_SOUNDFILE); }));

    // A new set: the editor proposes the remembered field; AND twice adds
    // one empty condition.
    d.Click(w, IDC_RE_SET_ADD);
    HWND c = d.WaitDialog(L"Filtering conditions");
    if (!c) return;
    EXPECT_FALSE(d.IsEnabled(c, IDC_CE_RULE));
    EXPECT_EQ(Count(d, c, IDC_CE_LIST, LB_GETCOUNT), 1);
    EXPECT_EQ(d.Text(c, IDC_CE_FIELD), L"Subject");
    d.SetText(c, IDC_CE_VALUE, L"bulk");
    EXPECT_EQ(ListText(d, c, IDC_CE_LIST, 0), L"Subject Contains 'bulk'");
    d.Click(c, IDC_CE_AND);
    d.Click(c, IDC_CE_AND);
    EXPECT_TRUE(d.WaitFor([&] { return Count(d, c, IDC_CE_LIST, LB_GETCOUNT) == 2; }));
    Sleep(200);
    EXPECT_EQ(Count(d, c, IDC_CE_LIST, LB_GETCOUNT), 2);
    EXPECT_EQ(Count(d, c, IDC_CE_LIST, LB_GETCURSEL), 1);
    // A size typed that does not fit is stored as 0, never wrapped.
    d.PickCombo(c, IDC_CE_FUNCTION, 13);  // "Max message size"
    EXPECT_TRUE(d.WaitFor([&] { return ListText(d, c, IDC_CE_LIST, 1).find(L"Max message size") == 0; }));
    d.SetText(c, IDC_CE_VALUE, L"99999999999");
    EXPECT_EQ(ListText(d, c, IDC_CE_LIST, 1), L"Max message size: 0");
    d.SetText(c, IDC_CE_VALUE, L"5000");
    EXPECT_EQ(ListText(d, c, IDC_CE_LIST, 1), L"Max message size: 5000");
    pwtest::Shoot(c, L"filters_condition_editor");
    d.PressOk(c);
    d.WaitGone(c);
    EXPECT_TRUE(d.WaitFor([&] { return Sets(d, w) == 1; }));
    EXPECT_EQ(SetText(d, w, 0), L"Subject Contains 'bulk' AND Max message size: 5000");
    EXPECT_TRUE(d.IsEnabled(w, IDC_RE_SET_DELETE));
    d.PressOk(w);
    d.WaitGone(w);
  });
  EXPECT_TRUE(pw::ui::EditFilterRules(nullptr, nullptr, *list, state));
  ExpectNoFailures(d);
  ASSERT_EQ(list->rules.size(), 3u);
  EXPECT_STREQ(list->rules[0]->name, L"Alpha");
  EXPECT_STREQ(list->rules[1]->name, L"Third");
  EXPECT_STREQ(list->rules[2]->name, L"Beta");
  const pw::FilterRule& third = *list->rules[1];
  EXPECT_EQ(third.result, pw::RuleResult::DeleteFromServer | pw::RuleResult::PlaySoundAction);
  EXPECT_EQ(third.color, -1);
  ASSERT_EQ(third.sets.size(), 1u);
  ASSERT_EQ(third.sets[0]->conditions.size(), 2u);
  EXPECT_STREQ(third.sets[0]->conditions[0].substring, L"bulk");
  EXPECT_EQ(third.sets[0]->conditions[1].searchType, pw::SearchType::MaxSize);
  EXPECT_EQ(third.sets[0]->conditions[1].size, 5000u);
}

TEST(RuleEditor, CancelLeavesTheListAsItWasAndOneRuleCannotGo) {
  pw::ScopedCoInit com;
  auto list = TwoRules();
  pw::ui::FilterEditorState state;
  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Filtering rules");
    if (!w) return;
    d.Click(w, IDC_RE_CLONE);
    EXPECT_TRUE(d.WaitFor([&] { return Rules(d, w) == 3; }));
    EXPECT_EQ(ListText(d, w, IDC_RE_RULES, 2), L"Copy of Alpha");
    EXPECT_EQ(Sets(d, w), 1);
    // Deleting the set, then pressing what needs a selection, does nothing.
    d.Click(w, IDC_RE_SET_DELETE);
    AnswerYes(d);
    EXPECT_TRUE(d.WaitFor([&] { return Sets(d, w) == 0; }));
    EXPECT_FALSE(d.IsEnabled(w, IDC_RE_SET_CLONE));
    PostMessageW(w, WM_COMMAND, IDC_RE_SET_CLONE, 0);
    d.Click(w, IDC_RE_DELETE);
    AnswerYes(d);
    d.Click(w, IDC_RE_DELETE);
    AnswerYes(d);
    EXPECT_TRUE(d.WaitFor([&] { return Rules(d, w) == 1; }));
    EXPECT_FALSE(d.IsEnabled(w, IDC_RE_DELETE));
    EXPECT_FALSE(d.IsEnabled(w, IDC_RE_CLONE));
    d.PressCancel(w);
    d.WaitGone(w);
  });
  EXPECT_FALSE(pw::ui::EditFilterRules(nullptr, nullptr, *list, state));
  ExpectNoFailures(d);
  ASSERT_EQ(list->rules.size(), 2u);
  EXPECT_STREQ(list->rules[0]->name, L"Alpha");
  EXPECT_STREQ(list->rules[1]->name, L"Beta");
  EXPECT_EQ(list->rules[0]->sets.size(), 1u);
}

TEST(ConditionEditor, FromAMessageProposesItsFieldsAndGoesIntoThePickedRule) {
  pw::ScopedCoInit com;
  auto list = TwoRules();
  pw::ui::FilterEditorState state;
  auto m = pw::MailMessage::Create(L"u1");
  const std::string header =
      "From: Someone <someone@example.org>\r\nSubject: =?UTF-8?Q?Gro=C3=9Fe_Angebote?=\r\nComments:\r\n"
      "To: me@example.org\r\n\r\n";
  pw::parseHeader(*m, header.data(), header.size());
  state.rule = 1;
  UiDriver d([](UiDriver& d) {
    HWND c = d.WaitDialog(L"Filtering conditions");
    if (!c) return;
    EXPECT_TRUE(d.IsEnabled(c, IDC_CE_RULE));
    EXPECT_EQ(Count(d, c, IDC_CE_RULE, CB_GETCURSEL), 1);  // the rule chosen last time
    d.PickCombo(c, IDC_CE_FIELD, 14);                     // Reply-To: missing
    EXPECT_TRUE(d.WaitFor([&] { return ListText(d, c, IDC_CE_LIST, 0) == L"Reply-To Is not present"; }));
    d.PickCombo(c, IDC_CE_FIELD, 1);  // Comments: present, empty
    EXPECT_TRUE(d.WaitFor([&] { return ListText(d, c, IDC_CE_LIST, 0) == L"Comments Is blank"; }));
    d.PickCombo(c, IDC_CE_FIELD, 17);  // Subject: decoded
    EXPECT_TRUE(d.WaitFor([&] { return d.Text(c, IDC_CE_VALUE) == L"Große Angebote"; }));
    EXPECT_EQ(ListText(d, c, IDC_CE_LIST, 0), L"Subject Contains 'Große Angebote'");
    // A new search function clears "RAW field value" and keeps "Match case".
    d.Click(c, IDC_CE_RAW);
    d.Click(c, IDC_CE_CASE);
    EXPECT_TRUE(d.WaitFor([&] { return d.IsChecked(c, IDC_CE_RAW) && d.IsChecked(c, IDC_CE_CASE); }));
    d.PickCombo(c, IDC_CE_FUNCTION, 2);  // "Starts with"
    EXPECT_TRUE(d.WaitFor([&] { return !d.IsChecked(c, IDC_CE_RAW); }));
    EXPECT_TRUE(d.IsChecked(c, IDC_CE_CASE));
    d.SetText(c, IDC_CE_VALUE, L"Große");
    d.PickCombo(c, IDC_CE_RULE, 0);
    pwtest::Shoot(c, L"filters_condition_from_message");
    d.PressOk(c);
    d.WaitGone(c);
  });
  EXPECT_TRUE(pw::ui::CreateFilterCondition(nullptr, nullptr, *list, *m, state));
  ExpectNoFailures(d);
  EXPECT_EQ(state.rule, 0);
  EXPECT_EQ(state.field, 17);
  ASSERT_EQ(list->rules[0]->sets.size(), 2u);
  const pw::Condition& c = list->rules[0]->sets[1]->conditions.at(0);
  EXPECT_STREQ(c.field, L"Subject");
  EXPECT_EQ(c.searchType, pw::SearchType::StartsWith | pw::SearchType::MatchCase);
  // The message is classified by the new condition once the list is in use.
  pw::RuleSnapshot snap(std::make_unique<pw::RuleList>(*list));
  const pw::RuleOutcome o = pw::EvaluateRules(snap, *m);
  ASSERT_TRUE(o.type.has_value());
  EXPECT_EQ(*o.type, pw::MessageType::Approved);
}

TEST(DnsblDialog, ReadsTheFileAndTheTickedCategoriesGoIntoTheSet) {
  pw::ScopedCoInit com;
  const std::wstring ini = ExeDir() + L"\\dnsbl.ini";
  WriteFile8(ini,
             "DNSBL First List\nD The first one\nW https://first.example/\nZ first.example\n"
             "R 127.0.0.2 Spam source\nR 127.0.0.4 Hijacked host\nE\n"
             "DNSBL Second List\nD The second one\nZ second.example\nR 127.0.0.2 Listed\nr 127.0.0.3 ignored\nE\n");
  auto list = TwoRules();
  pw::ui::FilterEditorState state;
  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Filtering rules");
    if (!w) return;
    d.Click(w, IDC_RE_SET_DNSBL);
    HWND b = d.WaitDialog(L"DNS Black List");
    if (!b) return;
    EXPECT_EQ(Count(d, b, IDC_DB_SERVER, CB_GETCOUNT), 2);
    EXPECT_EQ(d.Text(b, IDC_DB_DESCRIPTION), L"The first one");
    HWND results = d.Control(b, IDC_DB_RESULTS);
    EXPECT_EQ(d.Send(results, LVM_GETITEMCOUNT, 0, 0), 2);
    d.PickCombo(b, IDC_DB_SERVER, 1);
    EXPECT_TRUE(d.WaitFor([&] { return d.Text(b, IDC_DB_DESCRIPTION) == L"The second one"; }));
    EXPECT_EQ(d.Send(results, LVM_GETITEMCOUNT, 0, 0), 1);  // the lower-case line is not read
    d.PickCombo(b, IDC_DB_SERVER, 0);
    EXPECT_TRUE(d.WaitFor([&] { return d.Send(results, LVM_GETITEMCOUNT, 0, 0) == 2; }));
    LVITEMW tick = {};
    tick.stateMask = LVIS_STATEIMAGEMASK;
    tick.state = INDEXTOSTATEIMAGEMASK(2);
    d.Send(results, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&tick));
    pwtest::Shoot(b, L"filters_dnsbl");
    d.PressOk(b);
    d.WaitGone(b);
    EXPECT_TRUE(d.WaitFor([&] { return Sets(d, w) == 2; }));
    EXPECT_EQ(SetText(d, w, 1), L"check on 'First List'");
    // Enter in the conditions list opens the selected set again, with its
    // category ticked.
    d.OnDialogThread(w, [&] { SetFocus(GetDlgItem(w, IDC_RE_SETS)); });
    d.PressOk(w);
    b = d.WaitDialog(L"DNS Black List");
    if (!b) return;
    results = d.Control(b, IDC_DB_RESULTS);
    EXPECT_EQ(d.Send(results, LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
    EXPECT_EQ(d.Send(results, LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
    d.PressCancel(b);
    d.WaitGone(b);
    d.OnDialogThread(w, [&] { SetFocus(GetDlgItem(w, IDC_RE_RULES)); });
    d.PressOk(w);
    d.WaitGone(w);
  });
  EXPECT_TRUE(pw::ui::EditFilterRules(nullptr, nullptr, *list, state));
  ExpectNoFailures(d);
  DeleteFileW(ini.c_str());
  ASSERT_EQ(list->rules[0]->sets.size(), 2u);
  const pw::ConditionSet& set = *list->rules[0]->sets[1];
  ASSERT_TRUE(set.dnsbl);
  EXPECT_STREQ(set.dnsbl->zone.Get(), L"first.example");
  ASSERT_EQ(set.dnsbl->results.size(), 1u);
  EXPECT_EQ(set.dnsbl->results[0].code, 0x7F000004u);
  EXPECT_STREQ(set.dnsbl->results[0].reason.Get(), L"Hijacked host");
}

// Import through the dialog: a word list, then a refused file.
void Import(UiDriver& d, HWND w, const std::wstring& file, int function) {
  d.Click(w, IDC_RE_SET_IMPORT);
  HWND i = d.WaitDialog(L"Import conditions");
  if (!i) return;
  EXPECT_EQ(d.Text(i, IDC_IC_FIELD), L"From");
  d.SetText(i, IDC_IC_FILE, file);
  d.PickCombo(i, IDC_IC_FUNCTION, function);
  d.Send(i, WM_NULL, 0, 0);
  pwtest::Shoot(i, L"filters_import");
  d.PressOk(i);
  d.WaitGone(i);
}

TEST(ImportDialog, WordListsComeInExportRoundTripsAndARefusedFileAddsNothing) {
  pw::ScopedCoInit com;
  const std::wstring words = TempFile(L"pw_words.txt"), bad = TempFile(L"pw_bad.xml"), xml = TempFile(L"pw_out.xml");
  WriteFile8(words, "cheap pills\tSubject\t!*=*\nfirst\tSubject\t*=*\tAND\tsecond\n5000\tX\tszMax\n");
  WriteFile8(bad, "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"b\">]><pwardenfilters/>");
  auto list = TwoRules();
  pw::ui::FilterEditorState state;
  UiDriver d([&](UiDriver& d) {
    HWND w = d.WaitDialog(L"Filtering rules");
    if (!w) return;
    Import(d, w, words, 1);
    EXPECT_TRUE(d.WaitFor([&] { return Sets(d, w) == 4; }));
    Import(d, w, bad, 0);
    HWND warn = d.WaitDialog(L"Postwarden");
    if (warn) PostMessageW(warn, WM_COMMAND, IDOK, 0);
    d.WaitGone(warn);
    EXPECT_EQ(Sets(d, w), 4);
    // Export through the save dialog, then the file comes back in: the
    // rule's sets double.
    d.Click(w, IDC_RE_SET_EXPORT);
    HWND save = d.WaitDialog(L"Select file to export to");
    if (!save) return;
    HWND name = GetDlgItem(save, 0x47C);  // the file name box
    if (!name) name = GetDlgItem(save, 0x480);
    d.Send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(xml.c_str()));
    d.PressOk(save);
    d.WaitGone(save);
    EXPECT_TRUE(d.WaitFor([&] { return GetFileAttributesW(xml.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    Import(d, w, xml, 0);
    EXPECT_TRUE(d.WaitFor([&] { return Sets(d, w) == 8; }));
    d.PressOk(w);
    d.WaitGone(w);
  });
  EXPECT_TRUE(pw::ui::EditFilterRules(nullptr, nullptr, *list, state));
  ExpectNoFailures(d);
  const pw::FilterRule& r = *list->rules[0];
  ASSERT_EQ(r.sets.size(), 8u);
  for (size_t i = 0; i < 4; ++i) {
    ASSERT_EQ(r.sets[i + 4]->conditions.size(), r.sets[i]->conditions.size());
    for (size_t k = 0; k < r.sets[i]->conditions.size(); ++k) {
      EXPECT_STREQ(r.sets[i + 4]->conditions[k].field, r.sets[i]->conditions[k].field);
      EXPECT_STREQ(r.sets[i + 4]->conditions[k].substring, r.sets[i]->conditions[k].substring);
      EXPECT_EQ(r.sets[i + 4]->conditions[k].searchType, r.sets[i]->conditions[k].searchType);
      EXPECT_EQ(r.sets[i + 4]->conditions[k].size, r.sets[i]->conditions[k].size);
    }
  }
  EXPECT_STREQ(r.sets[1]->conditions.at(0).field, L"Subject");
  EXPECT_EQ(r.sets[1]->conditions[0].searchType, 0x1001u);
  ASSERT_EQ(r.sets[2]->conditions.size(), 2u);
  EXPECT_STREQ(r.sets[2]->conditions[1].field, L"From");
  EXPECT_EQ(r.sets[2]->conditions[1].searchType, 0x0001u);
  EXPECT_EQ(r.sets[3]->conditions.at(0).size, 5000u);
  DeleteFileW(words.c_str());
  DeleteFileW(bad.c_str());
  DeleteFileW(xml.c_str());
}

TEST(RuleEditor, WorksFromTheKeyboardAlone) {
  pw::ScopedCoInit com;
  auto list = TwoRules();
  pw::ui::FilterEditorState state;
  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Filtering rules");
    if (!w) return;
    HWND rules = d.Control(w, IDC_RE_RULES);
    // Down arrow in the rules list, then Alt+A ("&Add rule"), then Enter.
    d.OnDialogThread(w, [&] { SetFocus(rules); });
    PostMessageW(rules, WM_KEYDOWN, VK_DOWN, 1);
    EXPECT_TRUE(d.WaitFor([&] { return d.Send(rules, LB_GETCURSEL, 0, 0) == 1; }));
    PostMessageW(rules, WM_SYSCHAR, L'a', 1 << 29);
    EXPECT_TRUE(d.WaitFor([&] { return d.Send(rules, LB_GETCOUNT, 0, 0) == 3; }));
    // Focus went to the name: typing renames the new rule.
    HWND name = d.Control(w, IDC_RE_NAME);
    for (wchar_t ch : std::wstring(L"Typed")) PostMessageW(name, WM_CHAR, ch, 1);
    EXPECT_TRUE(d.WaitFor([&] { return ListText(d, w, IDC_RE_RULES, 2) == L"Typed"; }));
    PostMessageW(name, WM_KEYDOWN, VK_RETURN, 1);
    d.WaitGone(w);
  });
  EXPECT_TRUE(pw::ui::EditFilterRules(nullptr, nullptr, *list, state));
  ExpectNoFailures(d);
  ASSERT_EQ(list->rules.size(), 3u);
  EXPECT_STREQ(list->rules[2]->name, L"Typed");
}

TEST(RuleEditor, ABrokenPatternIsMarkedInBothListsAndStillKept) {
  pw::ScopedCoInit com;
  auto list = TwoRules();
  pw::ui::FilterEditorState state;
  list->rules[0]->sets[0]->addCondition(L"Subject", pw::SearchType::Regex, L"([a-", 0);
  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Filtering rules");
    if (!w) return;
    EXPECT_EQ(SetText(d, w, 0).rfind(L"(!) ", 0), 0u) << SetText(d, w, 0);
    d.OnDialogThread(w, [&] {
      HWND sets = GetDlgItem(w, IDC_RE_SETS);
      ListView_SetItemState(sets, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      SetFocus(sets);
    });
    d.PressOk(w);  // Enter in the list opens the set
    HWND c = d.WaitDialog(L"Filtering conditions");
    if (!c) return;
    EXPECT_EQ(ListText(d, c, IDC_CE_LIST, 0), L"From Contains '@friend.example'");
    EXPECT_EQ(ListText(d, c, IDC_CE_LIST, 1), L"(!) Subject Contains regular expression '([a-'");
    d.PressCancel(c);
    d.WaitGone(c);
    d.OnDialogThread(w, [&] { SetFocus(GetDlgItem(w, IDC_RE_RULES)); });
    d.PressOk(w);
    d.WaitGone(w);
  });
  EXPECT_TRUE(pw::ui::EditFilterRules(nullptr, nullptr, *list, state));
  ExpectNoFailures(d);
  EXPECT_EQ(list->rules[0]->sets[0]->conditions.size(), 2u);
  pw::Condition good;
  good.searchType = pw::SearchType::BodyRegex;
  wcscpy(good.substring, L"[0-9]+ offers?");
  EXPECT_EQ(pw::ui::PatternProblem(good), L"");
  wcscpy(good.substring, L"a{2,1}");
  EXPECT_NE(pw::ui::PatternProblem(good), L"");
}

TEST(ConditionEditor, TypedFieldNamesCompleteAndAreStored) {
  pw::ScopedCoInit com;
  pw::ConditionSet set;
  pw::ui::ConditionEditor editor(set, 7);
  UiDriver d([](UiDriver& d) {
    HWND c = d.WaitDialog(L"Filtering conditions");
    if (!c) return;
    EXPECT_EQ(d.Text(c, IDC_CE_FIELD), L"From");
    HWND edit = GetWindow(d.Control(c, IDC_CE_FIELD), GW_CHILD);
    d.OnDialogThread(c, [&] {
      SetFocus(edit);
      SendMessageW(edit, EM_SETSEL, 0, -1);
    });
    for (wchar_t ch : std::wstring(L"X-Mai")) PostMessageW(edit, WM_CHAR, ch, 1);
    // The platform appends the rest of the one proposed name that fits.
    EXPECT_TRUE(d.WaitFor([&] { return d.Text(edit) == L"X-Mailer"; }, 3000)) << std::string(d.Text(edit).size(), '?');
    d.PressOk(c);
    d.WaitGone(c);
  });
  EXPECT_EQ(editor.DoModal(nullptr, nullptr), IDOK);
  ExpectNoFailures(d);
  ASSERT_EQ(set.conditions.size(), 1u);
  EXPECT_STREQ(set.conditions[0].field, L"X-Mailer");
  EXPECT_EQ(editor.FieldIndex(), 25);
}

TEST(ConditionNumber, OnlyWholeNumbersThatFit) {
  uint32_t v = 7;
  EXPECT_TRUE(pw::ui::ParseConditionNumber(L" 4294967295 ", v));
  EXPECT_EQ(v, 4294967295u);
  EXPECT_FALSE(pw::ui::ParseConditionNumber(L"4294967296", v));
  EXPECT_EQ(v, 0u);
  EXPECT_FALSE(pw::ui::ParseConditionNumber(L"12k", v));
  EXPECT_FALSE(pw::ui::ParseConditionNumber(L"-1", v));
  EXPECT_TRUE(pw::ui::ParseConditionNumber(L"", v));
  EXPECT_EQ(v, 0u);
}

}  // namespace
