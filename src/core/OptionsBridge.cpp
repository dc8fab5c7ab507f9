// The options sheet seen from the plug-in: the copy it edits, the hotkeys
// released while it is open, and what a confirmed sheet changes.
#include "core/PluginObject.h"

#include "base/Module.h"
#include "core/Notifier.h"
#include "filter/RuleEngine.h"
#include "filter/RuleSnapshot.h"
#include "ui/AccountDialog.h"
#include "ui/FilterEditors.h"
#include "ui/OptionsData.h"

namespace pw {
namespace {

template <size_t N, size_t M>
void CopyText(wchar_t (&to)[N], const wchar_t (&from)[M]) {
  lstrcpynW(to, from, static_cast<int>(N < M ? N : M));
}

}  // namespace

// The host gives the hotkeys back to the plug-in's fields while the sheet
// is open; whichever way the sheet ends without OK (Cancel, closed by the
// host, its owner destroyed), the old ones are registered again.
class HotkeyRelease {
 public:
  HotkeyRelease(PluginObject& plugin, void (PluginObject::*reg)(WORD, WORD), WORD list, WORD reader)
      : plugin_(plugin), reg_(reg), list_(list), reader_(reader) {
    (plugin_.*reg_)(0, 0);
  }
  ~HotkeyRelease() {
    if (!confirmed_) (plugin_.*reg_)(list_, reader_);
  }
  HotkeyRelease(const HotkeyRelease&) = delete;
  HotkeyRelease& operator=(const HotkeyRelease&) = delete;
  void Confirm() { confirmed_ = true; }

 private:
  PluginObject& plugin_;
  void (PluginObject::*reg_)(WORD, WORD);
  WORD list_, reader_;
  bool confirmed_ = false;
};

bool PluginObject::RunOptionsSheet(HWND owner) {
  HotkeyRelease hotkeys(*this, &PluginObject::RegisterHotkeys, settings_.listHotkey, settings_.readerHotkey);
  const GlobalSettings& s = settings_;
  ui::OptionsData d;
  CopyText(d.reader, s.reader);
  d.openList = s.openList;
  d.markReadOnRun = s.markReadOnRun;
  d.closeOnClientRun = s.closeOnClientRun;
  CopyText(d.dateFormat, s.dateFormat);
  d.confirm = s.confirm;
  d.listHotkey = s.listHotkey;
  d.readerHotkey = s.readerHotkey;
  d.proxyOptions = s.proxy.options;
  CopyText(d.proxyServer, s.proxy.server);
  d.proxyPort = s.proxy.port;
  CopyText(d.proxyUser, s.proxy.user);
  CopyText(d.proxyPassword, s.proxy.password);
  d.useFilter = s.useFilter;
  d.filterLogFlags = s.filterLogFlags;
  CopyText(d.filtersLogFile, s.filtersLogFile);
  d.useIconNotify = s.useIconNotify;
  CopyText(d.smallAnim, s.smallAnim);
  CopyText(d.largeAnim, s.largeAnim);
  CopyText(d.notifyIcon, s.notifyIcon);
  d.showMsgNum = s.showMsgNum;
  d.useNoSound = s.useNoSound;
  d.noSoundTime1 = s.noSoundTime1;
  d.noSoundTime2 = s.noSoundTime2;
  {
    SharedGuard g(accountsLock_);
    d.accounts.reserve(accounts_.size());
    for (const auto& a : accounts_) d.accounts.push_back(a->settings);  // settings.id names the account
  }
  // The rule editor works on the sheet's own copy, made when it first
  // opens; the copy reaches the checker only when the sheet is confirmed.
  std::unique_ptr<RuleList> editedRules;
  d.editRules = [this, &editedRules](HWND editorOwner) {
    auto copy = editedRules ? std::make_unique<RuleList>(*editedRules) : rules_.Copy();
    ui::FilterEditorState state = EditorState();
    if (ui::EditFilterRules(editorOwner, ResourceModule(), *copy, state)) editedRules = std::move(copy);
    KeepEditorState(state);
  };
  if (!ui::ShowOptionsSheet(owner, ResourceModule(), d)) return false;
  if (editedRules) rules_.Publish(std::move(editedRules));

  hotkeys.Confirm();
  RegisterHotkeys(d.listHotkey, d.readerHotkey);
  GlobalSettings& t = settings_;
  CopyText(t.reader, d.reader);
  t.openList = d.openList;
  t.markReadOnRun = d.markReadOnRun;
  t.closeOnClientRun = d.closeOnClientRun;
  CopyText(t.dateFormat, d.dateFormat);
  t.confirm = d.confirm;
  t.listHotkey = d.listHotkey;
  t.readerHotkey = d.readerHotkey;
  t.proxy.options = d.proxyOptions;
  CopyText(t.proxy.server, d.proxyServer);
  t.proxy.port = d.proxyPort;
  CopyText(t.proxy.user, d.proxyUser);
  CopyText(t.proxy.password, d.proxyPassword);
  t.useFilter = d.useFilter;
  t.filterLogFlags = d.filterLogFlags;
  CopyText(t.filtersLogFile, d.filtersLogFile);
  t.useIconNotify = d.useIconNotify;
  CopyText(t.smallAnim, d.smallAnim);
  CopyText(t.largeAnim, d.largeAnim);
  CopyText(t.notifyIcon, d.notifyIcon);
  t.showMsgNum = d.showMsgNum;
  t.useNoSound = d.useNoSound;
  t.noSoundTime1 = d.noSoundTime1;
  t.noSoundTime2 = d.noSoundTime2;
  RebuildAccounts(d.accounts);
  Notifier::LoadAnimationStrips(*this);
  return true;
}

void PluginObject::RebuildAccounts(const std::vector<AccountSettings>& records) {
  // No check may hold an account while it changes or goes: the checker
  // stops for the rebuild and starts again after it.
  const bool wasRunning = checker_.Running();
  StopChecker();
  // A re-application still running holds accounts: it ends before any goes.
  if (reapplier_.joinable()) reapplier_.join();
  std::vector<RefPtr<MailAccount>> old;
  {
    SharedGuard g(accountsLock_);
    old = accounts_;
  }
  std::vector<RefPtr<MailAccount>> next;
  std::vector<const AccountSettings*> kept;  // settings for next[i] when reused
  next.reserve(records.size());
  for (const AccountSettings& r : records) {
    RefPtr<MailAccount> found;
    if (r.id != 0) {
      for (auto& a : old)
        if (a && a->settings.id == r.id) {
          found = a;
          a = RefPtr<MailAccount>();  // taken out of the old array
          break;
        }
    }
    if (!found) {
      found = RefPtr<MailAccount>::Adopt(new MailAccount(&accountOwner_));
      found->settings = r;
      found->settings.id = static_cast<uint32_t>(nextAccountId_++);
      kept.push_back(nullptr);
    } else {
      kept.push_back(&r);
    }
    next.push_back(found);
  }
  {
    ExclusiveGuard g(accountsLock_);
    for (size_t i = 0; i < next.size(); ++i)
      if (kept[i]) {
        const uint32_t id = next[i]->settings.id;
        next[i]->settings = *kept[i];
        next[i]->settings.id = id;
      }
    accounts_.swap(next);
  }
  // `next` holds the previous array and `old` the accounts no record kept:
  // both let go here, outside the lock.
  next.clear();
  old.clear();
  PostToList(WM_USER, 9, 0);
  // Off the window thread: the sheet's owner stays responsive meanwhile.
  if (settings_.useFilter) ReapplyInBackground();
  if (wasRunning) StartChecker();
}

// "account-dialog N": the account sheet on account N (from 0), or on a new
// account with "new"; prints 1 when the user confirmed.
bool PluginObject::ControlAccountDialog(const std::vector<std::wstring>& words, std::wstring& out,
                                        std::wstring& error) {
  if (words.size() < 2) {
    error = L"usage: account-dialog N|new";
    return false;
  }
  ui::AccountDialog dialog;
  RefPtr<MailAccount> account;
  if (words[1] != L"new") {
    size_t n = static_cast<size_t>(_wtoi(words[1].c_str()));
    SharedGuard g(accountsLock_);
    if (n >= accounts_.size()) {
      error = L"no account " + words[1];
      return false;
    }
    account = accounts_[n];
    dialog.settings = account->settings;
  }
  HWND owner = host_ ? host_->GetOwnerWindow() : nullptr;
  const bool confirmed = dialog.Show(owner, ResourceModule()) == 1;
  out = confirmed ? L"1" : L"0";
  if (!confirmed) return true;
  const bool running = CheckerRunning();
  StopChecker();
  {
    ExclusiveGuard g(accountsLock_);
    if (!account) {
      account = RefPtr<MailAccount>::Adopt(new MailAccount(&accountOwner_));
      dialog.settings.id = static_cast<uint32_t>(nextAccountId_++);
      accounts_.push_back(account);
    } else {
      dialog.settings.id = account->settings.id;
    }
    account->settings = dialog.settings;
    account->dirty = 1;
  }
  PostToList(WM_USER, 9, 0);
  if (running) StartChecker();
  return true;
}

}  // namespace pw
