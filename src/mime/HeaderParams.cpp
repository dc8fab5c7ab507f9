#include "mime/HeaderParams.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "mime/Charset.h"
#include "mime/HeaderScan.h"

namespace pw {

namespace {

bool Blank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

struct Param {
  std::wstring_view name;  // without any "*N" or "*"
  int section = -1;        // N of name*N, or -1
  bool encoded = false;    // ends in '*': charset and percent escapes
  std::wstring value;      // unquoted
};

// Moves i past a quoted string that starts at v[i] == '"'; appends its text
// (quoted-pairs resolved) to `out` when given.
size_t SkipQuoted(std::wstring_view v, size_t i, std::wstring* out) {
  for (++i; i < v.size(); ++i) {
    if (v[i] == L'"') return i + 1;
    if (v[i] == L'\\' && i + 1 < v.size()) ++i;
    if (out) out->push_back(v[i]);
  }
  return i;
}

// The next ';' at or after i outside quoted strings, or the end.
size_t NextSemicolon(std::wstring_view v, size_t i) {
  while (i < v.size() && v[i] != L';') i = v[i] == L'"' ? SkipQuoted(v, i, nullptr) : i + 1;
  return i;
}

// Splits "name*N*" into its parts; false when N is not a number.
bool SplitName(std::wstring_view raw, Param& p) {
  if (!raw.empty() && raw.back() == L'*') {
    p.encoded = true;
    raw.remove_suffix(1);
  }
  const size_t star = raw.find(L'*');
  p.name = raw.substr(0, star);
  if (star == std::wstring_view::npos) return true;
  const std::wstring_view digits = raw.substr(star + 1);
  if (digits.empty() || digits.size() > 4) return false;
  int n = 0;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') return false;
    n = n * 10 + (c - L'0');
  }
  p.section = n;
  return true;
}

// Calls visit(Param&&) for every parameter after the first ';' named
// `name`, in header order.
template <typename Visit>
void Collect(std::wstring_view v, std::wstring_view name, Visit&& visit) {
  size_t i = NextSemicolon(v, 0);
  while (i < v.size()) {
    ++i;  // the ';'
    while (i < v.size() && Blank(v[i])) ++i;
    const size_t nameStart = i;
    while (i < v.size() && v[i] != L'=' && v[i] != L';' && v[i] != L'"' && !Blank(v[i])) ++i;
    const std::wstring_view rawName = v.substr(nameStart, i - nameStart);
    while (i < v.size() && Blank(v[i])) ++i;
    if (i >= v.size() || v[i] != L'=') {
      i = NextSemicolon(v, i);
      continue;
    }
    ++i;
    while (i < v.size() && Blank(v[i])) ++i;
    Param p;
    const bool wanted = StartsNoCase(rawName, name) && SplitName(rawName, p) && p.name.size() == name.size();
    if (i < v.size() && v[i] == L'"') {
      i = SkipQuoted(v, i, wanted ? &p.value : nullptr);
    } else {
      const size_t from = i;
      i = NextSemicolon(v, i);
      size_t to = i;
      while (to > from && Blank(v[to - 1])) --to;
      if (wanted) p.value.assign(v.substr(from, to - from));
    }
    if (wanted) visit(std::move(p));
    i = NextSemicolon(v, i);
  }
}

// Percent escapes of an RFC 2231 value to bytes; other characters as they
// are (they should all be ASCII).
void PercentDecode(std::wstring_view v, std::string& bytes, std::wstring& out, const std::wstring& charset) {
  auto flush = [&] {
    if (bytes.empty()) return;
    out += CharsetToUnicode(bytes.data(), bytes.size(), charset.empty() ? nullptr : charset.c_str());
    bytes.clear();
  };
  for (size_t i = 0; i < v.size(); ++i) {
    const wchar_t c = v[i];
    if (c == L'%' && i + 2 < v.size() && v[i + 1] < 0x80 && v[i + 2] < 0x80 &&
        HexValue(static_cast<char>(v[i + 1])) >= 0 && HexValue(static_cast<char>(v[i + 2])) >= 0) {
      bytes.push_back(static_cast<char>(HexValue(static_cast<char>(v[i + 1])) * 16 +
                                        HexValue(static_cast<char>(v[i + 2]))));
      i += 2;
    } else if (c < 0x80) {
      bytes.push_back(static_cast<char>(c));
    } else {
      flush();
      out.push_back(c);
    }
  }
  flush();
}

// "charset'lang'rest": the charset, and the rest in `v`; without both
// apostrophes there is no charset.
std::wstring TakeCharset(std::wstring_view& v) {
  const size_t a = v.find(L'\'');
  if (a == std::wstring_view::npos) return {};
  const size_t b = v.find(L'\'', a + 1);
  if (b == std::wstring_view::npos) return {};
  std::wstring charset(v.substr(0, a));
  v.remove_prefix(b + 1);
  return charset.size() <= kMaxCharsetName ? charset : std::wstring();
}

}  // namespace

std::optional<std::wstring> headerParameter(const wchar_t* value, const wchar_t* name) {
  if (!value || !name || !*name) return std::nullopt;
  // Most values hold the name once, plainly: found without building a
  // list (a charset is looked up for every header).
  std::optional<std::wstring> plain;
  bool extended = false;
  Collect(value, name, [&](Param&& p) {
    if (p.section >= 0 || p.encoded)
      extended = true;
    else if (!plain && !p.value.empty())
      plain = std::move(p.value);
  });
  if (!extended) return plain;
  std::vector<Param> params;
  Collect(value, name, [&](Param&& p) { params.push_back(std::move(p)); });
  std::wstring out;
  // name*=charset'lang'value
  for (const Param& p : params)
    if (p.section < 0 && p.encoded) {
      std::wstring_view v = p.value;
      const std::wstring charset = TakeCharset(v);
      std::string bytes;
      PercentDecode(v, bytes, out, charset);
      if (!out.empty()) return out;
    }
  // name*0=, name*1*=, ... in number order, whatever their order here.
  std::vector<const Param*> sections;
  for (const Param& p : params)
    if (p.section >= 0) sections.push_back(&p);
  std::stable_sort(sections.begin(), sections.end(),
                   [](const Param* a, const Param* b) { return a->section < b->section; });
  if (!sections.empty() && sections.front()->section == 0) {
    std::wstring charset;
    std::string bytes;
    int expected = 0;
    for (const Param* p : sections) {
      if (p->section != expected) break;  // a gap or a repeat ends the value
      ++expected;
      std::wstring_view v = p->value;
      if (p->encoded) {
        if (p->section == 0) charset = TakeCharset(v);
        PercentDecode(v, bytes, out, charset);
      } else {
        out.append(v);
      }
    }
    if (!out.empty()) return out;
  }
  return plain;
}

}  // namespace pw
