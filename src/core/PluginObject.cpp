#include "core/PluginObject.h"

#include <mmsystem.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <cstring>

#include "account/AccountRecords.h"
#include "base/Module.h"
#include "base/SettingsTree.h"
#include "base/StrConv.h"
#include "core/ControlClasses.h"
#include "core/DeletedLog.h"
#include "core/Notifier.h"
#include "core/QuietPeriod.h"
#include "filter/BuiltinRules.h"
#include "filter/RuleStore.h"
#include "resource.h"
#include "ui/FilterEditors.h"

namespace pw {

using namespace dockrail;

std::wstring CommandProgram(const wchar_t* commandLine) {
  wchar_t buf[MAX_PATH * 2] = {};
  lstrcpynW(buf, commandLine ? commandLine : L"", MAX_PATH * 2);
  StrTrimW(buf, L" \t");
  PathRemoveArgsW(buf);
  PathUnquoteSpacesW(buf);
  return buf;
}

std::wstring CommandArguments(const wchar_t* commandLine) {
  if (!commandLine) return std::wstring();
  std::wstring trimmed(commandLine);
  size_t first = trimmed.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return std::wstring();
  std::wstring args(PathGetArgsW(trimmed.c_str() + first));
  size_t a = args.find_first_not_of(L" \t");
  if (a == std::wstring::npos) return std::wstring();
  size_t b = args.find_last_not_of(L" \t");
  return args.substr(a, b - a + 1);
}

PluginObject::PluginObject() {
  defaultIcon_.Reset(static_cast<HICON>(LoadImageW(DllModule(), MAKEINTRESOURCEW(IDI_PLUGIN), IMAGE_ICON, 32, 32, 0)));
  // A fresh configuration starts with the built-in rules, once; a stored
  // list replaces them on Load.
  auto builtin = std::make_unique<RuleList>();
  AddBuiltinRules(*builtin);
  rules_.Publish(std::move(builtin));
  ObjectCreated();
}

PluginObject::~PluginObject() { TearDown(); }

void PluginObject::TearDown() {
  // The list window and the sound player come with their own modules; the
  // checker is told to stop and waited for before the accounts go away.
  StopChecker();
  if (reapplier_.joinable()) reapplier_.join();
  listWindow_.Close();
  defaultIcon_.Reset();
  countFont_.Reset();
  ObjectDestroyed();
}

HRESULT PluginObject::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDockPlugin)) {
    *out = static_cast<IDockPlugin*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// Only the host's thread calls AddRef and Release.
ULONG PluginObject::AddRef() { return ++refs_; }

ULONG PluginObject::Release() {
  ULONG left = --refs_;
  if (left == 0) Destroy(1);
  return left;
}

HRESULT PluginObject::Destroy(UINT deleteFlag) {
  if (deleteFlag & 1) {
    delete this;
  } else {
    TearDown();
  }
  return 0;
}

// A stream that could not be read is a failure, so that the host keeps
// what it has instead of taking the fresh configuration for the user's.
// The plug-in runs on with the fresh one and asks for no save until the
// user changes something.
HRESULT PluginObject::Load(IStream* stream) {
  const bool read = !stream || LoadStream(stream);
  settingsUnread_ = !read;
  Notifier::LoadAnimationStrips(*this);
  if (!settings_.pause) StartChecker();
  return read ? S_OK : E_FAIL;
}

bool PluginObject::LoadStream(IStream* stream) {
  // A second Load on a running object: stop the checker, and with it every
  // session, before the accounts they report to are replaced.
  StopChecker();
  uint8_t v[4];
  ULONG got = 0;
  if (FAILED(stream->Read(v, 4, &got))) return false;
  if (got == 0) return true;  // nothing stored yet: a fresh configuration
  if (got != 4) return false;
  uint32_t version = v[0] | (v[1] << 8) | (v[2] << 16) | (uint32_t(v[3]) << 24);
  if (version < kStreamVersion) {
    // Layouts of earlier releases are not read: they load as a fresh
    // configuration, and the caller hears that the stream was not read.
    std::vector<RefPtr<MailAccount>> old;
    {
      ExclusiveGuard g(accountsLock_);
      accounts_.swap(old);
    }
    settings_ = GlobalSettings();
    return false;
  }
  SettingsTree tree;
  if (!tree.ReadFromStream(stream)) return false;  // damaged: keep what we have
  GlobalSettings s = settings_;
  LoadSettingsNode(tree, s);
  settings_ = s;
  RegisterHotkeys(settings_.listHotkey, settings_.readerHotkey);
  LoadConnectionNode(tree, settings_);
  if (tree.EnterNode(L"accounts")) {
    // Read before the array is taken; without its node the accounts stay.
    std::vector<RefPtr<MailAccount>> loaded = LoadAccountRecords(tree, &accountOwner_);
    tree.LeaveNode();
    {
      ExclusiveGuard g(accountsLock_);
      for (auto& a : loaded) a->settings.id = static_cast<uint32_t>(nextAccountId_++);
      accounts_.swap(loaded);
    }
    // `loaded` now holds the old accounts: released outside the lock.
  }
  bool filters = tree.EnterNode(L"Filters");
  LoadFilterKeys(tree, settings_);
  {
    auto list = std::make_unique<RuleList>();
    // A stream that never held a rule list keeps the rules we have.
    if (filters && LoadRuleList(tree, *list)) rules_.Publish(std::move(list));
  }
  if (filters) tree.LeaveNode();
  LoadListPosNode(tree, settings_);
  LoadMessagesListNode(tree, settings_);
  sounds_.Start();
  return true;
}

ui::FilterEditorState PluginObject::EditorState() {
  ui::FilterEditorState state;
  state.rule = settings_.defaultFilter;
  state.field = settings_.defaultField;
  SharedGuard g(accountsLock_);
  state.accounts = accounts_;
  return state;
}

void PluginObject::KeepEditorState(const ui::FilterEditorState& state) {
  settings_.defaultFilter = state.rule;
  settings_.defaultField = state.field;
}

HRESULT PluginObject::Save(IStream* stream) {
  if (stream) {
    SaveStream(stream);
    settingsUnread_ = false;  // the host now holds settings that can be read
  }
  return 0;
}

void PluginObject::SaveStream(IStream* stream) {
  uint8_t v[4] = {uint8_t(kStreamVersion), 0, 0, 0};
  stream->Write(v, 4, nullptr);
  SettingsTree tree;
  SaveSettingsNode(tree, settings_);
  SaveConnectionNode(tree, settings_);
  tree.CreateNode(L"accounts");
  {
    SharedGuard g(accountsLock_);
    SaveAccountRecords(tree, accounts_);
  }
  tree.CloseNode();
  tree.CreateNode(L"Filters");
  SaveFilterKeys(tree, settings_);
  SaveRuleList(tree, rules_.Current()->List());
  tree.CloseNode();
  SaveListPosNode(tree, settings_);
  SaveMessagesListNode(tree, settings_);
  tree.WriteToStream(stream);
}

HRESULT PluginObject::SetButtonRect(const int32_t* rect) {
  if (!rect) return 0;
  buttonRect_ = {rect[0], rect[1], rect[2], rect[3]};
  countFont_.Reset(Notifier::CreateCountFont(buttonRect_));
  return 0;
}

HRESULT PluginObject::SetHost(IDockHost* host) {
  host_ = host;
  return 0;
}

HRESULT PluginObject::Slot7(UINT_PTR) { return 0; }
HRESULT PluginObject::Slot9() { return 1; }
HRESULT PluginObject::Slot10(UINT_PTR) { return 1; }
HRESULT PluginObject::Slot11() { return 1; }
HRESULT PluginObject::Slot14() { return 1; }
HRESULT PluginObject::Slot15() { return 1; }

HRESULT PluginObject::Slot13(UINT_PTR, int32_t* flag) {
  if (flag) *flag = 1;
  return 0;
}

HRESULT PluginObject::Draw(HDC dc, const RECT* rect) {
  if (dc && rect) Notifier::Draw(*this, host_, dc, *rect, defaultIcon_.Get());
  return 0;
}

void PluginObject::RegisterHotkeys(WORD list, WORD reader) {
  // The host registers the hotkeys; without a host there is nothing to tell.
  if (!host_) return;
  host_->RegisterHotkey(kHotkeyRegister, reader, 2);
  host_->RegisterHotkey(kHotkeyRegister, list, 1);
}

void PluginObject::NotifySettingsChanged() {
  if (host_) host_->SettingsChanged();
}

void PluginObject::Repaint() {
  if (host_) host_->Repaint(kRepaintButton);
}

HRESULT PluginObject::ShowOptions(IStream* stream) {
  // The checker goes on while the sheet is open; a confirmed sheet stops it
  // only for the account rebuild.
  HWND owner = host_ ? host_->GetOwnerWindow() : nullptr;
  if (!RunOptionsSheet(owner)) return 1;
  Save(stream);
  return 0;
}

HRESULT PluginObject::OnClick() {
  PlaySoundW(L"MenuCommand", nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT);
  if (settings_.reader[0] == 0 || settings_.openList)
    OpenMessagesList();
  else
    RunMailReader(true);
  return 0;
}

HRESULT PluginObject::OnHostCommand(UINT command) {
  if (command != kHostCommandProperties) return 0;
  StopChecker();
  HWND owner = host_ ? host_->GetOwnerWindow() : nullptr;
  bool confirmed = RunOptionsSheet(owner);
  if (!settings_.pause) StartChecker();
  if (confirmed && host_) return host_->SettingsChanged();
  return 0;
}

HRESULT PluginObject::SetCaption(const char* caption) {
  caption_ = AnsiToWide(caption);
  return 0;
}

HRESULT PluginObject::AddMenuItems(HMENU menu, UINT position, UINT firstId) {
  struct Item {
    UINT offset;
    UINT text;
  };
  const bool openList = settings_.openList != 0;
  const Item items[4] = {
      {0, IDS_CHECK_MAIL_NOW},
      {2, IDS_PAUSE_CHECK},
      {openList ? 4u : 1u, openList ? UINT(IDS_READ_MAIL) : UINT(IDS_MAIL_LIST)},
      {3, IDS_MARK_ALL_READ},
  };
  for (UINT i = 0; i < 4; ++i) {
    std::wstring text = LoadStr(items[i].text);
    UINT flags = MF_BYPOSITION | MF_STRING;
    if (items[i].offset == 2 && settings_.pause) flags |= MF_CHECKED;
    InsertMenuW(menu, position + i, flags, firstId + items[i].offset, text.c_str());
  }
  return 4;
}

HRESULT PluginObject::OnMenuCommand(UINT offset) {
  switch (offset) {
    case 0:
      if (!settings_.pause) checker_.RequestCheckNow();
      break;
    case 1:
      OpenMessagesList();
      break;
    case 2:
      if (!settings_.pause) {
        StopChecker();
        settings_.pause = 1;
      } else {
        StartChecker();
        settings_.pause = 0;
      }
      NotifySettingsChanged();
      Repaint();
      break;
    case 3:
      MarkAllRead();
      break;
    case 4:
      if (settings_.reader[0]) RunMailReader(false);
      break;
  }
  return 0;
}

HRESULT PluginObject::SetResourceModule(HMODULE module) {
  UseResourceModule(module);
  RegisterControlClasses();
  return 0;
}

HRESULT PluginObject::GetIconLocation(char* buffer) {
  if (!buffer) return 0;
  std::wstring location;
  if (settings_.iconLocation[0]) {
    location = settings_.iconLocation;
  } else {
    location = CommandProgram(settings_.reader) + L",0";
  }
  CopyAnsi(buffer, kIconLocationSize, WideToAnsi(location.c_str()));
  return 0;
}

HRESULT PluginObject::SetIconLocation(const char* location) {
  std::wstring text = AnsiToWide(location);
  lstrcpynW(settings_.iconLocation, text.c_str(), ARRAYSIZE(settings_.iconLocation));
  NotifySettingsChanged();
  Repaint();
  return 0;
}

HRESULT PluginObject::GetTooltip(TooltipInfo* info) {
  if (info) Notifier::FillTooltip(*this, *info);
  return 0;
}

std::wstring PluginObject::PlainTooltip() const { return Notifier::PlainTooltip(*this); }

HRESULT PluginObject::QueryInfo(UINT id, UINT_PTR subId, void* out) {
  switch (id) {
    case 1:
      if (out) *static_cast<int32_t*>(out) = 1;
      return 0;
    case 2:
      if (out) {
        int32_t* r = static_cast<int32_t*>(out);
        r[0] = buttonRect_.left, r[1] = buttonRect_.top, r[2] = buttonRect_.right, r[3] = buttonRect_.bottom;
      }
      return 0;
    case 3:
      if (out) {
        std::string text = WideToAnsi(PlainTooltip().c_str());
        CopyAnsi(static_cast<char*>(out), kTooltipTextSize, text);
      }
      return 0;
    case 4:
      if (out && subId <= 1) {
        auto* h = static_cast<HotkeyInfo*>(out);
        int32_t number = subId == 0 ? 1 : 2;
        h->number = number;
        std::wstring label = LoadStr(subId == 0 ? IDS_OPEN_MESSAGES_LIST : IDS_OPEN_MAIL_READER);
        lstrcpynW(h->label, label.c_str(), ARRAYSIZE(h->label));
        h->hotkey = subId == 0 ? settings_.listHotkey : settings_.readerHotkey;
        h->numberAgain = number;
      }
      return 0;
    case 5:
      if (out) *static_cast<int32_t*>(out) = 2;
      return 0;
    case 22:
      if (out) *static_cast<wchar_t**>(out) = Notifier::RichTooltip(*this);
      return 0;
    case 23:
      if (out) *static_cast<HICON*>(out) = defaultIcon_.Get();
      return 0;
    case 24:
      if (out) {
        size_t bytes = (caption_.size() + 1) * sizeof(wchar_t);
        auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
        if (copy) memcpy(copy, caption_.c_str(), bytes);
        *static_cast<wchar_t**>(out) = copy;
      }
      return 1;
    case 25: {
      // Here the last argument is the hotkey number itself.
      UINT_PTR number = reinterpret_cast<UINT_PTR>(out);
      if (number == 1) OpenMessagesList();
      else if (number == 2) RunMailReader(true);
      return 0;
    }
    default:
      return 1;
  }
}

void PluginObject::StartChecker() { checker_.Start(); }
void PluginObject::StopChecker() {
  checker_.Stop();
  // Work queued while the checker was ending would keep its account
  // referenced, and a session it was to close open, until the next start.
  RunAccountWork(true);
}

void PluginObject::OpenMessagesList() { listWindow_.Open(); }

void PluginObject::RunMailReader(bool markRead) {
  std::wstring program = CommandProgram(settings_.reader);
  if (program.empty()) return;
  std::wstring args = CommandArguments(settings_.reader);
  ShellExecuteW(nullptr, nullptr, program.c_str(), args.empty() ? nullptr : args.c_str(), nullptr, SW_SHOWNORMAL);
  if (markRead && settings_.markReadOnRun) MarkAllRead();
}

void PluginObject::PlayNotifySound(const wchar_t* file) {
  if (!file || !*file || !SoundsAllowedNow(settings_)) return;
  sounds_.Queue(file);
}

void PluginObject::LogDeletedMessage(const MailAccount& account, const MailMessage& message) {
  pw::LogDeletedMessage(settings_, logLock_, account, message);
}

void PluginObject::MarkAllRead() {
  SharedGuard g(accountsLock_);
  for (const auto& a : accounts_) a->MarkAllRead();
}

}  // namespace pw
