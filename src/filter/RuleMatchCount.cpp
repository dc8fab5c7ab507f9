#include "filter/RuleMatchCount.h"

#include <memory>

#include "base/SharedLock.h"
#include "filter/RuleEngine.h"
#include "filter/RuleSnapshot.h"

namespace pw {

std::vector<HeldMessage> GatherMessages(const std::vector<RefPtr<MailAccount>>& accounts) {
  std::vector<HeldMessage> out;
  for (const auto& a : accounts) {
    if (!a) continue;
    SharedGuard g(a->MessageLock());
    out.reserve(out.size() + a->Messages().Size());
    for (const auto& m : a->Messages())
      if (!m->IsOutgoing() && m->rawHeader.IsSet()) out.push_back({a, RefPtr<MailMessage>(m.Get())});
  }
  return out;
}

std::optional<size_t> CountRuleMatches(const FilterRule& rule, const std::vector<HeldMessage>& messages,
                                       const std::function<bool()>& stop) {
  // The rule alone, doing nothing: the engine then only decides whether it
  // matches, and marks that by taking the rule's colours.
  auto list = std::make_unique<RuleList>();
  auto copy = std::make_unique<FilterRule>(rule);
  copy->result = 0;
  list->rules.push_back(std::move(copy));
  const RuleSnapshot snapshot(std::move(list));
  ApplyOptions options;
  options.dnsblCacheOnly = true;
  options.dnsblWaitMs = 0;
  size_t count = 0;
  for (const HeldMessage& h : messages) {
    if (stop && stop()) return std::nullopt;
    // Readers only: the checker may be storing into the same account.
    SharedGuard g(h.account->MessageLock());
    if (EvaluateRules(snapshot, *h.message, options).colors) ++count;
  }
  return count;
}

}  // namespace pw
