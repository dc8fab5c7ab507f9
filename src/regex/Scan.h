// Fast searches for one or two code units, used to skip to places where a
// match can begin. SSE2 where the compiler offers it, plain loops elsewhere.
#pragma once

#include <bit>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PW_REGEX_SSE2 1
#endif

namespace regex::detail {

// First p in [p, end) with *p == a or *p == b, or end.
inline const char16_t* FindUnit2(const char16_t* p, const char16_t* end, char16_t a,
                                 char16_t b) {
#ifdef PW_REGEX_SSE2
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  while (end - p >= 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask) return p + std::countr_zero(mask) / 2;
    p += 8;
  }
#endif
  while (p < end && *p != a && *p != b) ++p;
  return p;
}

inline const char16_t* FindUnit(const char16_t* p, const char16_t* end, char16_t a) {
  return FindUnit2(p, end, a, a);
}

}  // namespace regex::detail
