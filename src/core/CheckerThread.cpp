#include "core/CheckerThread.h"

#include <algorithm>

namespace pw {

bool CheckerThread::Running() const {
  return thread_ && threadId_ != 0 && WaitForSingleObject(thread_.Get(), 0) == WAIT_TIMEOUT;
}

void CheckerThread::Start() {
  if (Running()) return;
  thread_.Reset();
  threadId_ = 0;
  ready_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  thread_.Reset(CreateThread(nullptr, 0, &CheckerThread::Main, this, 0, &threadId_));
  if (!thread_) {
    threadId_ = 0;
    return;
  }
  // The quit message can only be posted once the thread has a queue.
  HANDLE waits[2] = {ready_.Get(), thread_.Get()};
  WaitForMultipleObjects(2, waits, FALSE, INFINITE);
}

void CheckerThread::Stop() {
  if (!thread_) return;
  PostThreadMessageW(threadId_, kCheckerQuit, 0, 0);
  WaitForSingleObject(thread_.Get(), INFINITE);
  thread_.Reset();
  threadId_ = 0;
}

DWORD WINAPI CheckerThread::Main(void* param) {
  auto* self = static_cast<CheckerThread*>(param);
  ScopedCoInit com;
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // create the queue
  if (self->client_) self->client_->CheckerStarted();
  SetEvent(self->ready_.Get());
  // No periodic timer: the thread sleeps until the next tick is due or a
  // message comes, so an idle plug-in costs nothing.
  ULONGLONG next = 0;  // the first tick at once
  bool asked = false;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (asked || now >= next) {
      asked = false;
      const DWORD delay = std::clamp<DWORD>(self->Tick(), kCheckerTickMs, kCheckerMaxSleep);
      next = GetTickCount64() + delay;
    }
    const ULONGLONG after = GetTickCount64();
    const DWORD wait = next > after ? static_cast<DWORD>(next - after) : 0;
    MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT || (msg.hwnd == nullptr && msg.message == kCheckerQuit)) goto done;
      if (msg.hwnd == nullptr && msg.message == kCheckerTick) {
        asked = true;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
done:
  // The sessions' sockets belong to this thread: they are closed here,
  // not from the thread that asked us to stop.
  if (self->client_) self->client_->CheckerStopping();
  return 0;
}

DWORD CheckerThread::Tick() {
  ++ticks_;
  const bool force = checkNow_;
  const DWORD delay = client_ ? client_->CheckerTick(force) : INFINITE;
  if (force) checkNow_ = false;
  return delay;
}

}  // namespace pw
