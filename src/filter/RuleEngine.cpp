// Evaluation of the rule list over one message. Each field, text and
// attachment list of the message is decoded and case-folded at most once per
// pass (MessageView); patterns come compiled from the snapshot.
#include "filter/RuleEngine.h"

#include <shlwapi.h>

#include <unordered_map>

#include "account/MailAccount.h"
#include "account/MessageBody.h"
#include "base/StrConv.h"
#include "filter/Dnsbl.h"
#include "mime/HeaderFields.h"
#include "regex/Regex.h"

namespace pw {
namespace {

enum class Verdict { Fails, Holds, Broken };

struct TextPair {
  std::wstring text, folded;
};

class MessageView {
 public:
  MessageView(const RuleSnapshot& rules, const MailMessage& m, const ApplyOptions& options,
              std::vector<std::wstring>& log)
      : needBody(m.HasFlag(MessageFlags::NeedBody)), rules_(rules), m_(m), options_(options), log_(log) {}

  const MailMessage& Message() const { return m_; }
  bool BodyPresent() const { return m_.rawMessage.IsSet(); }

  // Indices of the decoded fields named `key` (case-folded), in header order.
  const std::vector<uint32_t>& Fields(const std::wstring& key) {
    if (!indexed_) {
      indexed_ = true;
      uint32_t i = 0;
      for (const HeaderField f : m_.headerFields) {
        std::wstring key(f.first);
        FoldCase(key);
        byName_[key].push_back(i++);
      }
      folded_.resize(i);
    }
    auto it = byName_.find(key);
    static const std::vector<uint32_t> kNone;
    return it == byName_.end() ? kNone : it->second;
  }
  std::wstring_view Value(uint32_t i) const { return m_.headerFields[i].second; }
  const std::wstring& Folded(uint32_t i) {
    auto& f = folded_[i];
    if (!f) {
      f.emplace(m_.headerFields[i].second);
      FoldCase(*f);
    }
    return *f;
  }

  // The undecoded value of the first field named `name`; the name must
  // stand at the start of a header line, so "Subject" is not found inside
  // "X-Old-Subject".
  const std::optional<TextPair>& Raw(const std::wstring& key) {
    auto it = raw_.find(key);
    if (it != raw_.end()) return it->second;
    if (!split_) {
      split_ = true;
      if (m_.rawHeader.IsSet()) splitFields(m_.rawHeader.Get(), m_.rawHeader.Size(), rawFields_);
    }
    std::optional<TextPair> found;
    for (const RawField& f : rawFields_) {
      if (f.nameLength != key.size()) continue;
      size_t k = 0;
      while (k < key.size() && towlower(static_cast<unsigned char>(f.name[k])) == key[k]) ++k;
      if (k != key.size()) continue;
      size_t skip = 0;
      while (skip < f.valueLength && (f.value[skip] == ' ' || f.value[skip] == '\t')) ++skip;
      TextPair p;
      p.text = AnsiToWide(std::string(f.value + skip, f.valueLength - skip).c_str());
      p.folded = p.text;
      FoldCase(p.folded);
      found = std::move(p);
      break;
    }
    return raw_.emplace(key, std::move(found)).first->second;
  }

  // The readable texts of the leaf parts, depth-first.
  const std::vector<TextPair>& Leaves(bool folded) {
    if (!leavesRead_) {
      leavesRead_ = true;
      for (int i = 0;; ++i) {
        std::optional<std::wstring> t = leafText(m_, i);
        if (!t) break;
        leaves_.push_back({std::move(*t), std::wstring()});
      }
    }
    if (folded && !leavesFolded_) {
      leavesFolded_ = true;
      for (TextPair& p : leaves_) {
        p.folded = p.text;
        FoldCase(p.folded);
      }
    }
    return leaves_;
  }

  const std::vector<AttachmentName>& Attachments() {
    if (!attachmentsRead_) {
      attachmentsRead_ = true;
      attachmentNames(m_, attachments_);
    }
    return attachments_;
  }

  // The black-list answer for an address under a zone. The first question
  // sends every question of the whole list at once.
  const DnsblAnswer* Answer(const std::wstring& zone, uint32_t address) {
    if (!asked_) AskAll();
    for (size_t i = 0; i < queries_.size(); ++i)
      if (queries_[i].address == address && _wcsicmp(queries_[i].zone.c_str(), zone.c_str()) == 0)
        return &answers_[i];
    return nullptr;
  }
  const std::vector<uint32_t>& Addresses() {
    if (!addressesRead_) {
      addressesRead_ = true;
      addresses_ = ReceivedAddresses(m_);
    }
    return addresses_;
  }

  void Log(std::wstring line) { log_.push_back(std::move(line)); }

  bool needBody;
  bool needBodyNow = false;  // a condition asked for the missing body

 private:
  void AskAll() {
    asked_ = true;
    const std::vector<uint32_t>& addresses = Addresses();
    if (addresses.empty()) return;
    for (const auto& rule : rules_.List().rules)
      for (const auto& set : rule->sets) {
        if (set->disable || !set->dnsbl || !set->dnsbl->zone.IsSet() || !*set->dnsbl->zone.Get()) continue;
        for (uint32_t a : addresses) {
          bool dup = false;
          for (const DnsblQuery& q : queries_)
            dup = dup || (q.address == a && _wcsicmp(q.zone.c_str(), set->dnsbl->zone.Get()) == 0);
          if (!dup) queries_.push_back({set->dnsbl->zone.Get(), a});
        }
      }
    if (queries_.empty()) return;
    answers_ = DnsblLookup::Instance().Resolve(queries_, options_.dnsblWaitMs, options_.dnsblCacheOnly, &log_);
  }

  const RuleSnapshot& rules_;
  const MailMessage& m_;
  const ApplyOptions& options_;
  std::vector<std::wstring>& log_;
  bool indexed_ = false;
  std::unordered_map<std::wstring, std::vector<uint32_t>> byName_;
  std::vector<std::optional<std::wstring>> folded_;
  bool split_ = false;
  std::vector<RawField> rawFields_;
  std::unordered_map<std::wstring, std::optional<TextPair>> raw_;
  bool leavesRead_ = false, leavesFolded_ = false;
  std::vector<TextPair> leaves_;
  bool attachmentsRead_ = false;
  std::vector<AttachmentName> attachments_;
  bool asked_ = false, addressesRead_ = false;
  std::vector<uint32_t> addresses_;
  std::vector<DnsblQuery> queries_;
  std::vector<DnsblAnswer> answers_;
};

bool StartsWith(std::wstring_view v, std::wstring_view s) { return v.size() >= s.size() && v.substr(0, s.size()) == s; }
bool EndsWith(std::wstring_view v, std::wstring_view s) {
  return v.size() >= s.size() && v.substr(v.size() - s.size()) == s;
}

bool IsKnownKind(uint32_t kind) {
  return kind == 1 || (kind >= 3 && kind <= 10) || (kind >= 16 && kind <= 19);
}

// Whether one value satisfies a header kind; Broken for a pattern that
// cannot be used.
Verdict Satisfies(const RuleSnapshot& rules, const Condition& c, const CompiledCondition& cc, std::wstring_view text,
                  std::wstring_view folded) {
  const uint32_t kind = c.searchType & SearchType::KindMask;
  const bool exact = (c.searchType & SearchType::MatchCase) != 0;
  const std::wstring_view v = exact ? text : folded;
  const std::wstring_view s = exact ? std::wstring_view(c.substring) : std::wstring_view(cc.folded);
  bool ok = false;
  switch (kind) {
    case SearchType::IsBlank: ok = text.empty(); break;
    case SearchType::IsPresent: ok = true; break;
    case SearchType::Contains: ok = v.find(s) != std::wstring_view::npos; break;
    case SearchType::StartsWith: ok = StartsWith(v, s); break;
    case SearchType::EndsWith: ok = EndsWith(v, s); break;
    case SearchType::IsEqual: ok = v == s; break;
    case SearchType::Regex: {
      if (cc.broken || !cc.pattern) return Verdict::Broken;
      regex::Match m = regex::Find(*cc.pattern, text);
      if (m.limitReached) return Verdict::Broken;
      ok = m.matched;
      break;
    }
    case SearchType::AddressCount: ok = regex::Count(rules.AddressPattern(), text) > c.size; break;
    default: ok = false;
  }
  return ok ? Verdict::Holds : Verdict::Fails;
}

Verdict Evaluate(const RuleSnapshot& rules, MessageView& view, const Condition& c, const CompiledCondition& cc) {
  const uint32_t kind = c.searchType & SearchType::KindMask;
  const bool negate = (c.searchType & SearchType::Not) != 0;
  if (!IsKnownKind(kind)) return Verdict::Fails;
  if (cc.broken) return Verdict::Broken;
  const MailMessage& m = view.Message();
  switch (kind) {
    case SearchType::MinSize: return m.size <= c.size ? Verdict::Holds : Verdict::Fails;
    case SearchType::MaxSize: return m.size >= c.size ? Verdict::Holds : Verdict::Fails;
    case SearchType::BodyContains:
    case SearchType::BodyRegex:
    case SearchType::HasAttachment: {
      if (!view.BodyPresent()) {
        view.needBodyNow = true;
        return Verdict::Fails;
      }
      bool found = false;
      if (kind == SearchType::HasAttachment) {
        for (const AttachmentName& a : view.Attachments())
          if (PathMatchSpecW(a.name.c_str(), c.substring)) found = true;
        return found ? Verdict::Holds : Verdict::Fails;  // NOT is not applied here
      }
      const bool exact = (c.searchType & SearchType::MatchCase) != 0;
      for (const TextPair& leaf : view.Leaves(kind == SearchType::BodyContains && !exact)) {
        if (kind == SearchType::BodyContains) {
          found = exact ? leaf.text.find(c.substring) != std::wstring::npos
                        : leaf.folded.find(cc.folded) != std::wstring::npos;
        } else {
          regex::Match r = regex::Find(*cc.pattern, leaf.text);
          if (r.limitReached) return Verdict::Broken;
          found = r.matched;
        }
        if (found) break;
      }
      return found != negate ? Verdict::Holds : Verdict::Fails;
    }
    default: break;
  }
  // Header kinds: every value of the field, or the raw text of the first.
  bool any = false;
  auto one = [&](std::wstring_view text, std::wstring_view folded) -> std::optional<Verdict> {
    any = true;
    Verdict v = Satisfies(rules, c, cc, text, folded);
    if (v == Verdict::Broken) return v;
    if ((v == Verdict::Holds) != negate) return Verdict::Holds;
    return std::nullopt;
  };
  if (c.searchType & SearchType::Raw) {
    const std::optional<TextPair>& raw = view.Raw(cc.field);
    if (raw)
      if (auto v = one(raw->text, raw->folded)) return *v;
  } else {
    for (uint32_t i : view.Fields(cc.field))
      if (auto v = one(view.Value(i), view.Folded(i))) return *v;
  }
  // An absent field is one value that does not satisfy the kind.
  if (!any && negate) return Verdict::Holds;
  return Verdict::Fails;
}

bool MatchDnsblSet(MessageView& view, const ConditionSet& set, std::wstring& filterText) {
  const DnsblService& s = *set.dnsbl;
  if (!s.zone.IsSet() || !*s.zone.Get()) return false;
  for (uint32_t address : view.Addresses()) {
    const DnsblAnswer* a = view.Answer(s.zone.Get(), address);
    std::wstring reason;
    if (a && DnsblListed(s, *a, &reason)) {
      filterText = L"reported by '" + std::wstring(s.name.Str()) + L"': " + reason;
      return true;
    }
  }
  return false;
}

bool MatchSet(const RuleSnapshot& rules, MessageView& view, const FilterRule& rule, const ConditionSet& set,
              std::wstring& filterText) {
  if (set.disable) return false;
  if (set.dnsbl) return MatchDnsblSet(view, set, filterText);
  const CompiledCondition* compiled = rules.Compiled(set);
  for (size_t i = 0; i < set.conditions.size(); ++i) {
    const Condition& c = set.conditions[i];
    Verdict v = compiled ? Evaluate(rules, view, c, compiled[i]) : Verdict::Fails;
    if (v == Verdict::Holds) continue;
    if (v == Verdict::Broken && compiled && !compiled[i].reported.exchange(true)) {
      view.Log(L"Filter rule '" + std::wstring(rule.name) + L"': the regular expression '" + c.substring +
               (compiled[i].broken ? L"' is not valid" : L"' took too long") + L"; its condition set does not match");
    }
    return false;
  }
  filterText = describeSet(set);
  return true;
}

}  // namespace

RuleOutcome EvaluateRules(const RuleSnapshot& rules, const MailMessage& m, const ApplyOptions& options) {
  RuleOutcome out;
  // Queued replies are not mail that arrived: the rules would make them
  // Normal, and the next listing would then drop them.
  if (m.IsOutgoing() || !m.rawHeader.IsSet() || rules.List().rules.empty()) return out;
  out.ran = true;
  MessageView view(rules, m, options, out.log);
  const bool bodyPresent = view.BodyPresent();
  if (bodyPresent) out.clearFlags |= MessageFlags::Reevaluate;
  bool saved = m.HasState(MessageState::Saved);
  bool commandRun = m.HasState(MessageState::CommandRun);
  for (const auto& rulePtr : rules.List().rules) {
    const FilterRule& rule = *rulePtr;
    uint32_t r = 0;
    bool matched = false;
    for (const auto& set : rule.sets) {
      std::wstring filterText;
      if (!MatchSet(rules, view, rule, *set, filterText)) continue;
      matched = true;
      out.filterText = std::move(filterText);
      break;
    }
    if (view.needBodyNow) {
      view.needBody = true;
      out.setFlags |= MessageFlags::NeedBody | MessageFlags::Reevaluate;
    }
    if (matched) {
      if (view.needBody && (rule.result & RuleResult::FreeBodyAction)) out.setFlags |= MessageFlags::FreeBody;
      out.colors = true;
      out.color = rule.color;
      out.bkColor = rule.bkColor;
      if (rule.icon[0]) out.icon = std::wstring(rule.icon);
      r = rule.result;
    } else if (view.needBody) {
      if (rule.result & RuleResult::FreeBodyAction) out.setFlags |= MessageFlags::FreeBody;
      r = RuleResult::Undecided;
    }
    if (!r) continue;
    if (r & RuleResult::Undecided) break;
    if (r & RuleResult::MarkApproved) out.type = MessageType::Approved;
    if (r & RuleResult::MarkSpam) out.type = MessageType::Spam;
    if (r & RuleResult::DeleteFromServer) out.setFlags |= MessageFlags::Delete;
    if (r & RuleResult::PlaySoundAction) {
      out.ruleSound = std::wstring(rule.soundFile);
      out.setFlags |= MessageFlags::PlaySound;
    }
    if ((r & RuleResult::SaveMessage) && !saved) {
      out.setFlags |= MessageFlags::SaveIntoFolder | MessageFlags::SaveToFile;
      out.savePath = std::wstring(rule.savePath);
      // A body already here needs no fetch, and no later rule waits for it.
      if (!bodyPresent) {
        out.setFlags |= MessageFlags::NeedBody;
        view.needBody = true;
      }
    }
    if ((r & RuleResult::RunCommandAction) && !commandRun) {
      out.setFlags |= MessageFlags::RunCommand;
      out.command = std::wstring(rule.cmdLine);
      out.commandHidden = rule.runHidden;
    }
    if (r & RuleResult::FreeBodyAction) out.setFlags |= MessageFlags::FreeBody;
    if (r & RuleResult::MarkDangerous) out.type = MessageType::Dangerous;
    if (r & RuleResult::MarkRead) out.markRead = true;
    if (!(r & RuleResult::ContinueRules)) break;
  }
  out.clearFlags &= ~out.setFlags;
  return out;
}

namespace {

void Store(MailMessage& m, const RuleOutcome& o) {
  if (o.type) m.SetType(*o.type);
  m.ClearFlags(o.clearFlags);
  m.SetFlags(o.setFlags);
  if (o.markRead) m.ClearState(MessageState::New);
  if (o.colors) {
    m.color = o.color;
    m.bkColor = o.bkColor;
  }
  if (o.icon) m.icon.Set(o.icon->c_str());
  if (o.filterText) m.filterText.Set(o.filterText->c_str());
  if (o.ruleSound) m.ruleSound.Set(o.ruleSound->c_str());
  if (o.savePath) m.savePath.Set(o.savePath->c_str());
  if (o.command) {
    m.command.Set(o.command->c_str());
    m.commandHidden = o.commandHidden;
  }
}

void ResetClassification(MailMessage& m) {
  m.SetType(MessageType::Normal);
  m.color = kDefaultColor;
  m.bkColor = kDefaultColor;
  m.icon.Reset();
  m.filterText.Reset();
}

}  // namespace

void StoreOutcome(MailAccount* account, MailMessage& m, const RuleOutcome& o) {
  if (!o.ran) return;
  if (account) {
    ExclusiveGuard g(account->MessageLock());
    Store(m, o);
  } else {
    Store(m, o);
  }
  if (!account) return;
  account->dirty = 1;
  for (const std::wstring& line : o.log) account->LogEvent(2 /* information */, line.c_str());
}

void applyRules(const RuleSnapshot& rules, MailAccount* account, MailMessage& message, const ApplyOptions& options) {
  StoreOutcome(account, message, EvaluateRules(rules, message, options));
}

void reapplyFilters(const RuleSnapshot& rules, MailAccount& account) {
  std::vector<RefPtr<MailMessage>> list;
  {
    SharedGuard g(account.MessageLock());
    for (const auto& m : account.Messages())
      if (!m->IsOutgoing() && m->rawHeader.IsSet()) list.emplace_back(m.Get());
  }
  ApplyOptions options;
  options.dnsblCacheOnly = true;
  options.dnsblWaitMs = 0;
  for (auto& m : list) {
    RuleOutcome o;
    {
      // Readers only: a window thread must not race the checker's writes.
      SharedGuard g(account.MessageLock());
      o = EvaluateRules(rules, *m, options);
    }
    if (!o.ran) continue;
    {
      ExclusiveGuard g(account.MessageLock());
      ResetClassification(*m);
      Store(*m, o);
    }
    for (const std::wstring& line : o.log) account.LogEvent(2, line.c_str());
  }
  account.dirty = 1;
}

}  // namespace pw
