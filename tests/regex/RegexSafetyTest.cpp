// Hostile patterns and subjects: the engine must give up as "no match"
// within its budget and never exhaust the machine stack.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "RegexTestUtil.h"

namespace {

using Clock = std::chrono::steady_clock;

// Generous enough for sanitizers and Wine; the benchmark measures the real
// figures.
constexpr auto kPatience = std::chrono::seconds(3);

struct Timed {
  regex::Match match;
  Clock::duration took;
};

Timed TimedFind(std::u16string_view pattern, std::u16string_view text) {
  regex::Pattern p = regex::Compile(pattern);
  auto t0 = Clock::now();
  regex::Match m = regex::Find(p, text);
  return {m, Clock::now() - t0};
}

TEST(RegexBudget, CatastrophicBacktrackingEndsAsNoMatch) {
  const std::u16string as(30, u'a');
  // The 'b' after the run keeps the required-unit check from short-cutting.
  const std::u16string subject = as + u"c b";
  for (const char16_t* pattern : {u"(a+)+b", u"(a|aa)*b", u"((a*)*)*b", u"(a*)*a*a*a*b",
                                  u"(?:a|a)+b", u"(a+|b+)*c\\1x"}) {
    Timed t = TimedFind(pattern, subject);
    EXPECT_FALSE(t.match.matched) << regex_test::A(pattern);
    EXPECT_LT(t.took, kPatience) << regex_test::A(pattern);
  }
  Timed t = TimedFind(u"(a+)+b", subject);
  EXPECT_TRUE(t.match.limitReached);
}

TEST(RegexBudget, CountAndSubstituteShareOneBudget) {
  // Each search is polynomial; one budget per search would multiply by the
  // number of positions.
  regex::Pattern p = regex::Compile(u".*?.*?.*?.*?.*?.*?Z|Q");
  std::u16string subject = std::u16string(400, u'Q') + u"z";
  auto t0 = Clock::now();
  std::size_t n = regex::Count(p, subject);
  regex::Substitute(p, subject, u"-", true);
  EXPECT_LT(Clock::now() - t0, kPatience);
  EXPECT_LT(n, subject.size());
}

TEST(RegexBudget, OrdinarySearchesDoNotReachTheLimit) {
  std::u16string body;
  for (int i = 0; i < 20000; ++i) body += u"Lorem ipsum dolor sit amet, consectetur. ";
  body += u"contact: someone@example.org";
  regex::Match m = regex::Find(regex::Compile(u"[[:alnum:]\\._]+@[\\.[:alnum:]_\\-]+"), body);
  EXPECT_TRUE(m.matched);
  EXPECT_FALSE(m.limitReached);
  EXPECT_EQ(regex::Group(m, body, 0), u"someone@example.org");
  std::u16string many;
  for (int i = 0; i < 20000; ++i) many += u"Hello a.b@example.org, sincerely ";
  EXPECT_EQ(regex::Count(regex::Compile(u"[[:alnum:]\\._]+@[\\.[:alnum:]_\\-]+"), many), 20000u);
}

TEST(RegexDepth, DeepOrUnbalancedNestingIsRefused) {
  std::u16string open(100000, u'(');
  EXPECT_THROW(regex::Compile(open), regex::bad_regexpr);
  std::u16string deep = std::u16string(1000, u'(') + u"a" + std::u16string(1000, u')');
  EXPECT_THROW(regex::Compile(deep), regex::bad_regexpr);
  std::u16string fine = std::u16string(200, u'(') + u"a" + std::u16string(200, u')');
  EXPECT_EQ(regex_test::FindGroup(fine, u"xa", 200), "a");
  std::u16string lookarounds;
  for (int i = 0; i < 100000; ++i) lookarounds += u"(?=";
  EXPECT_THROW(regex::Compile(lookarounds), regex::bad_regexpr);
}

TEST(RegexDepth, WideAndLongPatternsCompileWithoutRecursion) {
  std::u16string alternatives = u"a";
  for (int i = 0; i < 50000; ++i) alternatives += u"|b" + std::u16string(1, u'c' + i % 20);
  EXPECT_EQ(regex_test::FindGroup(alternatives, u"xxbk"), "bk");
  std::u16string literal(200000, u'x');
  EXPECT_TRUE(regex::Find(regex::Compile(literal), literal).matched);
  std::u16string quantified;
  for (int i = 0; i < 20000; ++i) quantified += u"a?";
  EXPECT_TRUE(regex::Find(regex::Compile(quantified), u"aaa").matched);
}

TEST(RegexDepth, LongSubjectsUseTheHeapNotTheStack) {
  std::u16string subject;
  for (int i = 0; i < 500000; ++i) subject += u"ab";
  // One choice point per unit; a recursive matcher would overflow here.
  regex::Match m = regex::Find(regex::Compile(u"(?:a|b)*$"), subject);
  EXPECT_TRUE(m.matched || m.limitReached);
  if (m.matched) {
    EXPECT_EQ(m[0].length(), subject.size());
  }
  regex::Match g = regex::Find(regex::Compile(u"^(a|b)*c"), subject);
  EXPECT_FALSE(g.matched);
}

TEST(RegexDepth, RecursionDepthIsBounded) {
  std::u16string subject = std::u16string(5000, u'a') + std::u16string(5000, u'b');
  regex::Match m = regex::Find(regex::Compile(u"^(a(?:(?1))?b)$"), subject);
  EXPECT_FALSE(m.matched);
  EXPECT_TRUE(m.limitReached);
  std::u16string shallow = std::u16string(500, u'a') + std::u16string(500, u'b');
  EXPECT_TRUE(regex::Find(regex::Compile(u"^(a(?:(?1))?b)$"), shallow).matched);
  // Left recursion would never end.
  regex::Match left = regex::Find(regex::Compile(u"(?:(?R)|x)y"), u"xy");
  EXPECT_FALSE(left.matched);
  EXPECT_TRUE(left.limitReached);
}

TEST(RegexDepth, LargeCountsDoNotExpandTheProgram) {
  regex::Pattern p = regex::Compile(u"(?:(?:(?:ab){1000}){1000}){1000}");
  EXPECT_FALSE(regex::Find(p, u"abab").matched);
  std::u16string many(65535, u'x');
  EXPECT_TRUE(regex::Find(regex::Compile(u"^x{65535}$"), many).matched);
  EXPECT_TRUE(regex::Find(regex::Compile(u"^(?:x|y){65535}$"), many).matched);
}

}  // namespace
