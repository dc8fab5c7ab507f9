// Matching follows Perl: these expectations were checked against perl 5.36.
#include <gtest/gtest.h>

#include "RegexTestUtil.h"

namespace {

using regex_test::CountOf;
using regex_test::FindGroup;

const char16_t kAddress[] = u"[[:alnum:]\\._]+@[\\.[:alnum:]_\\-]+";
const char16_t kAngleAddress[] = u"<([[:alnum:]\\.@]+)>";

TEST(RegexAddressPatterns, CountAndCaptureAddressesAsTheFiltersDo) {
  EXPECT_EQ(CountOf(kAddress, u"john.doe@example.com, mary_s@mail.example.org"), 2u);
  EXPECT_EQ(CountOf(kAddress, u"no addresses here, not one"), 0u);
  EXPECT_EQ(CountOf(kAddress, u"a@b c@d e@f"), 3u);
  EXPECT_EQ(FindGroup(kAngleAddress, u"\"Doe, John\" <john.doe@example.com>", 1),
            "john.doe@example.com");
  EXPECT_EQ(FindGroup(kAngleAddress, u"John <not an address>", 1), "<none>");
}

TEST(RegexSemantics, MatchingIsCaseSensitiveByDefault) {
  EXPECT_EQ(FindGroup(u"abc", u"ABC"), "<none>");
  EXPECT_EQ(FindGroup(u"(?i)abc", u"xABC"), "ABC");
  EXPECT_EQ(FindGroup(u"a(?i)b(?-i)c", u"aBc aBC"), "aBc");
  EXPECT_EQ(FindGroup(u"(?i:x)y", u"XY Xy"), "Xy");
  EXPECT_EQ(regex::Find(regex::Compile(u"abc", regex::icase), u"ABC").matched, true);
  // Caseless matching beyond ASCII: e acute, Kelvin sign and long s.
  EXPECT_EQ(FindGroup(u"(?i)\u00E9t\u00E9", u"\u00C9T\u00C9"), "\\u{201}T\\u{201}");
  EXPECT_EQ(FindGroup(u"(?i)k", u"\u212A"), "\\u{8490}");
  EXPECT_EQ(FindGroup(u"(?i)[^k]", u"\u212Ax"), "x");
  EXPECT_EQ(FindGroup(u"(?i)S", u"\u017F"), "\\u{383}");
}

TEST(RegexSemantics, DefaultModeLinesDotAndAnchors) {
  EXPECT_EQ(FindGroup(u"a.c", u"a\nc"), "<none>");
  EXPECT_EQ(FindGroup(u"(?s)a.c", u"a\nc"), "a\nc");
  EXPECT_EQ(FindGroup(u"^b", u"a\nb"), "<none>");
  EXPECT_EQ(FindGroup(u"(?m)^b$", u"a\nb\nc"), "b");
  EXPECT_EQ(FindGroup(u"a$", u"a\n"), "a");      // before a final line feed
  EXPECT_EQ(FindGroup(u"a\\z", u"a\n"), "<none>");
  EXPECT_EQ(FindGroup(u"a\\Z", u"a\n"), "a");
  EXPECT_EQ(FindGroup(u"\\Aa", u"ba"), "<none>");
  EXPECT_EQ(CountOf(u"(?m)^", u"a\nb\n"), 2u);  // not after the last line feed
  EXPECT_EQ(CountOf(u"(?m)$", u"a\nb\n"), 3u);
}

TEST(RegexSemantics, GreedyLazyAndPossessive) {
  EXPECT_EQ(FindGroup(u"<.+>", u"<a><b>"), "<a><b>");
  EXPECT_EQ(FindGroup(u"<.+?>", u"<a><b>"), "<a>");
  EXPECT_EQ(FindGroup(u"a{2,3}", u"aaaa"), "aaa");
  EXPECT_EQ(FindGroup(u"a{2,3}?", u"aaaa"), "aa");
  EXPECT_EQ(FindGroup(u"a{2,}?b", u"aaaab"), "aaaab");
  EXPECT_EQ(FindGroup(u"(ab){2}", u"abababx", 1), "ab");
  EXPECT_EQ(FindGroup(u"a++a", u"aaa"), "<none>");
  EXPECT_EQ(FindGroup(u"(?:ab)*+ab", u"ababab"), "<none>");
  EXPECT_EQ(FindGroup(u"x(?:ab)*?y", u"xababy"), "xababy");
  EXPECT_EQ(FindGroup(u"(a|b)*?c", u"abac", 1), "a");
}

TEST(RegexSemantics, BacktrackingIntoGroups) {
  EXPECT_EQ(FindGroup(u"(a|ab)(c|bcd)(d*)", u"abcd", 2), "bcd");
  EXPECT_EQ(FindGroup(u"(a+)(a+)b", u"aaab", 1), "aa");
  EXPECT_EQ(FindGroup(u"(\\w+)\\s(\\w+)\\s\\1", u"go on go", 2), "on");
  // A repeated group keeps the last pass; an inner group keeps its last set.
  EXPECT_EQ(FindGroup(u"(?:(a)|b)+", u"ab", 1), "a");
  EXPECT_EQ(FindGroup(u"(a|(b))+", u"ba", 2), "b");
  EXPECT_EQ(FindGroup(u"(a*)*b", u"aab", 1), "");
}

TEST(RegexSemantics, BackReferences) {
  EXPECT_EQ(FindGroup(u"(a)?b\\1", u"b"), "<none>");  // unset group fails
  EXPECT_EQ(FindGroup(u"(a)|b\\1", u"b"), "<none>");
  EXPECT_EQ(FindGroup(u"(?:(a)|b)\\1?c", u"bc"), "bc");
  EXPECT_EQ(FindGroup(u"\\b(\\w+) \\1\\b", u"this is is it"), "is is");
  EXPECT_EQ(FindGroup(u"(?i)(ab)\\1", u"abAB"), "abAB");
  EXPECT_EQ(FindGroup(u"(?<q>['\"]).*?\\k<q>", u"say \"it's\" now"), "\"it's\"");
  EXPECT_EQ(FindGroup(u"(?P<w>o)(?P=w)", u"foo"), "oo");
  EXPECT_EQ(FindGroup(u"(a)(b)\\g{-1}\\g1", u"abba"), "abba");
  EXPECT_EQ(FindGroup(u"(a|b\\1)+", u"aba"), "aba");  // refers to the last pass
}

TEST(RegexSemantics, LookAroundAssertions) {
  EXPECT_EQ(FindGroup(u"\\w+(?=!)", u"hi you!"), "you");
  EXPECT_EQ(FindGroup(u"\\d+(?!px)\\b", u"12px 34 em"), "34");
  EXPECT_EQ(FindGroup(u"(?<=\\$)\\d+", u"cost $42"), "42");
  EXPECT_EQ(FindGroup(u"(?<!\\d{3})x", u"123x 12x"), "x");
  EXPECT_EQ(regex::Find(regex::Compile(u"(?<!\\d{3})x"), u"123x 12x").groups[0].begin, 7u);
  // Alternatives of different lengths, each fixed.
  EXPECT_EQ(FindGroup(u"(?<=Mr|Mrs|Dr\\.) \\w+", u"Mrs Smith"), " Smith");
  EXPECT_EQ(FindGroup(u"(?<=ab|xyz)c", u"xyzc"), "c");
  EXPECT_EQ(FindGroup(u"(?<=^|,)\\w+", u"a,bc", 0), "a");
  // Look-behind of bounded variable length.
  EXPECT_EQ(FindGroup(u"(?<=a\\d{1,3})z", u"a12z"), "z");
  // Captures made in a positive look-ahead stay.
  EXPECT_EQ(FindGroup(u"(?=(\\w+))\\w", u"abc", 1), "abc");
}

TEST(RegexSemantics, AtomicGroups) {
  EXPECT_EQ(FindGroup(u"(?>a+)ab", u"aaab"), "<none>");
  EXPECT_EQ(FindGroup(u"(?>a|ab)c", u"abc"), "<none>");
  EXPECT_EQ(FindGroup(u"(?>ab|a)c", u"abc"), "abc");
  EXPECT_EQ(FindGroup(u"(?>(\\d+))\\.", u"12.", 1), "12");
}

TEST(RegexSemantics, Conditionals) {
  const char16_t* tag = u"^(<)?\\w+(?(1)>)$";
  EXPECT_EQ(FindGroup(tag, u"<abc>"), "<abc>");
  EXPECT_EQ(FindGroup(tag, u"abc"), "abc");
  EXPECT_EQ(FindGroup(tag, u"<abc"), "<none>");
  EXPECT_EQ(FindGroup(u"(?<q>\")?\\w+(?(<q>)\")", u"\"hi\""), "\"hi\"");
  EXPECT_EQ(FindGroup(u"(?(?=\\d)\\d{3}|[a-z]{2})", u"12 ab"), "ab");
  EXPECT_EQ(FindGroup(u"(?(?!\\d)[a-z]+|\\d)", u"5x"), "5");
  // A negative condition whose body matched keeps its captures.
  EXPECT_EQ(FindGroup(u"(?(?!(a))x|ay)", u"ay", 1), "a");
  EXPECT_EQ(FindGroup(u"(?(DEFINE)(?<byte>25[0-5]|2[0-4]\\d|1?\\d?\\d))"
                      u"(?&byte)(?:\\.(?&byte)){3}",
                      u"ip 192.168.1.255!"),
            "192.168.1.255");
}

TEST(RegexSemantics, RecursionMatchesBalancedText) {
  EXPECT_EQ(FindGroup(u"\\((?:[^()]++|(?R))*\\)", u"x(a(b)c)(d"), "(a(b)c)");
  const char16_t* balanced = u"^(\\((?:[^()]|(?1))*\\))$";
  EXPECT_EQ(FindGroup(balanced, u"(()(()))"), "(()(()))");
  EXPECT_EQ(FindGroup(balanced, u"(()(())"), "<none>");
  // A call cannot take a quantifier itself; a group around it can.
  EXPECT_EQ(FindGroup(u"^(a(?:(?1))?b)$", u"aaabbb"), "aaabbb");
  EXPECT_EQ(FindGroup(u"(?<p>\\w)(?:(?&p)|\\w?)\\k<p>", u"xabcbay"), "bcb");
  EXPECT_EQ(FindGroup(u"\\b((\\w)(?:(?1)|\\w?)\\2)\\b", u"xy abcba"), "abcba");
  // Recursion can be backtracked into, as in Perl.
  EXPECT_EQ(FindGroup(u"x(?R)c|a|ab", u"xabc"), "xabc");
  // Captures made during a call revert when it returns.
  EXPECT_EQ(FindGroup(u"(|(a(b)))c((?2))", u"cab", 3), "<unset>");
}

TEST(RegexSemantics, SetsPosixClassesAndTheirNegations) {
  struct Case {
    const char16_t* cls;
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {u"alnum", "aZ9", "_-"}, {u"alpha", "aZ", "9_"}, {u"blank", " \t", "\n"},
      {u"cntrl", "\x01\x7f", " "}, {u"digit", "09", "a"}, {u"graph", "!~", " "},
      {u"lower", "az", "A"}, {u"print", " ~", "\x7f"}, {u"punct", "!/@[`{~", "a0 "},
      {u"space", " \t\n\r\f\v", "a"}, {u"upper", "AZ", "a"}, {u"xdigit", "09afAF", "gG"}};
  for (const Case& c : cases) {
    std::u16string name(c.cls);
    regex::Pattern plain = regex::Compile(u"^[[:" + name + u":]]$");
    regex::Pattern negated = regex::Compile(u"^[[:^" + name + u":]]$");
    for (const char* p = c.in; *p; ++p) {
      std::u16string one(1, static_cast<unsigned char>(*p));
      EXPECT_TRUE(regex::Find(plain, one).matched) << regex_test::A(name) << " " << int(*p);
      EXPECT_FALSE(regex::Find(negated, one).matched) << regex_test::A(name) << " " << int(*p);
    }
    for (const char* p = c.out; *p; ++p) {
      std::u16string one(1, static_cast<unsigned char>(*p));
      EXPECT_FALSE(regex::Find(plain, one).matched) << regex_test::A(name) << " " << int(*p);
      EXPECT_TRUE(regex::Find(negated, one).matched) << regex_test::A(name) << " " << int(*p);
    }
  }
  EXPECT_EQ(FindGroup(u"[[:digit:][:^alnum:]]+", u"ab1-2 c"), "1-2 ");
  EXPECT_EQ(FindGroup(u"[^[:alpha:]\\s]+", u"ab 12.c"), "12.");
  EXPECT_EQ(FindGroup(u"[]a]+", u"x]a]"), "]a]");
  EXPECT_EQ(FindGroup(u"[^]a]+", u"]ab"), "b");
  EXPECT_EQ(FindGroup(u"[a-]+", u"x-a-"), "-a-");
  EXPECT_EQ(FindGroup(u"[\\w.-]+", u"(x.y-z)"), "x.y-z");
  EXPECT_EQ(FindGroup(u"[\\x{100}-\\x{1FF}]+", u"a\u0101\u01FFb"), "\\u{257}\\u{511}");
}

TEST(RegexSemantics, QuoteMetaInAndOutOfSets) {
  EXPECT_EQ(FindGroup(u"\\Qa.b*\\E+", u"a.b**"), "a.b**");
  EXPECT_EQ(FindGroup(u"\\Qa.b", u"axb a.b"), "a.b");  // runs to the end
  EXPECT_EQ(FindGroup(u"[\\Q]-\\E]+", u"a]-]b"), "]-]");
  EXPECT_EQ(FindGroup(u"[\\Q^\\E]", u"a^"), "^");
  EXPECT_EQ(FindGroup(u"x\\Q\\E+", u"xxx"), "xxx");
}

TEST(RegexSemantics, EscapesAndExtendedMode) {
  EXPECT_EQ(FindGroup(u"\\x41\\x{42}\\103\\cD\\0", std::u16string(u"ABC\x04") + u'\0'),
            std::string("ABC\x04") + '\0');
  EXPECT_EQ(FindGroup(u"\\d+\\s\\w+\\W", u"ab 42 cd!"), "42 cd!");
  EXPECT_EQ(FindGroup(u"\\bcat\\b", u"concat cat"), "cat");
  EXPECT_EQ(FindGroup(u"\\Bcat", u"cat concat"), "cat");
  EXPECT_EQ(regex::Find(regex::Compile(u"\\Bcat"), u"cat concat").groups[0].begin, 7u);
  EXPECT_EQ(FindGroup(u"(?x) a b # comment\n c", u"abc"), "abc");
  EXPECT_EQ(FindGroup(u"(?x)[ ]a", u" a"), " a");  // blanks stay in sets
  EXPECT_EQ(FindGroup(u"a(?#note)+", u"aaa"), "aaa");
  EXPECT_EQ(FindGroup(u"a\\R b", u"a\r\n b"), "a\r\n b");
  EXPECT_EQ(FindGroup(u"foo\\Kbar", u"foobar"), "bar");
  EXPECT_EQ(FindGroup(u"a{,2}", u"a{,2}"), "a{,2}");  // not a quantifier
}

TEST(RegexSemantics, LessCommonModifiers) {
  regex::Pattern n = regex::Compile(u"(?n)(a)(?<x>b)");  // only named groups capture
  EXPECT_EQ(n.GroupCount(), 1u);
  EXPECT_EQ(FindGroup(u"(?U)a+", u"aaa"), "a");  // swaps greedy and lazy
  EXPECT_EQ(FindGroup(u"(?U)a+?", u"aaa"), "aaa");
  EXPECT_EQ(FindGroup(u"(?xx)[a b]+", u"ab b"), "ab");  // blanks in sets too
  EXPECT_EQ(FindGroup(u"(?i)(?^:a)", u"A"), "<none>");  // (?^) resets
}

TEST(RegexCount, EmptyMatchesAdvanceAndEnd) {
  EXPECT_EQ(CountOf(u"x*", u"axb"), 4u);  // "", "x", "", ""
  EXPECT_EQ(CountOf(u"", u"abc"), 4u);
  EXPECT_EQ(CountOf(u"\\b", u"ab cd"), 4u);
  EXPECT_EQ(CountOf(u"a*?", u"aa"), 5u);  // "", "a", "", "a", ""
  EXPECT_EQ(CountOf(u"(?=a)", u"aaa"), 3u);
  EXPECT_EQ(CountOf(u"a|", u"aba"), 4u);  // "a", "", "a", ""
  EXPECT_EQ(CountOf(u"a\\K|", u"aa"), 2u);  // empty as reported by \K
}

}  // namespace
