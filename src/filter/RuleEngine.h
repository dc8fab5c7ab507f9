// Running the rule list over one message. Evaluation reads the message
// without its account's lock (only the checker thread changes a message's
// header and text while a check runs) and gathers everything it decides in
// an outcome, which is then stored under the account's message lock held
// exclusively.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "account/MailMessage.h"
#include "filter/RuleSnapshot.h"

namespace pw {

class MailAccount;

struct RuleOutcome {
  bool ran = false;  // the list was applied at all
  std::optional<MessageType> type;
  uint32_t setFlags = 0;
  uint32_t clearFlags = 0;
  bool markRead = false;
  bool colors = false;
  int32_t color = -1, bkColor = -1;
  std::optional<std::wstring> icon, filterText, ruleSound, savePath, command;
  uint32_t commandHidden = 0;
  // Lines for the account's log.
  std::vector<std::wstring> log;
};

struct ApplyOptions {
  // DNS black lists: the longest wait for answers, and whether only cached
  // answers may be used (a window re-applying the rules).
  DWORD dnsblWaitMs = 1500;
  bool dnsblCacheOnly = false;
};

// What the rules make of the message. Outgoing messages and messages
// without a header are left alone (ran stays false).
RuleOutcome EvaluateRules(const RuleSnapshot& rules, const MailMessage& message, const ApplyOptions& options = {});
// Stores an outcome: under the account's exclusive message lock when an
// account is given. Log lines go to the account's log.
void StoreOutcome(MailAccount* account, MailMessage& message, const RuleOutcome& outcome);

// Both, for a header or a body that has just arrived.
void applyRules(const RuleSnapshot& rules, MailAccount* account, MailMessage& message,
                const ApplyOptions& options = {});
// Runs the rules again over every message of the account that has a header
// (not the queued replies), with cached black-list answers only: type,
// colours and icon start afresh, actions already done are not repeated.
void reapplyFilters(const RuleSnapshot& rules, MailAccount& account);

// Descriptions shown for a condition and a set (texts from the resource module).
std::wstring describeCondition(const ConditionSet& set, const Condition& condition);
std::wstring describeSet(const ConditionSet& set);
// The name of a search function ("Contains"), or empty.
std::wstring searchFunctionName(uint32_t searchType);

}  // namespace pw
