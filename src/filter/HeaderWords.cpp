#include "filter/HeaderWords.h"

#include <optional>

#include "filter/Charset.h"
#include "filter/HeaderFields.h"
#include "net/Base64Coder.h"

namespace pw {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Position of `needle` (two bytes) in [from, end), or end.
const char* Find2(const char* from, const char* end, char a, char b) {
  for (const char* p = from; p + 1 < end; ++p)
    if (p[0] == a && p[1] == b) return p;
  return end;
}

std::string DecodeQ(const char* p, const char* end) {
  std::string out;
  out.reserve(static_cast<size_t>(end - p));
  while (p < end) {
    const char c = *p;
    if (c == '_') {
      out += ' ';
      ++p;
    } else if (c == '=' && end - p >= 2 && p[1] == '=') {
      out += '=';
      p += 2;
    } else if (c == '=' && end - p >= 3 && HexValue(p[1]) >= 0 && HexValue(p[2]) >= 0) {
      out += static_cast<char>(HexValue(p[1]) * 16 + HexValue(p[2]));
      p += 3;
    } else {
      // Anything else, a lone "=" or one before non-hexadecimal bytes
      // included, is kept as written.
      out += c;
      ++p;
    }
  }
  return out;
}

void AppendPlain(std::wstring& out, const char* p, const char* end, const wchar_t* charset) {
  if (p >= end) return;
  const std::string text = unfold(p, static_cast<size_t>(end - p));
  out += CharsetToUnicode(text.data(), text.size(), charset);
}

}  // namespace

std::string decodeBase64(const char* text, size_t length) {
  Base64Coder coder;
  coder.Decode(text, length);
  return std::string(coder.GetOutput(), coder.GetOutputLength());
}

std::string unfold(const char* text, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (c == '\t' || c == '\r' || c == '\n') continue;
    if (i >= 1 && text[i - 1] == '\n') continue;
    if (i >= 2 && text[i - 2] == '\r') continue;
    out += c;
  }
  return out;
}

std::wstring decodeValue(const char* raw, size_t length, const wchar_t* defaultCharset) {
  std::wstring out;
  if (!raw) return out;
  const char* p = raw;
  const char* const end = raw + length;
  while (p < end) {
    const char* word = Find2(p, end, '=', '?');
    AppendPlain(out, p, word, defaultCharset);
    if (word == end) return out;
    // charset name up to the next '?', bounded.
    const char* q = word + 2;
    const char* nameEnd = q;
    while (nameEnd < end && *nameEnd != '?' && static_cast<size_t>(nameEnd - q) <= kMaxCharsetName) ++nameEnd;
    const bool nameOk = nameEnd < end && *nameEnd == '?' && static_cast<size_t>(nameEnd - q) <= kMaxCharsetName;
    // the encoding letter, then one skipped byte (the '?').
    const char* text = nameEnd + 3;
    const char* close = nameOk && text <= end ? Find2(text, end, '?', '=') : end;
    if (!nameOk || text > end || close == end) {
      AppendPlain(out, word, end, defaultCharset);
      return out;
    }
    const std::wstring charset(q, nameEnd);  // ASCII name bytes, widened one by one
    const char encoding = nameEnd[1];
    std::string bytes;
    if (encoding == 'B' || encoding == 'b') {
      bytes = decodeBase64(text, static_cast<size_t>(close - text));
      if (bytes.empty()) bytes.assign(text, close);
    } else if (encoding == 'Q' || encoding == 'q') {
      bytes = DecodeQ(text, close);
    } else {
      bytes.assign(text, close);
    }
    std::wstring name;
    for (char c : charset) name += static_cast<wchar_t>(static_cast<unsigned char>(c));
    out += CharsetToUnicode(bytes.data(), bytes.size(), name.c_str());
    p = close + 2;
  }
  return out;
}

std::wstring decodeFieldValue(const MailMessage& message, const char* raw, size_t length) {
  const std::optional<std::wstring> charset = messageCharset(message);
  return decodeValue(raw, length, charset ? charset->c_str() : nullptr);
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
