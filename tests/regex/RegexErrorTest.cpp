// Every message of the catalogue is produced, by the patterns a user would
// plausibly mistype.
#include <gtest/gtest.h>

#include <set>

#include "RegexTestUtil.h"

namespace {


struct BadPattern {
  const char16_t* pattern;
  regex::ErrorCode code;
  const char* message;
};

using E = regex::ErrorCode;

// One test for the whole table: the Windows build starts Wine per test.
TEST(RegexErrorCatalogue, EachBrokenPatternThrowsItsExactMessage) {
  const BadPattern kCases[] = {
      {u"*a", E::QuantifierNotExpected, "quantifier not expected"},
      {u"a|+b", E::QuantifierNotExpected, "quantifier not expected"},
      {u"(?:{2})", E::QuantifierNotExpected, "quantifier not expected"},
      {u"a**", E::QuantifierNotExpected, "quantifier not expected"},
      {u"a(?i)+", E::QuantifierNotExpected, "quantifier not expected"},
      {u"a{3,1}", E::RepeatRangeReversed, "Can't do {n, m} with n > m"},
      {u"(ab){9,2}?", E::RepeatRangeReversed, "Can't do {n, m} with n > m"},
      {u"^*", E::SubexpressionNotQuantifiable, "sub-expression cannot be quantified"},
      {u"a\\b+", E::SubexpressionNotQuantifiable, "sub-expression cannot be quantified"},
      {u"(?<=a){2}", E::SubexpressionNotQuantifiable,
        "sub-expression cannot be quantified"},
      {u"(a)(?1)*", E::RecursionNotQuantifiable,
        "recursion sub-expression cannot be quantified"},
      {u"(?R)?", E::RecursionNotQuantifiable,
        "recursion sub-expression cannot be quantified"},
      {u"(?=a)*", E::LookaheadNotQuantifiable,
        "look-ahead assertion cannot be quantified"},
      {u"x(?!a)+", E::LookaheadNotQuantifiable,
        "look-ahead assertion cannot be quantified"},
      {u"(abc", E::MismatchedParenthesis, "mismatched parenthesis"},
      {u"abc)", E::MismatchedParenthesis, "mismatched parenthesis"},
      {u"(?:a|(b)", E::MismatchedParenthesis, "mismatched parenthesis"},
      {u"(?Q)", E::BadExtension, "bad extension sequence"},
      {u"(?", E::BadExtension, "bad extension sequence"},
      {u"(?<1a>x)", E::BadExtension, "bad extension sequence"},
      {u"(?|a)", E::BadExtension, "bad extension sequence"},
      {u"a(?#no end", E::UnterminatedComment, "Expecting end of comment"},
      {u"(a)(?(1)b|c|d)", E::TooManyConditionalAlternates,
        "Too many alternates in conditional subexpression"},
      {u"(?(?=a)b|c|d)", E::TooManyConditionalAlternates,
        "Too many alternates in conditional subexpression"},
      {u"(a)\\2", E::NonexistentGroup, "reference to nonexistent group"},
      {u"\\k<nope>", E::NonexistentGroup, "reference to nonexistent group"},
      {u"(?3)", E::NonexistentGroup, "reference to nonexistent group"},
      {u"(?(2)a)", E::NonexistentGroup, "reference to nonexistent group"},
      {u"\\g{-2}(a)", E::NonexistentGroup, "reference to nonexistent group"},
      {u"(a)\\g0", E::NonexistentGroup, "reference to nonexistent group"},
      {u"(a)(?(0)b)", E::NonexistentGroup, "reference to nonexistent group"},
      {u"[z-a]", E::InvalidSetRange, "invalid range specified in character set"},
      {u"[\\d-z]", E::InvalidSetRange, "invalid range specified in character set"},
      {u"[a-\\w]", E::InvalidSetRange, "invalid range specified in character set"},
      {u"[abc", E::UnterminatedSet, "expecting end of character set"},
      {u"[]", E::UnterminatedSet, "expecting end of character set"},
      {u"[a-", E::UnterminatedSet, "expecting end of character set"},
      {u"ab\\c", E::IncompleteControlEscape, "incomplete escape sequence \\c"},
      {u"[\\c", E::IncompleteControlEscape, "incomplete escape sequence \\c"},
      {u"\\c\u00E9", E::IncompleteControlEscape, "incomplete escape sequence \\c"},
      {u"abc\\E", E::QuoteMetaNotOn, "quotemeta turned off, but was never turned on"},
      {u"\\Qa\\E\\E", E::QuoteMetaNotOn,
        "quotemeta turned off, but was never turned on"},
      {u"[a\\E]", E::QuoteMetaNotOn, "quotemeta turned off, but was never turned on"},
      {u"\\y", E::IllFormed, "ill-formed regular expression"},
      {u"a\\", E::IllFormed, "ill-formed regular expression"},
      {u"\\x{110000}", E::IllFormed, "ill-formed regular expression"},
      {u"[[:nope:]]", E::IllFormed, "ill-formed regular expression"},
      {u"(?<=a+)b", E::IllFormed, "ill-formed regular expression"},
      {u"a{99999}", E::IllFormed, "ill-formed regular expression"},
      {u"(?<n>a)(?<n>b)", E::IllFormed, "ill-formed regular expression"}};
  for (const BadPattern& b : kCases) {
    SCOPED_TRACE(regex_test::A(b.pattern));
    try {
      regex::Compile(b.pattern);
      ADD_FAILURE() << "compiled";
    } catch (const regex::bad_regexpr& e) {
      EXPECT_STREQ(e.what(), b.message);
      EXPECT_EQ(e.code(), b.code);
    }
  }
}

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
