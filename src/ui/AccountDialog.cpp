#include "ui/AccountDialog.h"

#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <prsht.h>

#include "base/Module.h"
#include "ui/ActivationScope.h"
#include "ui/DialogText.h"
#include "ui/Pickers.h"
#include "ui_ids.h"

namespace pw::ui {

AccountSettings NewAccountDefaults() {
  AccountSettings s;
  s.interval = 1800000;
  s.timeout = 5000;
  s.connection = 0;
  s.inPort = 110;
  s.outPort = 25;
  return s;
}

// What the three pages share: the copy they edit and the sheet's result.
class AccountPageBase : public DialogWindow {
 public:
  AccountPageBase(UINT id, AccountDialog& owner) : DialogWindow(id), owner_(owner) {}

 protected:
  AccountSettings& S() { return owner_.settings; }
  LRESULT OnNotify(int, NMHDR* header) override {
    if (header->code == PSN_RESET) owner_.applied_ = false;
    return 0;
  }
  void MarkApplied() { owner_.applied_ = true; }

  // The security radios of a server page.
  void ShowSecurity(uint32_t options) {
    int id = (options & ServerOptions::Tls) ? IDC_SRV_SSL
             : (options & ServerOptions::StartTls) ? IDC_SRV_TLS : IDC_SRV_NONE;
    CheckRadioButton(Window(), IDC_SRV_NONE, IDC_SRV_SSL, id);
  }
  uint32_t ReadSecurity() const {
    if (Checked(IDC_SRV_SSL)) return ServerOptions::Tls;
    if (Checked(IDC_SRV_TLS)) return ServerOptions::StartTls;
    return 0;
  }
  // A click on a security radio puts the port that goes with it.
  void SecurityClicked(WPARAM wParam, uint32_t sslPort, uint32_t plainPort) {
    int id = LOWORD(wParam);
    if (HIWORD(wParam) != BN_CLICKED || id < IDC_SRV_NONE || id > IDC_SRV_SSL) return;
    SetItemUnsigned(Window(), IDC_SRV_PORT, Checked(IDC_SRV_SSL) ? sslPort : plainPort);
  }
  // The port field, refused with a message naming it when above 65535.
  bool ReadPort(uint32_t& port, UINT refusal) {
    bool tooLarge = false;
    uint32_t v = ItemUnsigned(Window(), IDC_SRV_PORT, 0xFFFFFFFFull, &tooLarge);
    if (tooLarge || v > 65535) {
      Warn(Window(), LoadStr(refusal));
      SetFocus(Item(IDC_SRV_PORT));
      SendDlgItemMessageW(Window(), IDC_SRV_PORT, EM_SETSEL, 0, -1);
      return false;
    }
    port = v;
    return true;
  }

 private:
  AccountDialog& owner_;
};

namespace {

class OptionsPage final : public AccountPageBase {
 public:
  explicit OptionsPage(AccountDialog& o) : AccountPageBase(IDD_ACCOUNT_OPTIONS, o) {}

  void OnInitDialog() override {
    HWND w = Window();
    SetFieldText(w, IDC_AO_NAME, S().accountName);
    Check(IDC_AO_PROTECT, S().protectPassword != 0);
    SendDlgItemMessageW(w, IDC_AO_INTERVAL, EM_LIMITTEXT, 5, 0);
    SendDlgItemMessageW(w, IDC_AO_TIMEOUT, EM_LIMITTEXT, 7, 0);
    SendDlgItemMessageW(w, IDC_AO_DELAY, EM_LIMITTEXT, 7, 0);
    SetItemUnsigned(w, IDC_AO_INTERVAL, S().interval / 60000);
    SetItemUnsigned(w, IDC_AO_TIMEOUT, S().timeout / 1000);
    SetItemUnsigned(w, IDC_AO_DELAY, S().beginDelay / 1000);
    Check(IDC_AO_SUSPEND, S().suspend != 0);
    const UINT items[3] = {132, 131, 130};  // lan, modem, the system's settings
    for (UINT id : items) SendDlgItemMessageW(w, IDC_AO_CONNECTION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadStr(id).c_str()));
    uint32_t mode = S().connection & 15;
    SendDlgItemMessageW(w, IDC_AO_CONNECTION, CB_SETCURSEL, mode <= 2 ? mode : 0, 0);
    SetFieldText(w, IDC_AO_SOUND, S().sound);
    SetFieldText(w, IDC_AO_COMMAND, S().cmdLine);
    SetFieldText(w, IDC_AO_WORKDIR, S().workDir);
    Check(IDC_AO_HIDDEN, S().runHidden != 0);
  }

  void OnCommand(WPARAM wParam) override {
    if (HIWORD(wParam) != BN_CLICKED) return;
    std::wstring path;
    switch (LOWORD(wParam)) {
      case IDC_AO_SOUND_BROWSE:
        if (PickFile(Window(), L"Select sound file", L"Sound files\0*.wav\0", path))
          SetDlgItemTextW(Window(), IDC_AO_SOUND, path.c_str());
        break;
      case IDC_AO_COMMAND_BROWSE:
        if (PickFile(Window(), L"Select file to execute", L"All files\0*.*\0", path))
          SetDlgItemTextW(Window(), IDC_AO_COMMAND, QuoteSpaces(path).c_str());
        break;
      case IDC_AO_WORKDIR_BROWSE:
        if (PickFolder(Window(), L"Select the working directory", path))
          SetDlgItemTextW(Window(), IDC_AO_WORKDIR, path.c_str());
        break;
      case IDC_AO_PLAY: {
        wchar_t file[260] = {};
        GetDlgItemTextW(Window(), IDC_AO_SOUND, file, 260);
        PlaySoundW(file, nullptr, SND_FILENAME | SND_ASYNC | SND_NOSTOP | SND_NODEFAULT);
        break;
      }
    }
  }

  bool OnOK() override {
    HWND w = Window();
    GetFieldText(w, IDC_AO_NAME, S().accountName);
    ReadCheck(IDC_AO_PROTECT, S().protectPassword);
    // Entries too large for the stored milliseconds are capped, not wrapped.
    if (Item(IDC_AO_INTERVAL)) S().interval = ItemUnsigned(w, IDC_AO_INTERVAL, kMaxIntervalMinutes) * 60000u;
    if (Item(IDC_AO_TIMEOUT)) S().timeout = ItemUnsigned(w, IDC_AO_TIMEOUT, kMaxSeconds) * 1000u;
    if (Item(IDC_AO_DELAY)) S().beginDelay = ItemUnsigned(w, IDC_AO_DELAY, kMaxSeconds) * 1000u;
    ReadCheck(IDC_AO_SUSPEND, S().suspend);
    if (Item(IDC_AO_CONNECTION)) {
      LRESULT sel = SendDlgItemMessageW(w, IDC_AO_CONNECTION, CB_GETCURSEL, 0, 0);
      S().connection = sel >= 0 && sel <= 2 ? static_cast<uint32_t>(sel) : 0;
    }
    GetFieldText(w, IDC_AO_SOUND, S().sound);
    GetFieldText(w, IDC_AO_COMMAND, S().cmdLine);
    GetFieldText(w, IDC_AO_WORKDIR, S().workDir);
    ReadCheck(IDC_AO_HIDDEN, S().runHidden);
    // Shown back as stored when the sheet opens again.
    SetItemUnsigned(w, IDC_AO_INTERVAL, S().interval / 60000);
    MarkApplied();
    return true;
  }
};

class IncomingPage final : public AccountPageBase {
 public:
  explicit IncomingPage(AccountDialog& o) : AccountPageBase(IDD_ACCOUNT_INCOMING, o) {}

  void OnInitDialog() override {
    HWND w = Window();
    SetFieldText(w, IDC_SRV_SERVER_IN, S().inServer);
    SendDlgItemMessageW(w, IDC_SRV_PORT, EM_LIMITTEXT, 5, 0);
    SetItemUnsigned(w, IDC_SRV_PORT, S().inPort <= 65535 ? S().inPort : 110);
    SetFieldText(w, IDC_SRV_USER, S().inUser);
    SetFieldText(w, IDC_SRV_PASSWORD, S().inPassword);
    SendDlgItemMessageW(w, IDC_SRV_AUTH, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadStr(166).c_str()));
    SendDlgItemMessageW(w, IDC_SRV_AUTH, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadStr(167).c_str()));
    SendDlgItemMessageW(w, IDC_SRV_AUTH, CB_SETCURSEL, (S().inOptions & ServerOptions::Apop) ? 1 : 0, 0);
    ShowSecurity(S().inOptions);
  }
  void OnCommand(WPARAM wParam) override { SecurityClicked(wParam, 995, 110); }
  bool OnOK() override {
    HWND w = Window();
    uint32_t port = 0;
    if (!ReadPort(port, IDS_BAD_PORT_IN)) return false;
    S().inPort = port;
    GetFieldText(w, IDC_SRV_SERVER_IN, S().inServer);
    GetFieldText(w, IDC_SRV_USER, S().inUser);
    GetFieldText(w, IDC_SRV_PASSWORD, S().inPassword);
    uint32_t options = ReadSecurity();
    if (SendDlgItemMessageW(w, IDC_SRV_AUTH, CB_GETCURSEL, 0, 0) > 0) options |= ServerOptions::Apop;
    S().inOptions = options;
    return true;
  }
};

class OutgoingPage final : public AccountPageBase {
 public:
  explicit OutgoingPage(AccountDialog& o) : AccountPageBase(IDD_ACCOUNT_OUTGOING, o) {}

  void OnInitDialog() override {
    HWND w = Window();
    SetFieldText(w, IDC_SRV_SERVER_OUT, S().outServer);
    SendDlgItemMessageW(w, IDC_SRV_PORT, EM_LIMITTEXT, 5, 0);
    SetItemUnsigned(w, IDC_SRV_PORT, S().outPort <= 65535 ? S().outPort : 25);
    SetFieldText(w, IDC_SRV_USER, S().outUser);
    SetFieldText(w, IDC_SRV_PASSWORD, S().outPassword);
    SetFieldText(w, IDC_SRV_NAME, S().outName);
    SetFieldText(w, IDC_SRV_FROM, S().outFrom);
    ShowSecurity(S().outOptions);
  }
  void OnCommand(WPARAM wParam) override { SecurityClicked(wParam, 465, 25); }
  bool OnOK() override {
    HWND w = Window();
    uint32_t port = 0;
    if (!ReadPort(port, IDS_BAD_PORT_OUT)) return false;
    S().outPort = port;
    GetFieldText(w, IDC_SRV_SERVER_OUT, S().outServer);
    GetFieldText(w, IDC_SRV_USER, S().outUser);
    GetFieldText(w, IDC_SRV_PASSWORD, S().outPassword);
    GetFieldText(w, IDC_SRV_NAME, S().outName);
    GetFieldText(w, IDC_SRV_FROM, S().outFrom);
    S().outOptions = ReadSecurity();
    return true;
  }
};

}  // namespace

AccountDialog::AccountDialog() : settings(NewAccountDefaults()) {
  pages_[0] = std::make_unique<OptionsPage>(*this);
  pages_[1] = std::make_unique<IncomingPage>(*this);
  pages_[2] = std::make_unique<OutgoingPage>(*this);
}

AccountDialog::~AccountDialog() = default;

INT_PTR AccountDialog::Show(HWND owner, HMODULE resources) {
  const std::wstring titles[3] = {LoadStr(IDS_ACCPAGE_OPTIONS), LoadStr(IDS_ACCPAGE_INCOMING),
                                  LoadStr(IDS_ACCPAGE_OUTGOING)};
  const std::wstring caption = LoadStr(IDS_ACCOUNT_SHEET);
  PROPSHEETPAGEW pages[3];
  for (int i = 0; i < 3; ++i)
    if (!pages_[i]->FillPage(pages[i], resources, titles[i].c_str())) return 0;
  PROPSHEETHEADERW h = {};
  h.dwSize = sizeof(h);
  h.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP;
  h.hwndParent = owner;
  h.hInstance = DllModule();
  h.pszCaption = caption.c_str();
  h.nPages = 3;
  h.nStartPage = 0;
  h.ppsp = pages;
  applied_ = false;
  ActivationScope scope;
  INT_PTR r = PropertySheetW(&h);
  if (r < 0) return r;
  // Page 0 is always shown, so it hears OK; Cancel clears the flag.
  return applied_ ? 1 : 2;
}

}  // namespace pw::ui
