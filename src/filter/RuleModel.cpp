#include "filter/RuleModel.h"

#include <windows.h>
#include <cwchar>

namespace pw {

const wchar_t* const kProposedFields[29] = {
    L"Cc", L"Comments", L"Content-Type", L"Content-Transfer-Encoding", L"Date", L"Delivered-To",
    L"Errors-To", L"From", L"In-Reply-To", L"Message-Id", L"MIME-Version", L"Organization",
    L"Priority", L"Received", L"Reply-To", L"Return-Path", L"Sender", L"Subject", L"To",
    L"X-Complain-To", L"X-Advertisement", L"X-Authentication-Warning", L"X-BulkEmail",
    L"X-Distribution", L"X-Info", L"X-Mailer", L"X-Removal", L"X-Sender", L"X-1"};

bool IsKnownSearchType(uint32_t searchType) {
  const uint32_t code = searchType & (SearchType::KindMask | SearchType::Not);
  for (uint32_t f : kSearchFunctions)
    if (f == code) return true;
  return false;
}

void CopyField(wchar_t* field, size_t capacity, const wchar_t* text) {
  if (!capacity) return;
  size_t n = 0;
  if (text)
    while (n + 1 < capacity && text[n]) ++n;
  if (n) wmemcpy(field, text, n);
  field[n] = 0;
}

ConditionSet::ConditionSet(const ConditionSet& other) : conditions(other.conditions), disable(other.disable) {
  if (other.dnsbl) {
    dnsbl = std::make_unique<DnsblService>();
    dnsbl->zone = other.dnsbl->zone;
    dnsbl->name = other.dnsbl->name;
    for (const DnsblResult& r : other.dnsbl->results) dnsbl->results.push_back({r.code, r.reason});
  }
}

bool ConditionSet::addCondition(const wchar_t* field, uint32_t searchType, const wchar_t* substring,
                                uint32_t size) {
  Condition c;
  CopyField(c.field, kFieldUnits, field);
  CopyField(c.substring, kFieldUnits, substring);
  c.searchType = searchType;
  c.size = size;
  for (const Condition& o : conditions)
    if (o.searchType == c.searchType && o.size == c.size && _wcsicmp(o.field, c.field) == 0 &&
        _wcsicmp(o.substring, c.substring) == 0)
      return false;
  conditions.push_back(c);
  return true;
}

FilterRule::FilterRule(const FilterRule& o)
    : result(o.result), runHidden(o.runHidden), freeBody(o.freeBody), skip(o.skip), color(o.color),
      bkColor(o.bkColor) {
  wmemcpy(name, o.name, kFieldUnits);
  wmemcpy(soundFile, o.soundFile, kPathUnits);
  wmemcpy(savePath, o.savePath, kPathUnits);
  wmemcpy(cmdLine, o.cmdLine, kPathUnits);
  wmemcpy(icon, o.icon, kPathUnits);
  for (const auto& s : o.sets) sets.push_back(std::make_unique<ConditionSet>(*s));
}

ConditionSet& FilterRule::addSet() {
  sets.push_back(std::make_unique<ConditionSet>());
  return *sets.back();
}

RuleList::RuleList(const RuleList& o) {
  for (const auto& r : o.rules) rules.push_back(std::make_unique<FilterRule>(*r));
}

FilterRule& RuleList::addRule(const wchar_t* name, uint32_t result) {
  rules.push_back(std::make_unique<FilterRule>());
  FilterRule& r = *rules.back();
  CopyField(r.name, kFieldUnits, name);
  r.result = result;
  return r;
}

}  // namespace pw
