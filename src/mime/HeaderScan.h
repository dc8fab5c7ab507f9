// Byte searches over header text, sixteen bytes at a time where the
// processor allows (a header block is scanned several times over), and the
// character classes of the C locale without a call into the C library.
#pragma once

#include <cstddef>
#include <cwctype>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pw {

// The value of a hexadecimal digit (either case) of "=XX" in Q words and
// quoted-printable text, or -1.
inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

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

// FindPair for a range inside a longer buffer, readable up to `readable`
// (at or after end): short ranges are read sixteen bytes at a time too, the
// bytes past `end` never matching.
inline const char* FindPairNear(const char* from, const char* end, const char* readable, char a, char b) {
  const char* p = from;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
  for (; p < end && readable - p >= 17; p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(y, vb))));
    // A pair at i needs p[i + 1] before end.
    const ptrdiff_t starts = end - p - 1;
    if (starts < 16) hits &= (1u << starts) - 1;
    if (hits) return p + __builtin_ctz(hits);
    if (starts <= 16) return end;
  }
#endif
  return FindPair(p, end, a, b);
}

// The first `c` in [from, end), or end.
inline const char* FindByte(const char* from, const char* end, char c) {
  const char* p = from;
#if defined(__SSE2__)
  const __m128i vc = _mm_set1_epi8(c);
  // Thirty-two bytes a step: a header line is some seventy bytes.
  for (; end - p >= 32; p += 32) {
    const unsigned low = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), vc)));
    const unsigned high = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), vc)));
    if (low | high) return p + __builtin_ctz(low | high << 16);
  }
  for (; end - p >= 16; p += 16) {
    const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), vc));
    if (hits) return p + __builtin_ctz(static_cast<unsigned>(hits));
  }
#endif
  while (p < end && *p != c) ++p;
  return p;
}

// The first byte in [from, end) that cannot stand in a field name (RFC 5322
// ftext: printable ASCII but ':'), or end.
inline const char* SkipNameBytes(const char* from, const char* end) {
  const char* p = from;
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' '), del = _mm_set1_epi8(0x7F), colon = _mm_set1_epi8(':');
  for (; end - p >= 16; p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Signed compares: bytes of 128 and above are negative, so not above ' '.
    const __m128i ok = _mm_andnot_si128(_mm_cmpeq_epi8(x, colon),
                                        _mm_and_si128(_mm_cmpgt_epi8(x, space), _mm_cmplt_epi8(x, del)));
    const int bad = ~_mm_movemask_epi8(ok) & 0xFFFF;
    if (bad) return p + __builtin_ctz(static_cast<unsigned>(bad));
  }
#endif
  for (; p < end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c <= ' ' || c >= 0x7F || c == ':') return p;
  }
  return p;
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

// Whether the bytes hold a TAB, CR or LF: text without them unfolds to itself.
inline bool HasLineBytes(const char* bytes, size_t length) {
  const char* p = bytes;
  const char* const end = bytes + length;
#if defined(__SSE2__)
  const __m128i tab = _mm_set1_epi8('\t'), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
  for (; end - p >= 16; p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(x, tab), _mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, lf)));
    if (_mm_movemask_epi8(hit)) return true;
  }
#endif
  for (; p < end; ++p)
    if (*p == '\t' || *p == '\r' || *p == '\n') return true;
  return false;
}

// Bytes below 128 to the same characters.
inline void WidenAscii(const char* bytes, size_t length, wchar_t* out) {
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes to sixteen UTF-16 units: only where wchar_t is UTF-16
  // (not in the native build, whose wchar_t has 32 bits).
  const __m128i zero = _mm_setzero_si128();
  for (; sizeof(wchar_t) == 2 && length - i >= 16; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(x, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(x, zero));
  }
#endif
  for (; i < length; ++i) out[i] = static_cast<wchar_t>(bytes[i]);
}

// WidenAscii for text of at most sixteen bytes that lies in a buffer
// readable sixteen bytes from its start, into `out` with room for sixteen
// units: one step (the units past `length` are written, and not counted).
inline void WidenAsciiShort(const char* bytes, size_t length, wchar_t* out) {
#if defined(__SSE2__)
  if (sizeof(wchar_t) == 2) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(x, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(x, zero));
    return;
  }
#endif
  WidenAscii(bytes, length, out);
}

// What a byte is in plain header text: 0 kept, 1 left out (CR and LF),
// 2 not plain ASCII (as PlainAsciiBytes).
struct PlainByteClasses {
  unsigned char of[256];
  constexpr PlainByteClasses() : of() {
    for (int b = 0; b < 256; ++b)
      of[b] = b == 0 || b >= 0x80 || b == '+' || b == '~' || b == 0x1B ? 2 : b == '\r' || b == '\n' ? 1 : 0;
  }
};
inline constexpr PlainByteClasses kPlainBytes{};

// Plain ASCII text (as PlainAsciiBytes) widened into `out` with its CR and
// LF left out (unfolding), in one pass: the number of units written, or -1
// as soon as a byte is not plain ASCII (`out` then holds garbage). `out`
// has room for `length` + 16 units; the bytes up to `readable` (at or after
// the text's end) may be read, so that short text is read sixteen bytes at
// a time too.
inline ptrdiff_t WidenPlainUnfolded(const char* bytes, size_t length, wchar_t* out, const char* readable) {
  const char* p = bytes;
  const char* const end = bytes + length;
  wchar_t* w = out;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), plus = _mm_set1_epi8('+'), tilde = _mm_set1_epi8('~'),
                esc = _mm_set1_epi8(0x1B), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
  while (sizeof(wchar_t) == 2 && p < end && readable - p >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const ptrdiff_t left = end - p;
    const unsigned inside = left >= 16 ? 0xFFFFu : (1u << left) - 1;
    const __m128i bad = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, zero), _mm_cmpeq_epi8(x, plus)),
                                     _mm_or_si128(_mm_cmpeq_epi8(x, tilde), _mm_cmpeq_epi8(x, esc)));
    // The top bit of x: bytes of 128 and above.
    if (static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(bad, x))) & inside) return -1;
    // All sixteen are written; only those before the first line break (and
    // before the end) count. At most 16 units past the bytes read so far.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w), _mm_unpacklo_epi8(x, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w + 8), _mm_unpackhi_epi8(x, zero));
    const unsigned breaks =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, lf)))) & inside;
    if (!breaks) {
      const ptrdiff_t step = left < 16 ? left : 16;
      w += step;
      p += step;
      continue;
    }
    const unsigned at = static_cast<unsigned>(__builtin_ctz(breaks));
    w += at;
    p += at;
    while (p < end && (*p == '\r' || *p == '\n')) ++p;
  }
#else
  (void)readable;
#endif
  for (; p < end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (const unsigned char k = kPlainBytes.of[c]) {
      if (k == 2) return -1;
      continue;
    }
    *w++ = static_cast<wchar_t>(c);
  }
  return w - out;
}

// isspace of the C locale: blank, TAB, LF, VT, FF, CR.
inline bool SpaceByte(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// towlower of the C locale for ASCII; other characters go to the library.
inline wchar_t LowerChar(wchar_t c) {
  if (c < 0x80) return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
  return static_cast<wchar_t>(towlower(c));
}

// Texts equal ignoring letter case: ASCII by itself, other characters by
// the C library's towlower (no locale-dependent _wcsicmp, so that the same
// code builds natively).
inline bool SameNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}
inline bool StartsNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && SameNoCase(text.substr(0, prefix.size()), prefix);
}
inline bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i], d = b[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (d >= 'A' && d <= 'Z') d = static_cast<char>(d + 32);
    if (c != d) return false;
  }
  return true;
}

}  // namespace pw
