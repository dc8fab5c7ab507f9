#include "ui/MessageIconPicker.h"

#include <shlwapi.h>
#include <algorithm>

#include "base/Module.h"
#include "ui_ids.h"

namespace pw::ui {

MessageIconPicker::MessageIconPicker(POINT at, std::wstring current)
    : DialogWindow(IDD_MSGICON_PICKER), at_(at), current_(std::move(current)) {}

std::wstring MessageIconPicker::Folder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(DllModule(), path, MAX_PATH);
  PathRemoveFileSpecW(path);
  PathAppendW(path, L"msgicons");
  return path;
}

void MessageIconPicker::OnInitDialog() {
  const std::wstring folder = Folder();
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((folder + L"\\*.png").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;  // "." and ".." too
      Icon icon;
      icon.name = fd.cFileName;
      // Only pictures that decode are offered.
      if (icon.picture.LoadFile((folder + L"\\" + fd.cFileName).c_str())) icons_.push_back(std::move(icon));
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  int w = 16, h = 16;
  for (const Icon& i : icons_) {
    w = std::max(w, i.picture.Width());
    h = std::max(h, i.picture.Height());
  }
  cell_ = std::max(w, h) + 6;
  SetWindowPos(Window(), nullptr, at_.x, at_.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  HWND list = Item(IDC_MIP_LIST);
  SendMessageW(list, LB_SETCOLUMNWIDTH, w + 6, 0);
  SendMessageW(list, LB_SETITEMHEIGHT, 0, h + 6);
  for (size_t i = 0; i < icons_.size(); ++i) {
    SendMessageW(list, LB_ADDSTRING, 0, static_cast<LPARAM>(i));
    if (lstrcmpiW(icons_[i].name.c_str(), current_.c_str()) == 0) SendMessageW(list, LB_SETCURSEL, i, 0);
  }
}

bool MessageIconPicker::OnOK() {
  LRESULT sel = SendDlgItemMessageW(Window(), IDC_MIP_LIST, LB_GETCURSEL, 0, 0);
  chosen_ = sel >= 0 && sel < static_cast<LRESULT>(icons_.size()) ? icons_[sel].name : std::wstring();
  return true;
}

LRESULT MessageIconPicker::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  if (message == WM_DRAWITEM && wParam == IDC_MIP_LIST) {
    auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    handled = true;
    if (d->itemID >= icons_.size()) return TRUE;
    FillRect(d->hDC, &d->rcItem, GetSysColorBrush((d->itemState & ODS_SELECTED) ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const PictureBitmap& p = icons_[d->itemID].picture;
    p.Draw(d->hDC, (d->rcItem.left + d->rcItem.right - p.Width()) / 2, (d->rcItem.top + d->rcItem.bottom - p.Height()) / 2);
    if (d->itemState & ODS_FOCUS) DrawFocusRect(d->hDC, &d->rcItem);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDC_MIP_LIST && HIWORD(wParam) == LBN_DBLCLK) {
    PostMessageW(Window(), WM_COMMAND, IDOK, 0);
    handled = true;
  }
  return 0;
}

}  // namespace pw::ui
