// Byte searches over header text, sixteen bytes at a time where the
// processor allows: a header block is scanned several times over.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pw {

// The first position p in [from, end) where p[0] == a and p[1] == b (both
// within the range), or end.
inline const char* FindPair(const char* from, const char* end, char a, char b) {
  const char* p = from;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
  for (; end - p >= 17; p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const int hits = _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(y, vb)));
    if (hits) return p + __builtin_ctz(static_cast<unsigned>(hits));
  }
#endif
  for (; end - p >= 2; ++p)
    if (p[0] == a && p[1] == b) return p;
  return end;
}

// Bytes 1-127 other than '+' (UTF-7), '~' (HZ) and ESC (ISO-2022) read the
// same in every ASCII-compatible charset: most header text is such.
inline bool PlainAsciiBytes(const char* bytes, size_t length) {
  const char* p = bytes;
  const char* const end = bytes + length;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), plus = _mm_set1_epi8('+'), tilde = _mm_set1_epi8('~'),
                esc = _mm_set1_epi8(0x1B);
  for (; end - p >= 16; p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i bad = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, zero), _mm_cmpeq_epi8(x, plus)),
                                     _mm_or_si128(_mm_cmpeq_epi8(x, tilde), _mm_cmpeq_epi8(x, esc)));
    if (_mm_movemask_epi8(_mm_or_si128(bad, x))) return false;  // the top bit of x: bytes of 128 and above
  }
#endif
  for (; p < end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == 0 || c >= 0x80 || c == '+' || c == '~' || c == 0x1B) return false;
  }
  return true;
}

}  // namespace pw
