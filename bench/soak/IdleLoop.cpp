// The baseline of the idle measurements: a program that does nothing but
// wait in a plain message loop for the given number of seconds.
// Usage: bench_soak_idle.exe SECONDS TAG (the tag only names the process).
#include <windows.h>

#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
  const double seconds = argc > 1 ? _wtof(argv[1]) : 30.0;
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // a queue, as every GUI thread has
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return 0;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return 0;
}
