// libFuzzer target: any bytes become a pattern, flags and a subject. The
// engine must compile or throw bad_regexpr, and searching must stay inside
// the subject, terminate, and keep its invariants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "regex/Regex.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  unsigned flags = data[0] & 15;
  std::u16string pattern, subject;
  std::size_t i = 1;
  // Pattern bytes up to a NUL, the subject after it; 0xFF takes the next two
  // bytes as one UTF-16 unit so that any unit can occur.
  auto read = [&](std::u16string& out, bool stopAtNul) {
    while (i < size) {
      uint8_t b = data[i++];
      if (stopAtNul && b == 0) return;
      if (b == 0xFF && i + 1 < size) {
        out.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        i += 2;
      } else {
        out.push_back(b);
      }
    }
  };
  read(pattern, true);
  read(subject, false);

  regex::Pattern p;
  try {
    p = regex::Compile(pattern, flags);
  } catch (const regex::bad_regexpr& e) {
    Check(e.code() != regex::ErrorCode::NoError);
    return 0;
  }
  regex::Match m = regex::Find(p, subject);
  // A pattern that spends the whole budget once would spend it again in each
  // of the walks below; that proves nothing new and slows the fuzzer down.
  if (m.limitReached) return 0;
  if (m.matched) {
    Check(m.groups.size() == p.GroupCount() + 1);
    for (const regex::Span& s : m.groups) {
      if (!s.matched()) continue;
      Check(s.begin <= subject.size() && s.end <= subject.size());
    }
    Check(m.groups[0].end >= m.groups[0].begin || pattern.find(u"\\K") != std::u16string::npos);
  }
  std::size_t n = regex::Count(p, subject);
  // At most an empty and a non-empty match per position, and one at the end.
  Check(n <= 2 * subject.size() + 1);
  Check(regex::Substitute(p, subject, u"$&", true) == subject);
  if (subject.size() > 2) {
    regex::Match tail = regex::Find(p, subject, 1, subject.size() - 2);
    if (tail.matched) Check(tail.groups[0].begin >= 1 && tail.groups[0].end <= subject.size() - 1);
  }
  return 0;
}
