#include "mime/HeaderDate.h"

#include "mime/DateFields.h"

namespace pw {

namespace {

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

}  // namespace

SYSTEMTIME parseDate(const wchar_t* value) {
  SYSTEMTIME none = {};
  DateFields d;
  if (!parseDateFields(value, d)) return none;
  SYSTEMTIME t = {};
  t.wYear = static_cast<WORD>(d.year);
  t.wMonth = static_cast<WORD>(d.month);
  t.wDayOfWeek = static_cast<WORD>(d.dayOfWeek);
  t.wDay = static_cast<WORD>(d.day);
  t.wHour = static_cast<WORD>(d.hour);
  t.wMinute = static_cast<WORD>(d.minute);
  t.wSecond = static_cast<WORD>(d.second);
  if (!d.hasZone) return t;  // no zone written: kept as written

  FILETIME ft;
  if (!SystemTimeToFileTime(&t, &ft)) return t;
  ULARGE_INTEGER u;
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  u.QuadPart -= static_cast<ULONGLONG>(static_cast<long long>(d.zoneMinutes) * 60LL * 10000000LL);
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
