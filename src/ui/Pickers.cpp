#include "ui/Pickers.h"

#include <commdlg.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "ui/ActivationScope.h"

namespace pw::ui {

bool PickFile(HWND owner, const wchar_t* title, const wchar_t* filter, std::wstring& path) {
  wchar_t buffer[500] = {};
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = 500;
  ofn.lpstrTitle = title;
  // Explorer style: without it the system falls back to its oldest dialog.
  ofn.Flags = OFN_ENABLESIZING | OFN_LONGNAMES | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER;
  ActivationScope scope;
  if (!GetOpenFileNameW(&ofn)) return false;
  path = buffer;
  return true;
}

bool PickFolder(HWND owner, const wchar_t* title, std::wstring& path) {
  BROWSEINFOW bi = {};
  bi.hwndOwner = owner;
  bi.lpszTitle = title;
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  ActivationScope scope;
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&bi);
  if (!list) return false;
  wchar_t buffer[MAX_PATH] = {};
  bool ok = SHGetPathFromIDListW(list, buffer) != FALSE;
  CoTaskMemFree(list);  // the shell's allocator
  if (ok) path = buffer;
  return ok;
}

std::wstring QuoteSpaces(const std::wstring& path) {
  wchar_t buffer[MAX_PATH + 3] = {};
  lstrcpynW(buffer, path.c_str(), MAX_PATH);
  PathQuoteSpacesW(buffer);
  return buffer;
}

}  // namespace pw::ui
