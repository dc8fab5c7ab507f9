// What an account needs from the object that owns it (the Plug-in object):
// the global state it consults and the places it reports to. Calls come from
// whichever thread works on the account. The account holds none of its
// locks while it calls these, except PlayNotifySound, which runs under its
// message lock in shared mode and so must not take that lock exclusively.
#pragma once

#include <cstdint>

namespace pw {

class MailAccount;
class MailMessage;

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

 protected:
  ~AccountOwner() = default;
};

}  // namespace pw
