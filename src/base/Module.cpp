#include "base/Module.h"

#include <atomic>
#include <vector>

#include "base/Scoped.h"

namespace pw {
namespace {

HMODULE g_dll = nullptr;
HMODULE g_resources = nullptr;
std::atomic<long> g_objects{0};

// Window classes of the plug-in's own controls. Their window procedures come
// with the controls; until a control exists its class answers with the
// default procedure, so the names are taken and the classes can be found.
const wchar_t* const kControlClasses[] = {
    L"DKR_MSG_VIEW_CONTROL", L"DKR_MSG_VIEW_HEADER", L"DKR_MSG_VIEW_ATTACHMENT",
    L"OrvaleColorPickerClass", L"OrvaleColorButtonClass", L"dkrTABSWITCHER_CLASS",
    L"DKR_TABLABEL_CLASS", L"DKRWEBLINK", L"DKRHOTKEY_CLASS", L"OrvaleSimpleList",
};

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
  RegisterControlClasses();
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

void RegisterControlClasses() {
  HINSTANCE inst = ResourceModule();
  for (const wchar_t* name : kControlClasses) {
    WNDCLASSEXW wc = {sizeof(wc)};
    // Registering again against another module: drop the old registration.
    UnregisterClassW(name, g_dll);
    if (inst != g_dll) UnregisterClassW(name, inst);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    wc.style = CS_DBLCLKS;
    RegisterClassExW(&wc);
  }
}

}  // namespace pw
