// The backtracking matcher and its search loop.
#include "regex/Matcher.h"

#include <algorithm>
#include <cstring>

#include "regex/Ast.h"
#include "regex/Scan.h"

namespace regex::detail {
namespace {

enum BtKind : int32_t {
  kChoice,         // a: pc, b: pos
  kRepeatGreedy,   // a: pc, b: fewest-taken position, c: current position
  kRepeatLazy,     // a: pc, b: position, c: count taken
  kRestore1,       // a: slot, b: old value
  kRestore2,       // a: slot, b, c: old values of it and the next
  kLazyEnter,      // a: loop head pc, b: pos
  kBarrier,        // a: previous barrier
  kLookBarrier,    // a: LookStart pc, b: pos, c: previous barrier
  kLookBehindNext, // a: LookBehindStart pc, b: next length to try
  kCallUndo,
  kRetUndo,        // a: aux offset, b: group, c: return pc
};

bool IsUndo(int32_t kind) {
  return kind == kRestore1 || kind == kRestore2 || kind == kCallUndo || kind == kRetUndo;
}

constexpr bool IsWordUnit(char16_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

}  // namespace

Matcher::Matcher(const Program& prog, const char16_t* text, int begin, int end)
    : prog_(prog), code_(prog.code.data()), t_(text), begin_(begin), end_(end),
      budget_(kStepBudget) {
  slots_.resize(prog.SlotCount());
  bt_.reserve(64);
}

void Matcher::Push(int32_t kind, int32_t a, int32_t b, int32_t c) {
  if (bt_.size() >= kMaxBacktrack) {
    limit_ = true;
    budget_ = -1;
  }
  bt_.push_back(Bt{kind, a, b, c});
}

bool Matcher::IsWord(int pos) const {
  return pos >= begin_ && pos < end_ && IsWordUnit(t_[pos]);
}

bool Matcher::TestAssert(int kind, int pos) const {
  switch (static_cast<AssertKind>(kind)) {
    case AssertKind::Bol: case AssertKind::Begin: return pos == begin_;
    case AssertKind::Eol: case AssertKind::EndOrNewline:
      return pos == end_ || (pos == end_ - 1 && t_[pos] == '\n');
    case AssertKind::MultiBol: return pos == begin_ || (t_[pos - 1] == '\n' && pos < end_);
    case AssertKind::MultiEol: return pos == end_ || t_[pos] == '\n';
    case AssertKind::End: return pos == end_;
    case AssertKind::WordBoundary: return IsWord(pos - 1) != IsWord(pos);
    case AssertKind::NotWordBoundary: return IsWord(pos - 1) == IsWord(pos);
    case AssertKind::SearchStart: return pos == from_;
  }
  return false;
}

bool Matcher::ItemMatches(const Inst& in, char16_t c) const {
  switch (in.item) {
    case kItemChar: return c == in.a;
    case kItemChar2: return c == (in.a & 0xFFFF) || c == ((in.a >> 16) & 0xFFFF);
    case kItemAny: return c != '\n';
    case kItemAnyAll: return true;
    case kItemSet: return SetContains(prog_.sets[in.a], prog_.ranges.data(), c);
  }
  return false;
}

int Matcher::CountItems(const Inst& in, int pos, int limit) const {
  const char16_t* p = t_ + pos;
  int n = 0;
  switch (in.item) {
    case kItemChar: {
      char16_t c = static_cast<char16_t>(in.a);
      while (n < limit && p[n] == c) ++n;
      break;
    }
    case kItemChar2: {
      char16_t c1 = static_cast<char16_t>(in.a & 0xFFFF), c2 = static_cast<char16_t>(in.a >> 16);
      while (n < limit && (p[n] == c1 || p[n] == c2)) ++n;
      break;
    }
    case kItemAny:
      while (n < limit && p[n] != '\n') ++n;
      break;
    case kItemAnyAll: n = limit; break;
    case kItemSet: {
      const CharSet& s = prog_.sets[in.a];
      const Range* pool = prog_.ranges.data();
      while (n < limit && SetContains(s, pool, p[n])) ++n;
      break;
    }
  }
  return n;
}

// Keeps what undoes state, drops the choices made since the innermost
// barrier, and removes the barrier.
void Matcher::Cut() {
  int b = barrier_;
  const Bt& bar = bt_[b];
  bool look = bar.kind == kLookBarrier;
  int prev = look ? bar.c : bar.a;
  std::size_t w = b;
  for (std::size_t r = b + 1; r < bt_.size(); ++r) {
    const Bt& e = bt_[r];
    if (look && e.kind == kRestore1 && e.a == 0) {
      // A \K reached inside an assertion (through a call) does not move
      // the start of the match, as Perl and PCRE2 refuse it there.
      slots_[0] = e.b;
      look = false;
    }
    if (IsUndo(e.kind)) bt_[w++] = e;
  }
  bt_.resize(w);
  barrier_ = prev;
}

void Matcher::UndoTop() {
  const Bt e = bt_.back();
  bt_.pop_back();
  switch (e.kind) {
    case kRestore1: slots_[e.a] = e.b; break;
    case kRestore2:
      slots_[e.a] = e.b;
      slots_[e.a + 1] = e.c;
      break;
    case kCallUndo:
      aux_.resize(frames_.back().auxOffset);
      frames_.pop_back();
      break;
    case kRetUndo: {
      std::size_t n = slots_.size();
      std::copy(aux_.begin() + e.a, aux_.begin() + e.a + n, slots_.begin());
      frames_.push_back(Frame{e.b, e.c, aux_[e.a + n], aux_[e.a + n + 1]});
      aux_.resize(e.a);
      break;
    }
    default: break;
  }
}

// Undoes everything down to the innermost barrier and removes it.
void Matcher::Unwind() {
  int b = barrier_;
  while (static_cast<int>(bt_.size()) > b + 1) UndoTop();
  const Bt& bar = bt_[b];
  barrier_ = bar.kind == kBarrier ? bar.a : bar.c;
  bt_.pop_back();
}

// Returns from the innermost call; gives the pc to continue at.
int Matcher::Return() {
  Frame f = frames_.back();
  frames_.pop_back();
  budget_ -= static_cast<int64_t>(slots_.size());
  int32_t off = static_cast<int32_t>(aux_.size());
  aux_.insert(aux_.end(), slots_.begin(), slots_.end());
  aux_.push_back(f.start);
  aux_.push_back(f.auxOffset);
  Push(kRetUndo, off, f.group, f.returnPc);
  // Captures revert to the caller's; a \K inside the call still counts.
  int32_t matchStart = slots_[0];
  std::copy(aux_.begin() + f.auxOffset, aux_.begin() + f.auxOffset + slots_.size(),
            slots_.begin());
  slots_[0] = matchStart;
  return f.returnPc;
}

bool Matcher::Attempt(int start) {
  std::fill(slots_.begin(), slots_.end(), -1);
  slots_[0] = start;
  attemptStart_ = start;
  bt_.clear();
  frames_.clear();
  aux_.clear();
  barrier_ = -1;
  const char16_t* t = t_;
  const int end = end_;
  int pc = 0;
  int pos = start;
  for (;;) {
    if (--budget_ < 0) {
      limit_ = true;
      return false;
    }
    const Inst& in = code_[pc];
    switch (in.op) {
      case Op::Char:
        if (pos < end && t[pos] == in.a) { ++pos; ++pc; continue; }
        goto fail;
      case Op::Char2:
        if (pos < end && (t[pos] == in.a || t[pos] == in.b)) { ++pos; ++pc; continue; }
        goto fail;
      case Op::String:
        if (end - pos >= in.b &&
            std::memcmp(t + pos, prog_.literals.data() + in.a, in.b * sizeof(char16_t)) == 0) {
          pos += in.b;
          ++pc;
          continue;
        }
        goto fail;
      case Op::Any:
        if (pos < end && t[pos] != '\n') { ++pos; ++pc; continue; }
        goto fail;
      case Op::AnyAll:
        if (pos < end) { ++pos; ++pc; continue; }
        goto fail;
      case Op::Set:
        if (pos < end && SetContains(prog_.sets[in.a], prog_.ranges.data(), t[pos])) {
          ++pos;
          ++pc;
          continue;
        }
        goto fail;
      case Op::Assert:
        if (TestAssert(in.a, pos)) { ++pc; continue; }
        goto fail;
      case Op::Split:
        // Guarded: the first branch starts with a unit that is not here.
        if (in.flag && (pos >= end || (t[pos] != in.c && t[pos] != in.d))) {
          pc = in.b;
          continue;
        }
        Push(kChoice, in.b, pos);
        pc = in.a;
        continue;
      case Op::Jmp: pc = in.a; continue;
      case Op::Open: {
        int s = prog_.OpenSlot(in.a);
        Push(kRestore1, s, slots_[s]);
        slots_[s] = pos;
        ++pc;
        continue;
      }
      case Op::Close: {
        int s = 2 * in.a;
        Push(kRestore2, s, slots_[s], slots_[s + 1]);
        slots_[s] = slots_[prog_.OpenSlot(in.a)];
        slots_[s + 1] = pos;
        if (!frames_.empty() && frames_.back().group == in.a) pc = Return();
        else ++pc;
        continue;
      }
      case Op::Repeat: {
        int avail = end - pos;
        if (in.mode == kLazy) {
          if (avail < in.b || CountItems(in, pos, in.b) < in.b) goto fail;
          budget_ -= in.b;
          pos += in.b;
          if (in.c > in.b) Push(kRepeatLazy, pc, pos, in.b);
          ++pc;
          continue;
        }
        int n = CountItems(in, pos, in.c < avail ? in.c : avail);
        budget_ -= n;  // every unit scanned counts as a step
        if (n < in.b) goto fail;
        if (in.mode == kGreedy && n > in.b) Push(kRepeatGreedy, pc, pos + in.b, pos + n);
        pos += n;
        ++pc;
        continue;
      }
      case Op::LoopInit: {
        int r = prog_.RegisterSlot(in.a);
        Push(kRestore2, r, slots_[r], slots_[r + 1]);
        slots_[r] = 0;
        slots_[r + 1] = -1;
        ++pc;
        continue;
      }
      case Op::LoopHead: {
        int r = prog_.RegisterSlot(in.a);
        int count = slots_[r];
        if (count >= in.b) {
          if (in.c >= 0 && count >= in.c) { pc = in.d; continue; }
          if (in.mode == kLazy) {
            Push(kLazyEnter, pc, pos);
            pc = in.d;
            continue;
          }
          Push(kChoice, in.d, pos);
        }
        Push(kRestore2, r, count, slots_[r + 1]);
        slots_[r + 1] = pos;
        ++pc;
        continue;
      }
      case Op::LoopTail: {
        int r = prog_.RegisterSlot(in.a);
        int count = slots_[r];
        // A pass that matched nothing once the minimum is reached ends an
        // unbounded loop, as in Perl: only what follows is tried.
        if (in.d && pos == slots_[r + 1] && count + 1 >= code_[in.b].b) { pc = in.c; continue; }
        Push(kRestore2, r, count, slots_[r + 1]);
        slots_[r] = count + 1;
        pc = in.b;
        continue;
      }
      case Op::AtomicStart:
        Push(kBarrier, barrier_);
        barrier_ = static_cast<int>(bt_.size()) - 1;
        ++pc;
        continue;
      case Op::AtomicEnd:
        Cut();
        ++pc;
        continue;
      case Op::LookStart:
        Push(kLookBarrier, pc, pos, barrier_);
        barrier_ = static_cast<int>(bt_.size()) - 1;
        ++pc;
        continue;
      case Op::LookEnd: {
        const Bt bar = bt_[barrier_];
        const Inst& st = code_[bar.a];
        pos = bar.b;
        if (!(st.flag & kLookNegative)) {
          Cut();
          ++pc;
          continue;
        }
        if (st.flag & kLookCondition) {
          // As in Perl, a negative condition whose body matched keeps the
          // captures it made and takes the "no" branch.
          Cut();
          pc = st.b;
          continue;
        }
        Unwind();
        goto fail;
      }
      case Op::LookBehindStart: {
        int origin = bt_[barrier_].b;
        if (origin - begin_ < in.a) goto fail;
        if (in.b > in.a && origin - begin_ > in.a) Push(kLookBehindNext, pc, in.a + 1);
        pos = origin - in.a;
        ++pc;
        continue;
      }
      case Op::LookBehindCheck:
        if (pos != bt_[barrier_].b) goto fail;
        ++pc;
        continue;
      case Op::Backref: {
        int s = slots_[2 * in.a], e = slots_[2 * in.a + 1];
        if (s < 0) goto fail;
        int len = e - s;
        if (end - pos < len) goto fail;
        budget_ -= len;
        if (in.flag) {
          for (int i = 0; i < len; ++i)
            if (!CaselessEqual(t[s + i], t[pos + i])) goto fail;
        } else if (std::memcmp(t + s, t + pos, len * sizeof(char16_t)) != 0) {
          goto fail;
        }
        pos += len;
        ++pc;
        continue;
      }
      case Op::CondGroup:
        pc = slots_[2 * in.a + 1] >= 0 ? pc + 1 : in.b;
        continue;
      case Op::CondRecursion: {
        bool inCall = !frames_.empty() && (in.a < 0 || frames_.back().group == in.a);
        pc = inCall ? pc + 1 : in.b;
        continue;
      }
      case Op::Call: {
        // A call that re-enters a group at the same place would never end.
        bool loops = frames_.size() >= kMaxCallDepth;
        for (const Frame& f : frames_)
          if (f.group == in.a && f.start == pos) loops = true;
        if (loops) {
          limit_ = true;
          return false;
        }
        // The scan above and the snapshot below cost their length.
        budget_ -= static_cast<int64_t>(frames_.size() + slots_.size());
        frames_.push_back(Frame{in.a, pc + 1, pos, static_cast<int32_t>(aux_.size())});
        aux_.insert(aux_.end(), slots_.begin(), slots_.end());
        Push(kCallUndo);
        pc = prog_.groupStart[in.a];
        continue;
      }
      case Op::Keep:
        Push(kRestore1, 0, slots_[0]);
        slots_[0] = pos;
        ++pc;
        continue;
      case Op::Fail: goto fail;
      case Op::Match:
        if (!frames_.empty() && frames_.back().group == 0) {
          pc = Return();
          continue;
        }
        if (pos == start && pos == notEmptyAt_) goto fail;
        slots_[1] = pos;
        return true;
    }
  fail:
    for (;;) {
      if (--budget_ < 0) {
        limit_ = true;
        return false;
      }
      if (bt_.empty()) return false;
      Bt& e = bt_.back();
      switch (e.kind) {
        case kChoice:
          pc = e.a;
          pos = e.b;
          bt_.pop_back();
          goto resume;
        case kRepeatGreedy: {
          const Inst& r = code_[e.a];
          int cur = e.c - 1;
          if (r.d >= 0) {
            while (cur >= e.b && t[cur] != r.d) --cur;
            budget_ -= e.c - 1 - cur;
          }
          if (cur < e.b) {
            bt_.pop_back();
            continue;
          }
          e.c = cur;
          pos = cur;
          pc = e.a + 1;
          goto resume;
        }
        case kRepeatLazy: {
          const Inst& r = code_[e.a];
          int p = e.b, count = e.c;
          bool ok = count < r.c && p < end && ItemMatches(r, t[p]);
          if (ok) {
            ++p;
            ++count;
            if (r.d >= 0) {
              int from = p;
              while (count < r.c && p < end && t[p] != r.d && ItemMatches(r, t[p])) {
                ++p;
                ++count;
              }
              budget_ -= p - from;
              ok = p < end && t[p] == r.d;
            }
          }
          if (!ok) {
            bt_.pop_back();
            continue;
          }
          e.b = p;
          e.c = count;
          pos = p;
          pc = e.a + 1;
          goto resume;
        }
        case kLazyEnter: {
          int head = e.a;
          pos = e.b;
          bt_.pop_back();
          int r = prog_.RegisterSlot(code_[head].a);
          Push(kRestore2, r, slots_[r], slots_[r + 1]);
          slots_[r + 1] = pos;
          pc = head + 1;
          goto resume;
        }
        case kBarrier:
          barrier_ = e.a;
          bt_.pop_back();
          continue;
        case kLookBarrier: {
          const Inst& st = code_[e.a];
          barrier_ = e.c;
          pos = e.b;
          bt_.pop_back();
          if (st.flag & kLookNegative) { pc = st.a; goto resume; }
          if (st.flag & kLookCondition) { pc = st.b; goto resume; }
          continue;
        }
        case kLookBehindNext: {
          const Inst& lb = code_[e.a];
          int origin = bt_[barrier_].b;
          int len = e.b;
          int at = e.a;
          if (origin - begin_ < len) {
            bt_.pop_back();
            continue;
          }
          if (len < lb.b && origin - begin_ > len) e.b = len + 1;
          else bt_.pop_back();
          pos = origin - len;
          pc = at + 1;
          goto resume;
        }
        default:
          UndoTop();
          continue;
      }
    }
  resume:;
  }
}

int Matcher::FindPrefix(int p) const {
  const std::u16string& pre = prog_.start.prefix;
  const int len = static_cast<int>(pre.size());
  const char16_t first = pre[0];
  const int last = end_ - len;
  const char16_t* t = t_;
  while (p <= last) {
    p = static_cast<int>(FindUnit(t + p, t + last + 1, first) - t);
    if (p > last) break;
    if (len == 1 || std::memcmp(t + p + 1, pre.data() + 1, (len - 1) * sizeof(char16_t)) == 0)
      return p;
    ++p;
  }
  return -1;
}

// False when the unit every match needs does not occur at or after p.
bool Matcher::RequiredFrom(int p) {
  const StartInfo& si = prog_.start;
  if (si.required < 0) return true;
  if (reqNoneFrom_ >= 0 && p >= reqNoneFrom_) return false;
  if (reqPos_ >= p) return true;
  char16_t r1 = static_cast<char16_t>(si.required);
  char16_t r2 = static_cast<char16_t>(si.required2 >= 0 ? si.required2 : si.required);
  int q = static_cast<int>(FindUnit2(t_ + p, t_ + end_, r1, r2) - t_);
  if (q >= end_) {
    reqNoneFrom_ = p;
    return false;
  }
  reqPos_ = q;
  return true;
}

// The first position at or after p where a match could begin, or -1.
int Matcher::NextCandidate(int p, int from) {
  const StartInfo& si = prog_.start;
  const char16_t* t = t_;
  switch (si.anchor) {
    case Anchor::Begin: case Anchor::SearchStart:
      if (p != from) return -1;
      break;
    case Anchor::LineStart:
      if (p != from && p != begin_ && t[p - 1] != '\n') {
        p = static_cast<int>(FindUnit(t + p, t + end_, u'\n') - t);
        if (p >= end_) return -1;
        ++p;
      }
      break;
    case Anchor::None: break;
  }
  if (!RequiredFrom(p)) return -1;
  if (!si.prefix.empty()) {
    p = FindPrefix(p);
    if (p < 0) return -1;
  } else if (si.useFirst) {
    if (si.firstUnits == 1) {
      p = static_cast<int>(FindUnit(t + p, t + end_, si.unit[0]) - t);
    } else if (si.firstUnits == 2) {
      p = static_cast<int>(FindUnit2(t + p, t + end_, si.unit[0], si.unit[1]) - t);
    } else {
      const CharSet& f = si.first;
      while (p < end_ && (t[p] < 256 ? !f.TestLow(t[p]) : f.high == 0)) ++p;
    }
    if (p >= end_) return -1;
  }
  if (!RequiredFrom(p)) return -1;
  if (si.anchor == Anchor::Begin && p != from) return -1;
  if (si.anchor == Anchor::SearchStart && p != from) return -1;
  return p;
}

bool Matcher::Search(int from, int notEmptyAt) {
  limit_ = budget_ < 0;
  if (limit_) return false;
  from_ = from;
  notEmptyAt_ = notEmptyAt;
  for (int p = from; p <= end_; ++p) {
    p = NextCandidate(p, from);
    if (p < 0) return false;
    if (Attempt(p)) return true;
    if (limit_) return false;
    if (prog_.start.leadingRun) {
      // Later starts inside the run the first instruction took end up at
      // the same place with the same state, and fail the same way.
      p += CountItems(code_[0], p, end_ - p);
    }
  }
  return false;
}

}  // namespace regex::detail
