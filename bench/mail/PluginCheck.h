// The plug-in's side of the mail benchmark: an account owner that does what
// a quiet Plug-in object does (filtering on, no list window), and a session
// sink that forwards every report to the account as the account's own sink
// does: log entries for sent commands and replies, status changes, the
// listing, headers, messages and errors. One Run() is one whole check by a
// MailSession, pumped on the calling thread like the checker thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "account/AccountOwner.h"
#include "account/MailAccount.h"
#include "common/QuietOwner.h"
#include "filter/RuleEngine.h"
#include "mail/MailSessionApi.h"

namespace pwbench {

class BenchOwner final : public QuietOwner {
 public:
  uint32_t flagsOnHeader = 0;  // what a "rule" asks for each header (NeedBody: RETR)
  const pw::RuleSnapshot* rules = nullptr;  // real rules instead, as the plug-in runs them

  bool FilteringEnabled() const override { return true; }
  void TakeHeader(pw::MailAccount& a, pw::MailMessage& m) override {
    if (rules) pw::applyRules(*rules, &a, m);
    else m.SetFlags(flagsOnHeader);
  }
};

// One RETR as the sink saw it.
struct RetrTiming {
  uint32_t number = 0;
  size_t bytes = 0;
  double transfer = 0;  // from "RETR about to be sent" to the text handed over
  double account = 0;   // inside the account's OnMessage
};

// With a null account the sink is bare: it asks for every header, takes
// every text and does nothing else, to show the session's own cost.
class ForwardingSink final : public pw::IMailSessionSink {
 public:
  explicit ForwardingSink(pw::MailAccount* account) : account_(account) {}

  void OnStatus(uint32_t code, const char* text) override;
  void OnError(uint32_t code, uint32_t param, const char* text) override;
  void OnMailboxSize(uint32_t count, uint32_t octets) override {
    if (account_) account_->OnMailboxSize(count, octets);
  }
  int OnListEntry(const char* uidl, uint32_t size) override;
  int OnHeader(const char* uidl, const char* text) override;
  int OnMessage(const char* uidl, const char* text) override;
  void OnDeleted(const char* uidl) override;
  void OnCommandFailed(const char* uidl, int command, const char* text) override {
    if (account_) account_->OnCommandFailed(uidl, command, text);
  }

  int bareHeaderAction = pw::kActionNone;  // what a bare sink answers to a header
  int bareListAction = pw::kActionHeader;  // and to each listed message
  // Dropped (no QUIT, so the server commits nothing) once every listed
  // message was deleted: the mailbox stays for the next run.
  pw::IMailSession* dropAfterDeletes = nullptr;
  size_t deleted = 0;
  bool closed = false;
  uint32_t errors = 0;
  double inAccount = 0;  // wall time spent in the account's callbacks and log
  size_t listed = 0, headers = 0, messages = 0;
  std::vector<RetrTiming> retrs;

 private:
  void Report(uint32_t code, const char* text);

  pw::MailAccount* account_;
  double retrStart_ = 0;
  uint32_t retrNumber_ = 0;
};

struct CheckResult {
  bool ok = false;
  double seconds = 0;
  double cpu = 0;  // this thread's CPU time
  double inAccount = 0;  // wall time in the account's callbacks and log
  size_t listed = 0, headers = 0, messages = 0, deleted = 0;
  std::vector<RetrTiming> retrs;
};

// One check of 127.0.0.1:port by a MailSession reporting to `account`, or
// to a bare sink when it is null.
// bareListAction kActionDelete: every message deleted, then dropped.
CheckResult Run(pw::MailAccount* account, int port, int bareHeaderAction = pw::kActionNone, uint32_t options = 0,
                int bareListAction = pw::kActionHeader);

}  // namespace pwbench
