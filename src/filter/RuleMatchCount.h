// How many of the messages in memory one rule matches: the rule editor's
// live count. Runs away from the window's thread over a snapshot of the
// messages, and stops early when asked to.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "account/MailAccount.h"
#include "account/MailMessage.h"
#include "base/RefPtr.h"
#include "filter/RuleModel.h"

namespace pw {

struct HeldMessage {
  RefPtr<MailAccount> account;  // its message lock guards the fields read
  RefPtr<MailMessage> message;
};

// Every message of the accounts that the rules would look at: those with a
// header, queued replies left out. Takes each account's message lock.
std::vector<HeldMessage> GatherMessages(const std::vector<RefPtr<MailAccount>>& accounts);

// The number of `messages` on which one of the rule's enabled sets holds,
// the rule taken alone (the rules before it do not stop it). Black lists
// give only the answers already cached. `stop` is asked between messages;
// when it says so, nothing is returned.
std::optional<size_t> CountRuleMatches(const FilterRule& rule, const std::vector<HeldMessage>& messages,
                                       const std::function<bool()>& stop);

}  // namespace pw
