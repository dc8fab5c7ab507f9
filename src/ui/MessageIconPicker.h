// The message-icon picker: every "*.png" of the "msgicons" folder beside
// the plug-in, shown as pictures; OK gives the chosen file name.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "ui/DialogWindow.h"
#include "ui/PictureBitmap.h"

namespace pw::ui {

class MessageIconPicker final : public DialogWindow {
 public:
  // `at`: the screen point where the dialog goes; `current`: the file name
  // to preselect (compared without regard to case).
  MessageIconPicker(POINT at, std::wstring current);
  const std::wstring& Chosen() const { return chosen_; }
  size_t Count() const { return icons_.size(); }

  void OnInitDialog() override;
  bool OnOK() override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

  // The folder the pictures come from.
  static std::wstring Folder();

 private:
  struct Icon {
    std::wstring name;
    PictureBitmap picture;
  };
  POINT at_;
  std::wstring current_, chosen_;
  std::vector<Icon> icons_;
  int cell_ = 22;
};

}  // namespace pw::ui
