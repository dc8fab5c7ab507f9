// The texts shown for conditions and sets, and the search function names
// from the string table.
#include <string>

#include "base/Module.h"
#include "filter/RuleEngine.h"

namespace pw {

std::wstring searchFunctionName(uint32_t searchType) {
  const uint32_t code = searchType & (SearchType::KindMask | SearchType::Not);
  for (uint32_t f : kSearchFunctions)
    if (f == code) return LoadStr(code);
  return std::wstring();
}

std::wstring describeCondition(const ConditionSet& set, const Condition& c) {
  if (set.dnsbl) return L"reported by '" + std::wstring(set.dnsbl->name.Str()) + L"'";
  const std::wstring name = searchFunctionName(c.searchType);
  if (name.empty()) return std::wstring();
  const std::wstring field(c.field), substring(c.substring), size = std::to_wstring(c.size);
  switch (c.searchType & SearchType::KindMask) {
    case SearchType::IsBlank:
    case SearchType::IsPresent: return field + L" " + name;
    case SearchType::MinSize:
    case SearchType::MaxSize: return name + L": " + size;
    case SearchType::BodyContains:
    case SearchType::BodyRegex:
    case SearchType::HasAttachment: return name + L" '" + substring + L"'";
    case SearchType::AddressCount: return field + L" " + name + L" " + size;
    default: break;
  }
  if (c.searchType & SearchType::MatchCase) return field + L" " + name + L"(MC) '" + substring + L"'";
  return field + L" " + name + L" '" + substring + L"'";
}

std::wstring describeSet(const ConditionSet& set) {
  if (set.dnsbl) return L"check on '" + std::wstring(set.dnsbl->name.Str()) + L"'";
  std::wstring text;
  for (size_t i = 0; i < set.conditions.size(); ++i) {
    if (i) text += L" AND ";
    const std::wstring d = describeCondition(set, set.conditions[i]);
    if (text.size() + d.size() >= kDescriptionCut) {
      text += L"...";
      break;
    }
    text += d;
  }
  return text;
}

}  // namespace pw
