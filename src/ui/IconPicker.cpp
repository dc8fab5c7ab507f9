#include "ui/IconPicker.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "ui/DialogText.h"
#include "ui/Pickers.h"
#include "ui_ids.h"

namespace pw::ui {

IconPicker::IconPicker(std::wstring location) : DialogWindow(IDD_ICON_PICKER), location_(std::move(location)) {
  wchar_t buf[MAX_PATH + 16] = {};
  lstrcpynW(buf, location_.c_str(), MAX_PATH + 16);
  index_ = PathParseIconLocationW(buf);
  file_ = buf;
}

IconPicker::~IconPicker() {
  if (images_) ImageList_Destroy(images_);
}

void IconPicker::OnInitDialog() {
  SetDlgItemTextW(Window(), IDC_ICP_FILE, file_.c_str());
  SendDlgItemMessageW(Window(), IDC_ICP_LIST, LB_SETCOLUMNWIDTH, 48, 0);
  SendDlgItemMessageW(Window(), IDC_ICP_LIST, LB_SETITEMHEIGHT, 0, 48);
  Fill();
}

void IconPicker::Fill() {
  HWND list = Item(IDC_ICP_LIST);
  LRESULT keep = SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (keep < 0) keep = index_;
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  if (images_) ImageList_Destroy(images_);
  const bool small = Checked(IDC_ICP_SMALL);
  const int side = small ? 16 : 32;
  images_ = ImageList_Create(side, side, ILC_COLOR32 | ILC_MASK, 8, 8);
  file_ = ItemText(Window(), IDC_ICP_FILE);
  count_ = file_.empty() ? 0 : static_cast<int>(ExtractIconExW(file_.c_str(), -1, nullptr, nullptr, 0));
  for (int i = 0; i < count_; ++i) {
    HICON large = nullptr, smallIcon = nullptr;
    ExtractIconExW(file_.c_str(), i, &large, &smallIcon, 1);
    ImageList_AddIcon(images_, small ? smallIcon : large);
    if (large) DestroyIcon(large);
    if (smallIcon) DestroyIcon(smallIcon);
    SendMessageW(list, LB_ADDSTRING, 0, i);
  }
  if (count_) SendMessageW(list, LB_SETCURSEL, keep < count_ ? keep : 0, 0);
}

void IconPicker::OnCommand(WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDC_ICP_SMALL:
      if (HIWORD(wParam) == BN_CLICKED) Fill();
      break;
    case IDC_ICP_BROWSE:
      if (HIWORD(wParam) == BN_CLICKED) {
        std::wstring path;
        if (PickFile(Window(), L"Select Icon", L"Icon files\0*.ico;*.exe;*.dll;*.icl\0All Files\0*.*\0", path)) {
          SetDlgItemTextW(Window(), IDC_ICP_FILE, path.c_str());
          SendDlgItemMessageW(Window(), IDC_ICP_LIST, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
          Fill();
        }
      }
      break;
    case IDC_ICP_LIST:
      if (HIWORD(wParam) == LBN_DBLCLK) PostMessageW(Window(), WM_COMMAND, IDOK, 0);
      break;
  }
}

bool IconPicker::OnOK() {
  file_ = ItemText(Window(), IDC_ICP_FILE);
  LRESULT sel = SendDlgItemMessageW(Window(), IDC_ICP_LIST, LB_GETCURSEL, 0, 0);
  location_ = file_ + L"," + std::to_wstring(sel < 0 ? 0 : sel);
  return true;
}

LRESULT IconPicker::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  if (message == WM_DRAWITEM && wParam == IDC_ICP_LIST) {
    auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    if (d->itemID == static_cast<UINT>(-1)) return 0;
    const bool sel = d->itemState & ODS_SELECTED;
    FillRect(d->hDC, &d->rcItem, GetSysColorBrush(sel ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    int cx = 0, cy = 0;
    ImageList_GetIconSize(images_, &cx, &cy);
    ImageList_Draw(images_, static_cast<int>(d->itemData), d->hDC, (d->rcItem.left + d->rcItem.right - cx) / 2,
                   (d->rcItem.top + d->rcItem.bottom - cy) / 2, ILD_TRANSPARENT);
    if (d->itemState & ODS_FOCUS) DrawFocusRect(d->hDC, &d->rcItem);
    handled = true;
    return TRUE;
  }
  if (message == WM_MEASUREITEM && wParam == IDC_ICP_LIST) {
    reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 48;
    handled = true;
    return TRUE;
  }
  return 0;
}

}  // namespace pw::ui
