// Every message of the catalogue is produced, by the patterns a user would
// plausibly mistype.
#include <gtest/gtest.h>

#include <set>

#include "RegexTestUtil.h"

namespace {

using regex_test::U;

struct BadPattern {
  const char16_t* pattern;
  regex::ErrorCode code;
  const char* message;
};

class RegexErrorTest : public ::testing::TestWithParam<BadPattern> {};

TEST_P(RegexErrorTest, ThrowsTheExactMessage) {
  const BadPattern& b = GetParam();
  try {
    regex::Compile(b.pattern);
    FAIL() << "compiled: " << regex_test::A(b.pattern);
  } catch (const regex::bad_regexpr& e) {
    EXPECT_STREQ(e.what(), b.message) << regex_test::A(b.pattern);
    EXPECT_EQ(e.code(), b.code) << regex_test::A(b.pattern);
  }
}

using E = regex::ErrorCode;

INSTANTIATE_TEST_SUITE_P(
    Catalogue, RegexErrorTest,
    ::testing::Values(
        BadPattern{u"*a", E::QuantifierNotExpected, "quantifier not expected"},
        BadPattern{u"a|+b", E::QuantifierNotExpected, "quantifier not expected"},
        BadPattern{u"(?:{2})", E::QuantifierNotExpected, "quantifier not expected"},
        BadPattern{u"a**", E::QuantifierNotExpected, "quantifier not expected"},
        BadPattern{u"a(?i)+", E::QuantifierNotExpected, "quantifier not expected"},
        BadPattern{u"a{3,1}", E::RepeatRangeReversed, "Can't do {n, m} with n > m"},
        BadPattern{u"(ab){9,2}?", E::RepeatRangeReversed, "Can't do {n, m} with n > m"},
        BadPattern{u"^*", E::SubexpressionNotQuantifiable, "sub-expression cannot be quantified"},
        BadPattern{u"a\\b+", E::SubexpressionNotQuantifiable, "sub-expression cannot be quantified"},
        BadPattern{u"(?<=a){2}", E::SubexpressionNotQuantifiable,
                   "sub-expression cannot be quantified"},
        BadPattern{u"(a)(?1)*", E::RecursionNotQuantifiable,
                   "recursion sub-expression cannot be quantified"},
        BadPattern{u"(?R)?", E::RecursionNotQuantifiable,
                   "recursion sub-expression cannot be quantified"},
        BadPattern{u"(?=a)*", E::LookaheadNotQuantifiable,
                   "look-ahead assertion cannot be quantified"},
        BadPattern{u"x(?!a)+", E::LookaheadNotQuantifiable,
                   "look-ahead assertion cannot be quantified"},
        BadPattern{u"(abc", E::MismatchedParenthesis, "mismatched parenthesis"},
        BadPattern{u"abc)", E::MismatchedParenthesis, "mismatched parenthesis"},
        BadPattern{u"(?:a|(b)", E::MismatchedParenthesis, "mismatched parenthesis"},
        BadPattern{u"(?Q)", E::BadExtension, "bad extension sequence"},
        BadPattern{u"(?", E::BadExtension, "bad extension sequence"},
        BadPattern{u"(?<1a>x)", E::BadExtension, "bad extension sequence"},
        BadPattern{u"(?|a)", E::BadExtension, "bad extension sequence"},
        BadPattern{u"a(?#no end", E::UnterminatedComment, "Expecting end of comment"},
        BadPattern{u"(a)(?(1)b|c|d)", E::TooManyConditionalAlternates,
                   "Too many alternates in conditional subexpression"},
        BadPattern{u"(?(?=a)b|c|d)", E::TooManyConditionalAlternates,
                   "Too many alternates in conditional subexpression"},
        BadPattern{u"(a)\\2", E::NonexistentGroup, "reference to nonexistent group"},
        BadPattern{u"\\k<nope>", E::NonexistentGroup, "reference to nonexistent group"},
        BadPattern{u"(?3)", E::NonexistentGroup, "reference to nonexistent group"},
        BadPattern{u"(?(2)a)", E::NonexistentGroup, "reference to nonexistent group"},
        BadPattern{u"\\g{-2}(a)", E::NonexistentGroup, "reference to nonexistent group"},
        BadPattern{u"(a)\\g0", E::NonexistentGroup, "reference to nonexistent group"},
        BadPattern{u"(a)(?(0)b)", E::NonexistentGroup, "reference to nonexistent group"},
        BadPattern{u"[z-a]", E::InvalidSetRange, "invalid range specified in character set"},
        BadPattern{u"[\\d-z]", E::InvalidSetRange, "invalid range specified in character set"},
        BadPattern{u"[a-\\w]", E::InvalidSetRange, "invalid range specified in character set"},
        BadPattern{u"[abc", E::UnterminatedSet, "expecting end of character set"},
        BadPattern{u"[]", E::UnterminatedSet, "expecting end of character set"},
        BadPattern{u"[a-", E::UnterminatedSet, "expecting end of character set"},
        BadPattern{u"ab\\c", E::IncompleteControlEscape, "incomplete escape sequence \\c"},
        BadPattern{u"[\\c", E::IncompleteControlEscape, "incomplete escape sequence \\c"},
        BadPattern{u"\\c\u00E9", E::IncompleteControlEscape, "incomplete escape sequence \\c"},
        BadPattern{u"abc\\E", E::QuoteMetaNotOn, "quotemeta turned off, but was never turned on"},
        BadPattern{u"\\Qa\\E\\E", E::QuoteMetaNotOn,
                   "quotemeta turned off, but was never turned on"},
        BadPattern{u"[a\\E]", E::QuoteMetaNotOn, "quotemeta turned off, but was never turned on"},
        BadPattern{u"\\y", E::IllFormed, "ill-formed regular expression"},
        BadPattern{u"a\\", E::IllFormed, "ill-formed regular expression"},
        BadPattern{u"\\x{110000}", E::IllFormed, "ill-formed regular expression"},
        BadPattern{u"[[:nope:]]", E::IllFormed, "ill-formed regular expression"},
        BadPattern{u"(?<=a+)b", E::IllFormed, "ill-formed regular expression"},
        BadPattern{u"a{99999}", E::IllFormed, "ill-formed regular expression"},
        BadPattern{u"(?<n>a)(?<n>b)", E::IllFormed, "ill-formed regular expression"}));

// The substitution messages come from the format, not the pattern.
TEST(RegexSubstitutionErrors, BrokenFormatsThrowTheirMessages) {
  regex::Pattern p = regex::Compile(u"(a)(?<x>b)");
  try {
    regex::Substitute(p, u"ab", u"trailing\\");
    FAIL();
  } catch (const regex::bad_regexpr& e) {
    EXPECT_STREQ(e.what(), "expecting escape sequence in substitution string");
  }
  for (const char16_t* f : {u"$3", u"\\5", u"${nope}", u"${1"}) {
    try {
      regex::Substitute(p, u"ab", f);
      FAIL() << regex_test::A(f);
    } catch (const regex::bad_regexpr& e) {
      EXPECT_STREQ(e.what(), "invalid backreference in substitution") << regex_test::A(f);
    }
  }
}

TEST(RegexErrorCatalogue, EveryCodeHasItsOwnMessage) {
  std::set<std::string> seen;
  for (int c = 0; c <= static_cast<int>(regex::ErrorCode::SubstitutionInvalidBackref); ++c)
    EXPECT_TRUE(seen.insert(regex::ErrorMessage(static_cast<regex::ErrorCode>(c))).second) << c;
}

}  // namespace
