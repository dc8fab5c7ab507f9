#include "filter/PluginAccountOwner.h"

#include <windows.h>
#include <shellapi.h>

#include "core/PluginObject.h"
#include "filter/MailMessage.h"
#include "filter/RuleSeam.h"

namespace pw {

bool PluginAccountOwner::Paused() const { return plugin_.Settings().pause != 0; }

uint32_t PluginAccountOwner::ConnectionFlags() const { return plugin_.ConnectionFlags(); }

bool PluginAccountOwner::FilteringEnabled() const { return plugin_.Settings().useFilter != 0; }

// The messages list window is not built yet: it is never open, and the
// reports below have nobody to go to.
bool PluginAccountOwner::ListWindowOpen() const { return false; }

void PluginAccountOwner::TakeHeader(MailAccount& account, MailMessage& message) {
  if (FilteringEnabled()) ApplyRules(plugin_, account, message);
}

void PluginAccountOwner::TakeBody(MailAccount& account, MailMessage& message) {
  if (FilteringEnabled() && message.HasFlag(MessageFlags::Reevaluate)) ApplyRules(plugin_, account, message);
}

void PluginAccountOwner::MessageAdded(MailAccount&, MailMessage&) {}
void PluginAccountOwner::MessageRemoved(MailAccount&, MailMessage&) {}
void PluginAccountOwner::MessageRead(MailAccount&, MailMessage&) {}
void PluginAccountOwner::MessagesReset(MailAccount&) {}
void PluginAccountOwner::StatusChanged(MailAccount&, uint32_t, uint32_t) {}
void PluginAccountOwner::EventLogged(MailAccount&) {}
void PluginAccountOwner::EventsCleared(MailAccount&) {}

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
