#include "filter/RuleSnapshot.h"

#include <windows.h>

#include "regex/Regex.h"

namespace pw {

CompiledCondition::CompiledCondition() = default;
CompiledCondition::~CompiledCondition() = default;

void FoldCase(std::wstring& text) {
  // Most header text is ASCII: folded here without a call into the system.
  for (wchar_t& c : text) {
    if (c >= 0x80) {
      CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
      return;
    }
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
  }
}

namespace {

bool IsPatternKind(uint32_t kind) { return kind == SearchType::Regex || kind == SearchType::BodyRegex; }

}  // namespace

RuleSnapshot::RuleSnapshot(std::unique_ptr<RuleList> list) : list_(std::move(list)) {
  if (!list_) list_ = std::make_unique<RuleList>();
  address_ = std::make_unique<regex::Pattern>(regex::Compile(std::wstring_view(L"[[:alnum:]\\._]+@[\\.[:alnum:]_\\-]+")));
  for (const auto& rule : list_->rules) {
    for (const auto& set : rule->sets) {
      auto compiled = std::make_unique<CompiledCondition[]>(set->conditions.size());
      for (size_t i = 0; i < set->conditions.size(); ++i) {
        const Condition& c = set->conditions[i];
        CompiledCondition& out = compiled[i];
        out.folded = c.substring;
        FoldCase(out.folded);
        out.field = c.field;
        FoldCase(out.field);
        if (!IsPatternKind(c.searchType & SearchType::KindMask)) continue;
        try {
          out.pattern = std::make_unique<regex::Pattern>(regex::Compile(std::wstring_view(c.substring)));
        } catch (const regex::bad_regexpr&) {
          out.broken = true;
        } catch (const std::bad_alloc&) {
          out.broken = true;
        }
      }
      compiled_.emplace(set.get(), std::move(compiled));
    }
  }
}

RuleSnapshot::~RuleSnapshot() = default;

const CompiledCondition* RuleSnapshot::Compiled(const ConditionSet& set) const {
  auto it = compiled_.find(&set);
  return it == compiled_.end() ? nullptr : it->second.get();
}

RuleBook::RuleBook() : current_(std::make_shared<RuleSnapshot>(nullptr)) {}

std::shared_ptr<const RuleSnapshot> RuleBook::Current() const {
  ScopedLock g(lock_);
  return current_;
}

void RuleBook::Publish(std::unique_ptr<RuleList> list) {
  auto next = std::make_shared<const RuleSnapshot>(std::move(list));
  std::shared_ptr<const RuleSnapshot> old;
  {
    ScopedLock g(lock_);
    old = std::move(current_);
    current_ = std::move(next);
  }
  // `old` goes here, or with the last check still holding it.
}

std::unique_ptr<RuleList> RuleBook::Copy() const {
  return std::make_unique<RuleList>(Current()->List());
}

}  // namespace pw
