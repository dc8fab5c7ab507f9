// Conversion between the bytes of a MIME charset and UTF-16. The platform's
// multi-language service is asked first; names it does not know (or cannot
// convert) go through a small table of charset names and code pages; the
// ANSI code page stands in for everything else. COM must be initialised on
// the calling thread for the service to be used.
#pragma once

#include <windows.h>
#include <cstddef>
#include <string>

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

// Bytes in `charset` (null or empty: the ANSI code page) to UTF-16.
std::wstring CharsetToUnicode(const char* bytes, size_t length, const wchar_t* charset);
// UTF-16 to bytes of `charset`, with the same fall-backs.
std::string UnicodeToCharset(const wchar_t* text, size_t length, const wchar_t* charset);

// Plain ANSI code page conversions.
std::wstring AnsiToUnicode(const char* bytes, size_t length);
std::string UnicodeToAnsi(const wchar_t* text, size_t length);

}  // namespace pw
