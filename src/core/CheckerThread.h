// The checker thread: a message loop on which the accounts' due checks and
// all sessions run (their sockets' helper windows belong to it). Between
// ticks it sleeps until the time its client asked for (the next check due,
// the next countdown second, the next animation frame), and wakes early for
// a tick requested with WM_USER + 11. It ends on the thread message
// WM_USER + 10.
#pragma once

#include <windows.h>
#include <atomic>

#include "base/Scoped.h"

namespace pw {

inline constexpr UINT kCheckerQuit = WM_USER + 10;
inline constexpr UINT kCheckerTick = WM_USER + 11;  // a tick on demand
inline constexpr UINT kCheckerTickMs = 50;     // shortest time between timed ticks
inline constexpr DWORD kCheckerMaxSleep = 5000;  // longest, so that outside changes show

// What the thread runs: called on the checker thread only.
class CheckerClient {
 public:
  virtual void CheckerStarted() = 0;
  // force: "Check Mail Now" was asked for since the last tick. Returns the
  // milliseconds until the next tick is needed (INFINITE: none).
  virtual DWORD CheckerTick(bool force) = 0;
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
  // Read by the thread at its next tick, which comes at once, and cleared
  // after that tick.
  void RequestCheckNow() {
    checkNow_ = true;
    Wake();
  }
  // A tick as soon as the thread can (any thread).
  void Wake() const {
    if (threadId_) PostThreadMessageW(threadId_, kCheckerTick, 0, 0);
  }
  bool CheckNowPending() const { return checkNow_; }
  DWORD ThreadId() const { return threadId_; }
  unsigned long Ticks() const { return ticks_; }

 private:
  static DWORD WINAPI Main(void* self);
  DWORD Tick();

  CheckerClient* client_;
  ScopedHandle thread_;
  DWORD threadId_ = 0;
  ScopedHandle ready_;
  std::atomic<bool> checkNow_{false};
  std::atomic<unsigned long> ticks_{0};
};

}  // namespace pw
