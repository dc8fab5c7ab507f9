#include "mime/HeaderWords.h"

#include <cstdint>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/Base64Coder.h"
#include "mime/Charset.h"
#include "mime/HeaderFields.h"
#include "mime/HeaderScan.h"

namespace pw {

namespace {

template <typename Buffer>
void DecodeQ(const char* p, const char* end, Buffer& out) {
  out.resize(static_cast<size_t>(end - p));  // never longer than the text
  char* o = out.data();
  while (p < end) {
    const char c = *p;
    if (c == '_') {
      *o++ = ' ';
      ++p;
    } else if (c == '=' && end - p >= 2 && p[1] == '=') {
      *o++ = '=';
      p += 2;
    } else if (c == '=' && end - p >= 3 && HexValue(p[1]) >= 0 && HexValue(p[2]) >= 0) {
      *o++ = static_cast<char>(HexValue(p[1]) * 16 + HexValue(p[2]));
      p += 3;
    } else {
      // Anything else, a lone "=" or one before non-hexadecimal bytes
      // included, is kept as written.
      *o++ = c;
      ++p;
    }
  }
  out.resize(static_cast<size_t>(o - out.data()));
}

template <typename Buffer>
void DecodeB(const char* p, const char* end, Buffer& out) {
  const size_t length = static_cast<size_t>(end - p);
  out.resize(Base64Coder::DecodedRoom(length));
  out.resize(Base64Coder::DecodeInto(p, length, out.data()));
}

// Removes CR and LF (see unfold) into a string or a buffer.
template <typename Buffer>
void UnfoldInto(const char* text, size_t length, Buffer& out) {
  out.resize(length);
  char* o = out.data();
  for (size_t i = 0; i < length; ++i)
    if (text[i] != '\r' && text[i] != '\n') *o++ = text[i];
  out.resize(static_cast<size_t>(o - out.data()));
}

}  // namespace

void decodeBase64(const char* text, size_t length, std::string& out) { Base64Coder::DecodeTo(text, length, out); }

std::string decodeBase64(const char* text, size_t length) {
  std::string out;
  decodeBase64(text, length, out);
  return out;
}

void unfold(const char* text, size_t length, std::string& out) {
  // RFC 5322 unfolding removes the line break only: the white space that
  // begins the continuation line stays ("Hello\r\n world" is "Hello world").
  UnfoldInto(text, length, out);
}

std::string unfold(const char* text, size_t length) {
  std::string out;
  unfold(text, length, out);
  return out;
}

namespace {

// A name in ASCII is looked up by its bytes, which needs no lock.
CharsetRoute DefaultRoute(const wchar_t* charset) {
  char bytes[kMaxCharsetName];
  size_t n = 0;
  for (; charset && charset[n] && n < kMaxCharsetName; ++n) {
    if (charset[n] >= 0x80) return ResolveCharset(charset);
    bytes[n] = static_cast<char>(charset[n]);
  }
  if (charset && charset[n]) return ResolveCharset(charset);
  return ResolveCharsetName(bytes, n);
}

}  // namespace

ValueDecoder::ValueDecoder(const wchar_t* defaultCharset)
    : default_(DefaultRoute(defaultCharset)), defaultKeepsAscii_(KeepsAscii(default_)) {}

template <typename Out>
void ValueDecoder::AppendPlain(const char* p, const char* end, Out& out) {
  if (p >= end) return;
  const size_t length = static_cast<size_t>(end - p);
  if (defaultKeepsAscii_) {
    // Most header text: checked, unfolded and widened straight into the
    // value in one pass.
    const size_t at = out.size();
    out.resize(at + length + 16);
    const ptrdiff_t n = WidenPlainUnfolded(p, length, out.data() + at, readable_);
    if (n >= 0) {
      out.resize(at + static_cast<size_t>(n));
      return;
    }
    out.resize(at);
  }
  UnfoldInto(p, length, bytes_);
  AppendToUnicode(default_, bytes_.data(), bytes_.size(), out);
}

namespace {

// The first 16 bytes of a name, zero-padded: a key compared in one step
// (nearly every charset name is shorter).
void NameKey(const char* name, size_t length, const char* readable, unsigned char (&key)[16]) {
#if defined(__SSE2__)
  if (readable - name >= 16) {
    const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i keep = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(length < 16 ? length : 16)), index);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(key),
                     _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(name)), keep));
    return;
  }
#endif
  memset(key, 0, sizeof key);
  memcpy(key, name, length < 16 ? length : 16);
}

bool SameKey(const unsigned char (&a)[16], const unsigned char (&b)[16]) {
#if defined(__SSE2__)
  return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)))) == 0xFFFF;
#else
  return memcmp(a, b, 16) == 0;
#endif
}

}  // namespace

const CharsetRoute& ValueDecoder::WordRoute(const char* name, size_t length, const char* readable) {
  unsigned char key[16];
  NameKey(name, length, readable, key);
  // One place per name, found from its length and two letters: no search
  // whose length depends on the name (words of several charsets alternate).
  const unsigned last = length ? key[(length < 16 ? length : 16) - 1] : 0;
  KnownName& k = known_[(length * 7 + last * 3 + key[0]) % kKnownNames];
  if (k.name && k.length == length && SameKey(k.key, key) &&
      (length <= 16 || memcmp(k.name + 16, name + 16, length - 16) == 0))
    return k.route;
  memcpy(k.key, key, sizeof key);
  k.name = name;
  k.length = length;
  k.route = ResolveCharsetName(name, length);
  return k.route;
}

namespace {

// The end of the charset name that begins at `q`: the first '?', blank or
// control byte before `limit` (else `limit`); bytes up to `readable` (at
// or after `limit`) may be read. `star` is set to the first
// '*' before that end, or null.
const char* CharsetNameEnd(const char* q, const char* limit, const char* readable, const char*& star) {
  star = nullptr;
#if defined(__SSE2__)
  if (readable - q >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(' ')), x);  // bytes 0 to 32
    unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(low, _mm_cmpeq_epi8(x, _mm_set1_epi8('?')))));
    // Bytes from `limit` on (readable, not part of the name) stop it too.
    if (limit - q < 16) stops |= ~0u << (limit - q);
    if (stops) {
      const unsigned at = static_cast<unsigned>(__builtin_ctz(stops));
      const unsigned stars =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8('*')))) & ((1u << at) - 1);
      if (stars) star = q + __builtin_ctz(stars);
      return q + at;
    }
  }
#endif
  const char* p = q;
  for (; p < limit; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == '?' || c <= ' ') break;
    if (c == '*' && !star) star = p;
  }
  return p;
}

}  // namespace

namespace {

bool FoldSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Whether decoded bytes may end inside a character, so that the next word
// of their charset could hold its rest: never in a one-byte charset; in
// UTF-8 only when the last sequence is incomplete; in other multibyte
// charsets when the last byte is not ASCII (a lead byte always is not).
template <typename Buffer>
bool MayEndInsideCharacter(const CharsetRoute& route, const Buffer& bytes) {
  if (bytes.empty() || route.singleByte) return false;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  if (b[n - 1] < 0x80) return false;
  constexpr UINT kUtf8 = 65001;
  if (route.service == kUtf8 || (!route.service && route.table == kUtf8)) {
    // Back to the lead byte of the last sequence; complete when it holds
    // as many bytes as its lead announces.
    size_t lead = n - 1, seen = 1;
    while (lead > 0 && seen < 4 && (b[lead] & 0xC0) == 0x80) --lead, ++seen;
    const unsigned char c = b[lead];
    const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return seen < need;
  }
  return true;
}

// Whether another encoded word in the charset `name` follows after
// nothing but white space.
bool NextWordSameCharset(const char* p, const char* end, const char* name, size_t length) {
  while (p < end && FoldSpace(*p)) ++p;
  if (static_cast<size_t>(end - p) < length + 3 || p[0] != '=' || p[1] != '?') return false;
  p += 2;
  if (p[length] != '?' && p[length] != '*') return false;
  // Charset names are ASCII: letters compare with their case bit cleared.
  for (size_t i = 0; i < length; ++i) {
    const unsigned char a = static_cast<unsigned char>(p[i]), b = static_cast<unsigned char>(name[i]);
    if (a != b && ((a | 0x20) != (b | 0x20) || (a | 0x20) < 'a' || (a | 0x20) > 'z')) return false;
  }
  return true;
}

bool OnlyFoldSpace(const char* p, const char* end) {
  for (; p < end; ++p)
    if (!FoldSpace(*p)) return false;
  return true;
}

}  // namespace

const char* ValueDecoder::FindClose(const char* from, const char* end) {
  // The first "?=" at or after `from`; remembered, so that a value full of
  // "=?" without closings is not searched to its end again and again.
  if (from >= closeFrom_ && from <= close_ && close_ <= end) return close_;
  closeFrom_ = from;
  close_ = FindPairNear(from, end, readable_, '?', '=');
  return close_;
}

template <typename Out>
void ValueDecoder::Flush(Out& out) {
  AppendToUnicode(WordRoute(pendingName_, pendingLength_, pendingName_ + pendingLength_), pending_.data(),
                  pending_.size(), out);
  pending_.clear();
  pendingName_ = nullptr;
}

template <typename Out>
void ValueDecoder::Decode(const char* raw, size_t length, Out& out, const char* readable) {
  if (!raw) return;
  const char* p = raw;
  const char* const end = raw + length;
  readable_ = readable > end ? readable : end;
  closeFrom_ = close_ = nullptr;
  pendingName_ = nullptr;
  pending_.clear();
  bool afterWord = false;
  while (p < end) {
    const char* word = FindPairNear(p, end, readable_, '=', '?');
    if (word == end) break;
    // "=?" charset "?" letter "?" text "?=" (RFC 2047). No white space or
    // control byte in a charset name; its length is bounded. A '*' starts
    // an RFC 2231 language ("utf-8*en"), which is ignored.
    const char* q = word + 2;
    const char* const limit = static_cast<size_t>(end - q) > kMaxCharsetName ? q + kMaxCharsetName + 1 : end;
    const char* star;
    const char* nameEnd = CharsetNameEnd(q, limit, readable_, star);
    const bool nameOk = nameEnd < end && *nameEnd == '?' && static_cast<size_t>(nameEnd - q) <= kMaxCharsetName;
    const bool shapeOk = nameOk && end - nameEnd >= 3 && nameEnd[2] == '?';
    const char* text = shapeOk ? nameEnd + 3 : end;
    const char* close = shapeOk ? FindClose(text, end) : end;
    if (close == end) {
      // Malformed: its "=?" is shown as it stands and the scan goes on.
      if (pendingName_) Flush(out);
      AppendPlain(p, word + 2, out);
      p = word + 2;
      afterWord = false;
      continue;
    }
    // White space between two encoded words is dropped (RFC 2047 6.2).
    if (!(afterWord && OnlyFoldSpace(p, word))) {
      if (pendingName_) Flush(out);
      AppendPlain(p, word, out);
    }
    const size_t nameLength = static_cast<size_t>((star ? star : nameEnd) - q);
    const char encoding = nameEnd[1];
    if (encoding == 'B' || encoding == 'b') {
      DecodeB(text, close, bytes_);
      if (bytes_.empty()) bytes_.assign(text, close);
    } else if (encoding == 'Q' || encoding == 'q') {
      DecodeQ(text, close, bytes_);
    } else {
      bytes_.assign(text, close);
    }
    // A word whose bytes may end inside a character waits for the next
    // word of its charset, so that a character split between them is
    // decoded whole; any other word is converted at once.
    const CharsetRoute& route = WordRoute(q, nameLength, readable_);
    if ((pendingName_ || MayEndInsideCharacter(route, bytes_)) && NextWordSameCharset(close + 2, end, q, nameLength)) {
      if (!pendingName_) {
        pendingName_ = q;
        pendingLength_ = nameLength;
      }
      pending_ += bytes_;
    } else if (pendingName_) {
      pending_ += bytes_;
      Flush(out);
    } else {
      AppendToUnicode(route, bytes_.data(), bytes_.size(), out);
    }
    afterWord = true;
    p = close + 2;
  }
  if (pendingName_) Flush(out);
  AppendPlain(p, end, out);
}

template void ValueDecoder::Decode(const char*, size_t, std::wstring&, const char*);
template void ValueDecoder::Decode(const char*, size_t, WideBuffer&, const char*);

std::wstring decodeValue(const char* raw, size_t length, const wchar_t* defaultCharset) {
  std::wstring out;
  ValueDecoder(defaultCharset).Decode(raw, length, out);
  return out;
}

std::wstring encodeWord(const wchar_t* text, const wchar_t* charset) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::wstring name = charset ? charset : L"";
  const std::string bytes = UnicodeToCharset(text ? text : L"", text ? wcslen(text) : 0, name.c_str());
  std::string out = "=?" + UnicodeToAnsi(name.data(), name.size()) + "?Q?";
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == ' ') {
      out += '_';
    } else if (c >= 128 || c < 32 || c == '=' || c == '?' || c == '_') {
      out += '=';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  out += "?=";
  return AnsiToUnicode(out.data(), out.size());
}

}  // namespace pw
