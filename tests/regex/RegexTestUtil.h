// Helpers shared by the regex tests: ASCII/UTF-8 views of UTF-16 results.
#pragma once

#include <string>
#include <string_view>

#include "regex/Regex.h"

namespace regex_test {

inline std::u16string U(std::string_view s) {
  std::u16string out;
  for (char c : s) out.push_back(static_cast<unsigned char>(c));
  return out;
}

inline std::string A(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 128) out.push_back(static_cast<char>(c));
    else out += "\\u{" + std::to_string(static_cast<unsigned>(c)) + "}";
  }
  return out;
}

// Text of group n of the first match, "<none>" when there is no match and
// "<unset>" when the group did not take part.
inline std::string FindGroup(std::u16string_view pattern, std::u16string_view text,
                             std::size_t n = 0) {
  regex::Pattern p = regex::Compile(pattern);
  regex::Match m = regex::Find(p, text);
  if (!m.matched) return "<none>";
  if (!m[n].matched()) return "<unset>";
  return A(regex::Group(m, text, n));
}

inline std::size_t CountOf(std::u16string_view pattern, std::u16string_view text) {
  return regex::Count(regex::Compile(pattern), text);
}

}  // namespace regex_test
