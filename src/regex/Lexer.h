// Reading a pattern: the cursor, escapes that mean the same inside and
// outside sets, and character sets.
#pragma once

#include <string_view>

#include "regex/CharSet.h"
#include "regex/Regex.h"

namespace regex::detail {

[[noreturn]] inline void Fail(ErrorCode code) { throw bad_regexpr(code); }

inline bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiAlnum(char32_t c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline bool IsNameStart(char32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
inline bool IsNameChar(char32_t c) { return IsNameStart(c) || IsDigit(c); }
inline int HexValue(char32_t c) {
  if (IsDigit(c)) return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}
inline bool IsPatternSpace(char32_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

class Lexer {
 public:
  explicit Lexer(std::u16string_view p) : p_(p) {}

 protected:
  bool AtEnd() const { return i_ >= p_.size(); }
  char32_t Peek(std::size_t ahead = 0) const {
    return i_ + ahead < p_.size() ? p_[i_ + ahead] : char32_t(-1);
  }
  bool Accept(char32_t c) {
    if (Peek() != c) return false;
    ++i_;
    return true;
  }
  bool StartsWith(std::u16string_view s) const { return p_.substr(i_).starts_with(s); }

  // After the letter of the escape; each throws bad_regexpr when malformed.
  char32_t ReadHexEscape();
  char32_t ReadOctal(int maxDigits);
  char32_t ReadBracedOctal();
  char32_t ReadControl();
  // The unit of \a \e \f \n \r \t \x \o \c, or -1 when `c` is none of them.
  long SimpleEscape(char32_t c);
  // \d \w \s \h \v and their upper-case negations.
  static bool ShorthandClass(char32_t c, ClassKind& k, bool& negated);

  // Parses a set from its '['. Literal members are closed under case when
  // caseless; blanks are skipped when blanksIgnored ((?xx)).
  RangeSet ParseSet(bool caseless, bool blanksIgnored);

  std::u16string_view p_;
  std::size_t i_ = 0;

 private:
  // One set member: a single unit or a whole class.
  struct ClassItem {
    bool isClass = false;
    char32_t unit = 0;
    RangeSet set;
  };
  bool ReadPosixClass(ClassItem& item, bool caseless);
  ClassItem ReadClassItem(bool& quoted, bool caseless);
};

}  // namespace regex::detail
