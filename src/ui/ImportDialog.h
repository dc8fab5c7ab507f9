// "Import conditions": the file to read and the defaults for what its
// lines leave out.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/DialogWindow.h"

namespace pw::ui {

class FieldAutoComplete;

class ImportDialog final : public DialogWindow {
 public:
  ImportDialog();
  ~ImportDialog() override;

  // After OK.
  const std::wstring& Field() const { return field_; }
  const std::wstring& File() const { return file_; }
  uint32_t SearchType() const { return searchType_; }

  void OnInitDialog() override;
  void OnCommand(WPARAM wParam) override;
  bool OnOK() override;

 private:
  std::wstring field_ = L"From", file_;
  uint32_t searchType_ = 1;
  std::unique_ptr<FieldAutoComplete> complete_;
};

}  // namespace pw::ui
