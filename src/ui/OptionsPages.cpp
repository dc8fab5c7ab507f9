// The sheet's "Options", "Accounts" and "Connection" pages.
#include <string>

#include "base/Module.h"
#include "ui/AccountDialog.h"
#include "ui/DialogText.h"
#include "ui/HotkeyField.h"
#include "ui/OptionsSheet.h"
#include "ui/Pickers.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

class GeneralPage final : public OptionsPageBase {
 public:
  explicit GeneralPage(OptionsData& d) : OptionsPageBase(IDD_PAGE_OPTIONS, d) {}

  void OnInitDialog() override {
    HWND w = Window();
    SetFieldText(w, IDC_OPT_READER, D().reader);
    Check(IDC_OPT_OPENLIST, D().openList != 0);
    Check(IDC_OPT_MARKREAD, D().markReadOnRun != 0);
    Check(IDC_OPT_CLOSELIST, D().closeOnClientRun != 0);
    SetFieldText(w, IDC_OPT_DATEFORMAT, D().dateFormat);
    Check(IDC_OPT_CONFIRM_DELETE, D().confirm & 1);
    Check(IDC_OPT_CONFIRM_LOAD, D().confirm & 2);
    Check(IDC_OPT_CONFIRM_DBLCLICK, D().confirm & 4);
    SendDlgItemMessageW(w, IDC_OPT_LIST_HOTKEY, HKM_SETVALUE, D().listHotkey, 0);
    SendDlgItemMessageW(w, IDC_OPT_READER_HOTKEY, HKM_SETVALUE, D().readerHotkey, 0);
  }

  void OnCommand(WPARAM wParam) override {
    if (LOWORD(wParam) != IDC_OPT_BROWSE || HIWORD(wParam) != BN_CLICKED) return;
    std::wstring path;
    if (PickFile(Window(), L"Select mail reader program", L"Program files\0*.exe\0", path))
      SetDlgItemTextW(Window(), IDC_OPT_READER, QuoteSpaces(path).c_str());
  }

  bool OnOK() override {
    HWND w = Window();
    GetFieldText(w, IDC_OPT_READER, D().reader);
    D().openList = Checked(IDC_OPT_OPENLIST);
    D().markReadOnRun = Checked(IDC_OPT_MARKREAD);
    D().closeOnClientRun = Checked(IDC_OPT_CLOSELIST);
    GetFieldText(w, IDC_OPT_DATEFORMAT, D().dateFormat);
    int32_t confirm = D().confirm & ~7;
    if (Checked(IDC_OPT_CONFIRM_DELETE)) confirm |= 1;
    if (Checked(IDC_OPT_CONFIRM_LOAD)) confirm |= 2;
    if (Checked(IDC_OPT_CONFIRM_DBLCLICK)) confirm |= 4;
    D().confirm = confirm;
    D().listHotkey = static_cast<uint16_t>(SendDlgItemMessageW(w, IDC_OPT_LIST_HOTKEY, HKM_GETVALUE, 0, 0));
    D().readerHotkey = static_cast<uint16_t>(SendDlgItemMessageW(w, IDC_OPT_READER_HOTKEY, HKM_GETVALUE, 0, 0));
    return true;
  }
};

class AccountsPage final : public OptionsPageBase {
 public:
  AccountsPage(OptionsData& d, HMODULE resources) : OptionsPageBase(IDD_PAGE_ACCOUNTS, d), resources_(resources) {}

  void OnInitDialog() override { Refill(D().accounts.empty() ? -1 : 0); }

  void OnCommand(WPARAM wParam) override {
    const int id = LOWORD(wParam), code = HIWORD(wParam);
    if (id == IDC_ACC_LIST) {
      if (code == LBN_DBLCLK) Edit();
      if (code == LBN_SELCHANGE) UpdateButtons();
      return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
      case IDC_ACC_CREATE: Create(); break;
      case IDC_ACC_EDIT: Edit(); break;
      case IDC_ACC_DELETE: Delete(); break;
      case IDC_ACC_UP: Move(-1); break;
      case IDC_ACC_DOWN: Move(1); break;
    }
  }

  // The list is the copy itself: nothing to read back.
  bool OnOK() override { return true; }

 private:
  int Selection() {
    LRESULT s = SendDlgItemMessageW(Window(), IDC_ACC_LIST, LB_GETCURSEL, 0, 0);
    return s >= 0 && s < static_cast<LRESULT>(D().accounts.size()) ? static_cast<int>(s) : -1;
  }

  void Refill(int select) {
    HWND list = Item(IDC_ACC_LIST);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    SendMessageW(list, LB_INITSTORAGE, D().accounts.size(), D().accounts.size() * 32 * sizeof(wchar_t));
    for (const AccountSettings& a : D().accounts)
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(a.accountName));
    SendMessageW(list, LB_SETCURSEL, select, 0);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    UpdateButtons();
  }

  void UpdateButtons() {
    const int s = Selection(), n = static_cast<int>(D().accounts.size());
    Enable(IDC_ACC_EDIT, s >= 0);
    Enable(IDC_ACC_DELETE, s >= 0);
    Enable(IDC_ACC_UP, s > 0);
    Enable(IDC_ACC_DOWN, s >= 0 && s + 1 < n);
  }

  void Create() {
    AccountDialog dialog;
    if (dialog.Show(Window(), resources_) != 1) return;
    dialog.settings.id = 0;  // made in the sheet
    D().accounts.push_back(dialog.settings);
    Refill(static_cast<int>(D().accounts.size()) - 1);
  }

  void Edit() {
    const int s = Selection();
    if (s < 0) return;
    AccountDialog dialog;
    dialog.settings = D().accounts[s];
    if (dialog.Show(Window(), resources_) != 1) return;
    dialog.settings.id = D().accounts[s].id;
    D().accounts[s] = dialog.settings;
    Refill(s);
  }

  void Delete() {
    const int s = Selection();
    if (s < 0) return;
    // The name goes in where the text has its placeholder; the text is
    // never used as a format, since a language module supplies it.
    std::wstring text = LoadStr(IDS_CONFIRM_REMOVE_ACCOUNT);
    size_t at = text.find(L"%s");
    if (at != std::wstring::npos) text.replace(at, 2, D().accounts[s].accountName);
    if (!AskYesNo(Window(), text)) return;
    D().accounts.erase(D().accounts.begin() + s);
    const int n = static_cast<int>(D().accounts.size());
    Refill(n == 0 ? -1 : (s < n ? s : n - 1));
  }

  void Move(int delta) {
    const int s = Selection(), t = s + delta;
    if (s < 0 || t < 0 || t >= static_cast<int>(D().accounts.size())) return;
    std::swap(D().accounts[s], D().accounts[t]);
    Refill(t);
  }

  HMODULE resources_;
};

// Proxy types as the settings store them.
constexpr int32_t kSocks4 = 1, kSocks4a = 2, kSocks5 = 3, kHttp = 4;

class ConnectionPage final : public OptionsPageBase {
 public:
  explicit ConnectionPage(OptionsData& d) : OptionsPageBase(IDD_PAGE_CONNECTION, d) {}

  void OnInitDialog() override {
    HWND w = Window();
    const int32_t type = D().proxyOptions & 0xFF;
    CheckRadioButton(w, IDC_CON_DIRECT, IDC_CON_MANUAL, type ? IDC_CON_MANUAL : IDC_CON_DIRECT);
    int radio = type == kHttp ? IDC_CON_HTTP : type == kSocks5 ? IDC_CON_SOCKS5 : IDC_CON_SOCKS4;
    Check(IDC_CON_SOCKS4, radio == IDC_CON_SOCKS4);
    Check(IDC_CON_SOCKS5, radio == IDC_CON_SOCKS5);
    Check(IDC_CON_HTTP, radio == IDC_CON_HTTP);
    SetFieldText(w, IDC_CON_SERVER, D().proxyServer);
    SendDlgItemMessageW(w, IDC_CON_PORT, EM_LIMITTEXT, 5, 0);
    SetItemUnsigned(w, IDC_CON_PORT, static_cast<uint32_t>(D().proxyPort));
    SetFieldText(w, IDC_CON_USER, D().proxyUser);
    SetFieldText(w, IDC_CON_PASSWORD, D().proxyPassword);
    UpdateEnabling();
  }

  void OnCommand(WPARAM wParam) override {
    switch (LOWORD(wParam)) {
      case IDC_CON_DIRECT: case IDC_CON_MANUAL: case IDC_CON_SOCKS4: case IDC_CON_SOCKS5: case IDC_CON_HTTP:
        if (HIWORD(wParam) == BN_CLICKED) UpdateEnabling();
        break;
    }
  }

  bool OnOK() override {
    HWND w = Window();
    bool tooLarge = false;
    uint32_t port = ItemUnsigned(w, IDC_CON_PORT, 0xFFFFFFFFull, &tooLarge);
    if (tooLarge || port > 65535) {
      Warn(w, LoadStr(IDS_BAD_PORT_PROXY));
      SetFocus(Item(IDC_CON_PORT));
      return false;
    }
    int32_t type = 0;
    if (Checked(IDC_CON_MANUAL)) {
      if (Checked(IDC_CON_HTTP)) type = kHttp;
      else if (Checked(IDC_CON_SOCKS5)) type = kSocks5;
      // SOCKS 4A shares the SOCKS 4 radio: keep it rather than downgrade it.
      else type = (D().proxyOptions & 0xFF) == kSocks4a ? kSocks4a : kSocks4;
    }
    D().proxyOptions = type;
    D().proxyPort = static_cast<int32_t>(port);
    GetFieldText(w, IDC_CON_SERVER, D().proxyServer);
    GetFieldText(w, IDC_CON_USER, D().proxyUser);
    GetFieldText(w, IDC_CON_PASSWORD, D().proxyPassword);
    return true;
  }

 private:
  void UpdateEnabling() {
    const bool manual = Checked(IDC_CON_MANUAL);
    for (int id : {IDC_CON_SERVER, IDC_CON_PORT, IDC_CON_SOCKS4, IDC_CON_SOCKS5, IDC_CON_HTTP}) Enable(id, manual);
    // SOCKS 4 has no log-in; the texts stay and are stored all the same.
    const bool login = manual && (Checked(IDC_CON_SOCKS5) || Checked(IDC_CON_HTTP));
    Enable(IDC_CON_USER, login);
    Enable(IDC_CON_PASSWORD, login);
  }
};

}  // namespace

std::unique_ptr<OptionsPageBase> MakeGeneralPage(OptionsData& d) { return std::make_unique<GeneralPage>(d); }
std::unique_ptr<OptionsPageBase> MakeAccountsPage(OptionsData& d, HMODULE resources) {
  return std::make_unique<AccountsPage>(d, resources);
}
std::unique_ptr<OptionsPageBase> MakeConnectionPage(OptionsData& d) { return std::make_unique<ConnectionPage>(d); }

}  // namespace pw::ui
