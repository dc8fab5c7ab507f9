// The thread of the messages list window: started on demand, it owns the
// window and its message loop; other threads reach the window only through
// posted messages, each carrying its own reference to the record it names.
#pragma once

#include <windows.h>
#include <atomic>

#include "base/Scoped.h"

namespace pw {

class PluginObject;

inline constexpr UINT kListClose = WM_USER + 100;

namespace ui {
class MessagesListWindow;
}

// Creates and shows the messages list window on the calling thread; null
// when its template is missing.
HWND CreateMessagesListWindow(PluginObject& plugin);
// Frees the window object once its window is gone (list thread).
void DiscardMessagesListWindow(PluginObject& plugin);
// The window object while the window exists (list thread), or null.
ui::MessagesListWindow* CurrentMessagesListWindow(PluginObject& plugin);

class ListWindowThread {
 public:
  explicit ListWindowThread(PluginObject& plugin) : plugin_(plugin) {}
  ~ListWindowThread() { Close(); }
  ListWindowThread(const ListWindowThread&) = delete;
  ListWindowThread& operator=(const ListWindowThread&) = delete;

  // Brings the window forward, or starts the thread that creates it.
  void Open();
  // Asks the window to close and waits for its thread.
  void Close();
  HWND Window() const { return window_; }
  // Posts to the window; false (nothing posted) while there is none.
  bool Post(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static DWORD WINAPI Main(void* self);

  PluginObject& plugin_;
  std::atomic<HWND> window_{nullptr};
  // Set once the thread's window is gone (or never came): the thread is
  // ending, not starting.
  std::atomic<bool> ending_{false};
  ScopedHandle thread_;
};

}  // namespace pw
