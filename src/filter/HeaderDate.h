// The Date field of a header (RFC 5322 dates, weekday optional) as a local
// date and time.
#pragma once

#include <windows.h>

namespace pw {

// All zero when the value has no day, month, year, hour and minute. A
// numeric zone converts the date to local time; without one (named zones
// included) the date is kept as written.
SYSTEMTIME parseDate(const wchar_t* value);

}  // namespace pw
