#include "mime/Address.h"

namespace pw {

namespace {

bool IsAtext(wchar_t c) {
  if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) return true;
  switch (c) {
    case L'!': case L'#': case L'$': case L'%': case L'&': case L'\'': case L'*': case L'+': case L'-':
    case L'/': case L'=': case L'?': case L'^': case L'_': case L'`': case L'{': case L'|': case L'}':
    case L'~':
      return true;
    default:
      return false;
  }
}

bool IsDotAtom(std::wstring_view s) {
  if (s.empty() || s.front() == L'.' || s.back() == L'.') return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'.') {
      if (s[i - 1] == L'.') return false;
    } else if (!IsAtext(s[i])) {
      return false;
    }
  }
  return true;
}

bool IsQuotedLocal(std::wstring_view s) {
  if (s.size() < 2 || s.front() != L'"' || s.back() != L'"') return false;
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    const wchar_t c = s[i];
    if (c < 32 || c > 126) return false;
    if (c == L'"') return false;
    if (c == L'\\') {
      if (i + 2 >= s.size()) return false;
      ++i;
    }
  }
  return true;
}

bool IsDomain(std::wstring_view s) {
  if (s.size() > 253 || s.empty()) return false;
  if (s.front() == L'[') {
    if (s.size() < 3 || s.back() != L']') return false;
    for (size_t i = 1; i + 1 < s.size(); ++i)
      if (s[i] < 33 || s[i] > 126 || s[i] == L'[' || s[i] == L']' || s[i] == L'\\') return false;
    return true;
  }
  size_t label = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == L'.') {
      if (label == 0 || label > 63 || s[i - 1] == L'-' || s[i - label] == L'-') return false;
      label = 0;
      continue;
    }
    const wchar_t c = s[i];
    if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-'))
      return false;
    ++label;
  }
  return true;
}

bool IsSeparator(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L',' || c == L';' || c == L'<' ||
         c == L'>' || c == L'(' || c == L')';
}

}  // namespace

bool IsAddrSpec(std::wstring_view text) {
  if (text.empty() || text.size() > 254) return false;
  const size_t at = text.rfind(L'@');
  if (at == std::wstring_view::npos || at == 0) return false;
  const std::wstring_view local = text.substr(0, at);
  if (local.size() > 64 && local.front() != L'"') return false;
  return (IsDotAtom(local) || IsQuotedLocal(local)) && IsDomain(text.substr(at + 1));
}

std::wstring FindAddress(std::wstring_view value) {
  for (size_t open = value.find(L'<'); open != std::wstring_view::npos; open = value.find(L'<', open + 1)) {
    const size_t close = value.find(L'>', open + 1);
    if (close == std::wstring_view::npos) break;
    const std::wstring_view inside = value.substr(open + 1, close - open - 1);
    if (IsAddrSpec(inside)) return std::wstring(inside);
  }
  size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && IsSeparator(value[i])) ++i;
    size_t end = i;
    while (end < value.size() && !IsSeparator(value[end])) ++end;
    std::wstring_view word = value.substr(i, end - i);
    if (IsAddrSpec(word)) return std::wstring(word);
    i = end;
  }
  return std::wstring();
}

std::wstring DisplayName(std::wstring_view value) {
  const std::wstring address = FindAddress(value);
  std::wstring rest(value);
  if (!address.empty()) {
    const size_t at = rest.find(L"<" + address + L">");
    if (at != std::wstring::npos)
      rest.erase(at, address.size() + 2);
    else if ((at == std::wstring::npos) && rest.find(address) != std::wstring::npos)
      rest.erase(rest.find(address), address.size());
  }
  std::wstring name;
  for (const wchar_t c : rest) {
    if (c == L'"' || c == L'<' || c == L'>') continue;
    name += (c == L'\r' || c == L'\n' || c == L'\t') ? L' ' : c;
  }
  const size_t b = name.find_first_not_of(L' ');
  if (b == std::wstring::npos) return std::wstring();
  const size_t e = name.find_last_not_of(L' ');
  // "(Name)" after a bare address is a comment naming the owner.
  std::wstring out = name.substr(b, e - b + 1);
  if (out.size() >= 2 && out.front() == L'(' && out.back() == L')') out = out.substr(1, out.size() - 2);
  return out;
}

std::vector<std::string> MessageIds(std::wstring_view value) {
  std::vector<std::string> ids;
  for (size_t open = value.find(L'<'); open != std::wstring_view::npos;) {
    const size_t close = value.find(L'>', open + 1);
    if (close == std::wstring_view::npos) break;
    const std::wstring_view inside = value.substr(open + 1, close - open - 1);
    bool ok = !inside.empty() && inside.size() <= 250;
    size_t ats = 0;
    for (const wchar_t c : inside) {
      if (c <= 32 || c >= 127 || c == L'<' || c == L'"' || c == L'\\') ok = false;
      if (c == L'@') ++ats;
    }
    const size_t at = inside.find(L'@');
    if (ok && ats == 1 && at > 0 && at + 1 < inside.size())
      ids.emplace_back("<" + std::string(inside.begin(), inside.end()) + ">");
    open = value.find(L'<', close + 1);
  }
  return ids;
}

}  // namespace pw
