#include "core/QuietPeriod.h"

#include <windows.h>

#include "core/GlobalSettings.h"

namespace pw {

bool SoundsAllowedAt(const GlobalSettings& s, int32_t t) {
  if (!s.useNoSound) return true;
  const int32_t t1 = s.noSoundTime1, t2 = s.noSoundTime2;
  if (t1 >= t2) return t2 < t && t < t1;  // the period crosses midnight
  return t < t1 || t > t2;
}

bool SoundsAllowedNow(const GlobalSettings& s) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return SoundsAllowedAt(s, now.wHour * 3600 + now.wMinute * 60 + now.wSecond);
}

}  // namespace pw
