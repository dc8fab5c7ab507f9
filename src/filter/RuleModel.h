// The filtering rules: a list of rules, each holding alternative condition
// sets, each set holding conditions combined with AND or asking a DNS black
// list instead. Plain records with fixed-size text fields, as stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "filter/DnsblService.h"

namespace pw {

// What a matching rule does to a message.
namespace RuleResult {
inline constexpr uint32_t MarkApproved = 0x001;
inline constexpr uint32_t MarkSpam = 0x002;
inline constexpr uint32_t DeleteFromServer = 0x004;
inline constexpr uint32_t PlaySoundAction = 0x008;
inline constexpr uint32_t SaveMessage = 0x010;
inline constexpr uint32_t RunCommandAction = 0x020;
inline constexpr uint32_t MarkDangerous = 0x040;
inline constexpr uint32_t ContinueRules = 0x080;
inline constexpr uint32_t MarkRead = 0x100;
inline constexpr uint32_t FreeBodyAction = 0x200;
inline constexpr uint32_t Undecided = 0x400;  // never stored: the rule waits for the body
}  // namespace RuleResult

// searchType: the low 12 bits are the kind, the three bits above modify it.
namespace SearchType {
inline constexpr uint32_t KindMask = 0x0FFF;
inline constexpr uint32_t Not = 0x1000;
inline constexpr uint32_t MatchCase = 0x2000;
inline constexpr uint32_t Raw = 0x4000;
inline constexpr uint32_t KnownBits = KindMask | Not | MatchCase | Raw;

inline constexpr uint32_t Contains = 0x01;
inline constexpr uint32_t StartsWith = 0x03;
inline constexpr uint32_t EndsWith = 0x04;
inline constexpr uint32_t IsEqual = 0x05;
inline constexpr uint32_t IsBlank = 0x06;
inline constexpr uint32_t IsPresent = 0x07;
inline constexpr uint32_t MinSize = 0x08;
inline constexpr uint32_t MaxSize = 0x09;
inline constexpr uint32_t Regex = 0x0A;
inline constexpr uint32_t BodyContains = 0x10;
inline constexpr uint32_t BodyRegex = 0x11;
inline constexpr uint32_t HasAttachment = 0x12;
inline constexpr uint32_t AddressCount = 0x13;
}  // namespace SearchType

// The 22 search functions as the editor offers them, in its order; each
// code is also the id of its name in the string table.
inline constexpr uint32_t kSearchFunctions[22] = {
    0x0001, 0x1001, 0x0003, 0x1003, 0x0004, 0x1004, 0x0005, 0x1005, 0x0006, 0x1006, 0x0007,
    0x1007, 0x0008, 0x0009, 0x000A, 0x100A, 0x0010, 0x1010, 0x0011, 0x1011, 0x0012, 0x0013};
// True for a kind that exists (the NOT bit allowed only where the editor
// offers it; the case and raw bits ignored).
bool IsKnownSearchType(uint32_t searchType);

// The header field names the editor proposes, in its order.
extern const wchar_t* const kProposedFields[29];

inline constexpr size_t kFieldUnits = 256;
inline constexpr size_t kPathUnits = 260;
inline constexpr size_t kDescriptionCut = 200;

struct Condition {
  wchar_t field[kFieldUnits] = {};
  uint32_t searchType = 0;
  wchar_t substring[kFieldUnits] = {};
  uint32_t size = 0;
};

class ConditionSet {
 public:
  ConditionSet() = default;
  ConditionSet(const ConditionSet& other);
  ConditionSet& operator=(const ConditionSet&) = delete;

  // Appends a condition unless the set holds an equal one (same field and
  // substring ignoring letter case, same searchType and size). Texts are
  // cut to their field widths. Returns false when it was not added.
  bool addCondition(const wchar_t* field, uint32_t searchType, const wchar_t* substring, uint32_t size);

  std::vector<Condition> conditions;
  // When present the set is a black-list check and its conditions are not used.
  std::unique_ptr<DnsblService> dnsbl;
  uint32_t disable = 0;
};

struct FilterRule {
  FilterRule() = default;
  FilterRule(const FilterRule& other);
  FilterRule& operator=(const FilterRule&) = delete;

  ConditionSet& addSet();

  wchar_t name[kFieldUnits] = {};
  uint32_t result = 0;
  wchar_t soundFile[kPathUnits] = {};
  wchar_t savePath[kPathUnits] = {};
  wchar_t cmdLine[kPathUnits] = {};
  uint32_t runHidden = 0;
  uint32_t freeBody = 0;  // stored and restored only
  uint32_t skip = 0;      // stored and restored only
  int32_t color = -1;     // -1: the default colour
  int32_t bkColor = -1;
  wchar_t icon[kPathUnits] = {};
  std::vector<std::unique_ptr<ConditionSet>> sets;
};

class RuleList {
 public:
  RuleList() = default;
  RuleList(const RuleList& other);
  RuleList& operator=(const RuleList&) = delete;

  FilterRule& addRule(const wchar_t* name, uint32_t result);

  std::vector<std::unique_ptr<FilterRule>> rules;
};

// Copies `text` into a fixed field of `capacity` units, cut to fit.
void CopyField(wchar_t* field, size_t capacity, const wchar_t* text);

}  // namespace pw
