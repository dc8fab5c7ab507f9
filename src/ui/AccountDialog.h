// The account sheet: three pages over a private copy of one account's
// settings record. The caller keeps the copy only when Show returns 1.
#pragma once

#include <windows.h>
#include <memory>

#include "account/AccountSettings.h"
#include "ui/DialogWindow.h"

namespace pw::ui {

// Caps of the number fields: stored values are 32-bit milliseconds, so a
// larger entry would wrap to a short interval.
inline constexpr uint32_t kMaxIntervalMinutes = 0xFFFFFFFFu / 60000;  // 71582
inline constexpr uint32_t kMaxSeconds = 0xFFFFFFFFu / 1000;

class AccountDialog {
 public:
  AccountDialog();
  ~AccountDialog();
  AccountDialog(const AccountDialog&) = delete;
  AccountDialog& operator=(const AccountDialog&) = delete;

  // 1 when the user confirmed, anything else otherwise.
  INT_PTR Show(HWND owner, HMODULE resources);

  AccountSettings settings;

 private:
  std::unique_ptr<DialogWindow> pages_[3];
  bool applied_ = false;
  friend class AccountPageBase;
};

// A fresh record with the defaults of a new account.
AccountSettings NewAccountDefaults();

}  // namespace pw::ui
