// The list window's toolbar: its buttons and pictures, its own drawing,
// the enabled states, the arrangement kept in the registry, and the
// commands it and the folder list send.
#include <vssym32.h>

#include <algorithm>

#include "base/Module.h"
#include "image/Picture.h"
#include "ui/FilterEditors.h"
#include "ui/FolderList.h"
#include "ui/ListCommands.h"
#include "ui/MessagesListWindow.h"
#include "ui/QuickReplyDialog.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

struct ButtonDef {
  int command;  // 0: separator
  int picture;
  UINT tip;
  UINT name;
};

constexpr ButtonDef kButtons[18] = {
    {IDC_TB_CHECK_ALL, 0, IDS_TIP_CHECK_ALL, IDS_BTN_CHECK_ALL},
    {IDC_TB_CHECK_ONE, 1, IDS_TIP_CHECK_ONE, IDS_BTN_CHECK_ONE},
    {0, 0, 0, 0},
    {IDC_TB_PROPERTIES, 2, IDS_TIP_PROPERTIES, IDS_BTN_PROPERTIES},
    {IDC_TB_READER, 3, IDS_TIP_READER, IDS_BTN_READER},
    {IDC_TB_OPEN_LOG, 4, IDS_TIP_OPEN_LOG, IDS_BTN_OPEN_LOG},
    {IDC_TB_EDIT_FILTERS, 5, IDS_TIP_EDIT_FILTERS, IDS_BTN_EDIT_FILTERS},
    {0, 0, 0, 0},
    {IDC_TB_LOAD, 6, IDS_TIP_LOAD, IDS_BTN_LOAD},
    {IDC_TB_SAVE, 7, IDS_TIP_SAVE, IDS_BTN_SAVE},
    {IDC_TB_REPLY, 8, IDS_TIP_REPLY, IDS_BTN_REPLY},
    {IDC_TB_ADD_FILTER, 9, IDS_TIP_ADD_FILTER, IDS_BTN_ADD_FILTER},
    {0, 0, 0, 0},
    {IDC_TB_DELETE, 10, IDS_TIP_DELETE, IDS_BTN_DELETE},
    {IDC_TB_DELETE_SPAM, 11, IDS_TIP_DELETE_SPAM, IDS_BTN_DELETE_SPAM},
    {IDC_TB_DELETE_DANGEROUS, 12, IDS_TIP_DELETE_DANGEROUS, IDS_BTN_DELETE_DANGEROUS},
    {0, 0, 0, 0},
    {IDC_TB_MARK_ALL_READ, 13, IDS_TIP_MARK_ALL_READ, IDS_BTN_MARK_ALL_READ},
};
constexpr int kStopPicture = 14;

constexpr wchar_t kToolbarKey[] = L"SOFTWARE\\Orvale Software\\Dockrail\\Postwarden";

TBBUTTON MakeButton(const ButtonDef& d) {
  TBBUTTON b = {};
  b.iBitmap = d.command ? d.picture : 0;
  b.idCommand = d.command;
  b.fsState = TBSTATE_ENABLED;
  b.fsStyle = d.command ? BTNS_BUTTON : BTNS_SEP;
  return b;
}

// Disabled pictures: grey, lightened by 70 in every channel.
image::Picture Greyed(const image::Picture& p) {
  image::Picture g = p;
  for (uint32_t& px : g.pixels) {
    const uint32_t r = (px >> 16) & 0xFF, gr = (px >> 8) & 0xFF, b = px & 0xFF;
    const uint32_t y = std::min<uint32_t>(255, (r * 30 + gr * 59 + b * 11) / 100 + 70);
    px = (px & 0xFF000000u) | (y << 16) | (y << 8) | y;
  }
  return g;
}

}  // namespace

void MessagesListWindow::CreateToolbar() {
  HWND w = Window();
  toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                             WS_CHILD | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | TBSTYLE_ALTDRAG | CCS_ADJUSTABLE | CCS_TOP,
                             0, 0, 0, 0, w, reinterpret_cast<HMENU>(IDC_LIST_TOOLBAR), DllModule(), nullptr);
  SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(toolbar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(30, 30));
  SendMessageW(toolbar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(30, 30));
  for (int i = 0; i < 15; ++i) {
    image::Picture p;
    if (!image::LoadPngResource(DllModule(), MAKEINTRESOURCEW(IDP_TB_FIRST + i), p)) continue;
    toolbarPictures_[i].Set(p);
    greyPictures_[i].Set(Greyed(p));
  }
  // The stock strip: fourteen pictures on the window colour, side by side.
  HDC screen = GetDC(w);
  toolbarStrip_.Reset(CreateCompatibleBitmap(screen, 420, 30));
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, toolbarStrip_.Get());
  RECT all = {0, 0, 420, 30};
  FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
  for (int i = 0; i < 14; ++i) toolbarPictures_[i].Draw(dc, 30 * i, 0);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(w, screen);
  TBADDBITMAP add = {nullptr, reinterpret_cast<UINT_PTR>(toolbarStrip_.Get())};
  SendMessageW(toolbar_, TB_ADDBITMAP, 14, reinterpret_cast<LPARAM>(&add));
  TBBUTTON buttons[18];
  for (int i = 0; i < 18; ++i) buttons[i] = MakeButton(kButtons[i]);
  SendMessageW(toolbar_, TB_ADDBUTTONSW, 18, reinterpret_cast<LPARAM>(buttons));
}

void MessagesListWindow::SaveToolbar() {
  TBSAVEPARAMSW p = {HKEY_CURRENT_USER, kToolbarKey, L"Toolbar"};
  SendMessageW(toolbar_, TB_SAVERESTOREW, TRUE, reinterpret_cast<LPARAM>(&p));
}

void MessagesListWindow::RestoreToolbar() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kToolbarKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  const bool present = RegQueryValueExW(key, L"Toolbar", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (!present) return;  // the first arrangement stays
  TBSAVEPARAMSW p = {HKEY_CURRENT_USER, kToolbarKey, L"Toolbar"};
  SendMessageW(toolbar_, TB_SAVERESTOREW, FALSE, reinterpret_cast<LPARAM>(&p));
  UpdateToolbar();
  Layout();
}

void MessagesListWindow::UpdateToolbar() {
  if (!toolbar_) return;
  const ListOptions o = host_.Options();
  auto enable = [&](int id, bool on) { SendMessageW(toolbar_, TB_ENABLEBUTTON, id, MAKELPARAM(on ? 1 : 0, 0)); };
  enable(IDC_TB_OPEN_LOG, !o.filtersLogFile.empty() && (o.filterLogFlags & 1));
  enable(IDC_TB_EDIT_FILTERS, o.useFilter && FilterEditorsAvailable());
  MailAccount* account = FolderAccount();
  enable(IDC_TB_CHECK_ONE, account != nullptr);
  enable(IDC_TB_PROPERTIES, account != nullptr);
  const bool anyNew = rows_.NewRows() > 0, anySpam = rows_.SpamRows() > 0,
             anyDangerous = rows_.DangerousRows() > 0;
  bool anySelected = false, loadable = false;
  for (int i : SelectedRows()) {
    anySelected = true;
    if (!rows_.At(static_cast<size_t>(i)).message->rawMessage.IsSet()) {
      loadable = true;
      break;
    }
  }
  const int focus = FocusedRow();
  const ListRowRef* f = focus >= 0 ? &rows_.At(static_cast<size_t>(focus)) : nullptr;
  const bool header = f && f->message->rawHeader.IsSet();
  enable(IDC_TB_MARK_ALL_READ, anyNew);
  enable(IDC_TB_LOAD, loadable);
  enable(IDC_TB_DELETE_SPAM, anySpam);
  enable(IDC_TB_DELETE, anySelected);
  enable(IDC_TB_DELETE_DANGEROUS, anyDangerous);
  enable(IDC_TB_ADD_FILTER, header && FilterEditorsAvailable());
  enable(IDC_TB_SAVE, header);
  // Quick reply needs an account that can send; the tooltip says why not.
  tipText_ = f ? QuickReplyUnavailableReason(*f->account) : std::wstring();
  enable(IDC_TB_REPLY, header && tipText_.empty());
  InvalidateRect(toolbar_, nullptr, FALSE);
}

LRESULT MessagesListWindow::DrawToolbarButton(NMTBCUSTOMDRAW* cd) {
  switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: break;
    default: return CDRF_DODEFAULT;
  }
  const int command = static_cast<int>(cd->nmcd.dwItemSpec);
  const ButtonDef* def = nullptr;
  for (const auto& b : kButtons)
    if (b.command && b.command == command) def = &b;
  if (!def) return CDRF_DODEFAULT;
  HDC dc = cd->nmcd.hdc;
  RECT r = cd->nmcd.rc;
  const UINT st = cd->nmcd.uItemState;
  const bool pressed = (st & CDIS_SELECTED) != 0, hot = (st & CDIS_HOT) != 0;
  const bool disabled = (st & (CDIS_DISABLED | CDIS_GRAYED)) != 0;
  if (toolbarTheme_) {
    const int state = pressed ? TS_PRESSED : hot ? TS_HOT : TS_NORMAL;
    DrawThemeBackground(toolbarTheme_, dc, TP_BUTTON, state, &r, nullptr);
  } else {
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (pressed) DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    else if (hot) DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
  }
  int picture = def->picture;
  if (command == IDC_TB_CHECK_ONE) {
    // A red stop sign while the selected account is checking.
    if (MailAccount* a = FolderAccount()) {
      const AccountStatus s = a->GetStatus();
      const uint32_t code = a->statusCode;
      if (s != AccountStatus::Error && s != AccountStatus::Suspended && code != 0 && code != 8)
        picture = kStopPicture;
    }
  }
  const PictureBitmap& pic = disabled ? greyPictures_[picture] : toolbarPictures_[picture];
  if (!pic.Empty()) {
    const int x = r.left + (r.right - r.left) / 2 - pic.Width() / 2 + (pressed ? 1 : 0);
    const int y = r.top + (r.bottom - r.top) / 2 - pic.Height() / 2 + (pressed ? 1 : 0);
    pic.Draw(dc, x, y);
  }
  return CDRF_SKIPDEFAULT;
}

LRESULT MessagesListWindow::ToolbarNotify(NMHDR* h) {
  switch (h->code) {
    case NM_CUSTOMDRAW:
      if (h->hwndFrom == toolbar_) return DrawToolbarButton(reinterpret_cast<NMTBCUSTOMDRAW*>(h));
      return CDRF_DODEFAULT;
    case TTN_GETDISPINFOW: {
      auto* t = reinterpret_cast<NMTTDISPINFOW*>(h);
      const int id = static_cast<int>(h->idFrom);
      if (id == IDC_TB_REPLY && !tipText_.empty()) {
        t->lpszText = tipText_.data();
        t->hinst = nullptr;
        return 0;
      }
      for (const auto& b : kButtons)
        if (b.command && b.command == id) {
          t->hinst = ResourceModule();
          t->lpszText = MAKEINTRESOURCEW(b.tip);
        }
      return 0;
    }
    case TBN_GETBUTTONINFOW: {
      // Asked by the customise dialog and by the restore from the registry.
      auto* tb = reinterpret_cast<NMTOOLBARW*>(h);
      if (tb->iItem < 0 || tb->iItem >= 18) return FALSE;
      const ButtonDef& d = kButtons[tb->iItem];
      tb->tbButton = MakeButton(d);
      if (tb->pszText && tb->cchText > 0) {
        const std::wstring name = d.command ? LoadStr(d.name) : L"";
        lstrcpynW(tb->pszText, name.c_str(), tb->cchText);
      }
      return TRUE;
    }
    case TBN_QUERYINSERT:
    case TBN_QUERYDELETE: return TRUE;
    case TBN_INITCUSTOMIZE: return TBNRF_HIDEHELP;
    case TBN_TOOLBARCHANGE:
      SaveToolbar();
      Layout();
      return 0;
    case TBN_RESET: {
      while (SendMessageW(toolbar_, TB_BUTTONCOUNT, 0, 0) > 0) SendMessageW(toolbar_, TB_DELETEBUTTON, 0, 0);
      TBBUTTON buttons[18];
      for (int i = 0; i < 18; ++i) buttons[i] = MakeButton(kButtons[i]);
      SendMessageW(toolbar_, TB_ADDBUTTONSW, 18, reinterpret_cast<LPARAM>(buttons));
      UpdateToolbar();
      return 0;
    }
    default: return 0;
  }
}

void MessagesListWindow::OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam);
  if (id == IDC_LIST_FOLDERS) {
    switch (HIWORD(wParam)) {
      case kFolderSelChanged:
        if (!filling_) FolderChanged();
        break;
      case kFolderRightClick: ListCommands(*this).FolderMenu(); break;
      case kFolderDoubleClick:
        if (FolderAccount()) ListCommands(*this).Properties();
        break;
      default: break;
    }
    return;
  }
  if (id >= IDC_TB_CHECK_ALL && id <= IDC_TB_REPLY) ListCommands(*this).Run(static_cast<UINT>(id));
}

}  // namespace pw::ui
