#include "ui/ListCommands.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>

#include "base/Module.h"
#include "filter/RuleModel.h"
#include "mime/HeaderFields.h"
#include "ui/AccountDialog.h"
#include "ui/DialogText.h"
#include "ui/FilterEditors.h"
#include "ui/FolderList.h"
#include "ui/MessagesListWindow.h"
#include "ui/QuickReplyDialog.h"
#include "ui/SafeFileName.h"
#include "resource.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

void AddOnce(std::vector<MailAccount*>& accounts, MailAccount* a) {
  if (a && std::find(accounts.begin(), accounts.end(), a) == accounts.end()) accounts.push_back(a);
}

}  // namespace

bool ListCommands::Confirm(UINT text, bool longCaption) {
  const std::wstring caption = longCaption ? L"Dockrail - Postwarden" : L"Postwarden";
  return MessageBoxW(w_.Window(), LoadStr(text).c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ListCommands::PromptChecks(const std::vector<MailAccount*>& accounts) {
  for (MailAccount* a : accounts) a->RequestMissingHeaders(false);
  if (!accounts.empty()) w_.host_.WakeChecker();
}

void ListCommands::Run(UINT command) {
  switch (command) {
    case IDC_TB_CHECK_ALL: CheckAll(); break;
    case IDC_TB_CHECK_ONE: CheckSelected(); break;
    case IDC_TB_PROPERTIES: Properties(); break;
    case IDC_TB_LOAD: Load(false); break;
    case IDC_TB_DELETE_SPAM: DeleteType(MessageType::Spam); break;
    case IDC_TB_DELETE: DeleteSelected(); break;
    case IDC_TB_DELETE_DANGEROUS: DeleteType(MessageType::Dangerous); break;
    case IDC_TB_READER: RunReader(); break;
    case IDC_TB_MARK_ALL_READ: MarkAllRead(); break;
    case IDC_TB_EDIT_FILTERS: EditFilters(); break;
    case IDC_TB_ADD_FILTER: AddFilter(); break;
    case IDC_TB_OPEN_LOG: OpenLog(); break;
    case IDC_TB_SAVE: Save(); break;
    case IDC_TB_REPLY: QuickReply(); break;
    default: break;
  }
}

void ListCommands::CheckAll() {
  if (!w_.host_.Options().paused) w_.host_.CheckAll();
}

void ListCommands::CheckSelected() {
  MailAccount* a = w_.FolderAccount();
  if (!a) return;
  const AccountStatus s = a->GetStatus();
  const uint32_t code = a->statusCode;
  if (s != AccountStatus::Error && s != AccountStatus::Suspended && code != 0 && code != 8)
    w_.host_.StopSession(*a);  // carried out on the checker thread
  else
    PromptChecks({a});
}

void ListCommands::Properties() {
  RefPtr<MailAccount> a(w_.FolderAccount());
  if (!a) return;
  w_.host_.StopSession(*a);
  AccountDialog dialog;
  dialog.settings = a->settings;
  if (dialog.Show(w_.Window(), ResourceModule()) == 1) {
    w_.host_.UpdateAccount(*a, dialog.settings);
    w_.UpdateFolderLabels(a.Get());
    w_.UpdateToolbar();
    w_.host_.SettingsChanged();
  }
  if (!w_.host_.Options().paused) w_.host_.StartCheck(*a);
}

void ListCommands::Load(bool byDoubleClick) {
  const int32_t confirm = w_.host_.Options().confirm;
  if ((confirm & (byDoubleClick ? 0x4 : 0x2)) && !Confirm(IDS_CONFIRM_LOAD, true)) return;
  std::vector<MailAccount*> accounts;
  for (int i : w_.SelectedRows()) {
    const ListRowRef& r = w_.rows_.At(static_cast<size_t>(i));
    if (r.message->rawMessage.IsSet()) continue;
    r.message->SetFlags(MessageFlags::NeedBody);
    AddOnce(accounts, r.account.Get());
  }
  PromptChecks(accounts);
}

void ListCommands::DeleteSelected() {
  const std::vector<int> rows = w_.SelectedRows();
  if (rows.empty()) return;
  if ((w_.host_.Options().confirm & 0x1) && !Confirm(IDS_CONFIRM_DELETE_SELECTED, false)) return;
  std::vector<MailAccount*> purge, check;
  std::vector<RefPtr<MailAccount>> keep;  // a purge may remove rows meanwhile
  for (int i : rows) {
    const ListRowRef& r = w_.rows_.At(static_cast<size_t>(i));
    keep.push_back(r.account);
    if (r.message->IsOutgoing()) {
      r.message->SetFlags(MessageFlags::Deleted);
      AddOnce(purge, r.account.Get());
    } else {
      r.message->SetFlags(MessageFlags::Delete);
      AddOnce(check, r.account.Get());
    }
  }
  for (MailAccount* a : purge) a->PurgeDeleted();
  PromptChecks(check);
}

void ListCommands::DeleteType(MessageType type) {
  if (!Confirm(type == MessageType::Spam ? IDS_CONFIRM_DELETE_SPAM : IDS_CONFIRM_DELETE_DANGEROUS, false)) return;
  std::vector<MailAccount*> accounts;
  for (size_t i = 0; i < w_.rows_.Size(); ++i) {
    const ListRowRef& r = w_.rows_.At(i);
    if (r.message->Type() != type) continue;
    r.message->SetFlags(MessageFlags::Delete);
    AddOnce(accounts, r.account.Get());
  }
  PromptChecks(accounts);
}

void ListCommands::RunReader() {
  w_.host_.RunMailReader();
  if (w_.host_.Options().closeOnClientRun) w_.Close();
}

void ListCommands::AfterMarking(bool changed) {
  if (!changed) return;
  w_.UpdateFolderLabels(nullptr);
  if (w_.sortType_ != 0) w_.SortRows();
  w_.UpdateToolbar();
  w_.host_.WakeChecker();  // the count on the button changes
}

void ListCommands::MarkAllRead() {
  bool changed = false;
  for (size_t i = 0; i < w_.rows_.Size(); ++i) {
    ListRowRef& r = w_.rows_.At(i);
    if (!(r.message->ClearState(MessageState::New) & MessageState::New)) continue;
    r.account->dirty = 1;  // survives a restart
    w_.RefreshRow(*r.message, false, static_cast<int>(i));
    changed = true;
  }
  AfterMarking(changed);
}

void ListCommands::MarkSelected(bool read) {
  bool changed = false;
  for (int i : w_.SelectedRows()) {
    ListRowRef& r = w_.rows_.At(static_cast<size_t>(i));
    if (r.message->HasState(MessageState::New) != read) continue;
    if (read) r.message->ClearState(MessageState::New);
    else r.message->SetState(MessageState::New);
    r.account->dirty = 1;
    w_.RefreshRow(*r.message, false, i);
    changed = true;
  }
  AfterMarking(changed);
}

void ListCommands::SetType(MessageType type) {
  std::vector<RefPtr<MailMessage>> changed;
  for (int i : w_.SelectedRows()) {
    ListRowRef& r = w_.rows_.At(static_cast<size_t>(i));
    if (r.message->IsOutgoing() || r.message->Type() == type) continue;
    r.message->SetType(type);
    r.account->dirty = 1;
    changed.push_back(r.message);
  }
  // Rows are refreshed after the walk; those that leave the folder go
  // together afterwards (one at a time, each removal walks the rows).
  std::vector<MailMessage*> gone;
  const int32_t shown = w_.FolderAt(w_.SelectedFolder()).typeFilter;
  for (const auto& m : changed) {
    w_.RefreshRow(*m, false, -1);
    if (shown != -1 && shown != static_cast<int32_t>(m->Type())) gone.push_back(m.Get());
  }
  w_.RemoveRows(gone);
  AfterMarking(!changed.empty());
}

// What the filter editors start from: the plug-in's remembered rule and
// field, and the accounts whose messages the rule editor counts.
static FilterEditorState EditorState(ListWindowHost& host) {
  FilterEditorState state;
  state.rule = host.DefaultFilter();
  state.field = host.DefaultField();
  SharedGuard g(host.AccountsLock());
  state.accounts = host.Accounts();
  return state;
}

void ListCommands::EditFilters() {
  if (!FilterEditorsAvailable()) return;
  std::unique_ptr<RuleList> rules = w_.host_.CopyRules();
  if (!rules) return;
  FilterEditorState state = EditorState(w_.host_);
  const bool ok = EditFilterRules(w_.Window(), ResourceModule(), *rules, state);
  w_.host_.SetDefaultField(state.field);
  if (!ok) return;
  w_.host_.PublishRules(std::move(rules));
  w_.host_.SettingsChanged();
}

void ListCommands::AddFilter() {
  const int row = w_.FocusedRow();
  if (row < 0 || !FilterEditorsAvailable()) return;
  RefPtr<MailMessage> m = w_.rows_.At(static_cast<size_t>(row)).message;
  if (!m->rawHeader.IsSet()) return;
  std::unique_ptr<RuleList> rules = w_.host_.CopyRules();
  if (!rules) return;
  FilterEditorState state = EditorState(w_.host_);
  state.accounts.clear();  // the condition editor counts nothing
  const bool ok = CreateFilterCondition(w_.Window(), ResourceModule(), *rules, *m, state);
  w_.host_.SetDefaultField(state.field);
  if (!ok) return;
  w_.host_.SetDefaultFilter(state.rule);
  w_.host_.PublishRules(std::move(rules));
  w_.host_.SettingsChanged();
}

void ListCommands::OpenLog() {
  const ListOptions o = w_.host_.Options();
  if (o.filtersLogFile.empty()) return;
  // Quoted: a path with blanks is one parameter.
  const std::wstring param = L"\"" + o.filtersLogFile + L"\"";
  ShellExecuteW(nullptr, nullptr, L"notepad.exe", param.c_str(), nullptr, SW_SHOWNORMAL);
}

void ListCommands::Save() {
  const int row = w_.FocusedRow();
  if (row < 0) return;
  const ListRowRef r = w_.rows_.At(static_cast<size_t>(row));
  std::wstring proposal;
  {
    SharedGuard g(r.account->MessageLock());
    if (const wchar_t* s = nextFieldValue(r.message->headerFields, L"Subject")) proposal = s;
  }
  for (wchar_t& c : proposal)
    if (wcschr(L"\\/:*?\"<>|", c)) c = L'_';
  proposal = SafeFileName(proposal, L"");
  std::vector<wchar_t> name(500, 0);
  lstrcpynW(name.data(), proposal.c_str(), 500);
  const std::wstring title = LoadStr(IDS_SAVE_TITLE);
  std::wstring filter = LoadStr(IDS_SAVE_FILTER);
  filter.push_back(0);
  filter += L"*.msg;*.eml";
  filter.push_back(0);
  filter.push_back(0);
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = w_.Window();
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = 500;
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = OFN_ENABLESIZING | OFN_LONGNAMES | OFN_PATHMUSTEXIST | OFN_EXPLORER;
  if (!GetSaveFileNameW(&ofn)) return;
  std::wstring path = name.data();
  const size_t slash = path.find_last_of(L"\\/");
  if (path.find(L'.', slash == std::wstring::npos ? 0 : slash) == std::wstring::npos) path += L".msg";
  MailMessage& m = *r.message;
  if (m.rawMessage.IsSet()) {
    // The whole recorded length: binary parts may hold zero bytes.
    bool ok = false;
    {
      SharedGuard g(r.account->MessageLock());
      ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
      DWORD written = 0;
      ok = file && WriteFile(file.Get(), m.rawMessage.Get(), m.rawMessage.Size(), &written, nullptr) &&
           written == m.rawMessage.Size();
    }
    if (!ok) Warn(w_.Window(), LoadStr(IDS_SAVE_FAILED) + L"\n" + path);
    return;
  }
  {
    ExclusiveGuard g(r.account->MessageLock());  // Save may be reading the text
    m.savePath.Set(path.c_str());
  }
  m.SetFlags(MessageFlags::NeedBody | MessageFlags::SaveToFile);
  PromptChecks({r.account.Get()});
}

void ListCommands::QuickReply() {
  const int row = w_.FocusedRow();
  if (row < 0) return;
  const ListRowRef r = w_.rows_.At(static_cast<size_t>(row));
  if (!r.message->rawHeader.IsSet() || !QuickReplyUnavailableReason(*r.account).empty()) return;
  ShowQuickReplyDialog(w_.Window(), ResourceModule(), *r.account, *r.message);
}

void ListCommands::RowMenu() {
  enum { kLoad = 1, kDelete, kRead, kUnread, kSpam, kDangerous, kDelSpam, kDelDangerous, kNormal, kCondition };
  ScopedMenu menu(CreatePopupMenu());
  auto add = [&](UINT text, UINT id, const wchar_t* suffix = L"") {
    AppendMenuW(menu.Get(), MF_STRING | MF_GRAYED, id, (LoadStr(text) + suffix).c_str());
  };
  add(IDS_MENU_MARK_READ, kRead);
  add(IDS_MENU_MARK_UNREAD, kUnread);
  AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
  add(IDS_MENU_NORMAL, kNormal);
  add(IDS_MENU_SPAM, kSpam);
  add(IDS_MENU_DANGEROUS, kDangerous);
  AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
  add(IDS_MENU_LOAD, kLoad);
  add(IDS_MENU_CREATE_CONDITION, kCondition);
  AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
  add(IDS_MENU_DELETE, kDelete, L"\tDel");
  add(IDS_MENU_DELETE_SPAM, kDelSpam);
  add(IDS_MENU_DELETE_DANGEROUS, kDelDangerous);
  auto enable = [&](UINT id) { EnableMenuItem(menu.Get(), id, MF_BYCOMMAND | MF_ENABLED); };
  const int focused = w_.FocusedRow();
  HWND list = w_.list_;
  for (size_t i = 0; i < w_.rows_.Size(); ++i) {
    const MailMessage& m = *w_.rows_.At(i).message;
    const MessageType t = m.Type();
    if (ListView_GetItemState(list, static_cast<int>(i), LVIS_SELECTED) & LVIS_SELECTED) {
      enable(kDelete);
      if (!m.rawMessage.IsSet()) enable(kLoad);
      enable(m.HasState(MessageState::New) ? kRead : kUnread);
      if (t != MessageType::Normal) enable(kNormal);
      if (t != MessageType::Spam) enable(kSpam);
      if (t != MessageType::Dangerous) enable(kDangerous);
    }
    if (static_cast<int>(i) == focused && m.rawHeader.IsSet() && FilterEditorsAvailable()) enable(kCondition);
    if (t == MessageType::Spam) enable(kDelSpam);
    if (t == MessageType::Dangerous) enable(kDelDangerous);
  }
  POINT pt;
  GetCursorPos(&pt);
  const UINT chosen = TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, w_.Window(), nullptr);
  menu.Reset();
  switch (chosen) {
    case kLoad: Load(false); break;
    case kDelete: DeleteSelected(); break;
    case kRead: MarkSelected(true); break;
    case kUnread: MarkSelected(false); break;
    case kSpam: SetType(MessageType::Spam); break;
    case kDangerous: SetType(MessageType::Dangerous); break;
    case kDelSpam: DeleteType(MessageType::Spam); break;
    case kDelDangerous: DeleteType(MessageType::Dangerous); break;
    case kNormal: SetType(MessageType::Normal); break;
    case kCondition: AddFilter(); break;
    default: break;
  }
}

void ListCommands::FolderMenu() {
  enum { kCheck = 1, kProperties, kSuspend, kAdd, kDelete, kClone };
  MailAccount* a = w_.FolderAccount();
  ScopedMenu menu(CreatePopupMenu());
  const UINT grey = a ? 0 : MF_GRAYED;
  AppendMenuW(menu.Get(), MF_STRING, kAdd, LoadStr(IDS_MENU_ADD_ACCOUNT).c_str());
  AppendMenuW(menu.Get(), MF_STRING | grey, kClone, LoadStr(IDS_MENU_CLONE_ACCOUNT).c_str());
  AppendMenuW(menu.Get(), MF_STRING | grey, kDelete, LoadStr(IDS_MENU_DELETE_ACCOUNT).c_str());
  AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.Get(), MF_STRING | grey, kCheck, LoadStr(IDS_CHECK_MAIL_NOW).c_str());
  AppendMenuW(menu.Get(), MF_STRING | grey | (a && a->settings.suspend ? MF_CHECKED : 0), kSuspend,
              LoadStr(IDS_MENU_SUSPEND).c_str());
  AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.Get(), MF_STRING | grey, kProperties, LoadStr(IDS_MENU_PROPERTIES).c_str());
  SetMenuDefaultItem(menu.Get(), kProperties, FALSE);
  POINT pt;
  GetCursorPos(&pt);
  const UINT chosen = TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, w_.Window(), nullptr);
  menu.Reset();
  switch (chosen) {
    case kAdd: AddAccount(false); break;
    case kClone: AddAccount(true); break;
    case kDelete: DeleteAccount(); break;
    case kCheck:
      if (a) PromptChecks({a});
      break;
    case kSuspend: Suspend(); break;
    case kProperties: Properties(); break;
    default: break;
  }
}

void ListCommands::AddAccount(bool clone) {
  AccountDialog dialog;
  dialog.settings = NewAccountDefaults();
  if (clone) {
    MailAccount* a = w_.FolderAccount();
    if (!a) return;
    dialog.settings = a->settings;
    dialog.settings.id = 0;
  }
  if (dialog.Show(w_.Window(), ResourceModule()) != 1) return;
  RefPtr<MailAccount> added = w_.host_.AddAccount(dialog.settings);
  if (!added) return;
  w_.host_.SettingsChanged();
  {
    SharedGuard g(w_.host_.AccountsLock());
    w_.selectedFolder_ = static_cast<int>(w_.host_.Accounts().size());
  }
  w_.FillFolders();
  if (!w_.host_.Options().paused) w_.host_.StartCheck(*added);
}

void ListCommands::DeleteAccount() {
  RefPtr<MailAccount> a(w_.FolderAccount());
  if (!a) return;
  wchar_t text[1024];
  swprintf(text, 1024, LoadStr(IDS_CONFIRM_REMOVE_ACCOUNT).c_str(), a->settings.accountName);
  if (MessageBoxW(w_.Window(), text, L"Postwarden", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  // The rows and the folder give their references back first.
  w_.selectedFolder_ = 0;
  w_.host_.RemoveAccount(*a);
  w_.host_.SettingsChanged();
  w_.FillFolders();
}

void ListCommands::Suspend() {
  MailAccount* a = w_.FolderAccount();
  if (!a) return;
  if (a->settings.suspend) {
    a->settings.suspend = 0;
    a->RequestAllHeaders();
    w_.host_.StartCheck(*a);
  } else {
    w_.host_.StopSession(*a);
    a->settings.suspend = 1;
  }
  a->dirty = 1;
  w_.UpdateFolderLabels(a);
  w_.UpdateToolbar();
  w_.host_.SettingsChanged();
}

}  // namespace pw::ui
