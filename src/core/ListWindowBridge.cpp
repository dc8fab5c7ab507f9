// The messages list window seen from the plug-in: what it reads (accounts,
// options, layout), and the commands it hands on, those that touch a
// session carried out on the checker thread.
#include <memory>

#include "base/Module.h"
#include "core/ListWindowThread.h"
#include "core/PluginObject.h"
#include "filter/RuleEngine.h"
#include "filter/RuleModel.h"
#include "filter/RuleSnapshot.h"
#include "ui/MessagesListWindow.h"

namespace pw {

void PluginObject::QueueAccountWork(MailAccount& account, AccountWork work) {
  {
    // Checked and queued under the lock that StopChecker takes once the
    // thread has ended: work is queued only for a checker that will run it
    // or that leaves it to StopChecker.
    ScopedLock g(workLock_);
    if (checker_.Running()) {
      work_.emplace_back(RefPtr<MailAccount>(&account), work);
      checker_.Wake();
      return;
    }
  }
  // No session runs without the checker; re-applying still has to happen.
  if (work == AccountWork::ReapplyFilters && settings_.useFilter) {
    reapplyFilters(*rules_.Current(), account);
    PostToList(WM_USER, 6, 0);
  }
}

void PluginObject::RunAccountWork(bool checkerGone) {
  std::vector<std::pair<RefPtr<MailAccount>, AccountWork>> work;
  {
    ScopedLock g(workLock_);
    work.swap(work_);
  }
  bool reapplied = false;
  for (auto& [account, what] : work) {
    switch (what) {
      case AccountWork::StopSession: account->CloseSession(); break;
      case AccountWork::StartCheck:
        if (!settings_.pause && !checkerGone) account->StartCheck();
        break;
      case AccountWork::ReapplyFilters:
        if (settings_.useFilter) {
          reapplyFilters(*rules_.Current(), *account);
          reapplied = true;
        }
        break;
    }
  }
  if (reapplied) PostToList(WM_USER, 6, 0);
}

namespace {

template <size_t N>
void CopyText(wchar_t (&to)[N], const std::wstring& from) {
  lstrcpynW(to, from.c_str(), static_cast<int>(N));
}

}  // namespace

class ListWindowBridge final : public ui::ListWindowHost {
 public:
  explicit ListWindowBridge(PluginObject& p) : p_(p), window_(*this) {}
  ui::MessagesListWindow& Window() { return window_; }

  SharedLock& AccountsLock() override { return p_.accountsLock_; }
  const std::vector<RefPtr<MailAccount>>& Accounts() override { return p_.accounts_; }

  ui::ListOptions Options() override {
    const GlobalSettings& s = p_.settings_;
    ui::ListOptions o;
    o.paused = s.pause != 0;
    o.useFilter = s.useFilter != 0;
    o.closeOnClientRun = s.closeOnClientRun != 0;
    o.confirm = s.confirm;
    o.filterLogFlags = s.filterLogFlags;
    o.filtersLogFile = s.filtersLogFile;
    o.dateFormat = s.dateFormat;
    return o;
  }

  void ReadLayout(ui::ListLayout& l) override {
    const GlobalSettings& s = p_.settings_;
    for (int i = 0; i < 6; ++i) l.columns[i] = {s.columns[i].order, s.columns[i].width};
    l.rect = s.listRect;
    l.vert = s.vert;
    l.horz = s.horz;
    l.sortColumn = s.sortColumn;
    l.sortType = s.sortType;
    l.selectedFolder = s.selectedAccount;
    l.tabIdx = s.tabIdx;
    for (int i = 0; i < 2; ++i) l.viewerColumns[i] = {s.viewerColumns[i].order, s.viewerColumns[i].width};
    const ViewerStyle& v = s.viewer;
    ui::ViewSettingsBlock& b = l.viewer;
    b.fieldNameColor = v.fieldNameColor;
    b.fieldNameBOLD = v.fieldNameBold;
    b.fieldNameITALIC = v.fieldNameItalic;
    b.fieldValueColor = v.fieldValueColor;
    b.fieldValueBOLD = v.fieldValueBold;
    b.fieldValueITALIC = v.fieldValueItalic;
    b.sourceBodyColor = v.sourceBodyColor;
    b.sourceBodyBOLD = v.sourceBodyBold;
    b.sourceBodyITALIC = v.sourceBodyItalic;
    b.messageBodyColor = v.messageBodyColor;
    b.messageBodyBOLD = v.messageBodyBold;
    b.messageBodyITALIC = v.messageBodyItalic;
    lstrcpynW(b.fontName, v.fontName, 32);
    b.fontSize = v.fontSize;
    l.fields = s.fields;
  }

  void WriteLayout(const ui::ListLayout& l) override {
    GlobalSettings& s = p_.settings_;
    for (int i = 0; i < 6; ++i) s.columns[i] = {l.columns[i].order, l.columns[i].width};
    s.listRect = l.rect;
    s.vert = l.vert;
    s.horz = l.horz;
    s.sortColumn = l.sortColumn;
    s.sortType = l.sortType;
    s.selectedAccount = l.selectedFolder;
    s.tabIdx = l.tabIdx;
    for (int i = 0; i < 2; ++i) s.viewerColumns[i] = {l.viewerColumns[i].order, l.viewerColumns[i].width};
    ViewerStyle& v = s.viewer;
    const ui::ViewSettingsBlock& b = l.viewer;
    v.fieldNameColor = b.fieldNameColor;
    v.fieldNameBold = b.fieldNameBOLD;
    v.fieldNameItalic = b.fieldNameITALIC;
    v.fieldValueColor = b.fieldValueColor;
    v.fieldValueBold = b.fieldValueBOLD;
    v.fieldValueItalic = b.fieldValueITALIC;
    v.sourceBodyColor = b.sourceBodyColor;
    v.sourceBodyBold = b.sourceBodyBOLD;
    v.sourceBodyItalic = b.sourceBodyITALIC;
    v.messageBodyColor = b.messageBodyColor;
    v.messageBodyBold = b.messageBodyBOLD;
    v.messageBodyItalic = b.messageBodyITALIC;
    lstrcpynW(v.fontName, b.fontName, 32);
    v.fontSize = b.fontSize;
    s.fields = l.fields;
  }

  void SettingsChanged() override { p_.NotifySettingsChanged(); }
  void CheckAll() override { p_.checker_.RequestCheckNow(); }
  void StopSession(MailAccount& a) override { p_.QueueAccountWork(a, PluginObject::AccountWork::StopSession); }
  void StartCheck(MailAccount& a) override { p_.QueueAccountWork(a, PluginObject::AccountWork::StartCheck); }
  void WakeChecker() override { p_.WakeChecker(); }
  void RunMailReader() override { p_.RunMailReader(true); }

  RefPtr<MailAccount> AddAccount(const AccountSettings& settings) override {
    RefPtr<MailAccount> account = RefPtr<MailAccount>::Adopt(new MailAccount(&p_.accountOwner_));
    account->settings = settings;
    account->dirty = 1;
    {
      ExclusiveGuard g(p_.accountsLock_);
      account->settings.id = static_cast<uint32_t>(p_.nextAccountId_++);
      p_.accounts_.push_back(account);
    }
    return account;
  }

  void RemoveAccount(MailAccount& account) override {
    // No check may hold the account while it leaves the array.
    const bool running = p_.CheckerRunning();
    p_.StopChecker();
    RefPtr<MailAccount> gone;
    {
      ExclusiveGuard g(p_.accountsLock_);
      auto& v = p_.accounts_;
      for (auto it = v.begin(); it != v.end(); ++it)
        if (it->Get() == &account) {
          gone = *it;
          v.erase(it);
          break;
        }
    }
    gone = RefPtr<MailAccount>();  // outside the lock
    if (running) p_.StartChecker();
  }

  void UpdateAccount(MailAccount& account, const AccountSettings& settings) override {
    const bool running = p_.CheckerRunning();
    p_.StopChecker();
    {
      ExclusiveGuard g(p_.accountsLock_);
      const uint32_t id = account.settings.id;
      account.settings = settings;
      account.settings.id = id;
      account.dirty = 1;
    }
    if (running) p_.StartChecker();
  }

  std::unique_ptr<RuleList> CopyRules() override { return p_.rules_.Copy(); }

  void PublishRules(std::unique_ptr<RuleList> rules) override {
    p_.rules_.Publish(std::move(rules));
    SharedGuard g(p_.accountsLock_);
    for (const auto& a : p_.accounts_) p_.QueueAccountWork(*a, PluginObject::AccountWork::ReapplyFilters);
  }

  int32_t DefaultFilter() override { return p_.settings_.defaultFilter; }
  void SetDefaultFilter(int32_t index) override { p_.settings_.defaultFilter = index; }
  int32_t DefaultField() override { return p_.settings_.defaultField; }
  void SetDefaultField(int32_t index) override { p_.settings_.defaultField = index; }

 private:
  PluginObject& p_;
  ui::MessagesListWindow window_;
};

void PluginObject::BridgeDeleter::operator()(ListWindowBridge* b) const { delete b; }

HWND CreateMessagesListWindow(PluginObject& plugin) {
  plugin.listBridge_.reset(new ListWindowBridge(plugin));
  HWND w = plugin.listBridge_->Window().Open(ResourceModule());
  if (!w) {
    plugin.listBridge_.reset();
    return nullptr;
  }
  plugin.listBridge_->Window().Show();
  return w;
}

void DiscardMessagesListWindow(PluginObject& plugin) { plugin.listBridge_.reset(); }

ui::MessagesListWindow* CurrentMessagesListWindow(PluginObject& plugin) {
  return plugin.listBridge_ ? &plugin.listBridge_->Window() : nullptr;
}

}  // namespace pw
