#include "filter/RuleStore.h"

#include <algorithm>
#include <string>

#include "base/SettingsTree.h"

namespace pw {
namespace {

std::wstring Indexed(const wchar_t* stem, int i) { return std::wstring(stem) + L"#" + std::to_wstring(i); }

// A stored count is believed only as far as entries could exist: a damaged
// count of two billion must not spin the loader.
int CappedCount(const SettingsTree& tree, const wchar_t* key) {
  const int32_t n = tree.GetInt(key, 0);
  if (n <= 0) return 0;
  return static_cast<int>(std::min<size_t>(static_cast<size_t>(n), tree.Entries().size()));
}

void SaveSet(SettingsTree& t, const ConditionSet& s) {
  t.SetInt(L"disable", static_cast<int32_t>(s.disable));
  t.SetInt(L"count", static_cast<int32_t>(s.conditions.size()));
  for (size_t i = 0; i < s.conditions.size(); ++i) {
    const Condition& c = s.conditions[i];
    t.CreateNode(Indexed(L"match", static_cast<int>(i)).c_str());
    t.SetString(L"field", c.field);
    t.SetString(L"substring", c.substring);
    t.SetInt(L"searchType", static_cast<int32_t>(c.searchType));
    t.SetInt(L"size", static_cast<int32_t>(c.size));
    t.CloseNode();
  }
  if (s.dnsbl) {
    t.CreateNode(L"DNSBL");
    s.dnsbl->Save(t);
    t.CloseNode();
  }
}

void LoadSet(SettingsTree& t, ConditionSet& s) {
  s.disable = static_cast<uint32_t>(t.GetInt(L"disable", 0));
  const int n = CappedCount(t, L"count");
  for (int i = 0; i < n; ++i) {
    if (!t.EnterNode(Indexed(L"match", i).c_str())) continue;
    Condition c;
    t.GetStringInto(L"field", L"", c.field, kFieldUnits);
    t.GetStringInto(L"substring", L"", c.substring, kFieldUnits);
    // Bits no release defines are dropped rather than kept to mean
    // something later.
    c.searchType = static_cast<uint32_t>(t.GetInt(L"searchType", 0)) & SearchType::KnownBits;
    c.size = static_cast<uint32_t>(t.GetInt(L"size", 0));
    s.conditions.push_back(c);
    t.LeaveNode();
  }
  if (t.EnterNode(L"DNSBL")) {
    s.dnsbl = std::make_unique<DnsblService>();
    s.dnsbl->Load(t);
    t.LeaveNode();
  }
}

}  // namespace

void SaveRuleList(SettingsTree& t, const RuleList& list) {
  t.SetInt(L"count", static_cast<int32_t>(list.rules.size()));
  for (size_t i = 0; i < list.rules.size(); ++i) {
    const FilterRule& r = *list.rules[i];
    t.CreateNode(Indexed(L"rule", static_cast<int>(i)).c_str());
    t.SetInt(L"result", static_cast<int32_t>(r.result));
    t.SetInt(L"skip", static_cast<int32_t>(r.skip));
    t.SetString(L"name", r.name);
    t.SetString(L"soundFile", r.soundFile);
    t.SetString(L"savePath", r.savePath);
    t.SetString(L"cmdLine", r.cmdLine);
    t.SetInt(L"color", r.color);
    t.SetInt(L"bkColor", r.bkColor);
    t.SetString(L"icon", r.icon);
    t.SetInt(L"runHidden", static_cast<int32_t>(r.runHidden));
    t.SetInt(L"freeBody", static_cast<int32_t>(r.freeBody));
    t.CreateNode(L"sets");
    t.SetInt(L"count", static_cast<int32_t>(r.sets.size()));
    for (size_t k = 0; k < r.sets.size(); ++k) {
      t.CreateNode(Indexed(L"set", static_cast<int>(k)).c_str());
      SaveSet(t, *r.sets[k]);
      t.CloseNode();
    }
    t.CloseNode();
    t.CloseNode();
  }
}

bool LoadRuleList(SettingsTree& t, RuleList& list) {
  list.rules.clear();
  // The count marks a stored list; its absence a configuration that never
  // had one.
  if (t.GetInt(L"count", -1) == -1 && t.GetInt(L"count", 0) == 0) return false;
  const int n = CappedCount(t, L"count");
  for (int i = 0; i < n; ++i) {
    if (!t.EnterNode(Indexed(L"rule", i).c_str())) continue;
    auto r = std::make_unique<FilterRule>();
    r->result = static_cast<uint32_t>(t.GetInt(L"result", 0)) & ~RuleResult::Undecided;
    r->skip = static_cast<uint32_t>(t.GetInt(L"skip", 0));
    t.GetStringInto(L"name", L"", r->name, kFieldUnits);
    t.GetStringInto(L"soundFile", L"", r->soundFile, kPathUnits);
    t.GetStringInto(L"savePath", L"", r->savePath, kPathUnits);
    t.GetStringInto(L"cmdLine", L"", r->cmdLine, kPathUnits);
    // A missing colour is the default one, not 0 (black on black).
    r->color = t.GetInt(L"color", -1);
    r->bkColor = t.GetInt(L"bkColor", -1);
    t.GetStringInto(L"icon", L"", r->icon, kPathUnits);
    r->runHidden = static_cast<uint32_t>(t.GetInt(L"runHidden", 0));
    r->freeBody = static_cast<uint32_t>(t.GetInt(L"freeBody", 1));
    if (t.EnterNode(L"sets")) {
      const int sets = CappedCount(t, L"count");
      for (int k = 0; k < sets; ++k) {
        if (!t.EnterNode(Indexed(L"set", k).c_str())) continue;
        LoadSet(t, r->addSet());
        t.LeaveNode();
      }
      t.LeaveNode();
    }
    list.rules.push_back(std::move(r));
    t.LeaveNode();
  }
  return true;
}

}  // namespace pw
