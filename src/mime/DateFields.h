// The parts of an RFC 5322 date as written (weekday optional, obsolete
// forms read), before any conversion to local time.
#pragma once

namespace pw {

struct DateFields {
  int year = 0, month = 0, day = 0, dayOfWeek = 0;
  int hour = 0, minute = 0, second = 0;
  bool hasZone = false;  // false: no zone written, the time is kept as it stands
  int zoneMinutes = 0;   // east of UTC
};

// False when the value has no day, month, year, hour and minute.
bool parseDateFields(const wchar_t* value, DateFields& out);

}  // namespace pw
