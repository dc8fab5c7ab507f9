// Turns the parse tree into matcher instructions.
#include <algorithm>
#include <climits>

#include "regex/Analysis.h"
#include "regex/Ast.h"
#include "regex/Program.h"
#include "regex/Regex.h"

namespace regex::detail {
namespace {

// Look-behind bodies longer than this are refused.
constexpr long kMaxLookBehind = 255;

struct ItemDesc {
  ItemKind kind;
  int32_t arg;
};

class Compiler {
 public:
  Compiler(const Tree& t, Program& p) : t_(t), p_(p), lengths_(t), setMap_(t.sets.size(), -1) {}

  void Run() {
    p_.groups = t_.groups;
    p_.names = t_.names;
    p_.groupStart.assign(t_.groups + 1, 0);
    p_.code.reserve(t_.nodes.size() + 2);
    Emit(t_.root);
    Add(Op::Match);
    GuardSplits();
    const Inst& first = p_.code[0];
    bool plain = !t_.hasBackrefs && !t_.hasCalls && !t_.hasSearchStart;
    for (const Node& n : t_.nodes)
      if (n.type == NodeType::Cond || n.type == NodeType::Keep) plain = false;
    p_.start.leadingRun = plain && first.op == Op::Repeat && first.mode == kPossessive &&
                          first.c == INT_MAX && first.b <= 1;
  }

  // A split whose first branch begins with a fixed unit can skip that
  // branch without a choice point when the unit is absent.
  void GuardSplits() {
    for (Inst& in : p_.code) {
      if (in.op != Op::Split) continue;
      const Inst& target = p_.code[in.a];
      if (target.op == Op::Char) {
        in.c = in.d = target.a;
      } else if (target.op == Op::Char2) {
        in.c = target.a;
        in.d = target.b;
      } else if (target.op == Op::String) {
        in.c = in.d = p_.literals[target.a];
      } else {
        continue;
      }
      in.flag = 1;
    }
  }

 private:
  int Add(Op op, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0) {
    Inst in;
    in.op = op;
    in.a = a;
    in.b = b;
    in.c = c;
    in.d = d;
    p_.code.push_back(in);
    return static_cast<int>(p_.code.size()) - 1;
  }
  int Pc() const { return static_cast<int>(p_.code.size()); }

  int SetIndex(int treeSet) {
    if (setMap_[treeSet] < 0) {
      setMap_[treeSet] = static_cast<int>(p_.sets.size());
      p_.sets.push_back(MakeCharSet(t_.sets[treeSet], p_.ranges));
    }
    return setMap_[treeSet];
  }

  int NewSet(const RangeSet& rs) {
    p_.sets.push_back(MakeCharSet(rs, p_.ranges));
    return static_cast<int>(p_.sets.size()) - 1;
  }

  // Strips non-capturing groups around a single item.
  int Unwrap(int n) const {
    for (;;) {
      const Node& nd = t_.nodes[n];
      if (nd.type == NodeType::Group && nd.a == 0) { n = nd.child; continue; }
      if (nd.type == NodeType::Concat && nd.child >= 0 && nd.child == nd.last) {
        n = nd.child;
        continue;
      }
      return n;
    }
  }

  bool SingleItem(int n, ItemDesc& out) {
    const Node& nd = t_.nodes[Unwrap(n)];
    switch (nd.type) {
      case NodeType::Char: {
        char16_t units[4];
        int k = nd.flag ? CaseClass(static_cast<char16_t>(nd.a), units) : 1;
        if (k == 1) out = {kItemChar, nd.a};
        else if (k == 2) out = {kItemChar2, units[0] | (units[1] << 16)};
        else {
          RangeSet rs;
          for (int i = 0; i < k; ++i) rs.Add(units[i]);
          rs.Normalize();
          out = {kItemSet, NewSet(rs)};
        }
        return true;
      }
      case NodeType::Any: out = {nd.flag ? kItemAnyAll : kItemAny, 0}; return true;
      case NodeType::Set: out = {kItemSet, SetIndex(nd.a)}; return true;
      default: return false;
    }
  }

  bool ItemHas(const ItemDesc& it, char16_t c) const {
    switch (it.kind) {
      case kItemChar: return c == it.arg;
      case kItemChar2: return c == (it.arg & 0xFFFF) || c == ((it.arg >> 16) & 0xFFFF);
      case kItemAny: return c != '\n';
      case kItemAnyAll: return true;
      case kItemSet: return SetContains(p_.sets[it.arg], p_.ranges.data(), c);
    }
    return true;
  }

  bool Disjoint(const ItemDesc& x, const ItemDesc& y) const {
    auto units = [](const ItemDesc& it, char16_t out[2]) {
      out[0] = static_cast<char16_t>(it.arg & 0xFFFF);
      out[1] = static_cast<char16_t>((it.arg >> 16) & 0xFFFF);
      return it.kind == kItemChar ? 1 : it.kind == kItemChar2 ? 2 : 0;
    };
    char16_t u[2];
    if (int k = units(y, u)) {
      for (int i = 0; i < k; ++i)
        if (ItemHas(x, u[i])) return false;
      return true;
    }
    if (int k = units(x, u)) {
      for (int i = 0; i < k; ++i)
        if (ItemHas(y, u[i])) return false;
      return true;
    }
    if (x.kind != kItemSet || y.kind != kItemSet) {
      // "." against a set: disjoint only if the set holds nothing but '\n'.
      const ItemDesc& s = x.kind == kItemSet ? x : y;
      const ItemDesc& dot = x.kind == kItemSet ? y : x;
      if (s.kind != kItemSet || dot.kind != kItemAny) return false;
      const CharSet& cs = p_.sets[s.arg];
      return cs.high == 0 && cs.low[0] == (uint64_t{1} << '\n') && !cs.low[1] &&
             !cs.low[2] && !cs.low[3];
    }
    const CharSet& a = p_.sets[x.arg];
    const CharSet& b = p_.sets[y.arg];
    for (int i = 0; i < 4; ++i)
      if (a.low[i] & b.low[i]) return false;
    if (a.high == 0 || b.high == 0) return true;
    if (a.high == 1 || b.high == 1) return false;
    const Range* ra = p_.ranges.data() + a.first;
    const Range* rb = p_.ranges.data() + b.first;
    uint32_t i = 0, j = 0;
    while (i < a.count && j < b.count) {
      if (ra[i].hi < rb[j].lo) ++i;
      else if (rb[j].hi < ra[i].lo) ++j;
      else return false;
    }
    return true;
  }

  void EmitItem(const ItemDesc& it) {
    switch (it.kind) {
      case kItemChar: Add(Op::Char, it.arg); break;
      case kItemChar2: Add(Op::Char2, it.arg & 0xFFFF, (it.arg >> 16) & 0xFFFF); break;
      case kItemAny: Add(Op::Any); break;
      case kItemAnyAll: Add(Op::AnyAll); break;
      case kItemSet: Add(Op::Set, it.arg); break;
    }
  }

  void Emit(int n) {
    const Node& nd = t_.nodes[n];
    switch (nd.type) {
      case NodeType::Empty: break;
      case NodeType::Char: case NodeType::Any: case NodeType::Set: {
        ItemDesc it;
        SingleItem(n, it);
        EmitItem(it);
        break;
      }
      case NodeType::Assert: Add(Op::Assert, nd.a); break;
      case NodeType::Backref: p_.code[Add(Op::Backref, nd.a)].flag = nd.flag; break;
      case NodeType::Group:
        if (nd.a == 0) { Emit(nd.child); break; }
        p_.groupStart[nd.a] = Add(Op::Open, nd.a);
        Emit(nd.child);
        Add(Op::Close, nd.a);
        break;
      case NodeType::Alt: EmitAlt(n); break;
      case NodeType::Concat: EmitConcat(n); break;
      case NodeType::Repeat: EmitRepeat(n, -1, false); break;
      case NodeType::Atomic:
        Add(Op::AtomicStart);
        Emit(nd.child);
        Add(Op::AtomicEnd);
        break;
      case NodeType::Look: EmitLook(n, false); break;
      case NodeType::Cond: EmitCond(n); break;
      case NodeType::Call: Add(Op::Call, nd.a); break;
      case NodeType::Keep: Add(Op::Keep); break;
      case NodeType::Fail: Add(Op::Fail); break;
    }
  }

  void EmitAlt(int n) {
    std::vector<int> jumps;
    for (int c = t_.nodes[n].child; c >= 0; c = t_.nodes[c].next) {
      if (t_.nodes[c].next < 0) {
        Emit(c);
        break;
      }
      int split = Add(Op::Split);
      p_.code[split].a = Pc();
      Emit(c);
      jumps.push_back(Add(Op::Jmp));
      p_.code[split].b = Pc();
    }
    for (int j : jumps) p_.code[j].a = Pc();
  }

  bool IsLiteral(int n) const {
    const Node& nd = t_.nodes[n];
    return nd.type == NodeType::Char && !nd.flag;
  }

  void EmitConcat(int n) {
    for (int c = t_.nodes[n].child; c >= 0;) {
      const Node& nd = t_.nodes[c];
      if (IsLiteral(c) && nd.next >= 0 && IsLiteral(nd.next)) {
        int offset = static_cast<int>(p_.literals.size());
        int len = 0;
        for (; c >= 0 && IsLiteral(c); c = t_.nodes[c].next, ++len)
          p_.literals.push_back(static_cast<char16_t>(t_.nodes[c].a));
        Add(Op::String, offset, len);
        continue;
      }
      if (nd.type == NodeType::Repeat) {
        bool last = nd.next < 0 && n == t_.root && !t_.hasCalls;
        EmitRepeat(c, nd.next, last);
      } else {
        Emit(c);
      }
      c = nd.next;
    }
  }

  bool ContainsCapture(int n) const {
    const Node& nd = t_.nodes[n];
    if (nd.type == NodeType::Group && nd.a > 0) return true;
    for (int c = nd.child; c >= 0; c = t_.nodes[c].next)
      if (ContainsCapture(c)) return true;
    return false;
  }

  // `follower` is the next sibling in a sequence or -1; `atEnd` marks the
  // last item of the whole pattern, where giving back can never help.
  void EmitRepeat(int n, int follower, bool atEnd) {
    const Node& nd = t_.nodes[n];
    int min = nd.a, max = nd.b;
    uint8_t mode = nd.mode;
    ItemDesc it;
    if (SingleItem(nd.child, it)) {
      int next = -1;
      if (follower >= 0) {
        // What must come next decides whether giving back can ever help.
        int u = Unwrap(follower);
        const Node& fn = t_.nodes[u];
        if (fn.type == NodeType::Char && !fn.flag) next = fn.a;
        bool single = fn.type == NodeType::Char || fn.type == NodeType::Any ||
                      fn.type == NodeType::Set;
        ItemDesc f;
        if (mode == kGreedy && single && SingleItem(u, f) && Disjoint(it, f)) mode = kPossessive;
      }
      if (atEnd && mode == kGreedy) mode = kPossessive;
      int pc = Add(Op::Repeat, it.arg, min, max < 0 ? INT_MAX : max, next);
      p_.code[pc].item = it.kind;
      p_.code[pc].mode = mode;
      return;
    }
    if (max == 0) {
      // Kept out of the way of the match so that calls can still reach it.
      if (ContainsCapture(nd.child) || t_.hasCalls) {
        int j = Add(Op::Jmp);
        Emit(nd.child);
        p_.code[j].a = Pc();
      }
      return;
    }
    if (min == 1 && max == 1) {
      Emit(nd.child);
      return;
    }
    if (mode == kPossessive) Add(Op::AtomicStart);
    bool lazy = mode == kLazy;
    bool nullable = lengths_.Get(nd.child).min == 0;
    if (min == 0 && max == 1) {
      int split = Add(Op::Split);
      int body = Pc();
      Emit(nd.child);
      p_.code[split].a = lazy ? Pc() : body;
      p_.code[split].b = lazy ? body : Pc();
    } else if (!nullable && max < 0 && min <= 1) {
      // x* and x+ where x always consumes: no counter, no empty check.
      int split = -1;
      if (min == 0) split = Add(Op::Split);
      int body = Pc();
      Emit(nd.child);
      if (min == 0) {
        Add(Op::Jmp, split);
        p_.code[split].a = lazy ? Pc() : body;
        p_.code[split].b = lazy ? body : Pc();
      } else {
        int again = Add(Op::Split);
        p_.code[again].a = lazy ? Pc() : body;
        p_.code[again].b = lazy ? body : Pc();
      }
    } else {
      int reg = p_.registers++;
      Add(Op::LoopInit, reg);
      int head = Add(Op::LoopHead, reg, min, max);
      p_.code[head].mode = lazy ? kLazy : kGreedy;
      Emit(nd.child);
      Add(Op::LoopTail, reg, head, 0, max < 0 ? 1 : 0);
      p_.code[head].d = Pc();
      p_.code[Pc() - 1].c = Pc();
    }
    if (mode == kPossessive) Add(Op::AtomicEnd);
  }

  // Returns the pc of the LookStart instruction.
  int EmitLook(int n, bool condition) {
    const Node& nd = t_.nodes[n];
    int start = Add(Op::LookStart);
    p_.code[start].flag = nd.flag | (condition ? kLookCondition : 0);
    int body = nd.child;  // a non-capturing group
    if (!(nd.flag & kLookBehind)) {
      Emit(body);
    } else {
      int inner = t_.nodes[body].child;
      std::vector<int> alts;
      if (t_.nodes[inner].type == NodeType::Alt) {
        for (int c = t_.nodes[inner].child; c >= 0; c = t_.nodes[c].next) alts.push_back(c);
      } else {
        alts.push_back(inner);
      }
      std::vector<int> jumps;
      for (std::size_t i = 0; i < alts.size(); ++i) {
        int split = -1;
        if (i + 1 < alts.size()) split = Add(Op::Split, Pc() + 1);
        Lengths::Span len = lengths_.Get(alts[i]);
        if (len.max < 0 || len.max > kMaxLookBehind) throw bad_regexpr(ErrorCode::IllFormed);
        Add(Op::LookBehindStart, static_cast<int32_t>(len.min), static_cast<int32_t>(len.max));
        Emit(alts[i]);
        Add(Op::LookBehindCheck);
        if (split >= 0) {
          jumps.push_back(Add(Op::Jmp));
          p_.code[split].b = Pc();
        }
      }
      for (int j : jumps) p_.code[j].a = Pc();
    }
    Add(Op::LookEnd);
    p_.code[start].a = Pc();
    return start;
  }

  void EmitCond(int n) {
    const Node& nd = t_.nodes[n];
    CondKind kind = static_cast<CondKind>(nd.a);
    int c = nd.child;
    int test = -1;
    switch (kind) {
      case CondKind::Define: {
        int j = Add(Op::Jmp);
        Emit(c);
        p_.code[j].a = Pc();
        return;
      }
      case CondKind::Group: test = Add(Op::CondGroup, nd.b); break;
      case CondKind::Recursion: test = Add(Op::CondRecursion, nd.b); break;
      case CondKind::Look:
        test = EmitLook(c, true);
        c = t_.nodes[c].next;
        break;
    }
    int no = c >= 0 ? t_.nodes[c].next : -1;
    if (c >= 0) Emit(c);
    int j = Add(Op::Jmp);
    p_.code[test].b = Pc();
    if (no >= 0) Emit(no);
    p_.code[j].a = Pc();
  }

  const Tree& t_;
  Program& p_;
  Lengths lengths_;
  std::vector<int> setMap_;
};

}  // namespace

Program CompileProgram(std::u16string_view pattern, unsigned flags) {
  Tree tree = Parse(pattern, flags);
  Program prog;
  Compiler(tree, prog).Run();
  AnalyseStart(tree, prog);
  return prog;
}

}  // namespace regex::detail
