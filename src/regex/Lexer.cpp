// Escapes that read the same inside and outside sets, and set parsing.
#include "regex/Lexer.h"

namespace regex::detail {

char32_t Lexer::ReadHexEscape() {
  if (Accept('{')) {
    char32_t v = 0;
    int digits = 0;
    while (HexValue(Peek()) >= 0) {
      v = v * 16 + static_cast<char32_t>(HexValue(Peek()));
      if (v > 0xFFFF) Fail(ErrorCode::IllFormed);
      ++i_;
      ++digits;
    }
    if (digits == 0 || !Accept('}')) Fail(ErrorCode::IllFormed);
    return v;
  }
  char32_t v = 0;
  for (int k = 0; k < 2 && HexValue(Peek()) >= 0; ++k, ++i_)
    v = v * 16 + static_cast<char32_t>(HexValue(Peek()));
  return v;
}

char32_t Lexer::ReadOctal(int maxDigits) {
  char32_t v = 0;
  for (int k = 0; k < maxDigits && Peek() >= '0' && Peek() <= '7'; ++k, ++i_)
    v = v * 8 + (Peek() - '0');
  return v;
}

char32_t Lexer::ReadBracedOctal() {
  if (!Accept('{')) Fail(ErrorCode::IllFormed);
  char32_t v = 0;
  int digits = 0;
  while (Peek() >= '0' && Peek() <= '7') {
    v = v * 8 + (Peek() - '0');
    if (v > 0xFFFF) Fail(ErrorCode::IllFormed);
    ++i_;
    ++digits;
  }
  if (digits == 0 || !Accept('}')) Fail(ErrorCode::IllFormed);
  return v;
}

char32_t Lexer::ReadControl() {
  char32_t c = Peek();
  if (AtEnd() || c < 32 || c > 126) Fail(ErrorCode::IncompleteControlEscape);
  ++i_;
  if (c >= 'a' && c <= 'z') c -= 32;
  return c ^ 0x40;
}

long Lexer::SimpleEscape(char32_t c) {
  switch (c) {
    case 'a': return 7;
    case 'e': return 27;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case 'x': return static_cast<long>(ReadHexEscape());
    case 'o': return static_cast<long>(ReadBracedOctal());
    case 'c': return static_cast<long>(ReadControl());
    default: return -1;
  }
}

bool Lexer::ShorthandClass(char32_t c, ClassKind& k, bool& negated) {
  negated = c >= 'A' && c <= 'Z';
  switch (c) {
    case 'd': case 'D': k = ClassKind::Digit; return true;
    case 'w': case 'W': k = ClassKind::Word; return true;
    case 's': case 'S': k = ClassKind::Space; return true;
    case 'h': case 'H': k = ClassKind::HSpace; return true;
    case 'v': case 'V': k = ClassKind::VSpace; return true;
    default: return false;
  }
}

bool Lexer::ReadPosixClass(ClassItem& item, bool caseless) {
  // At "[:" (or "[." / "[=", which are not supported).
  char32_t kindChar = Peek(1);
  std::size_t j = i_ + 2;
  bool negated = false;
  if (kindChar == ':' && j < p_.size() && p_[j] == '^') { negated = true; ++j; }
  std::size_t nameStart = j;
  while (j < p_.size() && p_[j] >= 'a' && p_[j] <= 'z') ++j;
  if (j + 1 >= p_.size() || p_[j] != kindChar || p_[j + 1] != ']') return false;
  if (kindChar != ':') Fail(ErrorCode::IllFormed);
  std::u16string_view name = p_.substr(nameStart, j - nameStart);
  static constexpr struct { std::u16string_view name; ClassKind kind; } kNames[] = {
      {u"alnum", ClassKind::Alnum}, {u"alpha", ClassKind::Alpha},
      {u"ascii", ClassKind::Ascii}, {u"blank", ClassKind::Blank},
      {u"cntrl", ClassKind::Cntrl}, {u"digit", ClassKind::Digit},
      {u"graph", ClassKind::Graph}, {u"lower", ClassKind::Lower},
      {u"print", ClassKind::Print}, {u"punct", ClassKind::Punct},
      {u"space", ClassKind::Space}, {u"upper", ClassKind::Upper},
      {u"word", ClassKind::Word},   {u"xdigit", ClassKind::XDigit}};
  for (const auto& e : kNames) {
    if (e.name != name) continue;
    ClassKind k = e.kind;
    // Caseless [:upper:] and [:lower:] take letters of either case.
    if (caseless && (k == ClassKind::Upper || k == ClassKind::Lower)) k = ClassKind::Alpha;
    item.isClass = true;
    item.set.AddClass(k, negated);
    i_ = j + 2;
    return true;
  }
  Fail(ErrorCode::IllFormed);
}

// Reads one set member; `quoted` tracks \Q...\E inside the set.
Lexer::ClassItem Lexer::ReadClassItem(bool& quoted, bool caseless) {
  ClassItem item;
  for (;;) {
    if (AtEnd()) Fail(ErrorCode::UnterminatedSet);
    if (quoted) {
      if (StartsWith(u"\\E")) { i_ += 2; quoted = false; continue; }
      item.unit = p_[i_++];
      return item;
    }
    if (StartsWith(u"\\Q")) { i_ += 2; quoted = true; continue; }
    if (StartsWith(u"\\E")) Fail(ErrorCode::QuoteMetaNotOn);
    break;
  }
  char32_t c = Peek();
  if (c == '[' && (Peek(1) == ':' || Peek(1) == '.' || Peek(1) == '=') &&
      ReadPosixClass(item, caseless))
    return item;
  ++i_;
  if (c != '\\') {
    item.unit = c;
    return item;
  }
  if (AtEnd()) Fail(ErrorCode::UnterminatedSet);
  c = p_[i_++];
  ClassKind k;
  bool negated;
  if (ShorthandClass(c, k, negated)) {
    item.isClass = true;
    item.set.AddClass(k, negated);
    return item;
  }
  long simple = SimpleEscape(c);
  if (simple >= 0) { item.unit = static_cast<char32_t>(simple); return item; }
  if (c == 'b') { item.unit = 8; return item; }
  if (c >= '0' && c <= '7') {
    --i_;
    item.unit = ReadOctal(3);
    return item;
  }
  if (IsAsciiAlnum(c)) Fail(ErrorCode::IllFormed);
  item.unit = c;
  return item;
}

RangeSet Lexer::ParseSet(bool caseless, bool blanksIgnored) {
  ++i_;  // '['
  bool negate = Accept('^');
  RangeSet units;    // literal members: closed under case when caseless
  RangeSet classes;  // class members: taken as they are
  bool quoted = false;
  bool first = true;
  for (;;) {
    if (AtEnd()) Fail(ErrorCode::UnterminatedSet);
    if (quoted) {
      if (StartsWith(u"\\E")) { i_ += 2; quoted = false; continue; }
    } else {
      if (StartsWith(u"\\Q")) { i_ += 2; quoted = true; continue; }
      if (StartsWith(u"\\E")) Fail(ErrorCode::QuoteMetaNotOn);
      if (Peek() == ']' && !first) { ++i_; break; }
      if (blanksIgnored && (Peek() == ' ' || Peek() == '\t')) { ++i_; continue; }
    }
    first = false;
    ClassItem lo = ReadClassItem(quoted, caseless);
    bool range = !quoted && Peek() == '-' && i_ + 1 < p_.size() && Peek(1) != ']';
    if (!range) {
      if (lo.isClass) classes.AddSet(lo.set);
      else units.Add(lo.unit);
      continue;
    }
    if (lo.isClass) Fail(ErrorCode::InvalidSetRange);
    ++i_;  // '-'
    ClassItem hi = ReadClassItem(quoted, caseless);
    if (hi.isClass || hi.unit < lo.unit) Fail(ErrorCode::InvalidSetRange);
    units.Add(lo.unit, hi.unit);
  }
  units.Normalize();
  if (caseless) units.CloseCase();
  units.AddSet(classes);
  units.Normalize();
  if (negate) units.Negate();
  return units;
}

}  // namespace regex::detail
