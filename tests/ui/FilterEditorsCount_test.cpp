// The rule editor's live count, through the real dialog: the figure shown
// for a rule over messages held by real account records, a set switched
// off, and a selection changed while a slow count is still running.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "account/MailAccount.h"
#include "account/MailMessage.h"
#include "account/MessageHeader.h"
#include "base/Scoped.h"
#include "filter/RuleModel.h"
#include "ui/FilterEditors.h"
#include "ui/LiveCount.h"
#include "ui/support/Screenshot.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

// `total` messages in one account; every `friendEvery`-th is from the
// friend's domain, every `offerEvery`-th has "offer" in its subject.
pw::RefPtr<pw::MailAccount> Mailbox(int total, int friendEvery, int offerEvery) {
  auto account = pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(nullptr));
  for (int i = 0; i < total; ++i) {
    const std::string header = std::string("From: someone <x") + std::to_string(i) +
                               (i % friendEvery == 0 ? "@friend.example>" : "@elsewhere.example>") +
                               "\r\nSubject: " + (i % offerEvery == 0 ? "Special offer " : "Minutes ") +
                               std::to_string(i) + "\r\n\r\n";
    auto m = pw::MailMessage::Create((L"u" + std::to_wstring(i)).c_str());
    pw::parseHeader(*m, header.data(), header.size());
    account->AddMessage(m.Get());
  }
  // A queued reply is not mail that arrived: it is not counted.
  auto reply = pw::MailMessage::Create(L"reply");
  reply->SetType(pw::MessageType::Outgoing);
  account->AddMessage(reply.Get());
  return account;
}

std::unique_ptr<pw::RuleList> TwoRules() {
  auto list = std::make_unique<pw::RuleList>();
  list->addRule(L"Alpha", pw::RuleResult::MarkApproved).addSet().addCondition(L"From", 1, L"@friend.example", 0);
  list->addRule(L"Beta", pw::RuleResult::MarkSpam).addSet().addCondition(L"Subject", 1, L"offer", 0);
  return list;
}

std::wstring Label(UiDriver& d, HWND w) { return d.Text(w, IDC_RE_COUNT); }

void SelectRule(UiDriver& d, HWND w, int index) {
  HWND rules = d.Control(w, IDC_RE_RULES);
  d.Send(rules, LB_SETCURSEL, index, 0);
  d.Send(w, WM_COMMAND, MAKEWPARAM(IDC_RE_RULES, LBN_SELCHANGE), reinterpret_cast<LPARAM>(rules));
}

TEST(LiveCount, TheSelectedRulesFigureFollowsSelectionAndTickedSets) {
  pw::ScopedCoInit com;
  auto list = TwoRules();
  pw::ui::FilterEditorState state;
  // 1,500 messages over two accounts: 300 from the friend, 150 offers.
  state.accounts = {Mailbox(1000, 5, 10), Mailbox(500, 5, 10)};
  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Filtering rules");
    if (!w) return;
    const std::wstring alpha = pw::ui::MatchCountText(300, 1500), beta = pw::ui::MatchCountText(150, 1500);
    EXPECT_NE(alpha.find(L"matches 300 of 1"), std::wstring::npos) << std::string(alpha.begin(), alpha.end());
    EXPECT_TRUE(d.WaitFor([&] { return Label(d, w) == alpha; }));
    SelectRule(d, w, 1);
    EXPECT_TRUE(d.WaitFor([&] { return Label(d, w) == beta; }));
    pwtest::Shoot(w, L"filters_rule_editor_count");
    // The set switched off: the rule matches nothing.
    HWND sets = d.Control(w, IDC_RE_SETS);
    LVITEMW off = {};
    off.stateMask = LVIS_STATEIMAGEMASK;
    off.state = INDEXTOSTATEIMAGEMASK(1);
    d.Send(sets, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&off));
    EXPECT_TRUE(d.WaitFor([&] { return Label(d, w) == pw::ui::MatchCountText(0, 1500); }));
    d.PressCancel(w);
    d.WaitGone(w);
  });
  EXPECT_FALSE(pw::ui::EditFilterRules(nullptr, nullptr, *list, state));
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
}

TEST(LiveCount, ASelectionChangedMidCountNeverShowsTheOldRulesFigure) {
  pw::ScopedCoInit com;
  auto list = TwoRules();
  // The first rule is slow: a hundred sets that never match, each one
  // looked at on every message.
  for (int i = 0; i < 100; ++i)
    list->rules[0]->addSet().addCondition(L"Subject", pw::SearchType::Regex,
                                          (L"(a|b|c)*never" + std::to_wstring(i)).c_str(), 0);
  pw::ui::FilterEditorState state;
  state.accounts = {Mailbox(6000, 5, 10)};
  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Filtering rules");
    if (!w) return;
    const std::wstring beta = pw::ui::MatchCountText(600, 6000);
    // The first rule's count starts as the dialog opens; the second rule
    // is chosen at once, and then again and again while the first would
    // still be counting.
    for (int round = 0; round < 3; ++round) {
      SelectRule(d, w, 0);
      SelectRule(d, w, 1);
      // The selection handler has cleared the label: whatever shows now
      // is the second rule's figure.
      std::vector<std::wstring> seen;
      const DWORD until = GetTickCount() + 3000;
      while (static_cast<LONG>(GetTickCount() - until) < 0) {
        const std::wstring now = Label(d, w);
        if (!now.empty() && (seen.empty() || seen.back() != now)) seen.push_back(now);
        if (now == beta && GetTickCount() + 1500 > until) break;
        Sleep(5);
      }
      ASSERT_FALSE(seen.empty());
      for (const std::wstring& s : seen) EXPECT_EQ(s, beta) << "round " << round;
    }
    d.PressCancel(w);
    d.WaitGone(w);
  });
  EXPECT_FALSE(pw::ui::EditFilterRules(nullptr, nullptr, *list, state));
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
}

}  // namespace
