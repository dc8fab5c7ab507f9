// The DLL's entry point and its four COM exports.
#include <windows.h>
#include <commctrl.h>
#include <comcat.h>
#include <olectl.h>
#include <winsock2.h>
#include <new>
#include <string>

#include "base/Module.h"
#include "base/Scoped.h"
#include "core/ClassFactory.h"
#include "core/ControlClasses.h"
#include "dockrail/DockrailPlugin.h"
#include "ui/ActivationScope.h"

namespace {

HMODULE g_richEdit = nullptr;

std::wstring ClsidString() {
  wchar_t buf[64] = {};
  StringFromGUID2(dockrail::CLSID_PostwardenPlugin, buf, 64);
  return buf;
}

void SetRow(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring* value) {
  pw::ScopedHKey k;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, k.Out(), nullptr) != ERROR_SUCCESS)
    return;  // single rows are not reported
  if (value)
    RegSetValueExW(k.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0x1FF};
    InitCommonControlsEx(&icc);
    InitCommonControls();
    g_richEdit = LoadLibraryW(L"Riched20.dll");
    pw::SetDllModule(instance);
    pw::RegisterControlClasses();
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 0), &wsa);
  } else if (reason == DLL_PROCESS_DETACH) {
    WSACleanup();
    pw::UnregisterControlClasses();
    pw::ui::ReleaseActivationContext();
    if (pw::ResourceModule() != pw::DllModule()) {
      FreeLibrary(pw::ResourceModule());
      pw::SetDllModule(pw::DllModule());
    }
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, dockrail::CLSID_PostwardenPlugin)) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) pw::ClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return pw::ObjectCount() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring clsid = ClsidString();
  const std::wstring name = L"Postwarden";
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(pw::DllModule(), path, MAX_PATH);
  const std::wstring dll = path, apartment = L"Apartment";
  const std::wstring clsKey = L"CLSID\\" + clsid;
  SetRow(HKEY_CLASSES_ROOT, clsKey, nullptr, &name);
  SetRow(HKEY_CLASSES_ROOT, clsKey + L"\\InprocServer32", nullptr, &dll);
  SetRow(HKEY_CLASSES_ROOT, clsKey + L"\\InprocServer32", L"ThreadingModel", &apartment);
  const std::wstring plugins = L"Software\\Orvale Software\\Dockrail\\plugins\\" + clsid;
  SetRow(HKEY_LOCAL_MACHINE, plugins, nullptr, &name);
  SetRow(HKEY_LOCAL_MACHINE, plugins + L"\\Langs", nullptr, nullptr);

  HRESULT hr = CoInitialize(nullptr);
  bool uninit = SUCCEEDED(hr);
  pw::ComPtr<ICatRegister> cat;
  hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                        cat.OutVoid());
  if (SUCCEEDED(hr)) {
    CATID catid = dockrail::CATID_DockrailPlugins;
    hr = cat->RegisterClassImplCategories(dockrail::CLSID_PostwardenPlugin, 1, &catid);
  }
  cat.Reset();
  if (uninit) CoUninitialize();
  return SUCCEEDED(hr) ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  const std::wstring key = L"CLSID\\" + ClsidString();
  RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  return S_OK;
}
