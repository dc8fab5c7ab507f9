#include "core/PluginAccountOwner.h"

#include <windows.h>
#include <shellapi.h>

#include "account/MailMessage.h"
#include "core/PluginObject.h"
#include "filter/RuleEngine.h"

namespace pw {
namespace {

// The window releases the reference that travels with the message.
template <typename Record>
void PostRecord(PluginObject& plugin, UINT message, WPARAM wParam, Record& record) {
  if (!plugin.ListWindowExists()) return;
  record.AddRef();
  if (!plugin.PostToList(message, wParam, reinterpret_cast<LPARAM>(&record))) record.Release();
}

}  // namespace

bool PluginAccountOwner::Paused() const { return plugin_.Settings().pause != 0; }

uint32_t PluginAccountOwner::ConnectionFlags() const { return plugin_.ConnectionFlags(); }

bool PluginAccountOwner::FilteringEnabled() const { return plugin_.Settings().useFilter != 0; }

bool PluginAccountOwner::ListWindowOpen() const { return plugin_.ListWindowExists(); }

void PluginAccountOwner::TakeHeader(MailAccount& account, MailMessage& message) {
  if (FilteringEnabled()) applyRules(*plugin_.Rules().Current(), &account, message);
  if (!message.HasFlag(MessageFlags::Delete)) PostRecord(plugin_, WM_USER, 0, message);
}

void PluginAccountOwner::TakeBody(MailAccount& account, MailMessage& message) {
  if (FilteringEnabled() && message.HasFlag(MessageFlags::Reevaluate))
    applyRules(*plugin_.Rules().Current(), &account, message);
  PostRecord(plugin_, WM_USER, 0, message);
}

// Messages to the list window: WM_USER with a kind in wParam, WM_USER + 1
// for a message added or changed, WM_USER + 10 + status for a status.
void PluginAccountOwner::MessageAdded(MailAccount& account, MailMessage& message) {
  if (!plugin_.ListWindowExists()) return;
  account.AddRef();
  message.AddRef();
  if (!plugin_.PostToList(WM_USER + 1, reinterpret_cast<WPARAM>(&account), reinterpret_cast<LPARAM>(&message))) {
    message.Release();
    account.Release();
  }
}
void PluginAccountOwner::MessageRemoved(MailAccount&, MailMessage& m) {
  PostRecord(plugin_, WM_USER, 1, m);
  plugin_.WakeChecker();  // the count on the button may change
}
void PluginAccountOwner::MessageRead(MailAccount&, MailMessage& m) {
  PostRecord(plugin_, WM_USER, 3, m);
  plugin_.WakeChecker();  // the button may change
}

// The button shows the check's outcome at once, not at the next timed tick.
void PluginAccountOwner::CheckEnded(MailAccount&) { plugin_.WakeChecker(); }
void PluginAccountOwner::MessagesReset(MailAccount& a) { PostRecord(plugin_, WM_USER, 2, a); }
void PluginAccountOwner::ScheduleChanged(MailAccount& a) { PostRecord(plugin_, WM_USER, 5, a); }
void PluginAccountOwner::EventLogged(MailAccount& a) { PostRecord(plugin_, WM_USER, 7, a); }
void PluginAccountOwner::EventsCleared(MailAccount& a) { PostRecord(plugin_, WM_USER, 8, a); }

void PluginAccountOwner::StatusChanged(MailAccount& account, uint32_t status, uint32_t arg) {
  if (status > 8 || !plugin_.ListWindowExists()) return;
  account.AddRef();
  if (!plugin_.PostToList(WM_USER + 10 + status, reinterpret_cast<WPARAM>(&account), arg)) account.Release();
}

void PluginAccountOwner::LogDeletedMessage(MailAccount& account, MailMessage& message) {
  plugin_.LogDeletedMessage(account, message);
}

void PluginAccountOwner::PlayNotifySound(const wchar_t* file) { plugin_.PlayNotifySound(file); }

bool PluginAccountOwner::Proxy(ProxyParams& out) const {
  const ProxySettings& p = plugin_.Settings().proxy;
  if (!(p.options & 0xFF)) return false;
  out.host = p.server;
  out.port = static_cast<uint32_t>(p.port);
  out.kind = static_cast<uint32_t>(p.options);
  out.user = p.user;
  out.password = p.password;
  return true;
}

void PluginAccountOwner::RunAccountCommand(const wchar_t* cmdLine, const wchar_t* workDir, bool hidden) {
  const std::wstring program = CommandProgram(cmdLine);
  const std::wstring args = CommandArguments(cmdLine);
  ShellExecuteW(nullptr, nullptr, program.c_str(), args.empty() ? nullptr : args.c_str(),
                workDir && workDir[0] ? workDir : nullptr, hidden ? SW_HIDE : SW_SHOWNORMAL);
}

}  // namespace pw
