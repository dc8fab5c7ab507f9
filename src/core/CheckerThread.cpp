#include "core/CheckerThread.h"

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
  UINT_PTR timer = SetTimer(nullptr, 0, kCheckerTickMs, nullptr);
  if (self->client_) self->client_->CheckerStarted();
  SetEvent(self->ready_.Get());
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == nullptr && msg.message == kCheckerQuit) break;
    if (msg.hwnd == nullptr && (msg.message == kCheckerTick || (msg.message == WM_TIMER && msg.wParam == timer))) {
      self->Tick();
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The sessions' sockets belong to this thread: they are closed here,
  // not from the thread that asked us to stop.
  if (self->client_) self->client_->CheckerStopping();
  KillTimer(nullptr, timer);
  return 0;
}

void CheckerThread::Tick() {
  ++ticks_;
  const bool force = checkNow_;
  if (client_) client_->CheckerTick(force);
  if (force) checkNow_ = false;
}

}  // namespace pw
