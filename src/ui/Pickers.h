// The common dialogs the windows open: a file to open and a folder.
#pragma once

#include <windows.h>
#include <string>

namespace pw::ui {

// `filter` holds pairs of description and pattern, each ended by a zero,
// the list ended by a second zero. False (and `path` untouched) when the
// user cancels.
bool PickFile(HWND owner, const wchar_t* title, const wchar_t* filter, std::wstring& path);
bool PickFolder(HWND owner, const wchar_t* title, std::wstring& path);
// Puts quotes around a path that holds blanks.
std::wstring QuoteSpaces(const std::wstring& path);

}  // namespace pw::ui
