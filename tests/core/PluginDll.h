// Loads the built postwarden.dll (copied beside the test program) and
// creates Plug-in objects through its exports, as a host does.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include "base/Scoped.h"
#include "dockrail/DockrailPlugin.h"

namespace pwtest {

class PluginDll {
 public:
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using NoArgFn = HRESULT(STDAPICALLTYPE*)();

  PluginDll() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash) lstrcpyW(slash + 1, L"postwarden.dll");
    lib_.Reset(LoadLibraryW(path));
    if (!lib_) return;
    getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(lib_.Get(), "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<NoArgFn>(GetProcAddress(lib_.Get(), "DllCanUnloadNow"));
    registerServer = reinterpret_cast<NoArgFn>(GetProcAddress(lib_.Get(), "DllRegisterServer"));
    unregisterServer = reinterpret_cast<NoArgFn>(GetProcAddress(lib_.Get(), "DllUnregisterServer"));
  }
  bool Loaded() const { return lib_ && getClassObject && canUnloadNow && registerServer && unregisterServer; }
  HMODULE Module() const { return lib_.Get(); }

  // A new Plug-in object with one reference, or null.
  dockrail::IDockPlugin* Create() {
    pw::ComPtr<IClassFactory> factory;
    if (FAILED(getClassObject(dockrail::CLSID_PostwardenPlugin, IID_IClassFactory, factory.OutVoid()))) return nullptr;
    dockrail::IDockPlugin* plugin = nullptr;
    factory->CreateInstance(nullptr, dockrail::IID_IDockPlugin, reinterpret_cast<void**>(&plugin));
    return plugin;
  }

  GetClassObjectFn getClassObject = nullptr;
  NoArgFn canUnloadNow = nullptr;
  NoArgFn registerServer = nullptr;
  NoArgFn unregisterServer = nullptr;

 private:
  pw::ScopedLibrary lib_;
};

// Releases a plug-in at the end of a scope.
struct PluginRef {
  dockrail::IDockPlugin* p = nullptr;
  explicit PluginRef(dockrail::IDockPlugin* plugin) : p(plugin) {}
  ~PluginRef() { if (p) p->Release(); }
  PluginRef(const PluginRef&) = delete;
  PluginRef& operator=(const PluginRef&) = delete;
  dockrail::IDockPlugin* operator->() const { return p; }
};

}  // namespace pwtest
