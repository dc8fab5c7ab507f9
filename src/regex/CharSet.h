// Sets of UTF-16 code units: a builder of ranges and the compact form the
// matcher tests against.
#pragma once

#include <cstdint>
#include <vector>

namespace regex::detail {

struct Range {
  char16_t lo;
  char16_t hi;
};

// Shorthand and POSIX classes. All are ASCII except \h and \v, which follow
// the usual Unicode blank and vertical-space lists.
enum class ClassKind : uint8_t {
  Digit, Word, Space, HSpace, VSpace, Alnum, Alpha, Ascii, Blank, Cntrl,
  Graph, Lower, Print, Punct, Upper, XDigit, Newline
};

class RangeSet {
 public:
  void Add(char32_t lo, char32_t hi);
  void Add(char32_t c) { Add(c, c); }
  void AddClass(ClassKind kind, bool negated);
  void AddSet(const RangeSet& other);
  // Sorts and merges; the other operations expect and keep this form.
  void Normalize();
  void Negate();
  // Adds every unit that is caseless-equal to a member.
  void CloseCase();
  bool Contains(char16_t c) const;
  // Number of code units in the set.
  uint32_t Size() const;

  std::vector<Range> ranges;
  bool normalized = true;
};

// Caseless class of `c` written to out (c first); returns its size (1-4).
int CaseClass(char16_t c, char16_t out[4]);
bool CaselessEqual(char16_t a, char16_t b);

// Compiled set: a bitmap for units below 256 and sorted ranges above.
struct CharSet {
  uint64_t low[4] = {0, 0, 0, 0};
  uint32_t first = 0;   // index of its high ranges in Program::ranges
  uint32_t count = 0;
  uint8_t high = 0;     // 0 none above 255, 1 all above 255, 2 see ranges

  bool TestLow(unsigned c) const { return (low[c >> 6] >> (c & 63)) & 1; }
};

// Compiles `set` (normalized), appending its high ranges to `pool`.
CharSet MakeCharSet(const RangeSet& set, std::vector<Range>& pool);

inline bool SetContains(const CharSet& s, const Range* pool, char16_t c) {
  if (c < 256) return s.TestLow(c);
  if (s.high != 2) return s.high == 1;
  const Range* lo = pool + s.first;
  const Range* hi = lo + s.count;
  while (lo < hi) {
    const Range* mid = lo + (hi - lo) / 2;
    if (c < mid->lo) hi = mid;
    else if (c > mid->hi) lo = mid + 1;
    else return true;
  }
  return false;
}

}  // namespace regex::detail
