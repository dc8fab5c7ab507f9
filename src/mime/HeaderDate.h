// The Date field of a header (RFC 5322 dates, weekday optional) as a local
// date and time.
#pragma once

#include <windows.h>

namespace pw {

// All zero when the value has no day, month, year, hour and minute. A
// numeric zone converts the date to local time; without one (named zones
// included) the date is kept as written.
SYSTEMTIME parseDate(const wchar_t* value);

// Local time of a UTC time by the local zone's rules for the year of that
// time. The rules are read once per year and read again after a minute, so
// that a changed zone is followed without asking the system for each date.
bool utcToLocalTime(const SYSTEMTIME& utc, SYSTEMTIME& local);

// Where the zone's rules for a year come from: the system's current zone
// unless a test sets another source. Setting one (null: the system's)
// forgets every rule read so far.
using ZoneRulesReader = bool (*)(WORD year, TIME_ZONE_INFORMATION& rules);
void setZoneRulesReader(ZoneRulesReader reader);

}  // namespace pw
