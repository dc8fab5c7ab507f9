// Runs the calling thread's message loop, as the checker thread does, until
// a condition holds or the time is up.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>

namespace pwtest {

inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (done()) return true;
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 50)), QS_ALLINPUT);
  }
}

// Pumps for a fixed time (to show that something does not happen).
inline void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }

}  // namespace pwtest
