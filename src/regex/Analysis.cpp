// Length bounds and start-of-match analysis.
#include "regex/Analysis.h"

#include <algorithm>
#include <bit>

namespace regex::detail {
namespace {

constexpr long kLongCap = 1L << 30;  // longer counts as unbounded

long AddLen(long a, long b) {
  if (a < 0 || b < 0) return -1;
  return a + b >= kLongCap ? -1 : a + b;
}
long MulLen(long a, long n) {
  if (a < 0) return -1;
  if (a == 0 || n == 0) return 0;
  return a > kLongCap / n ? -1 : a * n;
}

// Units a match may begin with.
struct FirstAcc {
  uint64_t low[4] = {0, 0, 0, 0};
  bool high = false;
  bool all = false;
  void Add(char16_t c) {
    if (c < 256) low[c >> 6] |= uint64_t{1} << (c & 63);
    else high = true;
  }
};

class StartAnalyser {
 public:
  StartAnalyser(const Tree& t, Program& p) : t_(t), p_(p) {}

  void Run() {
    StartInfo& s = p_.start;
    s.anchor = FindAnchor();
    bool complete = CollectPrefix(t_.root, s.prefix);
    if (s.prefix.empty()) {
      FirstAcc acc;
      if (!First(t_.root, acc) && !acc.all) {
        s.useFirst = true;
        for (int i = 0; i < 4; ++i) s.first.low[i] = acc.low[i];
        s.first.high = acc.high ? 1 : 0;
        int count = 0;
        for (int i = 0; i < 4; ++i) count += std::popcount(acc.low[i]);
        if (!acc.high && count <= 2) {
          s.firstUnits = count;
          int k = 0;
          for (unsigned c = 0; c < 256 && k < count; ++c)
            if (s.first.TestLow(c)) s.unit[k++] = static_cast<char16_t>(c);
        }
      }
    }
    if (!complete) Required(t_.root, s.required, s.required2);
  }

 private:
  int FirstNode(int n) const {
    for (;;) {
      const Node& nd = t_.nodes[n];
      if (nd.type == NodeType::Group && nd.child >= 0) n = nd.child;
      else if (nd.type == NodeType::Concat && nd.child >= 0) n = nd.child;
      else return n;
    }
  }

  Anchor FindAnchor() const {
    const Node& nd = t_.nodes[FirstNode(t_.root)];
    if (nd.type == NodeType::Assert) {
      switch (static_cast<AssertKind>(nd.a)) {
        case AssertKind::Bol: case AssertKind::Begin: return Anchor::Begin;
        case AssertKind::MultiBol: return Anchor::LineStart;
        case AssertKind::SearchStart: return Anchor::SearchStart;
        default: return Anchor::None;
      }
    }
    // A leading ".*" can only match from the start of a line, unless
    // something can look back at what it took.
    if (nd.type == NodeType::Repeat && nd.a == 0 && nd.b < 0 &&
        t_.nodes[nd.child].type == NodeType::Any && !t_.hasBackrefs && !t_.hasCalls &&
        !t_.hasSearchStart) {
      for (const Node& x : t_.nodes)
        if (x.type == NodeType::Cond) return Anchor::None;
      return t_.nodes[nd.child].flag ? Anchor::Begin : Anchor::LineStart;
    }
    return Anchor::None;
  }

  // Appends the literal units every match starts with; true when the whole
  // pattern is that literal.
  bool CollectPrefix(int n, std::u16string& out) const {
    const Node& nd = t_.nodes[n];
    switch (nd.type) {
      case NodeType::Char:
        if (nd.flag || out.size() >= 64) return false;
        out.push_back(static_cast<char16_t>(nd.a));
        return true;
      case NodeType::Concat:
        for (int c = nd.child; c >= 0; c = t_.nodes[c].next)
          if (!CollectPrefix(c, out)) return false;
        return true;
      case NodeType::Group: return CollectPrefix(nd.child, out);
      case NodeType::Empty: return true;
      default: return false;
    }
  }

  // Adds the possible first units of n; returns true when n can match empty.
  bool First(int n, FirstAcc& acc) const {
    const Node& nd = t_.nodes[n];
    switch (nd.type) {
      case NodeType::Empty: case NodeType::Assert: case NodeType::Look:
      case NodeType::Keep:
        return true;
      case NodeType::Fail: return false;
      case NodeType::Char: {
        char16_t units[4];
        int k = nd.flag ? CaseClass(static_cast<char16_t>(nd.a), units) : 1;
        if (k == 1) units[0] = static_cast<char16_t>(nd.a);
        for (int i = 0; i < k; ++i) acc.Add(units[i]);
        return false;
      }
      case NodeType::Any:
        acc.low[0] |= nd.flag ? ~uint64_t{0} : ~(uint64_t{1} << '\n');
        acc.low[1] = acc.low[2] = acc.low[3] = ~uint64_t{0};
        acc.high = true;
        return false;
      case NodeType::Set:
        for (const Range& r : t_.sets[nd.a].ranges) {
          for (unsigned c = r.lo; c <= r.hi && c < 256; ++c) acc.Add(static_cast<char16_t>(c));
          if (r.hi >= 256) acc.high = true;
        }
        return false;
      case NodeType::Backref: case NodeType::Call: case NodeType::Cond:
        acc.all = true;
        return true;
      case NodeType::Group: case NodeType::Atomic: return First(nd.child, acc);
      case NodeType::Concat:
        for (int c = nd.child; c >= 0; c = t_.nodes[c].next)
          if (!First(c, acc)) return false;
        return true;
      case NodeType::Alt: {
        bool nullable = false;
        for (int c = nd.child; c >= 0; c = t_.nodes[c].next)
          if (First(c, acc)) nullable = true;
        return nullable;
      }
      case NodeType::Repeat: {
        bool nullable = First(nd.child, acc);
        return nullable || nd.a == 0;
      }
    }
    return true;
  }

  // The last unit that every match must consume, outside any alternative.
  void Required(int n, int& req, int& req2) const {
    const Node& nd = t_.nodes[n];
    switch (nd.type) {
      case NodeType::Concat:
        for (int c = nd.child; c >= 0; c = t_.nodes[c].next) Required(c, req, req2);
        return;
      case NodeType::Group: case NodeType::Atomic: Required(nd.child, req, req2); return;
      case NodeType::Repeat:
        if (nd.a >= 1 && t_.nodes[nd.child].type == NodeType::Char) Required(nd.child, req, req2);
        return;
      case NodeType::Char: {
        char16_t units[4];
        int k = nd.flag ? CaseClass(static_cast<char16_t>(nd.a), units) : 1;
        if (k > 2) return;
        req = nd.a;
        req2 = k == 2 ? units[1] : -1;
        return;
      }
      default: return;
    }
  }

  const Tree& t_;
  Program& p_;
};

}  // namespace

Lengths::Span Lengths::Get(int n) {
  if (memo_[n].min != -2) return memo_[n];
  const Node& nd = t_.nodes[n];
  Span s{0, 0};
  switch (nd.type) {
    case NodeType::Empty: case NodeType::Assert: case NodeType::Look:
    case NodeType::Keep: case NodeType::Fail:
      break;
    case NodeType::Char: case NodeType::Any: case NodeType::Set: s = {1, 1}; break;
    case NodeType::Backref: case NodeType::Call: s = {0, -1}; break;
    case NodeType::Group: case NodeType::Atomic: s = Get(nd.child); break;
    case NodeType::Concat:
      for (int c = nd.child; c >= 0; c = t_.nodes[c].next) {
        Span x = Get(c);
        s.min = std::min(AddLen(s.min, x.min) < 0 ? kLongCap : AddLen(s.min, x.min), kLongCap);
        s.max = AddLen(s.max, x.max);
      }
      break;
    case NodeType::Alt: {
      bool firstChild = true;
      for (int c = nd.child; c >= 0; c = t_.nodes[c].next) {
        Span x = Get(c);
        if (firstChild) s = x;
        else {
          s.min = std::min(s.min, x.min);
          s.max = (s.max < 0 || x.max < 0) ? -1 : std::max(s.max, x.max);
        }
        firstChild = false;
      }
      break;
    }
    case NodeType::Repeat: {
      Span x = Get(nd.child);
      s.min = std::min(MulLen(x.min, nd.a) < 0 ? kLongCap : MulLen(x.min, nd.a), kLongCap);
      s.max = nd.b < 0 ? (x.max == 0 ? 0 : -1) : MulLen(x.max, nd.b);
      break;
    }
    case NodeType::Cond: {
      CondKind kind = static_cast<CondKind>(nd.a);
      if (kind == CondKind::Define) break;
      int c = nd.child;
      if (kind == CondKind::Look) c = t_.nodes[c].next;
      int no = c >= 0 ? t_.nodes[c].next : -1;
      Span yes = c >= 0 ? Get(c) : Span{0, 0};
      Span other = no >= 0 ? Get(no) : Span{0, 0};
      s.min = std::min(yes.min, other.min);
      s.max = (yes.max < 0 || other.max < 0) ? -1 : std::max(yes.max, other.max);
      break;
    }
  }
  memo_[n] = s;
  return s;
}

void AnalyseStart(const Tree& tree, Program& prog) { StartAnalyser(tree, prog).Run(); }

}  // namespace regex::detail
