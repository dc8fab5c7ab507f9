// An immutable rule list as the checker reads it, with each condition's
// substring case-folded and each pattern compiled once. An edit publishes a
// new snapshot; a check that holds the old one keeps it alive until it ends.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>

#include "base/Scoped.h"
#include "filter/RuleModel.h"

namespace regex {
class Pattern;
}

namespace pw {

struct CompiledCondition {
  std::wstring folded;  // the substring, case-folded
  std::wstring field;   // the field name, case-folded
  std::unique_ptr<regex::Pattern> pattern;  // regular-expression kinds
  bool broken = false;                      // the pattern does not compile
  mutable std::atomic<bool> reported{false};  // the log has said so
  CompiledCondition();
  ~CompiledCondition();
};

class RuleSnapshot {
 public:
  explicit RuleSnapshot(std::unique_ptr<RuleList> list);
  RuleSnapshot(const RuleSnapshot&) = delete;
  RuleSnapshot& operator=(const RuleSnapshot&) = delete;
  ~RuleSnapshot();

  const RuleList& List() const { return *list_; }
  // The compiled form of the conditions of a set of this list.
  const CompiledCondition* Compiled(const ConditionSet& set) const;
  // The address pattern of the address-count kind.
  const regex::Pattern& AddressPattern() const { return *address_; }

 private:
  std::unique_ptr<RuleList> list_;
  std::unordered_map<const ConditionSet*, std::unique_ptr<CompiledCondition[]>> compiled_;
  std::unique_ptr<regex::Pattern> address_;
};

// Case folding used on both sides of a comparison that ignores case.
void FoldCase(std::wstring& text);

// Holds the current snapshot. Readers take a reference; Publish replaces it.
class RuleBook {
 public:
  RuleBook();
  std::shared_ptr<const RuleSnapshot> Current() const;
  void Publish(std::unique_ptr<RuleList> list);
  // A copy of the current list, to edit and publish.
  std::unique_ptr<RuleList> Copy() const;

 private:
  mutable CriticalSection lock_;
  std::shared_ptr<const RuleSnapshot> current_;
};

}  // namespace pw
