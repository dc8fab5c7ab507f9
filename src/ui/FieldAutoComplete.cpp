#include "ui/FieldAutoComplete.h"

#include <objbase.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

namespace pw::ui {
namespace {

// The names, handed out one by one.
class NameEnum final : public IEnumString {
 public:
  NameEnum(const wchar_t* const* names, size_t count, size_t at = 0) : names_(names), count_(count), at_(at) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IEnumString) {
      *out = static_cast<IEnumString*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }
  STDMETHODIMP Next(ULONG wanted, LPOLESTR* out, ULONG* fetched) override {
    ULONG n = 0;
    for (; n < wanted && at_ < count_; ++n, ++at_) {
      const size_t bytes = (wcslen(names_[at_]) + 1) * sizeof(wchar_t);
      out[n] = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
      if (!out[n]) break;
      memcpy(out[n], names_[at_], bytes);
    }
    if (fetched) *fetched = n;
    return n == wanted ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG n) override {
    at_ = at_ + n > count_ ? count_ : at_ + n;
    return at_ < count_ ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    at_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumString** out) override {
    *out = new NameEnum(names_, count_, at_);
    return S_OK;
  }

 private:
  ~NameEnum() = default;
  LONG refs_ = 1;
  const wchar_t* const* names_;
  size_t count_;
  size_t at_;
};

}  // namespace

std::unique_ptr<FieldAutoComplete> FieldAutoComplete::Attach(HWND edit, const wchar_t* const* names, size_t count) {
  if (!edit) return nullptr;
  IAutoComplete* complete = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AutoComplete, nullptr, CLSCTX_INPROC_SERVER, IID_IAutoComplete,
                              reinterpret_cast<void**>(&complete))))
    return nullptr;
  NameEnum* source = new NameEnum(names, count);
  if (FAILED(complete->Init(edit, source, nullptr, nullptr))) {
    source->Release();
    complete->Release();
    return nullptr;
  }
  IAutoComplete2* two = nullptr;
  if (SUCCEEDED(complete->QueryInterface(IID_IAutoComplete2, reinterpret_cast<void**>(&two)))) {
    two->SetOptions(ACO_AUTOAPPEND);
    two->Release();
  }
  std::unique_ptr<FieldAutoComplete> self(new FieldAutoComplete);
  self->complete_ = complete;
  self->source_ = source;
  return self;
}

FieldAutoComplete::~FieldAutoComplete() {
  if (complete_) complete_->Release();
  if (source_) source_->Release();
}

}  // namespace pw::ui
