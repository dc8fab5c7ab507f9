// Parse tree of a pattern, kept in one vector and linked by index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "regex/CharSet.h"

namespace regex::detail {

enum class NodeType : uint8_t {
  Empty,
  Char,     // a: code unit; flag: caseless
  Any,      // flag: matches a line feed too
  Set,      // a: index into Tree::sets
  Assert,   // a: AssertKind
  Backref,  // a: group; flag: caseless
  Group,    // a: capture number, 0 for a non-capturing group; child
  Alt,      // children are the alternatives
  Concat,   // children in order
  Repeat,   // a: min, b: max (-1 unbounded); mode: RepeatMode; child
  Atomic,   // child
  Look,     // flag: LookFlags; child
  Cond,     // a: CondKind, b: group; children: [condition look], yes, [no]
  Call,     // a: group (0 for the whole pattern)
  Keep,     // \K
  Fail,     // never matches
};

enum class AssertKind : uint8_t {
  Bol, Eol, MultiBol, MultiEol, Begin, End, EndOrNewline, WordBoundary,
  NotWordBoundary, SearchStart
};

enum RepeatMode : uint8_t { kGreedy, kLazy, kPossessive };

enum LookFlags : uint8_t { kLookBehind = 1, kLookNegative = 2 };

enum class CondKind : uint8_t { Group, Recursion, Define, Look };

struct Node {
  NodeType type = NodeType::Empty;
  uint8_t flag = 0;
  uint8_t mode = 0;
  int32_t a = 0;
  int32_t b = 0;
  int32_t child = -1;  // first child
  int32_t last = -1;   // last child
  int32_t next = -1;   // next sibling
};

struct Tree {
  std::vector<Node> nodes;
  std::vector<RangeSet> sets;
  std::vector<std::pair<std::u16string, int>> names;
  int root = -1;
  int groups = 0;         // capture groups
  bool hasBackrefs = false;
  bool hasCalls = false;
  bool hasSearchStart = false;

  int Add(NodeType t) {
    nodes.push_back(Node{});
    nodes.back().type = t;
    return static_cast<int>(nodes.size()) - 1;
  }
  void Append(int parent, int child) {
    Node& p = nodes[parent];
    if (p.last < 0) p.child = child;
    else nodes[p.last].next = child;
    p.last = child;
  }
  int ChildCount(int n) const {
    int k = 0;
    for (int c = nodes[n].child; c >= 0; c = nodes[c].next) ++k;
    return k;
  }
};

// Group nesting deeper than this is refused at compile time.
inline constexpr int kMaxNesting = 250;

// Throws bad_regexpr.
Tree Parse(std::u16string_view pattern, unsigned flags);

}  // namespace regex::detail
