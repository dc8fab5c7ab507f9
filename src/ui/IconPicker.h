// "Select Icon": the icons of a file, large or small, one to pick.
// Location in and out: "path,index".
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <string>

#include "ui/DialogWindow.h"

namespace pw::ui {

class IconPicker final : public DialogWindow {
 public:
  explicit IconPicker(std::wstring location);
  ~IconPicker() override;
  const std::wstring& Location() const { return location_; }

  void OnInitDialog() override;
  void OnCommand(WPARAM wParam) override;
  bool OnOK() override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

  // Icons in the list after the last fill.
  int Count() const { return count_; }

 private:
  void Fill();

  std::wstring location_;
  std::wstring file_;
  int index_ = 0;
  int count_ = 0;
  HIMAGELIST images_ = nullptr;
};

}  // namespace pw::ui
