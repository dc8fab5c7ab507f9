// A message's whole text written to a file, and the names of fresh files.
#pragma once

#include <cstddef>
#include <string>

namespace pw {

// Writes `text`, up to its first NUL, to `path` (created or truncated);
// false when there is no text or the file cannot be written.
bool saveRaw(const char* text, size_t size, const wchar_t* path);
// "year-month-day-" and five MD5 digest bytes in hexadecimal, ".msg", in
// `folder`, for a file that does not exist yet.
std::wstring uniqueSavePath(const std::wstring& folder);

}  // namespace pw
