// Compiled form of a pattern: instructions for the backtracking matcher and
// what the search loop knows about where a match can start.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "regex/CharSet.h"

namespace regex::detail {

enum class Op : uint8_t {
  Char,        // a: unit
  Char2,       // a, b: either unit
  String,      // a: offset into literals, b: length
  Any,         // any unit but a line feed
  AnyAll,      // any unit
  Set,         // a: set
  Assert,      // a: AssertKind
  Split,       // go to a, retry at b; flag: a starts with unit c or d
  Jmp,         // a: target
  Open,        // a: group
  Close,       // a: group; also the return point of a call of the group
  Repeat,      // item: ItemKind, a: item argument, b: min, c: max, d: next unit or -1
  LoopInit,    // a: register
  LoopHead,    // a: register, b: min, c: max (-1 unbounded), d: exit
  LoopTail,    // a: register, b: head, c: exit, d: 1 when unbounded
  AtomicStart,
  AtomicEnd,
  LookStart,   // flag: LookFlags | kLookCondition, a: after LookEnd, b: no branch
  LookEnd,
  LookBehindStart,  // a: shortest length, b: longest length
  LookBehindCheck,
  Backref,     // a: group, flag: caseless
  CondGroup,   // a: group, b: no branch
  CondRecursion,  // a: group or -1 for any, b: no branch
  Call,        // a: group
  Keep,
  Fail,
  Match,
};

enum ItemKind : uint8_t { kItemChar, kItemChar2, kItemAny, kItemAnyAll, kItemSet };

inline constexpr uint8_t kLookCondition = 4;

struct Inst {
  Op op;
  uint8_t flag = 0;
  uint8_t mode = 0;
  uint8_t item = 0;
  int32_t a = 0, b = 0, c = 0, d = 0;
};

enum class Anchor : uint8_t { None, Begin, LineStart, SearchStart };

struct StartInfo {
  Anchor anchor = Anchor::None;
  std::u16string prefix;  // units every match begins with
  CharSet first;          // units a match can begin with, when useFirst
  bool useFirst = false;
  int firstUnits = 0;     // 1 or 2 when first holds only these below 256
  char16_t unit[2] = {0, 0};
  int required = -1;      // a unit every match contains (or its case partner)
  int required2 = -1;
  bool leadingRun = false;  // code[0] is a possessive unbounded run, min <= 1
};

struct Program {
  std::vector<Inst> code;
  std::vector<CharSet> sets;
  std::vector<Range> ranges;
  std::u16string literals;
  std::vector<int32_t> groupStart;  // pc of Open for each group, 0 for group 0
  std::vector<std::pair<std::u16string, int>> names;
  int groups = 0;
  int registers = 0;
  StartInfo start;

  // Slot layout: captures 2*(groups+1), pending opens groups+1, then two
  // slots (count, start) per loop register.
  int OpenSlot(int g) const { return 2 * (groups + 1) + g; }
  int RegisterSlot(int r) const { return 3 * (groups + 1) + 2 * r; }
  int SlotCount() const { return 3 * (groups + 1) + 2 * registers; }
};

// Throws bad_regexpr.
Program CompileProgram(std::u16string_view pattern, unsigned flags);

}  // namespace regex::detail
