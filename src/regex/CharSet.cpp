// Range arithmetic, named classes and caseless closure.
#include "regex/CharSet.h"

#include <algorithm>
#include <iterator>

namespace regex::detail {
namespace {

struct CasePair {
  char16_t unit;
  char16_t next;
};

constexpr CasePair kCaseTable[] = {
#include "regex/CaseTable.inc"
};

char16_t CaseNext(char16_t c) {
  auto it = std::lower_bound(std::begin(kCaseTable), std::end(kCaseTable), c,
                             [](const CasePair& p, char16_t v) { return p.unit < v; });
  return (it != std::end(kCaseTable) && it->unit == c) ? it->next : c;
}

// Ranges of a class as (lo, hi) pairs.
struct ClassRanges {
  const Range* r;
  int n;
};

constexpr Range kDigit[] = {{'0', '9'}};
constexpr Range kWord[] = {{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}};
constexpr Range kSpace[] = {{'\t', '\r'}, {' ', ' '}};
constexpr Range kHSpace[] = {{'\t', '\t'}, {' ', ' '}, {0xA0, 0xA0}, {0x1680, 0x1680},
                             {0x180E, 0x180E}, {0x2000, 0x200A}, {0x202F, 0x202F},
                             {0x205F, 0x205F}, {0x3000, 0x3000}};
constexpr Range kVSpace[] = {{'\n', '\r'}, {0x85, 0x85}, {0x2028, 0x2029}};
constexpr Range kAlnum[] = {{'0', '9'}, {'A', 'Z'}, {'a', 'z'}};
constexpr Range kAlpha[] = {{'A', 'Z'}, {'a', 'z'}};
constexpr Range kAscii[] = {{0, 127}};
constexpr Range kBlank[] = {{'\t', '\t'}, {' ', ' '}};
constexpr Range kCntrl[] = {{0, 31}, {127, 127}};
constexpr Range kGraph[] = {{33, 126}};
constexpr Range kLower[] = {{'a', 'z'}};
constexpr Range kPrint[] = {{32, 126}};
constexpr Range kPunct[] = {{33, 47}, {58, 64}, {91, 96}, {123, 126}};
constexpr Range kUpper[] = {{'A', 'Z'}};
constexpr Range kXDigit[] = {{'0', '9'}, {'A', 'F'}, {'a', 'f'}};
constexpr Range kNewline[] = {{'\n', '\n'}};

template <int N>
constexpr ClassRanges Of(const Range (&r)[N]) { return {r, N}; }

ClassRanges RangesOf(ClassKind k) {
  switch (k) {
    case ClassKind::Digit: return Of(kDigit);
    case ClassKind::Word: return Of(kWord);
    case ClassKind::Space: return Of(kSpace);
    case ClassKind::HSpace: return Of(kHSpace);
    case ClassKind::VSpace: return Of(kVSpace);
    case ClassKind::Alnum: return Of(kAlnum);
    case ClassKind::Alpha: return Of(kAlpha);
    case ClassKind::Ascii: return Of(kAscii);
    case ClassKind::Blank: return Of(kBlank);
    case ClassKind::Cntrl: return Of(kCntrl);
    case ClassKind::Graph: return Of(kGraph);
    case ClassKind::Lower: return Of(kLower);
    case ClassKind::Print: return Of(kPrint);
    case ClassKind::Punct: return Of(kPunct);
    case ClassKind::Upper: return Of(kUpper);
    case ClassKind::XDigit: return Of(kXDigit);
    case ClassKind::Newline: return Of(kNewline);
  }
  return Of(kNewline);
}

}  // namespace

int CaseClass(char16_t c, char16_t out[4]) {
  out[0] = c;
  char16_t lower = c | 0x20;
  if (c < 128 && lower != 'k' && lower != 's') {
    // ASCII letters other than k and s have exactly one partner.
    if (lower < 'a' || lower > 'z') return 1;
    out[1] = c ^ 0x20;
    return 2;
  }
  int n = 1;
  for (char16_t x = CaseNext(c); x != c && n < 4; x = CaseNext(x)) out[n++] = x;
  return n;
}

bool CaselessEqual(char16_t a, char16_t b) {
  if (a == b) return true;
  if (a < 128 && b < 128) {
    // Only K, k, S and s have partners outside ASCII; those stay unequal here.
    return (a | 0x20) == (b | 0x20) && (a | 0x20) >= 'a' && (a | 0x20) <= 'z';
  }
  for (char16_t x = CaseNext(a); x != a; x = CaseNext(x))
    if (x == b) return true;
  return false;
}

void RangeSet::Add(char32_t lo, char32_t hi) {
  if (lo > hi || lo > 0xFFFF) return;
  if (hi > 0xFFFF) hi = 0xFFFF;
  Range r{static_cast<char16_t>(lo), static_cast<char16_t>(hi)};
  if (!ranges.empty() && ranges.back().hi >= r.lo) normalized = false;
  ranges.push_back(r);
}

void RangeSet::AddClass(ClassKind kind, bool negated) {
  ClassRanges cr = RangesOf(kind);
  if (!negated) {
    for (int i = 0; i < cr.n; ++i) Add(cr.r[i].lo, cr.r[i].hi);
    return;
  }
  char32_t next = 0;
  for (int i = 0; i < cr.n; ++i) {
    if (cr.r[i].lo > next) Add(next, cr.r[i].lo - 1);
    next = cr.r[i].hi + 1;
  }
  if (next <= 0xFFFF) Add(next, 0xFFFF);
}

void RangeSet::AddSet(const RangeSet& other) {
  for (const Range& r : other.ranges) Add(r.lo, r.hi);
}

void RangeSet::Normalize() {
  if (normalized) return;
  std::sort(ranges.begin(), ranges.end(),
            [](const Range& a, const Range& b) { return a.lo < b.lo; });
  std::size_t out = 0;
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    if (out > 0 && static_cast<char32_t>(ranges[out - 1].hi) + 1 >= ranges[i].lo) {
      if (ranges[i].hi > ranges[out - 1].hi) ranges[out - 1].hi = ranges[i].hi;
    } else {
      ranges[out++] = ranges[i];
    }
  }
  ranges.resize(out);
  normalized = true;
}

void RangeSet::Negate() {
  Normalize();
  std::vector<Range> out;
  char32_t next = 0;
  for (const Range& r : ranges) {
    if (r.lo > next) out.push_back({static_cast<char16_t>(next), static_cast<char16_t>(r.lo - 1)});
    next = static_cast<char32_t>(r.hi) + 1;
  }
  if (next <= 0xFFFF) out.push_back({static_cast<char16_t>(next), 0xFFFF});
  ranges.swap(out);
}

void RangeSet::CloseCase() {
  Normalize();
  std::size_t n = ranges.size();
  for (std::size_t i = 0; i < n; ++i) {
    Range r = ranges[i];
    auto it = std::lower_bound(std::begin(kCaseTable), std::end(kCaseTable), r.lo,
                               [](const CasePair& p, char16_t v) { return p.unit < v; });
    for (; it != std::end(kCaseTable) && it->unit <= r.hi; ++it) {
      for (char16_t x = it->next; x != it->unit; x = CaseNext(x))
        if (x < r.lo || x > r.hi) Add(x);
    }
  }
  Normalize();
}

bool RangeSet::Contains(char16_t c) const {
  for (const Range& r : ranges)
    if (c >= r.lo && c <= r.hi) return true;
  return false;
}

uint32_t RangeSet::Size() const {
  uint32_t n = 0;
  for (const Range& r : ranges) n += static_cast<uint32_t>(r.hi - r.lo) + 1;
  return n;
}

CharSet MakeCharSet(const RangeSet& set, std::vector<Range>& pool) {
  CharSet cs;
  cs.first = static_cast<uint32_t>(pool.size());
  for (const Range& r : set.ranges) {
    if (r.lo < 256) {
      unsigned hi = r.hi < 256 ? r.hi : 255;
      for (unsigned w = r.lo >> 6; w <= hi >> 6; ++w) {
        unsigned from = w == (r.lo >> 6u) ? (r.lo & 63u) : 0u;
        unsigned to = w == (hi >> 6u) ? (hi & 63u) : 63u;
        uint64_t bits = (to == 63 ? ~uint64_t{0} : ((uint64_t{1} << (to + 1)) - 1));
        cs.low[w] |= bits & ~((uint64_t{1} << from) - 1);
      }
    }
    if (r.hi >= 256) pool.push_back({r.lo < 256 ? char16_t{256} : r.lo, r.hi});
  }
  cs.count = static_cast<uint32_t>(pool.size()) - cs.first;
  if (cs.count == 0) cs.high = 0;
  else if (cs.count == 1 && pool[cs.first].lo == 256 && pool[cs.first].hi == 0xFFFF) cs.high = 1;
  else cs.high = 2;
  if (cs.high != 2) { pool.resize(cs.first); cs.count = 0; }
  return cs;
}

}  // namespace regex::detail
