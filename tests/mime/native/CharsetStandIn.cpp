// The charset interface for the native build: UTF-8, US-ASCII and Latin-1
// only, with Latin-1 standing in for the ANSI code page. The Windows build
// converts through the platform instead.
#include <string>

#include "mime/Charset.h"
#include "mime/HeaderScan.h"

namespace pw {

namespace {

constexpr UINT kLatin1 = 28591, kAscii = 20127, kUtf8 = 65001;

void AppendLatin1(const char* bytes, size_t length, std::wstring& out) {
  for (size_t i = 0; i < length; ++i) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i])));
}

// Well-formed UTF-8 to characters; each byte of a broken sequence gives
// U+FFFD.
void AppendUtf8(const char* bytes, size_t length, std::wstring& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < length;) {
    const unsigned c = p[i];
    if (c < 0x80) {
      out.push_back(static_cast<wchar_t>(c));
      ++i;
      continue;
    }
    const size_t n = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 0;
    unsigned cp = n == 1 ? c & 0x1F : n == 2 ? c & 0x0F : c & 0x07;
    bool ok = n != 0 && length - i > n;
    for (size_t k = 1; ok && k <= n; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (!ok || cp > 0x10FFFF || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || (n == 1 && cp < 0x80)) {
      out.push_back(static_cast<wchar_t>(0xFFFD));
      ++i;
      continue;
    }
    out.push_back(static_cast<wchar_t>(cp));
    i += n + 1;
  }
}

UINT Known(const wchar_t* charset) {
  if (!charset || !*charset) return 0;
  const std::wstring_view name(charset);
  if (SameNoCase(name, L"utf-8") || SameNoCase(name, L"utf8")) return kUtf8;
  if (SameNoCase(name, L"us-ascii") || SameNoCase(name, L"ascii")) return kAscii;
  if (SameNoCase(name, L"iso-8859-1") || SameNoCase(name, L"latin1")) return kLatin1;
  return 0;
}

}  // namespace

UINT MlangCodePage(const wchar_t*) { return 0; }
bool MlangToUnicode(UINT, const char*, size_t, std::wstring&) { return false; }
bool MlangFromUnicode(UINT, const wchar_t*, size_t, std::string&) { return false; }
UINT TableCodePage(const wchar_t* charset) { return Known(charset); }

bool IsPlainAscii(const char* bytes, size_t length) { return PlainAsciiBytes(bytes, length); }

std::wstring AnsiToUnicode(const char* bytes, size_t length) {
  std::wstring out;
  AppendLatin1(bytes, length, out);
  return out;
}

std::string UnicodeToAnsi(const wchar_t* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) out.push_back(text[i] < 0x100 ? static_cast<char>(text[i]) : '?');
  return out;
}

CharsetRoute ResolveCharset(const wchar_t* charset) {
  CharsetRoute route;
  route.table = Known(charset);
  route.named = route.table != 0;
  return route;
}

CharsetRoute ResolveCharsetName(const char* name, size_t length) {
  std::wstring wide;
  for (size_t i = 0; i < length && name[i]; ++i) wide += static_cast<wchar_t>(static_cast<unsigned char>(name[i]));
  return ResolveCharset(wide.c_str());
}

bool KeepsAscii(const CharsetRoute&) { return true; }

void AppendToUnicode(const CharsetRoute& route, const char* bytes, size_t length, std::wstring& out) {
  if (route.table == kUtf8) return AppendUtf8(bytes, length, out);
  if (route.table == kAscii) {
    for (size_t i = 0; i < length; ++i) out.push_back(static_cast<wchar_t>(bytes[i] & 0x7F));
    return;
  }
  AppendLatin1(bytes, length, out);
}

void AppendToUnicode(const CharsetRoute& route, const char* bytes, size_t length, WideBuffer& out) {
  std::wstring converted;
  AppendToUnicode(route, bytes, length, converted);
  out += converted;
}

std::wstring CharsetToUnicode(const char* bytes, size_t length, const wchar_t* charset) {
  std::wstring out;
  AppendToUnicode(ResolveCharset(charset), bytes, length, out);
  return out;
}

std::string UnicodeToCharset(const wchar_t* text, size_t length, const wchar_t* charset) {
  if (Known(charset) != kUtf8) return UnicodeToAnsi(text, length);
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    const unsigned c = static_cast<unsigned>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace pw
