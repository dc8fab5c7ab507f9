// The calling conventions: stretches, groups, counts, substitution and the
// WCHAR overloads of the Windows build.
#include <gtest/gtest.h>

#include "RegexTestUtil.h"

namespace {

TEST(RegexApi, FindReportsPositionsOfTheMatchAndItsGroups) {
  std::u16string text = u"From: Jane <jane@example.com>";
  regex::Pattern p = regex::Compile(u"<([[:alnum:]\\.@]+)>");
  EXPECT_EQ(p.GroupCount(), 1u);
  regex::Match m = regex::Find(p, text);
  ASSERT_TRUE(m.matched);
  ASSERT_EQ(m.groups.size(), 2u);
  EXPECT_EQ(m[0].begin, 11u);
  EXPECT_EQ(m[0].end, text.size());
  EXPECT_EQ(regex::Group(m, text, 1), u"jane@example.com");
  EXPECT_EQ(regex::Group(m, text, 7), u"");  // no such group
}

TEST(RegexApi, NoMatchHasNoPositions) {
  regex::Match m = regex::Find(regex::Compile(u"(x)"), u"abc");
  EXPECT_FALSE(m.matched);
  EXPECT_FALSE(m.limitReached);
  EXPECT_TRUE(m.groups.empty());
  EXPECT_FALSE(m[0].matched());
  EXPECT_EQ(regex::Group(m, u"abc", 1), u"");
}

TEST(RegexApi, GroupsThatTookNoPartAreEmpty) {
  std::u16string text = u"b";
  regex::Match m = regex::Find(regex::Compile(u"(a)?(b)"), text);
  ASSERT_TRUE(m.matched);
  EXPECT_FALSE(m[1].matched());
  EXPECT_EQ(regex::Group(m, text, 1), u"");
  EXPECT_EQ(regex::Group(m, text, 2), u"b");
}

TEST(RegexApi, TheStretchIsTheWholeSubject) {
  std::u16string text = u"abc abc abc";
  regex::Pattern p = regex::Compile(u"^abc");
  EXPECT_EQ(regex::Find(p, text, 4).groups[0].begin, 4u);  // ^ at the stretch start
  regex::Pattern word = regex::Compile(u"\\bbc");
  EXPECT_TRUE(regex::Find(word, text, 1, 2).matched);  // text before is not seen
  EXPECT_FALSE(regex::Find(regex::Compile(u"abc"), text, 1, 5).matched);
  regex::Match m = regex::Find(regex::Compile(u"abc"), text, 1, 6);
  ASSERT_TRUE(m.matched);
  EXPECT_EQ(m[0].begin, 4u);
  EXPECT_FALSE(regex::Find(regex::Compile(u"c$"), text, 0, 3).matched == false);
  EXPECT_FALSE(regex::Find(p, text, 99).matched);
  EXPECT_EQ(regex::Count(regex::Compile(u"abc"), text, 1), 2u);
  EXPECT_EQ(regex::Count(regex::Compile(u"abc"), text, 0, 6), 1u);
}

TEST(RegexApi, CountContinuesWhereTheLastMatchEnded) {
  regex::Pattern p = regex::Compile(u"aa");
  EXPECT_EQ(regex::Count(p, u"aaaaa"), 2u);  // no overlaps
  EXPECT_EQ(regex::Count(regex::Compile(u"\\Gx"), u"xxax"), 2u);
}

TEST(RegexApi, NamedGroupsHaveNumbers) {
  regex::Pattern p = regex::Compile(u"(?<user>\\w+)@(?'host'\\w+)");
  EXPECT_EQ(p.GroupNumber(u"user"), 1);
  EXPECT_EQ(p.GroupNumber(u"host"), 2);
  EXPECT_EQ(p.GroupNumber(u"none"), -1);
}

TEST(RegexApi, DefaultAndMovedPatternsAreSafe) {
  regex::Pattern empty;
  EXPECT_FALSE(regex::Find(empty, u"abc").matched);
  EXPECT_EQ(regex::Count(empty, u"abc"), 0u);
  regex::Pattern p = regex::Compile(u"b");
  regex::Pattern q = std::move(p);
  EXPECT_TRUE(regex::Find(q, u"abc").matched);
}

TEST(RegexApi, SubstituteInsertsGroups) {
  regex::Pattern p = regex::Compile(u"(\\w+)@(?<host>\\w+)");
  EXPECT_EQ(regex::Substitute(p, u"a@b, c@d", u"$2 at ${1}"), u"b at a, c@d");
  EXPECT_EQ(regex::Substitute(p, u"a@b, c@d", u"[$&]", true), u"[a@b], [c@d]");
  EXPECT_EQ(regex::Substitute(p, u"a@b", u"${host}\\1 $$5 \\\\"), u"ba $5 \\");
  EXPECT_EQ(regex::Substitute(regex::Compile(u"x*"), u"abc", u"-", true), u"-a-b-c-");
}

#if WCHAR_MAX == 0xFFFF
TEST(RegexApi, WideCharacterOverloads) {
  regex::Pattern p = regex::Compile(L"<([[:alnum:]\\.@]+)>");
  const wchar_t* text = L"Bob <bob@example.com>";
  regex::Match m = regex::Find(p, text);
  ASSERT_TRUE(m.matched);
  EXPECT_EQ(regex::Group(m, text, 1), std::wstring_view(L"bob@example.com"));
  EXPECT_EQ(regex::Count(regex::Compile(L"o"), text), 3u);
}
#endif

}  // namespace
