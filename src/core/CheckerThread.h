// The checker thread: a message loop with a 50 ms thread timer on which the
// accounts' due checks and all sessions run. It ends on the thread message
// WM_USER + 10.
#pragma once

#include <windows.h>
#include <atomic>

#include "core/Scoped.h"

namespace pw {

inline constexpr UINT kCheckerQuit = WM_USER + 10;
inline constexpr UINT kCheckerTickMs = 50;

class CheckerThread {
 public:
  CheckerThread() = default;
  ~CheckerThread() { Stop(); }
  CheckerThread(const CheckerThread&) = delete;
  CheckerThread& operator=(const CheckerThread&) = delete;

  void Start();
  // Posts the quit message and waits for the thread without limit.
  void Stop();
  bool Running() const { return thread_ && threadId_ != 0; }
  // Read and cleared by the thread at its next tick.
  void RequestCheckNow() { checkNow_ = true; }
  bool CheckNowPending() const { return checkNow_; }
  DWORD ThreadId() const { return threadId_; }
  unsigned long Ticks() const { return ticks_; }

 private:
  static DWORD WINAPI Main(void* self);
  void Tick();

  ScopedHandle thread_;
  DWORD threadId_ = 0;
  ScopedHandle ready_;
  std::atomic<bool> checkNow_{false};
  std::atomic<unsigned long> ticks_{0};
};

}  // namespace pw
