// What an account needs from the object that owns it (the Plug-in object):
// the global state it consults and the places it reports to. Calls come from
// whichever thread works on the account. The account holds none of its
// locks while it calls these, except PlayNotifySound, which runs under its
// message lock in shared mode and so must not take that lock exclusively.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace pw {

class MailAccount;
class MailMessage;

// The proxy every session goes through; kind as the session takes it
// (low byte the proxy type, 0x800 log in at the proxy).
struct ProxyParams {
  std::wstring host;
  uint32_t port = 0;
  uint32_t kind = 0;
  std::wstring user;
  std::wstring password;
};

class AccountOwner {
 public:
  virtual bool Paused() const = 0;
  // Bit 0: a dial-up connection is up; bit 1: the system reports an
  // Internet connection.
  virtual uint32_t ConnectionFlags() const = 0;
  virtual bool FilteringEnabled() const = 0;
  virtual bool ListWindowOpen() const = 0;

  // A header arrived: apply the rules when filtering is on and, unless the
  // message is now to be deleted, show it in the messages list. Results that
  // replace owned texts (icon, filter text) are stored under the account's
  // message lock held exclusively, since Save may be reading them.
  virtual void TakeHeader(MailAccount& account, MailMessage& message) = 0;
  // The whole message arrived: apply the rules again when filtering is on
  // and the message asks for it (Reevaluate), then show it.
  virtual void TakeBody(MailAccount& account, MailMessage& message) = 0;

  // Reports to the messages list window.
  virtual void MessageAdded(MailAccount& account, MailMessage& message) = 0;
  virtual void MessageRemoved(MailAccount& account, MailMessage& message) = 0;
  virtual void MessageRead(MailAccount& account, MailMessage& message) = 0;
  virtual void MessagesReset(MailAccount& account) = 0;
  virtual void StatusChanged(MailAccount& account, uint32_t status, uint32_t arg) = 0;
  virtual void EventLogged(MailAccount& account) = 0;
  virtual void EventsCleared(MailAccount& account) = 0;

  // The deleted-messages log.
  virtual void LogDeletedMessage(MailAccount& account, MailMessage& message) = 0;
  // Queues a sound, unless the quiet period forbids it.
  virtual void PlayNotifySound(const wchar_t* file) = 0;

  // The clock of the scheduler, seconds since 1970.
  virtual uint32_t Now() const { return static_cast<uint32_t>(time(nullptr)); }
  // The proxy to use, or false for a direct connection.
  virtual bool Proxy(ProxyParams&) const { return false; }
  // The account's command on new mail.
  virtual void RunAccountCommand(const wchar_t* cmdLine, const wchar_t* workDir, bool hidden) {}
  // The account's seconds to the next check changed.
  virtual void ScheduleChanged(MailAccount&) {}
  // A check (with its send pass) ended.
  virtual void CheckEnded(MailAccount&) {}

 protected:
  ~AccountOwner() = default;
};

}  // namespace pw
