#include "mime/DateFields.h"

#include <array>
#include <string_view>

namespace pw {

namespace {

// A word of three ASCII letters as one number, letter case ignored; 0 for
// any other word. Day and month names compare in one step.
constexpr unsigned ThreeLetters(std::wstring_view w) {
  if (w.size() != 3) return 0;
  unsigned v = 0;
  for (const wchar_t c : w) {
    if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'))) return 0;
    v = v << 8 | (static_cast<unsigned>(c) | 0x20);
  }
  return v;
}

constexpr std::wstring_view kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
constexpr std::wstring_view kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                         L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
template <size_t N>
constexpr std::array<unsigned, N> LettersOf(const std::wstring_view (&names)[N]) {
  std::array<unsigned, N> out{};
  for (size_t i = 0; i < N; ++i) out[i] = ThreeLetters(names[i]);
  return out;
}
constexpr auto kDayLetters = LettersOf(kDays);
constexpr auto kMonthLetters = LettersOf(kMonths);

// The obsolete zone names of RFC 5322 4.3, in hours east of UTC.
struct NamedZone {
  const wchar_t* name;
  int hours;
};
const NamedZone kZones[] = {{L"UT", 0},   {L"GMT", 0},  {L"EST", -5}, {L"EDT", -4}, {L"CST", -6},
                            {L"CDT", -5}, {L"MST", -7}, {L"MDT", -6}, {L"PST", -8}, {L"PDT", -7}};

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsAlnum(wchar_t c) { return IsDigit(c) || IsLetter(c); }
bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

class Reader {
 public:
  explicit Reader(const wchar_t* p) : p_(p) {}
  void SkipSpace() {
    while (*p_ && IsSpace(*p_)) ++p_;
  }
  // Moves to the next digit; false at the end.
  bool ToDigit() {
    while (*p_ && !IsDigit(*p_)) ++p_;
    return *p_ != 0;
  }
  bool ToAlnum() {
    while (*p_ && !IsAlnum(*p_)) ++p_;
    return *p_ != 0;
  }
  // Digits at the position, at most `limit` of them; -1 when there are
  // none. `count` receives how many were read.
  int Number(int limit = 9, int* count = nullptr) {
    int n = -1, i = 0;
    for (; i < limit && IsDigit(*p_); ++i, ++p_) n = (n < 0 ? 0 : n * 10) + (*p_ - L'0');
    if (count) *count = i;
    return n;
  }
  std::wstring_view Word() {
    const wchar_t* s = p_;
    while (*p_ && IsAlnum(*p_)) ++p_;
    return std::wstring_view(s, static_cast<size_t>(p_ - s));
  }
  wchar_t Peek() const { return *p_; }
  void Skip() {
    if (*p_) ++p_;
  }

 private:
  const wchar_t* p_;
};

// Words are letters and digits of ASCII only: ASCII case folding suffices.
bool SameWord(std::wstring_view word, const wchar_t* name) {
  size_t i = 0;
  for (; i < word.size() && name[i]; ++i) {
    wchar_t c = word[i], d = name[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    if (d >= L'A' && d <= L'Z') d = static_cast<wchar_t>(d + 32);
    if (c != d) return false;
  }
  return i == word.size() && !name[i];
}

int SmallNumber(std::wstring_view w) {
  if (w.empty() || w.size() > 4) return -1;
  int n = 0;
  for (wchar_t c : w) {
    if (!IsDigit(c)) return -1;
    n = n * 10 + (c - L'0');
  }
  return n;
}

}  // namespace

bool parseDateFields(const wchar_t* value, DateFields& t) {
  t = DateFields();
  if (!value) return false;
  Reader r(value);
  r.SkipSpace();
  const std::wstring_view first = r.Word();
  if (const unsigned letters = ThreeLetters(first))
    for (int i = 0; i < 7; ++i)
      if (letters == kDayLetters[static_cast<size_t>(i)]) t.dayOfWeek = i;
  // Without the optional weekday the first word is the day.
  int day = SmallNumber(first);
  if (day < 0) {
    if (!r.ToDigit()) return false;
    day = r.Number();
  }
  if (!r.ToAlnum()) return false;
  const std::wstring_view monthWord = r.Word();
  int month = 0;
  if (const unsigned letters = ThreeLetters(monthWord))
    for (int i = 0; i < 12; ++i)
      if (letters == kMonthLetters[static_cast<size_t>(i)]) month = i + 1;
  if (month == 0) month = SmallNumber(monthWord);
  if (month < 1 || month > 12) return false;
  if (!r.ToDigit()) return false;
  int digits = 0;
  int year = r.Number(9, &digits);
  // RFC 5322 4.3: two digits below 50 are 20xx, from 50 up 19xx; three
  // digits are years since 1900.
  if (digits <= 2)
    year += year < 50 ? 2000 : 1900;
  else if (digits == 3)
    year += 1900;
  if (!r.ToDigit()) return false;
  const int hour = r.Number();
  if (!r.ToDigit()) return false;
  const int minute = r.Number();
  int second = 0;
  r.SkipSpace();
  if (r.Peek() == L':') {
    r.Skip();
    second = r.Number();
    if (second < 0) second = 0;
  }
  r.SkipSpace();
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  if (IsLetter(r.Peek())) {
    // A named zone: the obsolete names are converted; military letters and
    // unknown names mean -0000, a time in UTC with no local zone known.
    const std::wstring_view name = r.Word();
    t.hasZone = true;
    for (const NamedZone& z : kZones)
      if (SameWord(name, z.name)) t.zoneMinutes = z.hours * 60;
    return true;
  }
  int sign = 1;
  if (r.Peek() == L'+' || r.Peek() == L'-') {
    sign = r.Peek() == L'-' ? -1 : 1;
    r.Skip();
  }
  const int zoneHours = r.Number(2);
  if (zoneHours < 0) return true;  // no zone: kept as written
  const int zoneMinutes = r.Number(2);
  t.hasZone = true;
  t.zoneMinutes = sign * (zoneHours * 60 + (zoneMinutes > 0 ? zoneMinutes : 0));
  return true;
}

}  // namespace pw
