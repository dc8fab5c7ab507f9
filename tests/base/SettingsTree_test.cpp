#include "base/SettingsTree.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <random>

#include "TestStreams.h"
#include "base/Scoped.h"

using pw::EntryKind;
using pw::SettingsTree;

TEST(SettingsTree, EmptyTreeIsFourZeroBytes) {
  SettingsTree t;
  auto bytes = pwtest::WriteTree(t);
  ASSERT_EQ(bytes.size(), 4u);
  EXPECT_EQ(bytes, std::vector<uint8_t>(4, 0));
  SettingsTree back;
  ASSERT_TRUE(pwtest::ReadTree(back, bytes));
  EXPECT_TRUE(back.Entries().empty());
}

TEST(SettingsTree, GettersCheckSizes) {
  SettingsTree t;
  t.SetShort(L"s", 7);
  t.SetInt(L"i", 9);
  t.SetBinary(L"b", "abc", 3);
  EXPECT_EQ(t.GetInt(L"s", -1), -1);
  EXPECT_EQ(t.GetShort(L"i", -1), -1);
  EXPECT_EQ(t.GetShort(L"s", -1), 7);
  EXPECT_EQ(t.GetInt(L"i", -1), 9);
  uint32_t size = 99;
  EXPECT_EQ(t.GetBinary(L"missing", &size), nullptr);
  EXPECT_EQ(size, 0u);
  const uint8_t* b = t.GetBinary(L"B", &size);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(memcmp(b, "abc", 3), 0);
  EXPECT_STREQ(t.GetString(L"none", L"def"), L"def");
}

TEST(SettingsTree, NestedValueComesFirstAndCaseIsIgnored) {
  SettingsTree t;
  t.CreateNode(L"a");
  t.SetInt(L"x", 1);
  EXPECT_TRUE(t.CloseNode());
  t.SetInt(L"x", 2);
  EXPECT_FALSE(t.CloseNode());
  EXPECT_EQ(t.GetInt(L"x", 0), 1);
  EXPECT_EQ(t.GetInt(L"X", 0), 1);
  ASSERT_TRUE(t.EnterNode(L"A"));
  EXPECT_EQ(t.GetInt(L"x", 0), 1);
  EXPECT_TRUE(t.LeaveNode());
  EXPECT_FALSE(t.LeaveNode());
}

TEST(SettingsTree, ScopeEndsAtItsNodeEndAndSeesGrandchildren) {
  SettingsTree t;
  t.CreateNode(L"outer");
  t.CreateNode(L"inner");
  t.SetInt(L"deep", 5);
  t.CreateNode(L"grand");
  t.CloseNode();
  t.CloseNode();
  t.CloseNode();
  t.SetInt(L"after", 6);
  ASSERT_TRUE(t.EnterNode(L"outer"));
  EXPECT_EQ(t.GetInt(L"deep", 0), 5);
  EXPECT_EQ(t.GetInt(L"after", 0), 0);  // beyond the node's end
  EXPECT_TRUE(t.EnterNode(L"grand"));    // a grandchild can be entered
  EXPECT_FALSE(t.EnterNode(L"deep"));    // values are not nodes
  EXPECT_EQ(t.Depth(), 2u);
}

TEST(SettingsTree, StringsRoundTripIncludingEmpty) {
  SettingsTree t;
  t.SetString(L"empty", L"");
  t.SetString(L"text", L"Grüße");
  t.SetString(L"null", nullptr);  // writes nothing
  t.SetBinary(L"nullbin", nullptr, 4);
  t.SetBinary(L"zero", "", 0);
  ASSERT_EQ(t.Entries().size(), 3u);
  EXPECT_EQ(t.Entries()[0].size, 2u);
  SettingsTree back;
  ASSERT_TRUE(pwtest::ReadTree(back, pwtest::WriteTree(t)));
  EXPECT_STREQ(back.GetString(L"empty", L"def"), L"");
  EXPECT_STREQ(back.GetString(L"text", L"def"), L"Grüße");
  uint32_t size = 9;
  EXPECT_NE(back.GetBinary(L"zero", &size), nullptr);
  EXPECT_EQ(size, 0u);
}

TEST(SettingsTree, StreamRoundTripKeepsEveryEntry) {
  SettingsTree t;
  t.CreateNode(L"settings");
  t.SetInt(L"int", -123456);
  t.SetShort(L"short", -2);
  t.SetString(L"str", L"value");
  double d = 0.2;
  t.SetBinary(L"bin", &d, sizeof d);
  t.CreateNode(L"child#0");
  t.SetInt(L"int", 1);
  t.CloseNode();
  t.CloseNode();
  auto bytes = pwtest::WriteTree(t);
  SettingsTree back;
  ASSERT_TRUE(pwtest::ReadTree(back, bytes));
  ASSERT_EQ(back.Entries().size(), t.Entries().size());
  for (size_t i = 0; i < t.Entries().size(); ++i) {
    EXPECT_EQ(back.Entries()[i].Name(), t.Entries()[i].Name());
    EXPECT_EQ(back.Entries()[i].kind, t.Entries()[i].kind);
    EXPECT_EQ(back.Entries()[i].Bytes(), t.Entries()[i].Bytes());
  }
  EXPECT_EQ(pwtest::WriteTree(back), bytes);
  ASSERT_TRUE(back.EnterNode(L"settings"));
  EXPECT_EQ(back.GetInt(L"int", 0), -123456);
  EXPECT_EQ(back.GetShort(L"short", 0), -2);
  uint32_t size = 0;
  const uint8_t* p = back.GetBinary(L"bin", &size);
  ASSERT_EQ(size, 8u);
  double r;
  memcpy(&r, p, 8);
  EXPECT_EQ(memcmp(&r, &d, 8), 0);
}

TEST(SettingsTree, PointersSurviveLaterAppends) {
  SettingsTree t;
  t.SetString(L"first", L"kept");
  const wchar_t* p = t.GetString(L"first", nullptr);
  std::vector<uint8_t> mid(20 * 1024, 5);  // larger than the first arena block
  t.SetBinary(L"mid", mid.data(), static_cast<uint32_t>(mid.size()));
  std::vector<uint8_t> big(300 * 1024, 7);
  for (int i = 0; i < 2000; ++i) t.SetInt(L"filler", i);
  t.SetBinary(L"big", big.data(), static_cast<uint32_t>(big.size()));
  t.SetBinary(L"big2", big.data(), static_cast<uint32_t>(big.size()));
  EXPECT_STREQ(p, L"kept");
  uint32_t size = 0;
  const uint8_t* b = t.GetBinary(L"big2", &size);
  ASSERT_EQ(size, big.size());
  EXPECT_EQ(memcmp(b, big.data(), size), 0);
  SettingsTree back;
  ASSERT_TRUE(pwtest::ReadTree(back, pwtest::WriteTree(t)));
  b = back.GetBinary(L"big", &size);
  ASSERT_EQ(size, big.size());
  EXPECT_EQ(memcmp(b, big.data(), size), 0);
  b = back.GetBinary(L"mid", &size);
  ASSERT_EQ(size, mid.size());
  EXPECT_EQ(memcmp(b, mid.data(), size), 0);
}

TEST(SettingsTree, StringIntoFieldIsCutToCapacity) {
  SettingsTree t;
  t.SetString(L"long", L"abcdefghij");
  wchar_t field[4] = {L'x', L'x', L'x', L'x'};
  t.GetStringInto(L"long", L"", field, 4);
  EXPECT_STREQ(field, L"abc");
}

TEST(SettingsTree, IndexAgreesWithPlainWalk) {
  // Random trees of few names, many nestings: every lookup from every open
  // path must give the first-match answer of the plain walk.
  std::mt19937 rng(1234);
  const wchar_t* names[] = {L"a", L"B", L"c", L"A", L"node", L"NODE", L"\u00e9t\u00e9"};
  for (int round = 0; round < 30; ++round) {
    SettingsTree t;
    int depth = 0;
    for (int i = 0; i < 200; ++i) {
      int op = rng() % 4;
      const wchar_t* n = names[rng() % 7];
      if (op == 0 && depth < 6) { t.CreateNode(n); ++depth; }
      else if (op == 1 && depth > 0) { t.CloseNode(); --depth; }
      else t.SetInt(n, i);
    }
    while (depth-- > 0) t.CloseNode();
    SettingsTree r;
    ASSERT_TRUE(pwtest::ReadTree(r, pwtest::WriteTree(t)));
    for (int walk = 0; walk < 50; ++walk) {
      for (const wchar_t* q : names) {
        ASSERT_EQ(r.FindLinear(q, false) >= 0, r.GetInt(q, -1) != -1 || r.FindLinear(q, false) >= 0);
        int lin = r.FindLinear(q, false);
        int32_t expect = -1;
        if (lin >= 0 && r.Entries()[lin].kind == EntryKind::Value) memcpy(&expect, r.Entries()[lin].data, 4);
        EXPECT_EQ(r.GetInt(q, -1), expect);
      }
      const wchar_t* n = names[rng() % 7];
      int lin = r.FindLinear(n, true);
      bool entered = r.EnterNode(n);
      EXPECT_EQ(entered, lin >= 0);
      if (!entered && !r.LeaveNode()) break;
    }
  }
}

TEST(SettingsTree, DamagedStreamsAreRejectedWhole) {
  SettingsTree t;
  t.CreateNode(L"settings");
  t.SetInt(L"pause", 1);
  t.SetString(L"reader", L"mail.exe /x");
  t.CreateNode(L"column#0");
  t.SetShort(L"width", 100);
  t.CloseNode();
  double d = 0.5;
  t.SetBinary(L"horz", &d, sizeof d);
  t.CloseNode();
  t.CreateNode(L"accounts");
  t.SetInt(L"count", 0);
  t.CloseNode();
  const auto valid = pwtest::WriteTree(t);
  auto check = [](const std::vector<uint8_t>& bytes, bool mustFail) {
    SettingsTree r;
    bool ok = pwtest::ReadTree(r, bytes);
    if (mustFail) EXPECT_FALSE(ok);
    if (!ok) {
      EXPECT_TRUE(r.Entries().empty());
      EXPECT_EQ(r.GetInt(L"pause", -1), -1);
    } else {
      // Whatever was accepted writes back as the bytes it came from (bytes
      // beyond the counted entries are not part of the tree).
      auto again = pwtest::WriteTree(r);
      ASSERT_LE(again.size(), bytes.size());
      EXPECT_TRUE(std::equal(again.begin(), again.end(), bytes.begin()));
    }
  };
  for (size_t cut = 0; cut < valid.size(); ++cut)
    check(std::vector<uint8_t>(valid.begin(), valid.begin() + cut), true);
  const uint32_t hostile[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000001u, 0x0FFFFFFFu, 1u, 3u, 0u};
  for (size_t at = 0; at + 4 <= valid.size(); ++at) {
    for (uint32_t h : hostile) {
      std::vector<uint8_t> b = valid;
      memcpy(&b[at], &h, 4);
      check(b, false);
    }
  }
  // An end that names a node other than the open one, and one with no node open.
  SettingsTree bad;
  bad.CreateNode(L"a");
  bad.CreateNode(L"b");
  bad.CloseNode();
  bad.CloseNode();
  auto b = pwtest::WriteTree(bad);
  auto patch = [&](uint32_t index) {
    std::vector<uint8_t> c = b;
    memcpy(&c[c.size() - 4], &index, 4);  // data of the last NodeEnd
    return c;
  };
  check(patch(1), true);
  check(patch(7), true);
  std::mt19937 rng(20261208);
  for (int i = 0; i < 2000; ++i) {
    std::vector<uint8_t> r(rng() % 300);
    for (auto& x : r) x = static_cast<uint8_t>(rng());
    if (r.size() >= 4 && rng() % 2) r[0] = static_cast<uint8_t>(rng() % 5), r[1] = r[2] = r[3] = 0;
    check(r, false);
  }
}
