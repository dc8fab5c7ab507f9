#include "ui/VersionText.h"

#include <vector>

namespace pw::ui {

std::wstring VersionText(uint32_t ms, uint32_t ls) {
  const uint32_t n[4] = {ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF};
  if (!ms && !ls) return L"0.0.0.0";
  int keep = 4;
  while (keep > 2 && n[keep - 1] == 0) --keep;
  std::wstring t;
  for (int i = 0; i < keep; ++i) {
    if (i) t += L'.';
    t += std::to_wstring(n[i]);
  }
  return t;
}

std::wstring DllVersionText(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  if (!GetModuleFileNameW(module, path, MAX_PATH)) return VersionText(0, 0);
  DWORD dummy = 0, size = GetFileVersionInfoSizeW(path, &dummy);
  if (!size) return VersionText(0, 0);
  std::vector<BYTE> info(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  if (!GetFileVersionInfoW(path, 0, size, info.data()) ||
      !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || !fixed)
    return VersionText(0, 0);
  return VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

}  // namespace pw::ui
