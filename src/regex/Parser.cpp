// Recursive-descent parser from Perl-style syntax to the parse tree.
// Recursion follows group nesting only, which is bounded by kMaxNesting.
#include <string_view>

#include "regex/Ast.h"
#include "regex/Lexer.h"
#include "regex/Regex.h"

namespace regex::detail {
namespace {

// What the last item was, for the quantifier that may follow it.
enum class Item { None, Normal, ZeroWidth, Lookahead, Call };

struct Options {
  bool caseless = false, multiline = false, dotall = false, extended = false,
       extendedMore = false, noAutoCapture = false, ungreedy = false;
};

constexpr int kMaxCount = 65535;
constexpr std::size_t kMaxName = 32;

struct PendingRef {
  int node;
  std::u16string name;
};

class Parser : Lexer {
 public:
  Parser(std::u16string_view p, unsigned flags, Tree& t) : Lexer(p), t_(t) {
    o_.caseless = flags & icase;
    o_.multiline = flags & multiline;
    o_.dotall = flags & dotall;
    o_.extended = flags & extended;
  }

  void Run() {
    t_.nodes.reserve(p_.size() + 4);
    t_.root = ParseAlternation();
    if (i_ < p_.size()) Fail(ErrorCode::MismatchedParenthesis);  // a stray ')'
    for (const PendingRef& r : pending_) {
      int n = FindName(r.name);
      if (n < 0) Fail(ErrorCode::NonexistentGroup);
      t_.nodes[r.node].type == NodeType::Cond ? (t_.nodes[r.node].b = n)
                                              : (t_.nodes[r.node].a = n);
    }
    for (const Node& n : t_.nodes) {
      bool ref = n.type == NodeType::Backref || n.type == NodeType::Call;
      if (ref && n.a > t_.groups) Fail(ErrorCode::NonexistentGroup);
      if (n.type == NodeType::Cond && n.a == static_cast<int>(CondKind::Group) &&
          n.b > t_.groups)
        Fail(ErrorCode::NonexistentGroup);
      if (n.type == NodeType::Cond && n.a == static_cast<int>(CondKind::Recursion) &&
          n.b > t_.groups)
        Fail(ErrorCode::NonexistentGroup);
    }
  }

 private:
  int FindName(std::u16string_view name) const {
    for (const auto& [n, g] : t_.names)
      if (n == name) return g;
    return -1;
  }

  // Skips what carries no meaning: comments, \Q and \E, and blanks in (?x).
  void SkipTrivia() {
    if (!quoting_ && !o_.extended && (AtEnd() || (p_[i_] != '\\' && p_[i_] != '('))) return;
    for (;;) {
      if (quoting_) {
        if (StartsWith(u"\\E")) { i_ += 2; quoting_ = false; continue; }
        return;
      }
      if (StartsWith(u"\\Q")) { i_ += 2; quoting_ = true; continue; }
      if (StartsWith(u"\\E")) Fail(ErrorCode::QuoteMetaNotOn);
      if (StartsWith(u"(?#")) {
        std::size_t close = p_.find(u')', i_ + 3);
        if (close == std::u16string_view::npos) Fail(ErrorCode::UnterminatedComment);
        i_ = close + 1;
        continue;
      }
      if (o_.extended && !AtEnd()) {
        if (IsPatternSpace(Peek())) { ++i_; continue; }
        if (Peek() == '#') {
          while (!AtEnd() && Peek() != '\n') ++i_;
          continue;
        }
      }
      return;
    }
  }

  int ParseAlternation() {
    int first = ParseSequence();
    if (Peek() != '|') return first;
    int alt = t_.Add(NodeType::Alt);
    t_.Append(alt, first);
    while (Accept('|')) t_.Append(alt, ParseSequence());
    return alt;
  }

  int ParseSequence() {
    int seq = t_.Add(NodeType::Concat);
    for (;;) {
      SkipTrivia();
      if (AtEnd()) break;
      if (!quoting_ && (Peek() == '|' || Peek() == ')')) break;
      Item kind = Item::None;
      int atom = ParseAtom(kind);
      if (atom < 0) {
        // An option setting: nothing for a quantifier to apply to.
        SkipTrivia();
        if (!quoting_ && QuantifierAhead()) Fail(ErrorCode::QuantifierNotExpected);
        continue;
      }
      t_.Append(seq, ParseQuantifier(atom, kind));
    }
    return seq;
  }

  // True when a quantifier starts at the current position.
  bool QuantifierAhead() const {
    char32_t c = Peek();
    if (c == '*' || c == '+' || c == '?') return true;
    if (c != '{') return false;
    std::size_t j = i_ + 1;
    std::size_t digits = 0;
    while (j < p_.size() && IsDigit(p_[j])) { ++j; ++digits; }
    if (digits == 0) return false;
    if (j < p_.size() && p_[j] == '}') return true;
    if (j >= p_.size() || p_[j] != ',') return false;
    ++j;
    while (j < p_.size() && IsDigit(p_[j])) ++j;
    return j < p_.size() && p_[j] == '}';
  }

  int ReadCount() {
    long v = 0;
    while (IsDigit(Peek())) {
      v = v * 10 + static_cast<long>(Peek() - '0');
      if (v > kMaxCount) Fail(ErrorCode::IllFormed);
      ++i_;
    }
    return static_cast<int>(v);
  }

  int ParseQuantifier(int atom, Item kind) {
    SkipTrivia();
    if (quoting_ || !QuantifierAhead()) return atom;
    switch (kind) {
      case Item::None: Fail(ErrorCode::QuantifierNotExpected);
      case Item::ZeroWidth: Fail(ErrorCode::SubexpressionNotQuantifiable);
      case Item::Lookahead: Fail(ErrorCode::LookaheadNotQuantifiable);
      case Item::Call: Fail(ErrorCode::RecursionNotQuantifiable);
      case Item::Normal: break;
    }
    int min = 0, max = -1;
    char32_t c = p_[i_++];
    if (c == '+') min = 1;
    else if (c == '?') max = 1;
    else if (c == '{') {
      min = ReadCount();
      if (Accept(',')) max = IsDigit(Peek()) ? ReadCount() : -1;
      else max = min;
      ++i_;  // '}'
      if (max >= 0 && min > max) Fail(ErrorCode::RepeatRangeReversed);
    }
    uint8_t mode = o_.ungreedy ? kLazy : kGreedy;
    if (Accept('?')) mode = o_.ungreedy ? kGreedy : kLazy;
    else if (Accept('+')) mode = kPossessive;
    int rep = t_.Add(NodeType::Repeat);
    t_.nodes[rep].a = min;
    t_.nodes[rep].b = max;
    t_.nodes[rep].mode = mode;
    t_.Append(rep, atom);
    SkipTrivia();
    if (!quoting_ && QuantifierAhead()) Fail(ErrorCode::QuantifierNotExpected);
    return rep;
  }

  int CharNode(char32_t c) {
    int n = t_.Add(NodeType::Char);
    t_.nodes[n].a = static_cast<int32_t>(c);
    t_.nodes[n].flag = o_.caseless;
    return n;
  }

  int SetNode(RangeSet&& set) {
    set.Normalize();
    int n = t_.Add(NodeType::Set);
    t_.nodes[n].a = static_cast<int32_t>(t_.sets.size());
    t_.sets.push_back(std::move(set));
    return n;
  }

  int ClassNode(ClassKind k, bool negated) {
    RangeSet s;
    s.AddClass(k, negated);
    return SetNode(std::move(s));
  }

  int AssertNode(AssertKind k) {
    int n = t_.Add(NodeType::Assert);
    t_.nodes[n].a = static_cast<int32_t>(k);
    if (k == AssertKind::SearchStart) t_.hasSearchStart = true;
    return n;
  }

  int ParseAtom(Item& kind) {
    char32_t c = Peek();
    kind = Item::Normal;
    if (quoting_) { ++i_; return CharNode(c); }
    switch (c) {
      case '(': return ParseGroup(kind);
      case '[': return ParseClass();
      case '.': {
        ++i_;
        int n = t_.Add(NodeType::Any);
        t_.nodes[n].flag = o_.dotall;
        return n;
      }
      case '^':
        ++i_;
        kind = Item::ZeroWidth;
        return AssertNode(o_.multiline ? AssertKind::MultiBol : AssertKind::Bol);
      case '$':
        ++i_;
        kind = Item::ZeroWidth;
        return AssertNode(o_.multiline ? AssertKind::MultiEol : AssertKind::Eol);
      case '\\': return ParseEscape(kind);
      case '*': case '+': case '?': Fail(ErrorCode::QuantifierNotExpected);
      case '{':
        if (QuantifierAhead()) Fail(ErrorCode::QuantifierNotExpected);
        break;
      default: break;
    }
    ++i_;
    return CharNode(c);
  }

  // ---- names, references and escapes ----

  std::u16string ReadName(char32_t terminator) {
    std::size_t start = i_;
    if (!IsNameStart(Peek())) Fail(ErrorCode::BadExtension);
    while (IsNameChar(Peek())) ++i_;
    if (i_ - start > kMaxName) Fail(ErrorCode::IllFormed);
    std::u16string name(p_.substr(start, i_ - start));
    if (!Accept(terminator)) Fail(ErrorCode::BadExtension);
    return name;
  }

  // A group number, absolute or relative ("+n", "-n"); false when none.
  bool ReadGroupNumber(int& n, bool allowPlus) {
    int sign = 0;
    if (Peek() == '-' && IsDigit(Peek(1))) { sign = -1; ++i_; }
    else if (allowPlus && Peek() == '+' && IsDigit(Peek(1))) { sign = 1; ++i_; }
    if (!IsDigit(Peek())) return false;
    int v = ReadCount();
    if (sign < 0) {
      v = t_.groups - v + 1;
      if (v <= 0) Fail(ErrorCode::NonexistentGroup);
    } else if (sign > 0) {
      v = t_.groups + v;
    }
    n = v;
    return true;
  }

  int BackrefNode(int group) {
    if (group == 0) Fail(ErrorCode::NonexistentGroup);  // the match itself
    int n = t_.Add(NodeType::Backref);
    t_.nodes[n].a = group;
    t_.nodes[n].flag = o_.caseless;
    t_.hasBackrefs = true;
    return n;
  }

  int NamedRef(NodeType type, std::u16string name) {
    int n = t_.Add(type);
    if (type == NodeType::Backref) {
      t_.nodes[n].flag = o_.caseless;
      t_.hasBackrefs = true;
    } else {
      t_.hasCalls = true;
    }
    int g = FindName(name);
    if (g >= 0) t_.nodes[n].a = g;
    else pending_.push_back({n, std::move(name)});
    return n;
  }

  int CallNode(int group) {
    int n = t_.Add(NodeType::Call);
    t_.nodes[n].a = group;
    t_.hasCalls = true;
    return n;
  }

  int ParseEscape(Item& kind) {
    ++i_;
    if (AtEnd()) Fail(ErrorCode::IllFormed);
    char32_t c = p_[i_++];
    ClassKind k;
    bool negated;
    if (ShorthandClass(c, k, negated)) return ClassNode(k, negated);
    long simple = SimpleEscape(c);
    if (simple >= 0) return CharNode(static_cast<char32_t>(simple));
    switch (c) {
      case 'N': return ClassNode(ClassKind::Newline, true);
      case 'R': return LineBreakNode();
      case 'b': kind = Item::ZeroWidth; return AssertNode(AssertKind::WordBoundary);
      case 'B': kind = Item::ZeroWidth; return AssertNode(AssertKind::NotWordBoundary);
      case 'A': kind = Item::ZeroWidth; return AssertNode(AssertKind::Begin);
      case 'z': kind = Item::ZeroWidth; return AssertNode(AssertKind::End);
      case 'Z': kind = Item::ZeroWidth; return AssertNode(AssertKind::EndOrNewline);
      case 'G': kind = Item::ZeroWidth; return AssertNode(AssertKind::SearchStart);
      case 'K': kind = Item::ZeroWidth; return t_.Add(NodeType::Keep);
      case '0': return CharNode(ReadOctal(2));
      case 'g': return ParseGEscape(kind);
      case 'k': {
        char32_t open = Peek();
        char32_t close = open == '<' ? '>' : open == '\'' ? '\'' : open == '{' ? '}' : 0;
        if (!close) Fail(ErrorCode::IllFormed);
        ++i_;
        return NamedRef(NodeType::Backref, ReadName(close));
      }
      default: break;
    }
    if (IsDigit(c)) {
      std::size_t start = i_ - 1;
      --i_;
      int n = ReadCount();
      if (n < 10 || n <= t_.groups || c == '8' || c == '9') return BackrefNode(n);
      i_ = start;
      return CharNode(ReadOctal(3));
    }
    if (IsAsciiAlnum(c)) Fail(ErrorCode::IllFormed);
    return CharNode(c);
  }

  int ParseGEscape(Item& kind) {
    char32_t open = Peek();
    if (open == '<' || open == '\'') {
      // Subroutine call by number or name.
      ++i_;
      char32_t close = open == '<' ? '>' : '\'';
      kind = Item::Call;
      int n;
      if (ReadGroupNumber(n, true)) {
        if (!Accept(close)) Fail(ErrorCode::IllFormed);
        return CallNode(n);
      }
      return NamedRef(NodeType::Call, ReadName(close));
    }
    int n;
    if (Accept('{')) {
      if (ReadGroupNumber(n, false)) {
        if (!Accept('}')) Fail(ErrorCode::IllFormed);
        return BackrefNode(n);
      }
      return NamedRef(NodeType::Backref, ReadName('}'));
    }
    if (ReadGroupNumber(n, false)) return BackrefNode(n);
    Fail(ErrorCode::IllFormed);
  }

  // \R: (?>\r\n|[\n\v\f\r\x85\x{2028}\x{2029}])
  int LineBreakNode() {
    int atomic = t_.Add(NodeType::Atomic);
    int alt = t_.Add(NodeType::Alt);
    int crlf = t_.Add(NodeType::Concat);
    bool saved = o_.caseless;
    o_.caseless = false;
    t_.Append(crlf, CharNode('\r'));
    t_.Append(crlf, CharNode('\n'));
    o_.caseless = saved;
    t_.Append(alt, crlf);
    t_.Append(alt, ClassNode(ClassKind::VSpace, false));
    t_.Append(atomic, alt);
    return atomic;
  }

  int ParseClass() { return SetNode(ParseSet(o_.caseless, o_.extendedMore)); }

  // ---- groups ----

  int ParseGroup(Item& kind) {
    ++i_;  // '('
    if (depth_ >= kMaxNesting) Fail(ErrorCode::IllFormed);
    if (!Accept('?')) {
      if (o_.noAutoCapture) return GroupBody(0);
      return GroupBody(++t_.groups);
    }
    char32_t c = Peek();
    switch (c) {
      case ':': ++i_; return GroupBody(0);
      case '>': {
        ++i_;
        int n = t_.Add(NodeType::Atomic);
        t_.Append(n, GroupBody(0));
        return n;
      }
      case '=': case '!':
        ++i_;
        kind = Item::Lookahead;
        return LookBody(c == '!' ? kLookNegative : 0);
      case '<':
        if (Peek(1) == '=' || Peek(1) == '!') {
          bool negative = Peek(1) == '!';
          i_ += 2;
          kind = Item::ZeroWidth;
          return LookBody(kLookBehind | (negative ? kLookNegative : 0));
        }
        ++i_;
        return NamedGroup('>');
      case '\'': ++i_; return NamedGroup('\'');
      case 'P':
        ++i_;
        if (Accept('<')) return NamedGroup('>');
        if (Accept('=')) return NamedRef(NodeType::Backref, ReadName(')'));
        if (Accept('>')) {
          kind = Item::Call;
          return NamedRef(NodeType::Call, ReadName(')'));
        }
        Fail(ErrorCode::BadExtension);
      case '&':
        ++i_;
        kind = Item::Call;
        return NamedRef(NodeType::Call, ReadName(')'));
      case 'R':
        ++i_;
        if (!Accept(')')) Fail(ErrorCode::BadExtension);
        kind = Item::Call;
        return CallNode(0);
      case '(': ++i_; return ParseConditional();
      default: break;
    }
    if (IsDigit(c) || ((c == '+' || c == '-') && IsDigit(Peek(1)))) {
      int n = 0;
      ReadGroupNumber(n, true);
      if (!Accept(')')) Fail(ErrorCode::BadExtension);
      kind = Item::Call;
      return CallNode(n);
    }
    return OptionSetting(kind);
  }

  int OptionSetting(Item& kind) {
    Options o = o_;
    bool on = true;
    if (Accept('^')) {
      o.caseless = o.multiline = o.dotall = o.extended = o.extendedMore = false;
      o.noAutoCapture = o.ungreedy = false;
    }
    for (;;) {
      if (AtEnd()) Fail(ErrorCode::BadExtension);
      char32_t c = p_[i_++];
      switch (c) {
        case 'i': o.caseless = on; break;
        case 'm': o.multiline = on; break;
        case 's': o.dotall = on; break;
        case 'n': o.noAutoCapture = on; break;
        case 'U': o.ungreedy = on; break;
        case 'x':
          if (on && Peek() == 'x') { ++i_; o.extendedMore = true; }
          else if (!on) o.extendedMore = false;
          o.extended = on;
          break;
        case '-':
          if (!on) Fail(ErrorCode::BadExtension);
          on = false;
          break;
        case ')':
          o_ = o;
          kind = Item::None;
          return -1;
        case ':': {
          Options saved = o_;
          o_ = o;
          int body = GroupBody(0);
          o_ = saved;
          return body;
        }
        default: Fail(ErrorCode::BadExtension);
      }
    }
  }

  int NamedGroup(char32_t terminator) {
    std::u16string name = ReadName(terminator);
    if (FindName(name) >= 0) Fail(ErrorCode::IllFormed);
    int number = ++t_.groups;
    t_.names.emplace_back(std::move(name), number);
    return GroupBody(number);
  }

  // Parses up to the closing ')' and wraps the body in a group node.
  int GroupBody(int capture) {
    Options saved = o_;
    ++depth_;
    int body = ParseAlternation();
    --depth_;
    o_ = saved;
    if (!Accept(')')) Fail(ErrorCode::MismatchedParenthesis);
    int g = t_.Add(NodeType::Group);
    t_.nodes[g].a = capture;
    t_.Append(g, body);
    return g;
  }

  int LookBody(uint8_t flags) {
    int n = t_.Add(NodeType::Look);
    t_.nodes[n].flag = flags;
    t_.Append(n, GroupBody(0));
    return n;
  }

  int ParseConditional() {
    // After "(?(".
    int cond = t_.Add(NodeType::Cond);
    auto setKind = [&](CondKind k) { t_.nodes[cond].a = static_cast<int32_t>(k); };
    if (Peek() == '?' && (Peek(1) == '=' || Peek(1) == '!' || Peek(1) == '<')) {
      --i_;  // back to the '(' of the assertion
      Item kind;
      int look = ParseGroup(kind);
      if (t_.nodes[look].type != NodeType::Look) Fail(ErrorCode::BadExtension);
      setKind(CondKind::Look);
      t_.Append(cond, look);
    } else if (Peek() == 'R') {
      ++i_;
      setKind(CondKind::Recursion);
      t_.nodes[cond].b = -1;
      if (Accept('&')) {
        std::u16string name = ReadName(')');
        int g = FindName(name);
        if (g >= 0) t_.nodes[cond].b = g;
        else pending_.push_back({cond, std::move(name)});
      } else {
        if (IsDigit(Peek())) t_.nodes[cond].b = ReadCount();
        if (!Accept(')')) Fail(ErrorCode::BadExtension);
      }
    } else if (StartsWith(u"DEFINE)")) {
      i_ += 7;
      setKind(CondKind::Define);
    } else {
      setKind(CondKind::Group);
      int n;
      if (ReadGroupNumber(n, true)) {
        if (!Accept(')')) Fail(ErrorCode::BadExtension);
        if (n == 0) Fail(ErrorCode::NonexistentGroup);
        t_.nodes[cond].b = n;
      } else {
        std::u16string name;
        bool quotedName = true;
        if (Accept('<')) name = ReadName('>');
        else if (Accept('\'')) name = ReadName('\'');
        else { name = ReadName(')'); quotedName = false; }
        if (quotedName && !Accept(')')) Fail(ErrorCode::BadExtension);
        int g = FindName(name);
        if (g >= 0) t_.nodes[cond].b = g;
        else pending_.push_back({cond, std::move(name)});
      }
    }
    Options saved = o_;
    if (depth_ >= kMaxNesting) Fail(ErrorCode::IllFormed);
    ++depth_;
    int body = ParseAlternation();
    --depth_;
    o_ = saved;
    if (!Accept(')')) Fail(ErrorCode::MismatchedParenthesis);
    bool isAlt = t_.nodes[body].type == NodeType::Alt;
    int branches = isAlt ? t_.ChildCount(body) : 1;
    int limit = t_.nodes[cond].a == static_cast<int32_t>(CondKind::Define) ? 1 : 2;
    if (branches > limit) Fail(ErrorCode::TooManyConditionalAlternates);
    if (isAlt) {
      int yes = t_.nodes[body].child;
      int no = t_.nodes[yes].next;
      t_.nodes[yes].next = -1;
      t_.Append(cond, yes);
      t_.Append(cond, no);
    } else {
      t_.Append(cond, body);
    }
    return cond;
  }

  Tree& t_;
  Options o_;
  bool quoting_ = false;
  int depth_ = 0;
  std::vector<PendingRef> pending_;
};

}  // namespace

Tree Parse(std::u16string_view pattern, unsigned flags) {
  Tree t;
  Parser(pattern, flags, t).Run();
  return t;
}

}  // namespace regex::detail
