// The platform's auto-complete (automatic appending) on an edit, fed from a
// fixed list of names.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <memory>

namespace pw::ui {

class FieldAutoComplete {
 public:
  // `names` must outlive the object. Null when the platform offers none.
  static std::unique_ptr<FieldAutoComplete> Attach(HWND edit, const wchar_t* const* names, size_t count);
  ~FieldAutoComplete();

 private:
  FieldAutoComplete() = default;
  IUnknown* complete_ = nullptr;
  IUnknown* source_ = nullptr;
};

}  // namespace pw::ui
