// The checker thread: a message loop with a 50 ms thread timer on which the
// accounts' due checks and all sessions run (their sockets' helper windows
// belong to it). It ends on the thread message WM_USER + 10.
#pragma once

#include <windows.h>
#include <atomic>

#include "base/Scoped.h"

namespace pw {

inline constexpr UINT kCheckerQuit = WM_USER + 10;
inline constexpr UINT kCheckerTick = WM_USER + 11;  // a tick on demand
inline constexpr UINT kCheckerTickMs = 50;

// What the thread runs: called on the checker thread only.
class CheckerClient {
 public:
  virtual void CheckerStarted() = 0;
  // force: "Check Mail Now" was asked for since the last tick.
  virtual void CheckerTick(bool force) = 0;
  // Before the thread ends: close the running sessions.
  virtual void CheckerStopping() = 0;

 protected:
  ~CheckerClient() = default;
};

class CheckerThread {
 public:
  explicit CheckerThread(CheckerClient* client = nullptr) : client_(client) {}
  ~CheckerThread() { Stop(); }
  CheckerThread(const CheckerThread&) = delete;
  CheckerThread& operator=(const CheckerThread&) = delete;

  void Start();
  // Posts the quit message and waits for the thread without limit.
  void Stop();
  bool Running() const;
  // Read by the thread at its next tick and cleared after that tick.
  void RequestCheckNow() { checkNow_ = true; }
  bool CheckNowPending() const { return checkNow_; }
  DWORD ThreadId() const { return threadId_; }
  unsigned long Ticks() const { return ticks_; }

 private:
  static DWORD WINAPI Main(void* self);
  void Tick();

  CheckerClient* client_;
  ScopedHandle thread_;
  DWORD threadId_ = 0;
  ScopedHandle ready_;
  std::atomic<bool> checkNow_{false};
  std::atomic<unsigned long> ticks_{0};
};

}  // namespace pw
