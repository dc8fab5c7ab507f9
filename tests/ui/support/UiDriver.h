// Drives a modal dialog from a second thread, as a user would: finds it,
// clicks, types and confirms, with a deadline on every wait. A dialog that
// never appears or never closes fails the test with its window tree
// instead of hanging the run.
#pragma once

#include <windows.h>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pwtest {

class UiDriver {
 public:
  static constexpr DWORD kWait = 10000;  // ms, for every single wait

  // Runs `script` on a new thread; the caller then runs the modal dialog.
  explicit UiDriver(std::function<void(UiDriver&)> script);
  // Joins the script; a dialog still open after it is cancelled, and the
  // failure recorded.
  ~UiDriver();
  void Join();

  // Top-level dialog of this process whose caption is `caption`.
  HWND WaitDialog(const wchar_t* caption, DWORD ms = kWait);
  // A window whose class is `cls` (any caption), top-level, this process.
  HWND WaitWindowClass(const wchar_t* cls, DWORD ms = kWait);
  bool WaitGone(HWND window, DWORD ms = kWait);
  // Until `ok` holds (polled), false after the deadline.
  bool WaitFor(const std::function<bool()>& ok, DWORD ms = kWait);

  // The property sheet's page shown now.
  HWND CurrentPage(HWND sheet);
  void SelectPage(HWND sheet, int index);
  // A control of `dialog`, searched through child dialogs too.
  HWND Control(HWND dialog, int id, DWORD ms = kWait);

  void Click(HWND dialog, int id);  // BM_CLICK, posted
  void SetText(HWND dialog, int id, const std::wstring& text);
  void Type(HWND dialog, int id, const std::wstring& text);  // WM_CHAR per character
  std::wstring Text(HWND dialog, int id);
  std::wstring Text(HWND window);
  bool IsChecked(HWND dialog, int id);
  bool IsEnabled(HWND dialog, int id);
  void PickCombo(HWND dialog, int id, int index);
  LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void PressOk(HWND dialog);      // WM_COMMAND IDOK (posted)
  void PressCancel(HWND dialog);  // WM_COMMAND IDCANCEL (posted)
  void SheetOk(HWND sheet);
  void SheetCancel(HWND sheet);
  // Runs `fn` on the dialog's thread and waits for it (for reads that need
  // that thread, such as a control object's state).
  void OnDialogThread(HWND window, const std::function<void()>& fn);

  void Fail(const std::wstring& what);
  std::vector<std::wstring> Failures();
  static std::wstring Tree(HWND window);

 private:
  std::thread thread_;
  std::mutex mu_;
  std::vector<std::wstring> failures_;
  std::deque<std::wstring> texts_;
  bool joined_ = false;
};

// Windows alive on this thread and the process's GUI resources.
struct UiCounts {
  int windows = 0;
  DWORD userObjects = 0, gdiObjects = 0;
  size_t privateBytes = 0;
};
UiCounts CountUi();

}  // namespace pwtest
