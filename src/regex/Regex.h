// Perl-style regular expressions over UTF-16 text.
//
// Patterns are compiled by Compile and searched with Find and Count. A
// pattern that cannot be compiled throws bad_regexpr; searching never throws
// except for std::bad_alloc. A search that runs out of its step budget or
// exceeds the nesting bounds ends as "no match" with limitReached set, so a
// hostile pattern cannot hang or crash the caller.
//
// Text is handled as UTF-16 code units: a surrogate pair is two characters.
// Without flags matching is as in Perl: case-sensitive, "." matches all but
// a line feed, "^" and "$" hold at the ends of the subject ("$" also before
// a final line feed). \w, \d, \s, \b and the POSIX classes are ASCII;
// caseless matching follows Unicode simple case folding.
#pragma once

#include <cstddef>
#include <cwchar>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace regex {

// Why a pattern (or substitution format) was rejected.
enum class ErrorCode {
  // Not an error.
  NoError = 0,
  // A quantifier with nothing before it to repeat: "*a", "a|+b", "a**".
  QuantifierNotExpected,
  // A counted repeat whose lower bound exceeds its upper bound: "a{3,1}".
  RepeatRangeReversed,
  // A quantifier after a zero-width item such as "^", "\b" or a look-behind.
  SubexpressionNotQuantifiable,
  // A quantifier after a recursion or subroutine call: "(?R)*", "(?1)+".
  RecursionNotQuantifiable,
  // A quantifier after a look-ahead assertion: "(?=a)*".
  LookaheadNotQuantifiable,
  // An unclosed "(" or an unopened ")".
  MismatchedParenthesis,
  // "(?" followed by something that is not a known extension.
  BadExtension,
  // "(?#" without the closing ")".
  UnterminatedComment,
  // A conditional group with more than a yes and a no branch.
  TooManyConditionalAlternates,
  // A back-reference, call or condition naming a group that does not exist.
  NonexistentGroup,
  // A character-set range with its ends reversed or a class as an end.
  InvalidSetRange,
  // "[" without the closing "]".
  UnterminatedSet,
  // "\c" at the end of the pattern or before a non-printable character.
  IncompleteControlEscape,
  // "\E" without a "\Q" before it.
  QuoteMetaNotOn,
  // Anything else that does not parse, including limits of the engine.
  IllFormed,
  // A substitution format ending in a lone backslash.
  SubstitutionEscapeExpected,
  // A substitution format naming a group the pattern does not have.
  SubstitutionInvalidBackref,
};

// The exact message for a code.
const char* ErrorMessage(ErrorCode code) noexcept;

class bad_regexpr : public std::runtime_error {
 public:
  explicit bad_regexpr(ErrorCode code);
  ErrorCode code() const noexcept { return code_; }

 private:
  ErrorCode code_;
};

// Compile flags; the plug-in itself always passes none.
enum Flags : unsigned {
  none = 0,
  icase = 1u << 0,      // (?i)
  multiline = 1u << 1,  // (?m): ^ and $ at every line
  dotall = 1u << 2,     // (?s): . matches a line feed too
  extended = 1u << 3,   // (?x): blanks and #-comments ignored
};

inline constexpr std::size_t npos = static_cast<std::size_t>(-1);

namespace detail {
struct Program;
}

// A compiled pattern. Movable, not copyable.
class Pattern {
 public:
  Pattern() noexcept;
  Pattern(Pattern&&) noexcept;
  Pattern& operator=(Pattern&&) noexcept;
  ~Pattern();

  // Number of capture groups (group 0, the whole match, not counted).
  std::size_t GroupCount() const noexcept;
  // Number of the group called `name`, or -1.
  int GroupNumber(std::u16string_view name) const noexcept;

  const detail::Program* program() const noexcept { return prog_.get(); }

 private:
  friend Pattern Compile(std::u16string_view, unsigned);
  std::unique_ptr<const detail::Program> prog_;
};

// Positions of one group, in code units from the start of the text.
struct Span {
  std::size_t begin = npos;
  std::size_t end = npos;
  bool matched() const noexcept { return begin != npos; }
  // Zero when \K moved the start past the end.
  std::size_t length() const noexcept { return matched() && end > begin ? end - begin : 0; }
};

struct Match {
  bool matched = false;
  // The search was ended by the step budget or a depth bound.
  bool limitReached = false;
  // Index 0 is the whole match; empty when nothing matched.
  std::vector<Span> groups;

  Span operator[](std::size_t n) const noexcept {
    return n < groups.size() ? groups[n] : Span{};
  }
};

// Throws bad_regexpr.
Pattern Compile(std::u16string_view pattern, unsigned flags = none);

// Leftmost match beginning at or after `start` inside the stretch
// [start, start + length). The stretch is the subject: text outside it is
// not seen, "^" and "\A" match at its beginning.
Match Find(const Pattern& pattern, std::u16string_view text,
           std::size_t start = 0, std::size_t length = npos);

// Number of successive matches in the stretch; each search starts where the
// last match ended, and after an empty match an empty match at that same
// position is refused. All the searches share one step budget; when it runs
// out, the matches found so far are counted.
std::size_t Count(const Pattern& pattern, std::u16string_view text,
                  std::size_t start = 0, std::size_t length = npos);

// Text of group n of a result found in `text`; empty when it did not take
// part.
std::u16string_view Group(const Match& match, std::u16string_view text,
                          std::size_t n);

// Replaces the first (or every) match by `format`, in which $n, ${n},
// ${name}, $& and \n insert groups, and $$ and \\ insert the escaped
// character. Throws bad_regexpr for a broken format.
std::u16string Substitute(const Pattern& pattern, std::u16string_view text,
                          std::u16string_view format, bool global = false);

#if WCHAR_MAX == 0xFFFF
// The Windows build passes WCHAR text; wchar_t is a UTF-16 unit there.
inline std::u16string_view AsUtf16(std::wstring_view s) noexcept {
  return {reinterpret_cast<const char16_t*>(s.data()), s.size()};
}
inline Pattern Compile(std::wstring_view pattern, unsigned flags = none) {
  return Compile(AsUtf16(pattern), flags);
}
inline Match Find(const Pattern& pattern, std::wstring_view text,
                  std::size_t start = 0, std::size_t length = npos) {
  return Find(pattern, AsUtf16(text), start, length);
}
inline std::size_t Count(const Pattern& pattern, std::wstring_view text,
                         std::size_t start = 0, std::size_t length = npos) {
  return Count(pattern, AsUtf16(text), start, length);
}
inline std::wstring_view Group(const Match& match, std::wstring_view text,
                               std::size_t n) {
  Span s = match[n];
  if (!s.matched() || s.end > text.size()) return {};
  return text.substr(s.begin, s.end - s.begin);
}
#endif

}  // namespace regex
