// An account owner that keeps nothing and asks for nothing, so that a
// benchmark measures the account and what lies below it. Benchmarks derive
// from it to answer the few calls they care about.
#pragma once

#include "account/AccountOwner.h"

namespace pwbench {

class QuietOwner : public pw::AccountOwner {
 public:
  bool Paused() const override { return false; }
  uint32_t ConnectionFlags() const override { return 0; }
  bool FilteringEnabled() const override { return false; }
  bool ListWindowOpen() const override { return false; }
  void TakeHeader(pw::MailAccount&, pw::MailMessage&) override {}
  void TakeBody(pw::MailAccount&, pw::MailMessage&) override {}
  void MessageAdded(pw::MailAccount&, pw::MailMessage&) override {}
  void MessageRemoved(pw::MailAccount&, pw::MailMessage&) override {}
  void MessageRead(pw::MailAccount&, pw::MailMessage&) override {}
  void MessagesReset(pw::MailAccount&) override {}
  void StatusChanged(pw::MailAccount&, uint32_t, uint32_t) override {}
  void EventLogged(pw::MailAccount&) override {}
  void EventsCleared(pw::MailAccount&) override {}
  void LogDeletedMessage(pw::MailAccount&, pw::MailMessage&) override {}
  void PlayNotifySound(const wchar_t*) override {}
};

}  // namespace pwbench
