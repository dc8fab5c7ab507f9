// Backtracking matcher. All backtracking state lives in heap vectors, so the
// machine stack does not grow with the subject or the pattern.
#pragma once

#include <cstdint>
#include <vector>

#include "regex/Program.h"

namespace regex::detail {

// Steps (instructions run, backtracks, units scanned) one search may take.
// Instrumented builds such as the fuzzer lower it to stay fast.
#ifndef PW_REGEX_STEP_BUDGET
#define PW_REGEX_STEP_BUDGET 10000000
#endif
inline constexpr int64_t kStepBudget = PW_REGEX_STEP_BUDGET;
// Entries the backtrack stack may hold (16 bytes each).
inline constexpr std::size_t kMaxBacktrack = 4'000'000;
// Nested recursion and subroutine calls.
inline constexpr std::size_t kMaxCallDepth = 2'000;

class Matcher {
 public:
  // Searches text[begin, end); positions are indices into text.
  Matcher(const Program& prog, const char16_t* text, int begin, int end);

  // Leftmost match starting at or after `from`. A match that consumes
  // nothing from `notEmptyAt` is refused there (-1 refuses none). All the
  // searches of one matcher share one step budget, so that walking over
  // successive matches is bounded as a whole.
  bool Search(int from, int notEmptyAt);
  bool LimitReached() const { return limit_; }
  // Start and end of group g after a successful search (-1 if unset).
  int GroupBegin(int g) const { return slots_[2 * g]; }
  int GroupEnd(int g) const { return slots_[2 * g + 1]; }
  // Where the successful attempt began (group 0 may begin later after \K).
  int AttemptStart() const { return attemptStart_; }

 private:
  struct Bt {
    int32_t kind, a, b, c;
  };
  struct Frame {
    int32_t group, returnPc, start, auxOffset;
  };

  bool Attempt(int start);
  int NextCandidate(int p, int from);
  bool RequiredFrom(int p);
  int FindPrefix(int p) const;
  bool TestAssert(int kind, int pos) const;
  bool IsWord(int pos) const;
  int CountItems(const Inst& in, int pos, int limit) const;
  bool ItemMatches(const Inst& in, char16_t c) const;
  void Push(int32_t kind, int32_t a = 0, int32_t b = 0, int32_t c = 0);
  void Cut();
  void Unwind();
  void UndoTop();
  int Return();

  const Program& prog_;
  const Inst* code_;
  const char16_t* t_;
  int begin_, end_;
  int from_ = 0;
  int notEmptyAt_ = -1;
  int attemptStart_ = 0;
  int64_t budget_;
  bool limit_ = false;
  int barrier_ = -1;
  int reqPos_ = -1;      // next known position of the required unit
  int reqNoneFrom_ = -1; // the required unit does not occur from here on
  std::vector<int32_t> slots_;
  std::vector<Bt> bt_;
  std::vector<Frame> frames_;
  std::vector<int32_t> aux_;
};

}  // namespace regex::detail
