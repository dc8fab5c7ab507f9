// An account owner that records what the account reports, for tests.
#pragma once

#include <string>
#include <vector>

#include "account/AccountOwner.h"
#include "account/MailAccount.h"
#include "account/MailMessage.h"

namespace pwtest {

class FakeOwner final : public pw::AccountOwner {
 public:
  bool paused = false;
  uint32_t connection = 0;
  bool filtering = false;
  bool listOpen = false;
  // Flags a "rule" sets on every header taken in, and the sound it plays.
  uint32_t flagsOnHeader = 0;
  std::wstring ruleSoundOnHeader;
  uint32_t now = 1700000000;  // the scheduler's clock

  std::vector<std::wstring> removed, added, read, headers, bodies, deletedLog, sounds;
  std::vector<std::wstring> commands;
  int resets = 0, events = 0, eventsCleared = 0, scheduleChanges = 0, checksEnded = 0;
  std::vector<std::pair<uint32_t, uint32_t>> statuses;

  bool Paused() const override { return paused; }
  uint32_t ConnectionFlags() const override { return connection; }
  bool FilteringEnabled() const override { return filtering; }
  bool ListWindowOpen() const override { return listOpen; }
  void TakeHeader(pw::MailAccount&, pw::MailMessage& m) override {
    headers.push_back(Id(m));
    m.SetFlags(flagsOnHeader);
    if (!ruleSoundOnHeader.empty()) {
      m.ruleSound.Set(ruleSoundOnHeader.c_str());
      sounds.push_back(ruleSoundOnHeader);  // the rule plays it when it matches
    }
  }
  void TakeBody(pw::MailAccount&, pw::MailMessage& m) override { bodies.push_back(Id(m)); }
  void MessageAdded(pw::MailAccount&, pw::MailMessage& m) override { added.push_back(Id(m)); }
  void MessageRemoved(pw::MailAccount&, pw::MailMessage& m) override { removed.push_back(Id(m)); }
  void MessageRead(pw::MailAccount&, pw::MailMessage& m) override { read.push_back(Id(m)); }
  void MessagesReset(pw::MailAccount&) override { ++resets; }
  void StatusChanged(pw::MailAccount&, uint32_t s, uint32_t a) override { statuses.emplace_back(s, a); }
  void EventLogged(pw::MailAccount&) override { ++events; }
  void EventsCleared(pw::MailAccount&) override { ++eventsCleared; }
  void LogDeletedMessage(pw::MailAccount&, pw::MailMessage& m) override { deletedLog.push_back(Id(m)); }
  void PlayNotifySound(const wchar_t* file) override { sounds.emplace_back(file); }
  uint32_t Now() const override { return now; }
  void RunAccountCommand(const wchar_t* cmdLine, const wchar_t*, bool) override { commands.emplace_back(cmdLine); }
  void ScheduleChanged(pw::MailAccount&) override { ++scheduleChanges; }
  void CheckEnded(pw::MailAccount&) override { ++checksEnded; }

  static std::wstring Id(const pw::MailMessage& m) { return m.Uidl() ? m.Uidl() : L"<null>"; }
};

// A fresh account with one reference, released at scope end.
inline pw::RefPtr<pw::MailAccount> NewAccount(pw::AccountOwner* owner) {
  return pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(owner));
}

// The UIDLs of the account's list, in order.
inline std::vector<std::wstring> Uidls(const pw::MailAccount& a) {
  pw::SharedGuard g(a.MessageLock());
  std::vector<std::wstring> out;
  for (const auto& m : a.Messages()) out.push_back(FakeOwner::Id(*m));
  return out;
}

// One whole listing as a POP3 session delivers it: begin, entries, end.
inline std::vector<int> List(pw::MailAccount& a, const std::vector<std::string>& uidls, uint32_t size = 100) {
  std::vector<int> actions;
  a.OnListEntry(nullptr, 0);
  for (const auto& u : uidls) actions.push_back(a.OnListEntry(u.c_str(), size));
  a.OnListEntry(nullptr, pw::kListingEnd);
  return actions;
}

}  // namespace pwtest
