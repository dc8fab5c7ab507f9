// The options sheet's frame: the tab switcher, the label and the six
// pages, created the first time their tab is picked.
#pragma once

#include <memory>

#include "ui/DialogWindow.h"
#include "ui/OptionsData.h"

namespace pw::ui {

// One page of the sheet; pages read their controls back in OnOK.
class OptionsPageBase : public DialogWindow {
 public:
  OptionsPageBase(UINT id, OptionsData& data) : DialogWindow(id), data_(data) {}

 protected:
  OptionsData& D() { return data_; }

 private:
  OptionsData& data_;
};

class OptionsSheet final : public DialogWindow {
 public:
  static constexpr int kPages = 6;
  OptionsSheet(OptionsData& data, HMODULE resources);
  ~OptionsSheet() override;

  void OnInitDialog() override;
  void OnCommand(WPARAM wParam) override;
  bool OnOK() override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

  // The page at switcher order `index`, creating its window when needed.
  void ShowPage(int index);
  DialogWindow* Page(int index) const { return pages_[index].get(); }

 private:
  OptionsData& data_;
  HMODULE resources_;
  std::unique_ptr<OptionsPageBase> pages_[kPages];
  HICON icon_ = nullptr;
};

// Pages, in switcher order.
std::unique_ptr<OptionsPageBase> MakeGeneralPage(OptionsData& d);
std::unique_ptr<OptionsPageBase> MakeAccountsPage(OptionsData& d, HMODULE resources);
std::unique_ptr<OptionsPageBase> MakeConnectionPage(OptionsData& d);
std::unique_ptr<OptionsPageBase> MakeFiltersPage(OptionsData& d);
std::unique_ptr<OptionsPageBase> MakeNotifyPage(OptionsData& d);
std::unique_ptr<OptionsPageBase> MakeAboutPage(OptionsData& d);

}  // namespace pw::ui
