// Facts about a parse tree: length bounds of sub-patterns, and where a match
// can start (for the search loop's fast skipping).
#pragma once

#include <vector>

#include "regex/Ast.h"
#include "regex/Program.h"

namespace regex::detail {

class Lengths {
 public:
  struct Span {
    long min;
    long max;  // -1 when unbounded
  };
  explicit Lengths(const Tree& t) : t_(t), memo_(t.nodes.size(), Span{-2, -2}) {}
  Span Get(int n);

 private:
  const Tree& t_;
  std::vector<Span> memo_;
};

// Fills prog.start from the tree.
void AnalyseStart(const Tree& tree, Program& prog);

}  // namespace regex::detail
