#include "core/ListWindowThread.h"

#include <commctrl.h>

#include "core/PluginObject.h"

namespace pw {

void ListWindowThread::Open() {
  if (HWND w = window_) {
    // Another thread's window comes forward only with its input attached.
    const DWORD mine = GetCurrentThreadId();
    const DWORD theirs = GetWindowThreadProcessId(w, nullptr);
    AttachThreadInput(mine, theirs, TRUE);
    SetForegroundWindow(w);
    ShowWindow(w, SW_SHOWNORMAL);
    AttachThreadInput(mine, theirs, FALSE);
    return;
  }
  if (thread_ && WaitForSingleObject(thread_.Get(), 0) == WAIT_TIMEOUT) {
    if (!ending_) return;  // still starting
    // A window that has just closed: its thread only tidies up, so wait
    // for it (bounded) rather than drop the request to open.
    if (WaitForSingleObject(thread_.Get(), 5000) != WAIT_OBJECT_0) return;
  }
  ending_ = false;
  thread_.Reset(CreateThread(nullptr, 0, &ListWindowThread::Main, this, 0, nullptr));
}

void ListWindowThread::Close() {
  if (!thread_) return;
  if (HWND w = window_) PostMessageW(w, kListClose, 0, 0);
  WaitForSingleObject(thread_.Get(), INFINITE);
  thread_.Reset();
}

bool ListWindowThread::Post(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND w = window_;
  return w && PostMessageW(w, message, wParam, lParam);
}

DWORD WINAPI ListWindowThread::Main(void* param) {
  auto* self = static_cast<ListWindowThread*>(param);
  ScopedCoInit com;
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  HWND w = CreateMessagesListWindow(self->plugin_);
  if (!w) {
    self->ending_ = true;
    return 0;
  }
  self->window_ = w;
  self->plugin_.WakeChecker();  // its countdowns are shown from now on
  MSG msg;
  // The close request is the window's own message: it runs the closing
  // steps, so the layout is kept however the window goes.
  while (IsWindow(w) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(w, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (!IsWindow(w) || !IsWindowVisible(w)) break;
  }
  self->ending_ = true;
  self->window_ = nullptr;
  if (IsWindow(w)) DestroyWindow(w);
  // Messages posted after the window went are dropped with the thread's
  // queue; their references were never handed over (posting failed).
  DiscardMessagesListWindow(self->plugin_);
  return 0;
}

}  // namespace pw
