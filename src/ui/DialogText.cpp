#include "ui/DialogText.h"

#include <cwctype>

#include "base/Module.h"
#include "resource.h"
#include "ui/ActivationScope.h"

namespace pw::ui {

std::wstring ItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  int len = item ? GetWindowTextLengthW(item) : 0;
  std::wstring s(static_cast<size_t>(len) + 1, L'\0');
  if (len) GetWindowTextW(item, s.data(), len + 1);
  s.resize(wcslen(s.c_str()));
  return s;
}

uint32_t ParseUnsigned(const std::wstring& text, uint64_t max, bool* tooLarge) {
  if (tooLarge) *tooLarge = false;
  size_t i = text.find_first_not_of(L" \t");
  if (i == std::wstring::npos || !iswdigit(text[i])) return 0;
  uint64_t v = 0;
  bool over = false;
  for (; i < text.size() && iswdigit(text[i]); ++i) {
    v = v * 10 + (text[i] - L'0');
    if (v > max) {
      over = true;
      v = max;
    }
  }
  if (i < text.size() && text.find_first_not_of(L" \t", i) != std::wstring::npos) return 0;
  if (tooLarge) *tooLarge = over;
  return static_cast<uint32_t>(v);
}

uint32_t ItemUnsigned(HWND dialog, int id, uint64_t max, bool* tooLarge) {
  return ParseUnsigned(ItemText(dialog, id), max, tooLarge);
}

void SetItemUnsigned(HWND dialog, int id, uint32_t value) { SetDlgItemInt(dialog, id, value, FALSE); }

bool AskYesNo(HWND owner, const std::wstring& text) {
  ActivationScope scope;
  std::wstring caption = LoadStr(IDS_PRODUCT);
  return MessageBoxW(owner, text.c_str(), caption.empty() ? L"Postwarden" : caption.c_str(),
                     MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void Warn(HWND owner, const std::wstring& text) {
  ActivationScope scope;
  std::wstring caption = LoadStr(IDS_PRODUCT);
  MessageBoxW(owner, text.c_str(), caption.empty() ? L"Postwarden" : caption.c_str(), MB_OK | MB_ICONWARNING);
}

}  // namespace pw::ui
