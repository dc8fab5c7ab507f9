// Public entry points: compile, find, count, groups and substitution.
#include "regex/Regex.h"

#include <climits>

#include "regex/Matcher.h"
#include "regex/Program.h"

namespace regex {

using detail::Matcher;
using detail::Program;

Pattern::Pattern() noexcept = default;
Pattern::Pattern(Pattern&&) noexcept = default;
Pattern& Pattern::operator=(Pattern&&) noexcept = default;
Pattern::~Pattern() = default;

std::size_t Pattern::GroupCount() const noexcept {
  return prog_ ? static_cast<std::size_t>(prog_->groups) : 0;
}

int Pattern::GroupNumber(std::u16string_view name) const noexcept {
  if (!prog_) return -1;
  for (const auto& [n, g] : prog_->names)
    if (n == name) return g;
  return -1;
}

Pattern Compile(std::u16string_view pattern, unsigned flags) {
  Pattern p;
  p.prog_ = std::make_unique<const Program>(detail::CompileProgram(pattern, flags));
  return p;
}

namespace {

// The stretch of text a search covers, or false when it is empty of sense.
bool Stretch(std::u16string_view text, std::size_t start, std::size_t length, int& begin,
             int& end) {
  if (start > text.size()) return false;
  std::size_t stop = length > text.size() - start ? text.size() : start + length;
  if (stop > static_cast<std::size_t>(INT_MAX - 2)) return false;
  begin = static_cast<int>(start);
  end = static_cast<int>(stop);
  return true;
}

void Fill(const Matcher& m, int groups, Match& out) {
  out.matched = true;
  out.groups.resize(groups + 1);
  for (int g = 0; g <= groups; ++g) {
    int b = m.GroupBegin(g), e = m.GroupEnd(g);
    if (b >= 0 && e >= 0) out.groups[g] = Span{static_cast<std::size_t>(b), static_cast<std::size_t>(e)};
  }
}

// Walks successive matches: each search starts where the last match ended;
// after a match that did not advance, an empty match there is refused.
template <class OnMatch>
void ForEachMatch(const Program& prog, std::u16string_view text, int begin, int end,
                  bool global, OnMatch&& onMatch) {
  Matcher m(prog, text.data(), begin, end);
  int from = begin;
  int refuse = -1;
  while (from <= end && m.Search(from, refuse)) {
    int e = m.GroupEnd(0);
    onMatch(m);
    if (!global) return;
    // Empty as reported (\K can make it so), or empty as searched: either
    // way the next search must not stop at the same place again.
    refuse = (m.GroupBegin(0) == e || m.AttemptStart() == e) ? e : -1;
    from = e;
  }
}

}  // namespace

Match Find(const Pattern& pattern, std::u16string_view text, std::size_t start,
           std::size_t length) {
  Match result;
  const Program* prog = pattern.program();
  int begin, end;
  if (!prog) return result;
  if (!Stretch(text, start, length, begin, end)) {
    result.limitReached = start <= text.size();
    return result;
  }
  Matcher m(*prog, text.data(), begin, end);
  if (m.Search(begin, -1)) Fill(m, prog->groups, result);
  else result.limitReached = m.LimitReached();
  return result;
}

std::size_t Count(const Pattern& pattern, std::u16string_view text, std::size_t start,
                  std::size_t length) {
  const Program* prog = pattern.program();
  int begin, end;
  if (!prog || !Stretch(text, start, length, begin, end)) return 0;
  std::size_t n = 0;
  ForEachMatch(*prog, text, begin, end, true, [&](const Matcher&) { ++n; });
  return n;
}

std::u16string_view Group(const Match& match, std::u16string_view text, std::size_t n) {
  Span s = match[n];
  if (!match.matched || !s.matched() || s.end < s.begin || s.end > text.size()) return {};
  return text.substr(s.begin, s.end - s.begin);
}

namespace {

// A parsed substitution format: literal text and group insertions.
struct Piece {
  int group;  // -1 for literal text
  std::u16string text;
};

std::vector<Piece> ParseFormat(const Program& prog, std::u16string_view f) {
  std::vector<Piece> out;
  auto literal = [&](char16_t c) {
    if (out.empty() || out.back().group >= 0) out.push_back({-1, {}});
    out.back().text.push_back(c);
  };
  auto group = [&](long g) {
    if (g < 0 || g > prog.groups) throw bad_regexpr(ErrorCode::SubstitutionInvalidBackref);
    out.push_back({static_cast<int>(g), {}});
  };
  auto isDigit = [](char16_t c) { return c >= '0' && c <= '9'; };
  for (std::size_t i = 0; i < f.size(); ++i) {
    char16_t c = f[i];
    if (c == '\\') {
      if (++i >= f.size()) throw bad_regexpr(ErrorCode::SubstitutionEscapeExpected);
      if (isDigit(f[i])) group(f[i] - '0');
      else literal(f[i]);
      continue;
    }
    if (c != '$' || i + 1 >= f.size()) {
      literal(c);
      continue;
    }
    char16_t d = f[i + 1];
    if (d == '$') { literal('$'); ++i; continue; }
    if (d == '&') { group(0); ++i; continue; }
    if (isDigit(d)) {
      long g = 0;
      for (++i; i < f.size() && isDigit(f[i]) && g < 1000; ++i) g = g * 10 + (f[i] - '0');
      --i;
      group(g);
      continue;
    }
    if (d == '{') {
      std::size_t close = f.find(u'}', i + 2);
      if (close == std::u16string_view::npos) throw bad_regexpr(ErrorCode::SubstitutionInvalidBackref);
      std::u16string_view name = f.substr(i + 2, close - i - 2);
      long g = -1;
      if (!name.empty() && isDigit(name[0])) {
        g = 0;
        for (char16_t x : name) {
          if (!isDigit(x) || g > 1000) throw bad_regexpr(ErrorCode::SubstitutionInvalidBackref);
          g = g * 10 + (x - '0');
        }
      } else {
        for (const auto& [n, num] : prog.names)
          if (n == name) g = num;
      }
      group(g);
      i = close;
      continue;
    }
    literal(c);
  }
  return out;
}

}  // namespace

std::u16string Substitute(const Pattern& pattern, std::u16string_view text,
                          std::u16string_view format, bool global) {
  const Program* prog = pattern.program();
  if (!prog) return std::u16string(text);
  std::vector<Piece> pieces = ParseFormat(*prog, format);
  int begin, end;
  if (!Stretch(text, 0, npos, begin, end)) return std::u16string(text);
  std::u16string out;
  std::size_t copied = 0;
  ForEachMatch(*prog, text, begin, end, global, [&](const Matcher& m) {
    int b = m.GroupBegin(0), e = m.GroupEnd(0);
    if (b > e) b = e;
    out.append(text.substr(copied, b - copied));
    for (const Piece& p : pieces) {
      if (p.group < 0) {
        out += p.text;
        continue;
      }
      int gb = m.GroupBegin(p.group), ge = m.GroupEnd(p.group);
      if (gb >= 0 && ge >= gb) out.append(text.substr(gb, ge - gb));
    }
    copied = static_cast<std::size_t>(e);
  });
  out.append(text.substr(copied));
  return out;
}

}  // namespace regex
