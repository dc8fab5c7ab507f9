// Conversion between the bytes of a MIME charset and UTF-16. The platform's
// multi-language service is asked first; names it does not know (or cannot
// convert) go through a small table of charset names and code pages; the
// ANSI code page stands in for everything else. COM must be initialised on
// the calling thread for the service to be used.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
using UINT = unsigned int;  // the native build's stand-in converts without the platform
#endif
#include <cstddef>
#include <string>

#include "base/GrowBuffer.h"

namespace pw {

// Longest charset name taken from an encoded word or a parameter.
inline constexpr size_t kMaxCharsetName = 64;

// The multi-language service's Internet code page for a charset name, or 0.
UINT MlangCodePage(const wchar_t* charset);
// Converts through the service only; false when it fails.
bool MlangToUnicode(UINT codePage, const char* bytes, size_t length, std::wstring& out);
bool MlangFromUnicode(UINT codePage, const wchar_t* text, size_t length, std::string& out);

// The code page of the name table (aliases included, letter case ignored), or 0.
UINT TableCodePage(const wchar_t* charset);

// How the bytes of one charset name are converted: the service's code page
// (and whether the system converts it itself) and the name table's. Found
// once per name, used for any number of conversions.
struct CharsetRoute {
  bool named = false;  // false: the ANSI code page
  UINT service = 0;
  bool systemConverts = false;  // the system knows the service's code page
  UINT table = 0;
  // Byte to character of the service's code page when that is one byte a
  // character (read from the system once), else null.
  const wchar_t* singleByte = nullptr;
};
CharsetRoute ResolveCharset(const wchar_t* charset);
// The same for a name given as bytes (an encoded word's, or one read from a
// parameter), each byte a character and a NUL ending it. The answers for
// the first few dozen spellings are kept for the process and read without
// a lock, so that the names of every message cost no look-up.
CharsetRoute ResolveCharsetName(const char* name, size_t length);
// Appends `bytes` converted by `route` to `out`.
void AppendToUnicode(const CharsetRoute& route, const char* bytes, size_t length, std::wstring& out);
void AppendToUnicode(const CharsetRoute& route, const char* bytes, size_t length, WideBuffer& out);
// True when plain ASCII text (see IsPlainAscii) reads as itself in the route's charset.
bool KeepsAscii(const CharsetRoute& route);
// Bytes 1-127 other than '+', '~' and ESC: the same in every ASCII-compatible charset.
bool IsPlainAscii(const char* bytes, size_t length);

// Bytes in `charset` (null or empty: the ANSI code page) to UTF-16.
std::wstring CharsetToUnicode(const char* bytes, size_t length, const wchar_t* charset);
// UTF-16 to bytes of `charset`, with the same fall-backs.
std::string UnicodeToCharset(const wchar_t* text, size_t length, const wchar_t* charset);

// Plain ANSI code page conversions.
std::wstring AnsiToUnicode(const char* bytes, size_t length);
std::string UnicodeToAnsi(const wchar_t* text, size_t length);

}  // namespace pw
