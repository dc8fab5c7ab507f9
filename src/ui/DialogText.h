// Reading and writing the fields of a dialog the way the windows store
// them: fixed-width text fields and unsigned numbers.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

namespace pw::ui {

// Fills an edit from a fixed field and limits it to what the field holds,
// so the user can never type what would later be cut.
template <size_t N>
void SetFieldText(HWND dialog, int id, const wchar_t (&field)[N]) {
  SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, N - 1, 0);
  SetDlgItemTextW(dialog, id, field);
}

// A translated template may leave a control out: the field then keeps
// its value.
template <size_t N>
void GetFieldText(HWND dialog, int id, wchar_t (&field)[N]) {
  if (!GetDlgItem(dialog, id)) return;
  field[0] = 0;
  GetDlgItemTextW(dialog, id, field, static_cast<int>(N));
}

std::wstring ItemText(HWND dialog, int id);

// Unsigned decimal; text that is not a number gives 0. `tooLarge` is set
// when the digits are a number above `max` (the result is then `max`).
uint32_t ParseUnsigned(const std::wstring& text, uint64_t max, bool* tooLarge = nullptr);
uint32_t ItemUnsigned(HWND dialog, int id, uint64_t max, bool* tooLarge = nullptr);
void SetItemUnsigned(HWND dialog, int id, uint32_t value);

// Yes/No question or a warning box captioned with the product name.
bool AskYesNo(HWND owner, const std::wstring& text);
void Warn(HWND owner, const std::wstring& text);

}  // namespace pw::ui
