// Entry points whose windows are not built yet; each moves to its own file
// when its window lands.
#include "ui/QuickReplyDialog.h"
#include "ui/SafeFileName.h"
#include "ui/ViewerMessages.h"

namespace pw::ui {

void FreeViewerStrings(ViewerStringList& list) {
  for (int i = 0; i < list.count; ++i) delete[] list.items[i];
  delete[] list.items;
  list.items = nullptr;
  list.count = 0;
}

INT_PTR ShowQuickReplyDialog(HWND, HMODULE, MailAccount&, MailMessage&) { return 0; }
std::wstring QuickReplyUnavailableReason(const MailAccount&) { return L"Quick reply is not available yet."; }

std::wstring SafeFileName(const std::wstring& proposed, const std::wstring& fallback) {
  std::wstring out;
  for (wchar_t c : proposed)
    if (c >= 0x20 && !wcschr(L"\\/:*?\"<>|", c)) out += c;
  while (!out.empty() && (out.back() == L'.' || out.back() == L' ')) out.pop_back();
  return out.empty() ? fallback : out;
}


}  // namespace pw::ui
