// The Plug-in object as its accounts see it: its settings and state, and
// the reports posted to the messages list window while it exists.
#pragma once

#include "account/AccountOwner.h"

namespace pw {

class PluginObject;

class PluginAccountOwner final : public AccountOwner {
 public:
  explicit PluginAccountOwner(PluginObject& plugin) : plugin_(plugin) {}

  bool Paused() const override;
  uint32_t ConnectionFlags() const override;
  bool FilteringEnabled() const override;
  bool ListWindowOpen() const override;
  void TakeHeader(MailAccount& account, MailMessage& message) override;
  void TakeBody(MailAccount& account, MailMessage& message) override;
  void MessageAdded(MailAccount& account, MailMessage& message) override;
  void MessageRemoved(MailAccount& account, MailMessage& message) override;
  void MessageRead(MailAccount& account, MailMessage& message) override;
  void CheckEnded(MailAccount& account) override;
  void MessagesReset(MailAccount& account) override;
  void StatusChanged(MailAccount& account, uint32_t status, uint32_t arg) override;
  void EventLogged(MailAccount& account) override;
  void EventsCleared(MailAccount& account) override;
  void LogDeletedMessage(MailAccount& account, MailMessage& message) override;
  void PlayNotifySound(const wchar_t* file) override;
  bool Proxy(ProxyParams& out) const override;
  void RunAccountCommand(const wchar_t* cmdLine, const wchar_t* workDir, bool hidden) override;
  void ScheduleChanged(MailAccount& account) override;

 private:
  PluginObject& plugin_;
};

}  // namespace pw
