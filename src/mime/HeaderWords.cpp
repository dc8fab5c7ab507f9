#include "mime/HeaderWords.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "base/Base64Coder.h"
#include "mime/Charset.h"
#include "mime/HeaderFields.h"
#include "mime/HeaderScan.h"

namespace pw {

namespace {

void DecodeQ(const char* p, const char* end, std::string& out) {
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

}  // namespace

void decodeBase64(const char* text, size_t length, std::string& out) { Base64Coder::DecodeTo(text, length, out); }

std::string decodeBase64(const char* text, size_t length) {
  std::string out;
  decodeBase64(text, length, out);
  return out;
}

void unfold(const char* text, size_t length, std::string& out) {
  out.clear();
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (c == '\t' || c == '\r' || c == '\n') continue;
    if (i >= 1 && text[i - 1] == '\n') continue;
    if (i >= 2 && text[i - 2] == '\r') continue;
    out += c;
  }
}

std::string unfold(const char* text, size_t length) {
  std::string out;
  unfold(text, length, out);
  return out;
}

ValueDecoder::ValueDecoder(const wchar_t* defaultCharset)
    : default_(ResolveCharset(defaultCharset)), defaultKeepsAscii_(KeepsAscii(default_)) {}

void ValueDecoder::AppendPlain(const char* p, const char* end, std::wstring& out) {
  if (p >= end) return;
  const size_t length = static_cast<size_t>(end - p);
  if (defaultKeepsAscii_ && IsPlainAscii(p, length)) {
    // Most header text: unfolded straight into the value.
    const size_t at = out.size();
    out.resize(at + length);
    wchar_t* w = out.data() + at;
    if (!HasLineBytes(p, length)) return WidenAscii(p, length, w);
    for (size_t i = 0; i < length; ++i) {
      const char c = p[i];
      if (c == '\t' || c == '\r' || c == '\n') continue;
      if (i >= 1 && p[i - 1] == '\n') continue;
      if (i >= 2 && p[i - 2] == '\r') continue;
      *w++ = static_cast<wchar_t>(c);
    }
    out.resize(static_cast<size_t>(w - out.data()));
    return;
  }
  unfold(p, length, bytes_);
  AppendToUnicode(default_, bytes_.data(), bytes_.size(), out);
}

const CharsetRoute& ValueDecoder::WordRoute(const char* name, size_t length) {
  const size_t kept = knownCount_ < kKnownNames ? knownCount_ : kKnownNames;
  for (size_t i = 0; i < kept; ++i) {
    if (known_[i].length != length) continue;
    size_t k = 0;  // names are short: a loop beats a call to memcmp
    while (k < length && known_[i].name[k] == name[k]) ++k;
    if (k == length) return known_[i].route;
  }
  // A name's bytes widened one by one; a NUL ends it, as it ends any name.
  wchar_t wide[kMaxCharsetName + 1];
  for (size_t i = 0; i < length; ++i) wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(name[i]));
  wide[length] = 0;
  KnownName& slot = known_[knownCount_++ % kKnownNames];
  memcpy(slot.name, name, length);
  slot.length = length;
  slot.route = ResolveCharset(wide);
  return slot.route;
}

void ValueDecoder::Decode(const char* raw, size_t length, std::wstring& out) {
  if (!raw) return;
  const char* p = raw;
  const char* const end = raw + length;
  while (p < end) {
    const char* word = FindPair(p, end, '=', '?');
    AppendPlain(p, word, out);
    if (word == end) return;
    // charset name up to the next '?', bounded.
    const char* q = word + 2;
    const char* nameEnd = q;
    while (nameEnd < end && *nameEnd != '?' && static_cast<size_t>(nameEnd - q) <= kMaxCharsetName) ++nameEnd;
    const bool nameOk = nameEnd < end && *nameEnd == '?' && static_cast<size_t>(nameEnd - q) <= kMaxCharsetName;
    // the encoding letter, then one skipped byte (the '?').
    const char* text = nameEnd + 3;
    const char* close = nameOk && text <= end ? FindPair(text, end, '?', '=') : end;
    if (!nameOk || text > end || close == end) {
      AppendPlain(word, end, out);
      return;
    }
    const char encoding = nameEnd[1];
    if (encoding == 'B' || encoding == 'b') {
      decodeBase64(text, static_cast<size_t>(close - text), bytes_);
      if (bytes_.empty()) bytes_.assign(text, close);
    } else if (encoding == 'Q' || encoding == 'q') {
      DecodeQ(text, close, bytes_);
    } else {
      bytes_.assign(text, close);
    }
    AppendToUnicode(WordRoute(q, static_cast<size_t>(nameEnd - q)), bytes_.data(), bytes_.size(), out);
    p = close + 2;
  }
}

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
