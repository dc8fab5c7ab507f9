// The Plug-in object the host creates for each button: the host-facing
// interface in slot order, and what it owns from construction to the final
// Release.
#pragma once

#include <windows.h>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "account/MailAccount.h"
#include "base/RefPtr.h"
#include "base/Scoped.h"
#include "base/SharedLock.h"
#include "core/AnimationStrip.h"
#include "core/CheckerThread.h"
#include "core/GlobalSettings.h"
#include "core/ListWindowThread.h"
#include "core/PluginAccountOwner.h"
#include "core/Scheduler.h"
#include "core/SoundPlayer.h"
#include "dockrail/DockrailPlugin.h"
#include "filter/RuleSnapshot.h"
#include "ui/FilterEditors.h"

namespace pw {

class ListWindowBridge;
inline constexpr uint32_t kStreamVersion = 25;

class PluginObject final : public dockrail::IDockPlugin {
 public:
  PluginObject();
  PluginObject(const PluginObject&) = delete;
  PluginObject& operator=(const PluginObject&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDockPlugin
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE Save(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE SetButtonRect(const int32_t* rect) override;
  HRESULT STDMETHODCALLTYPE SetHost(dockrail::IDockHost* host) override;
  HRESULT STDMETHODCALLTYPE Slot7(UINT_PTR value) override;
  HRESULT STDMETHODCALLTYPE Draw(HDC dc, const RECT* rect) override;
  HRESULT STDMETHODCALLTYPE Slot9() override;
  HRESULT STDMETHODCALLTYPE Slot10(UINT_PTR value) override;
  HRESULT STDMETHODCALLTYPE Slot11() override;
  HRESULT STDMETHODCALLTYPE ShowOptions(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE Slot13(UINT_PTR value, int32_t* flag) override;
  HRESULT STDMETHODCALLTYPE Slot14() override;
  HRESULT STDMETHODCALLTYPE Slot15() override;
  HRESULT STDMETHODCALLTYPE OnClick() override;
  HRESULT STDMETHODCALLTYPE OnHostCommand(UINT command) override;
  HRESULT STDMETHODCALLTYPE SetCaption(const char* caption) override;
  HRESULT STDMETHODCALLTYPE AddMenuItems(HMENU menu, UINT position, UINT firstId) override;
  HRESULT STDMETHODCALLTYPE OnMenuCommand(UINT offset) override;
  HRESULT STDMETHODCALLTYPE SetResourceModule(HMODULE module) override;
  HRESULT STDMETHODCALLTYPE GetIconLocation(char* buffer) override;
  HRESULT STDMETHODCALLTYPE SetIconLocation(const char* location) override;
  HRESULT STDMETHODCALLTYPE GetTooltip(dockrail::TooltipInfo* info) override;
  HRESULT STDMETHODCALLTYPE QueryInfo(UINT id, UINT_PTR subId, void* out) override;
  HRESULT STDMETHODCALLTYPE Destroy(UINT deleteFlag) override;

  // For the modules that build on the object.
  const GlobalSettings& Settings() const { return settings_; }
  GlobalSettings& Settings() { return settings_; }
  const std::wstring& Caption() const { return caption_; }
  const RECT& ButtonRect() const { return buttonRect_; }
  bool CheckerRunning() const { return checker_.Running(); }
  bool CheckNowPending() const { return checker_.CheckNowPending(); }
  // The last Load could not read its stream, and nothing was saved since.
  bool SettingsUnread() const { return settingsUnread_; }
  // A tick as soon as the checker can: something the button shows changed.
  void WakeChecker() const { checker_.Wake(); }
  // Written by the checker thread, read by the host's thread; plain words.
  // Button state: bit 0 some account has new mail, bit 1 a check failed.
  uint32_t ButtonFlags() const { return buttonFlags_; }
  // Connection: bit 0 a dial-up connection is up, bit 1 the system reports
  // an Internet connection.
  uint32_t ConnectionFlags() const { return connectionFlags_; }
  // The animation frame shown while new mail is announced.
  uint32_t Frame() const { return frame_; }
  void SetButtonFlags(uint32_t flags) { buttonFlags_ = flags; }

  // The new-mail animation: the large strip when the host's button is large.
  AnimationStrip& Strip(bool large) { return large ? largeStrip_ : smallStrip_; }
  const AnimationStrip& Strip(bool large) const { return large ? largeStrip_ : smallStrip_; }
  HFONT CountFont() const { return countFont_.Get(); }

  // The account array: read under SharedGuard(AccountsLock()), changed
  // only under its exclusive lock, always taken before an account's lock.
  SharedLock& AccountsLock() const { return accountsLock_; }
  const std::vector<RefPtr<MailAccount>>& Accounts() const { return accounts_; }
  AccountOwner* AccountHost() { return &accountOwner_; }
  SoundPlayer& Sounds() { return sounds_; }
  // The filtering rules: checks read the current snapshot, an edit
  // publishes a new one.
  RuleBook& Rules() { return rules_; }
  const RuleBook& Rules() const { return rules_; }
  // An edited rule list: published as the new snapshot, the host told, and
  // run again over every account's messages on a worker thread.
  void AdoptEditedRules(std::unique_ptr<RuleList> list);
  // What the filter editors start from: the remembered rule and field and
  // the accounts whose messages the live count runs over.
  ui::FilterEditorState EditorState();
  void KeepEditorState(const ui::FilterEditorState& state);

  void StartChecker();
  void StopChecker();
  // Work on an account that must run where its sessions live: queued for
  // the checker thread's next tick (at once when no checker runs).
  enum class AccountWork { StopSession, StartCheck, ReapplyFilters };
  void QueueAccountWork(MailAccount& account, AccountWork work);
  void OpenMessagesList();
  // Posts to the messages list window; false while it does not exist.
  bool PostToList(UINT message, WPARAM wParam, LPARAM lParam) { return listWindow_.Post(message, wParam, lParam); }
  bool ListWindowExists() const { return listWindow_.Window() != nullptr; }
  void RunMailReader(bool markRead);
  void MarkAllRead();
  // Queues a sound unless the quiet period forbids it (accounts and rule sets).
  void PlayNotifySound(const wchar_t* file);
  void LogDeletedMessage(const MailAccount& account, const MailMessage& message);
  std::wstring PlainTooltip() const;
  // Text commands for the stand-in host and scripts (ControlCommands.cpp).
  HRESULT Control(const wchar_t* command, wchar_t** output);

 private:
  friend class Scheduler;
  ~PluginObject();
  void TearDown();
  // false when the stream could not be read (damaged, or an older layout).
  bool LoadStream(IStream* stream);
  void SaveStream(IStream* stream);
  void RegisterHotkeys(WORD list, WORD reader);
  void NotifySettingsChanged();
  void Repaint();
  friend class HotkeyRelease;
  bool RunOptionsSheet(HWND owner);
  void RebuildAccounts(const std::vector<AccountSettings>& records);
  // Runs the current rules over every account's messages on reapplier_.
  void ReapplyInBackground();
  std::wstring ControlReport() const;
  bool ControlAccount(const std::vector<std::wstring>& words, std::wstring& error);
  bool ControlProxy(const std::vector<std::wstring>& words, std::wstring& error);
  bool ControlReply(const std::vector<std::wstring>& words, std::wstring& error);
  bool ControlFilters(const std::vector<std::wstring>& words, std::wstring& out, std::wstring& error);
  bool ControlAccountDialog(const std::vector<std::wstring>& words, std::wstring& out, std::wstring& error);

  ULONG refs_ = 1;
  dockrail::IDockHost* host_ = nullptr;  // not referenced: the host outlives us
  RECT buttonRect_ = {0, 0, 0, 0};
  std::wstring caption_;
  GlobalSettings settings_;
  RuleBook rules_;
  std::thread reapplier_;  // joined before the next one and at tear-down
  ScopedIcon defaultIcon_;
  ScopedFont countFont_;
  CriticalSection logLock_;
  Scheduler scheduler_{*this};
  CheckerThread checker_{&scheduler_};
  std::atomic<uint32_t> buttonFlags_{0};
  std::atomic<uint32_t> connectionFlags_{0};
  std::atomic<uint32_t> frame_{0};
  std::atomic<bool> settingsUnread_{false};
  AnimationStrip smallStrip_;
  AnimationStrip largeStrip_;
  int nextAccountId_ = 1;
  uint32_t formatVersion_ = kStreamVersion;
  // Declared in this order so that the accounts go before their owner and
  // the sound player stops first.
  mutable SharedLock accountsLock_;
  PluginAccountOwner accountOwner_{*this};
  std::vector<RefPtr<MailAccount>> accounts_;
  SoundPlayer sounds_;
  ListWindowThread listWindow_{*this};
  CriticalSection workLock_;
  std::vector<std::pair<RefPtr<MailAccount>, AccountWork>> work_;
  // Runs the queued work on the checker thread; with `checkerGone`, what
  // the stopped checker left (no check is started then).
  void RunAccountWork(bool checkerGone = false);
  friend class ListWindowBridge;
  // The list window of the current opening (list thread only).
  struct BridgeDeleter {
    void operator()(ListWindowBridge* b) const;
  };
  std::unique_ptr<ListWindowBridge, BridgeDeleter> listBridge_;
  friend HWND CreateMessagesListWindow(PluginObject& plugin);
  friend void DiscardMessagesListWindow(PluginObject& plugin);
  friend ui::MessagesListWindow* CurrentMessagesListWindow(PluginObject& plugin);
};

// The program part of a command line: arguments and quotes removed.
std::wstring CommandProgram(const wchar_t* commandLine);
// The text after the program, blanks trimmed.
std::wstring CommandArguments(const wchar_t* commandLine);

}  // namespace pw
