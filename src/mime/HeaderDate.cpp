#include "mime/HeaderDate.h"

#include <cwctype>
#include <string>

namespace pw {

namespace {

const wchar_t* const kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
const wchar_t* const kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                  L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsAlnum(wchar_t c) { return IsDigit(c) || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

class Reader {
 public:
  explicit Reader(const wchar_t* p) : p_(p) {}
  void SkipSpace() { while (*p_ && IsSpace(*p_)) ++p_; }
  // Moves to the next digit; false at the end.
  bool ToDigit() {
    while (*p_ && !IsDigit(*p_)) ++p_;
    return *p_ != 0;
  }
  bool ToAlnum() {
    while (*p_ && !IsAlnum(*p_)) ++p_;
    return *p_ != 0;
  }
  // Digits at the position, at most `limit` of them; -1 when there are none.
  int Number(int limit = 9) {
    int n = -1;
    for (int i = 0; i < limit && IsDigit(*p_); ++i, ++p_) n = (n < 0 ? 0 : n * 10) + (*p_ - L'0');
    return n;
  }
  std::wstring Word() {
    const wchar_t* s = p_;
    while (*p_ && IsAlnum(*p_)) ++p_;
    return std::wstring(s, p_);
  }
  wchar_t Peek() const { return *p_; }
  void Skip() { if (*p_) ++p_; }

 private:
  const wchar_t* p_;
};

bool SystemRules(WORD year, TIME_ZONE_INFORMATION& rules) {
  if (GetTimeZoneInformationForYear(year, nullptr, &rules)) return true;
  return GetTimeZoneInformation(&rules) != TIME_ZONE_ID_INVALID;
}

// The rules of the years asked for, shared by every thread of the process.
class ZoneCache {
 public:
  bool ToLocal(const SYSTEMTIME& utc, SYSTEMTIME& local) {
    TIME_ZONE_INFORMATION rules;
    if (!Rules(utc.wYear, rules)) return SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    return SystemTimeToTzSpecificLocalTime(&rules, &utc, &local);
  }
  void SetReader(ZoneRulesReader reader) {
    AcquireSRWLockExclusive(&lock_);
    reader_ = reader ? reader : SystemRules;
    Forget();
    ReleaseSRWLockExclusive(&lock_);
  }

 private:
  // The user may change the zone while the plug-in runs.
  static constexpr ULONGLONG kRefreshMs = 60 * 1000;
  // Years kept; others (no real mail has them) are read for each date.
  static constexpr WORD kFirstYear = 1900;
  static constexpr size_t kYears = 256;
  struct Year {
    bool read;
    bool known;
    TIME_ZONE_INFORMATION rules;
  };

  void Forget() {
    for (Year& y : years_) y.read = false;
  }

  bool Rules(WORD year, TIME_ZONE_INFORMATION& rules) {
    const size_t slot = static_cast<size_t>(year - kFirstYear);
    const bool kept = year >= kFirstYear && slot < kYears;
    const ULONGLONG now = GetTickCount64();
    AcquireSRWLockShared(&lock_);
    bool found = false, known = false;
    if (kept && years_[slot].read && now - readAt_ < kRefreshMs) {
      found = true;
      known = years_[slot].known;
      rules = years_[slot].rules;
    }
    const ZoneRulesReader reader = reader_;
    ReleaseSRWLockShared(&lock_);
    if (found) return known;
    known = reader(year, rules);
    if (!kept) return known;
    AcquireSRWLockExclusive(&lock_);
    if (reader == reader_) {
      if (now - readAt_ >= kRefreshMs) {
        Forget();
        readAt_ = now;
      }
      years_[slot] = {true, known, rules};
    }
    ReleaseSRWLockExclusive(&lock_);
    return known;
  }

  SRWLOCK lock_ = SRWLOCK_INIT;
  ZoneRulesReader reader_ = SystemRules;
  ULONGLONG readAt_ = 0;
  Year years_[kYears] = {};
};

ZoneCache& Zone() {
  static ZoneCache zone;
  return zone;
}

// Words are letters and digits of ASCII only, so ASCII case folding is all
// that comparing them ignoring case needs.
bool SameWord(const std::wstring& word, const wchar_t* name) {
  size_t i = 0;
  for (; i < word.size() && name[i]; ++i) {
    wchar_t c = word[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    wchar_t d = name[i];
    if (d >= L'A' && d <= L'Z') d = static_cast<wchar_t>(d + 32);
    if (c != d) return false;
  }
  return i == word.size() && !name[i];
}

bool AllDigits(const std::wstring& w) {
  if (w.empty() || w.size() > 9) return false;
  for (wchar_t c : w)
    if (!IsDigit(c)) return false;
  return true;
}

}  // namespace

SYSTEMTIME parseDate(const wchar_t* value) {
  SYSTEMTIME none = {};
  if (!value) return none;
  SYSTEMTIME t = {};
  Reader r(value);
  r.SkipSpace();
  const std::wstring first = r.Word();
  int day = -1;
  for (int i = 0; i < 7; ++i)
    if (SameWord(first, kDays[i])) t.wDayOfWeek = static_cast<WORD>(i);
  // Without the optional weekday the first word is the day.
  if (AllDigits(first)) day = _wtoi(first.c_str());
  if (day < 0) {
    if (!r.ToDigit()) return none;
    day = r.Number();
  }
  if (!r.ToAlnum()) return none;
  const std::wstring monthWord = r.Word();
  int month = 0;
  for (int i = 0; i < 12; ++i)
    if (SameWord(monthWord, kMonths[i])) month = i + 1;
  if (month == 0 && AllDigits(monthWord)) month = _wtoi(monthWord.c_str());
  if (month < 1 || month > 12) return none;
  if (!r.ToDigit()) return none;
  int year = r.Number();
  if (year < 100) year += 2000;
  if (!r.ToDigit()) return none;
  const int hour = r.Number();
  if (!r.ToDigit()) return none;
  const int minute = r.Number();
  int second = 0;
  r.SkipSpace();
  if (r.Peek() == L':') {
    r.Skip();
    second = r.Number();
    if (second < 0) second = 0;
  }
  r.SkipSpace();
  int sign = 1;
  if (r.Peek() == L'+' || r.Peek() == L'-') {
    sign = r.Peek() == L'-' ? -1 : 1;
    r.Skip();
  }
  const int zoneHours = r.Number(2);
  const int zoneMinutes = zoneHours >= 0 ? r.Number(2) : -1;

  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute);
  t.wSecond = static_cast<WORD>(second);
  if (zoneHours < 0) return t;  // named or no zone: kept as written

  FILETIME ft;
  if (!SystemTimeToFileTime(&t, &ft)) return t;
  ULARGE_INTEGER u;
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  const long long offsetMinutes = sign * (zoneHours * 60LL + (zoneMinutes > 0 ? zoneMinutes : 0));
  u.QuadPart -= static_cast<ULONGLONG>(offsetMinutes * 60LL * 10000000LL);
  ft.dwLowDateTime = u.LowPart;
  ft.dwHighDateTime = u.HighPart;
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&ft, &utc)) return t;
  if (!utcToLocalTime(utc, local)) return utc;
  return local;
}

bool utcToLocalTime(const SYSTEMTIME& utc, SYSTEMTIME& local) { return Zone().ToLocal(utc, local); }

void setZoneRulesReader(ZoneRulesReader reader) { Zone().SetReader(reader); }

}  // namespace pw
