// The rule list through the settings stream: a full round trip, older
// streams without the newer keys, and damaged counts.
#include <gtest/gtest.h>

#include "base/SettingsTree.h"
#include "filter/BuiltinRules.h"
#include "filter/RuleStore.h"
#include "TestStreams.h"

namespace ST = pw::SearchType;
namespace RR = pw::RuleResult;

namespace {

// Writes the list into a "Filters" node, streams it out and back in.
std::unique_ptr<pw::RuleList> RoundTrip(const pw::RuleList& list, bool* stored = nullptr) {
  pw::SettingsTree out;
  out.CreateNode(L"Filters");
  out.SetInt(L"useFilter", 1);
  pw::SaveRuleList(out, list);
  out.CloseNode();
  pw::SettingsTree in;
  EXPECT_TRUE(pwtest::ReadTree(in, pwtest::WriteTree(out)));
  EXPECT_TRUE(in.EnterNode(L"Filters"));
  auto back = std::make_unique<pw::RuleList>();
  bool ok = pw::LoadRuleList(in, *back);
  if (stored) *stored = ok;
  return back;
}

}  // namespace

TEST(RuleStore, FullListRoundTrip) {
  pw::RuleList list;
  pw::AddBuiltinRules(list);
  pw::FilterRule& r = list.addRule(L"Everything", RR::SaveMessage | RR::RunCommandAction | RR::ContinueRules);
  wcscpy(r.soundFile, L"C:\\s.wav");
  wcscpy(r.savePath, L"C:\\mail");
  wcscpy(r.cmdLine, L"\"C:\\Program Files\\x.exe\" /q");
  wcscpy(r.icon, L"msgicons\\red.png");
  r.runHidden = 1;
  r.freeBody = 0;
  r.skip = 7;
  r.color = 0x00112233;
  r.bkColor = 0;
  pw::ConditionSet& s = r.addSet();
  s.disable = 1;
  s.addCondition(L"Subject", ST::Regex | ST::Not | ST::MatchCase | ST::Raw, L"^\\[SPAM\\]", 0);
  s.addCondition(L"", ST::MaxSize, L"", 123456);
  pw::ConditionSet& d = r.addSet();
  d.dnsbl = std::make_unique<pw::DnsblService>();
  d.dnsbl->name.Set(L"Test list");
  d.dnsbl->zone.Set(L"bl.example");
  d.dnsbl->results.push_back({0x7F000002u, pw::OwnedWText(L"spam source")});
  d.dnsbl->results.push_back({0x7F00000Au, pw::OwnedWText(L"dynamic")});

  bool stored = false;
  auto back = RoundTrip(list, &stored);
  EXPECT_TRUE(stored);
  ASSERT_EQ(back->rules.size(), list.rules.size());
  for (size_t i = 0; i < list.rules.size(); ++i) {
    const pw::FilterRule& a = *list.rules[i];
    const pw::FilterRule& b = *back->rules[i];
    EXPECT_STREQ(a.name, b.name);
    EXPECT_EQ(a.result, b.result);
    EXPECT_STREQ(a.soundFile, b.soundFile);
    EXPECT_STREQ(a.savePath, b.savePath);
    EXPECT_STREQ(a.cmdLine, b.cmdLine);
    EXPECT_STREQ(a.icon, b.icon);
    EXPECT_EQ(a.runHidden, b.runHidden);
    EXPECT_EQ(a.freeBody, b.freeBody);
    EXPECT_EQ(a.skip, b.skip);
    EXPECT_EQ(a.color, b.color);
    EXPECT_EQ(a.bkColor, b.bkColor);
    ASSERT_EQ(a.sets.size(), b.sets.size()) << i;
    for (size_t k = 0; k < a.sets.size(); ++k) {
      const pw::ConditionSet& x = *a.sets[k];
      const pw::ConditionSet& y = *b.sets[k];
      EXPECT_EQ(x.disable, y.disable);
      ASSERT_EQ(x.conditions.size(), y.conditions.size());
      for (size_t c = 0; c < x.conditions.size(); ++c) {
        EXPECT_STREQ(x.conditions[c].field, y.conditions[c].field);
        EXPECT_STREQ(x.conditions[c].substring, y.conditions[c].substring);
        EXPECT_EQ(x.conditions[c].searchType, y.conditions[c].searchType);
        EXPECT_EQ(x.conditions[c].size, y.conditions[c].size);
      }
      ASSERT_EQ(!x.dnsbl, !y.dnsbl);
      if (x.dnsbl) {
        EXPECT_STREQ(x.dnsbl->name.Get(), y.dnsbl->name.Get());
        EXPECT_STREQ(x.dnsbl->zone.Get(), y.dnsbl->zone.Get());
        ASSERT_EQ(y.dnsbl->results.size(), 2u);
        EXPECT_EQ(y.dnsbl->results[1].code, 0x7F00000Au);
        EXPECT_STREQ(y.dnsbl->results[1].reason.Get(), L"dynamic");
      }
    }
  }
}

TEST(RuleStore, OlderStreamsAndDamagedCounts) {
  // A stream written before rules existed: no list at all.
  pw::SettingsTree none;
  none.CreateNode(L"Filters");
  none.SetInt(L"useFilter", 1);
  none.CloseNode();
  ASSERT_TRUE(none.EnterNode(L"Filters"));
  pw::RuleList list;
  EXPECT_FALSE(pw::LoadRuleList(none, list));

  // A rule without the newer keys, a count larger than the rules present,
  // a missing rule node, unknown searchType bits, over-long strings.
  pw::SettingsTree t;
  t.CreateNode(L"Filters");
  t.SetInt(L"count", 1000000000);
  t.CreateNode(L"rule#1");
  t.SetInt(L"result", RR::MarkSpam | RR::Undecided);
  const std::wstring longName(600, L'n');
  t.SetString(L"name", longName.c_str());
  t.CreateNode(L"sets");
  t.SetInt(L"count", 3);
  t.CreateNode(L"set#0");
  t.SetInt(L"count", 1);
  t.CreateNode(L"match#0");
  t.SetString(L"field", L"Subject");
  t.SetInt(L"searchType", 0x7FFF7001);
  t.CloseNode();
  t.CloseNode();
  t.CloseNode();
  t.CloseNode();
  t.CloseNode();
  ASSERT_TRUE(t.EnterNode(L"Filters"));
  EXPECT_TRUE(pw::LoadRuleList(t, list));
  ASSERT_EQ(list.rules.size(), 1u);
  const pw::FilterRule& r = *list.rules[0];
  EXPECT_EQ(r.result, RR::MarkSpam);  // the never-stored bit is dropped
  EXPECT_EQ(wcslen(r.name), pw::kFieldUnits - 1);
  // Without colours the rule gives the default ones, not black on black.
  EXPECT_EQ(r.color, -1);
  EXPECT_EQ(r.bkColor, -1);
  EXPECT_EQ(r.freeBody, 1u);
  ASSERT_EQ(r.sets.size(), 1u);
  ASSERT_EQ(r.sets[0]->conditions.size(), 1u);
  EXPECT_EQ(r.sets[0]->conditions[0].searchType, 0x7001u);
  EXPECT_STREQ(r.sets[0]->conditions[0].substring, L"");
}

TEST(RuleStore, EmptiedListStaysEmpty) {
  pw::RuleList empty;
  bool stored = false;
  auto back = RoundTrip(empty, &stored);
  // The user deleted every rule: that is a stored list, not a fresh start.
  EXPECT_TRUE(stored);
  EXPECT_TRUE(back->rules.empty());
}
