#include "core/ClassFactory.h"

#include <new>

#include "base/Module.h"
#include "core/PluginObject.h"

namespace pw {

ClassFactory::ClassFactory() { ObjectCreated(); }
ClassFactory::~ClassFactory() { ObjectDestroyed(); }

HRESULT ClassFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() { return InterlockedIncrement(&refs_); }

ULONG ClassFactory::Release() {
  long left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* plugin = new (std::nothrow) PluginObject();
  if (!plugin) return E_OUTOFMEMORY;
  HRESULT hr = plugin->QueryInterface(iid, out);
  plugin->Release();  // the construction reference
  return hr;
}

HRESULT ClassFactory::LockServer(BOOL) { return E_NOTIMPL; }

}  // namespace pw
