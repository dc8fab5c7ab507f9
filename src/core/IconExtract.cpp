#include "core/Notifier.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <climits>
#include <string>

#include "base/Scoped.h"

namespace pw::Notifier {
namespace {

// The index-th icon group of a module, counting groups in resource order,
// loaded while the enumeration still owns the group's name.
struct GroupSearch {
  int wanted;
  int size;
  int seen = 0;
  HICON icon = nullptr;
};

BOOL CALLBACK NextGroup(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR param) {
  auto* s = reinterpret_cast<GroupSearch*>(param);
  if (s->seen++ != s->wanted) return TRUE;
  s->icon = static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, s->size, s->size, 0));
  return FALSE;
}

}  // namespace

HICON ExtractIconAt(const wchar_t* location, int size) {
  if (!location || !*location) return nullptr;
  wchar_t path[MAX_PATH * 2] = {};
  lstrcpynW(path, location, ARRAYSIZE(path));
  int index = PathParseIconLocationW(path);
  wchar_t expanded[MAX_PATH * 2] = {};
  DWORD n = ExpandEnvironmentStringsW(path, expanded, ARRAYSIZE(expanded));
  if (n == 0 || n > ARRAYSIZE(expanded)) lstrcpynW(expanded, path, ARRAYSIZE(expanded));
  if (!expanded[0]) return nullptr;

  ScopedLibrary module(LoadLibraryExW(expanded, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (module) {
    // LoadImage picks the group's image that best fits the size.
    if (index < 0)
      return static_cast<HICON>(LoadImageW(module.Get(), MAKEINTRESOURCEW(-index), IMAGE_ICON, size, size, 0));
    GroupSearch search{index, size};
    EnumResourceNamesW(module.Get(), RT_GROUP_ICON, &NextGroup, reinterpret_cast<LONG_PTR>(&search));
    return search.icon;
  }
  if (HICON icon = static_cast<HICON>(LoadImageW(nullptr, expanded, IMAGE_ICON, size, size, LR_LOADFROMFILE)))
    return icon;
  HICON large = nullptr, small = nullptr;
  // On failure the handles may hold leftovers: only a success owns them.
  UINT got = ExtractIconExW(expanded, index, &large, &small, 1);
  if (got == 0 || got == UINT_MAX) return nullptr;
  ScopedIcon l(large), s(small);
  if (size < 32) return s ? s.Release() : l.Release();
  return l ? l.Release() : s.Release();
}

}  // namespace pw::Notifier
