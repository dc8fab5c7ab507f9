// Conversions between the plug-in's UTF-16 text and the ANSI text of the
// host's interface and the wire.
#pragma once

#include <windows.h>
#include <string>

namespace pw {

std::wstring AnsiToWide(const char* text);
std::string WideToAnsi(const wchar_t* text);
// Copies into a fixed ANSI buffer of `size` bytes, cut to fit, terminated.
void CopyAnsi(char* out, size_t size, const std::string& text);

}  // namespace pw
