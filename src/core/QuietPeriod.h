// The quiet period: no new-mail sounds from noSoundTime1 to noSoundTime2,
// both ends included, possibly across midnight; equal times mean all day.
#pragma once

#include <cstdint>

namespace pw {

struct GlobalSettings;

// secondsOfDay = hour * 3600 + minute * 60 + second.
bool SoundsAllowedAt(const GlobalSettings& settings, int32_t secondsOfDay);
// The same for the local time now.
bool SoundsAllowedNow(const GlobalSettings& settings);

}  // namespace pw
