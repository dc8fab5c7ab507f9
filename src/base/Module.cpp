#include "base/Module.h"

#include <atomic>
#include <vector>

namespace pw {
namespace {

HMODULE g_dll = nullptr;
HMODULE g_resources = nullptr;
std::atomic<long> g_objects{0};

}  // namespace

HMODULE DllModule() { return g_dll; }
HMODULE ResourceModule() { return g_resources ? g_resources : g_dll; }

void SetDllModule(HMODULE module) {
  g_dll = module;
  g_resources = module;
}

void UseResourceModule(HMODULE module) {
  HMODULE chosen = g_dll;
  if (module) {
    wchar_t path[MAX_PATH] = {};
    DWORD len = GetModuleFileNameW(module, path, MAX_PATH);
    DWORD dummy = 0;
    DWORD size = len ? GetFileVersionInfoSizeW(path, &dummy) : 0;
    if (size) {
      std::vector<BYTE> info(size);
      VS_FIXEDFILEINFO* fixed = nullptr;
      UINT fixedLen = 0;
      if (GetFileVersionInfoW(path, 0, size, info.data()) &&
          VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLen) && fixed &&
          fixed->dwFileVersionMS == 0x0001000C) {
        chosen = module;
      }
    }
  }
  g_resources = chosen;
}

void ObjectCreated() { ++g_objects; }
void ObjectDestroyed() { --g_objects; }
long ObjectCount() { return g_objects.load(); }

std::wstring LoadStr(UINT id) {
  const wchar_t* text = nullptr;
  int len = LoadStringW(ResourceModule(), id, reinterpret_cast<wchar_t*>(&text), 0);
  if (len <= 0 && ResourceModule() != g_dll)
    len = LoadStringW(g_dll, id, reinterpret_cast<wchar_t*>(&text), 0);
  return len > 0 && text ? std::wstring(text, len) : std::wstring();
}

}  // namespace pw
