// Speed of the windows: the options sheet with 100 accounts shown and ready
// for input, the account list refilled with 1,000 accounts, each custom
// control's paint, and the folder list's adding (1k against 10k rows) and
// scrolling. Ratios are against a plain dialog of system controls measured
// in the same run.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/Module.h"
#include "common/BenchSupport.h"
#include "ui/ColorButton.h"
#include "ui/FolderList.h"
#include "ui/HotkeyField.h"
#include "ui/OptionsData.h"
#include "ui/TabSwitcher.h"
#include "ui/UiClasses.h"
#include "ui/WebLink.h"
#include "ui_ids.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// From the call to the dialog being visible and idle, seen from a second
// thread that then cancels it.
template <typename Open>
double TimeToShown(const wchar_t* caption, Open open) {
  std::atomic<double> shown{0};
  double start = 0;
  std::thread watch([&] {
    for (int i = 0; i < 20000; ++i) {
      HWND w = FindWindowW(L"#32770", caption);
      if (w && IsWindowVisible(w)) {
        DWORD_PTR r;
        SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);  // it takes input
        shown = Now();
        PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
        return;
      }
      Sleep(0);
    }
  });
  start = Now();
  open();
  watch.join();
  return shown - start;
}

double OpenSheet(size_t accounts) {
  pw::ui::OptionsData d;
  d.accounts.resize(accounts);
  for (size_t i = 0; i < accounts; ++i) wsprintfW(d.accounts[i].accountName, L"Account %u", unsigned(i));
  return TimeToShown(L"Postwarden", [&] { pw::ui::ShowOptionsSheet(nullptr, nullptr, d); });
}

// Baseline: a dialog of system controls only (the icon picker's template).
INT_PTR CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM) {
  if (m == WM_INITDIALOG) return TRUE;
  if (m == WM_COMMAND && LOWORD(wp) == IDCANCEL) EndDialog(w, 0);
  return FALSE;
}

double OpenPlain() {
  HMODULE m = pw::DllModule();
  HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(IDD_ICON_PICKER), MAKEINTRESOURCEW(5));
  auto* t = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(m, r)));
  return TimeToShown(L"Select Icon", [&] { DialogBoxIndirectParamW(m, t, nullptr, PlainProc, 0); });
}

HWND Host() {
  static HWND host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 600, 500, nullptr, nullptr,
                                     nullptr, nullptr);
  return host;
}

double PaintTime(HWND control, int rounds) {
  UpdateWindow(control);
  double t0 = ThreadCpu();
  for (int i = 0; i < rounds; ++i) RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  return (ThreadCpu() - t0) / rounds;
}

double AddRows(int rows) {
  HWND list = CreateWindowExW(0, pw::ui::kFolderListClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 400, Host(),
                              nullptr, nullptr, nullptr);
  wchar_t text[32];
  double t0 = Now();
  for (int i = 0; i < rows; ++i) {
    wsprintfW(text, L"Folder %d", i);
    pw::ui::FolderEntry e = {uint32_t(i), text, i % 5, i % 3, -1};
    SendMessageW(list, pw::ui::FLM_ADD, 0, reinterpret_cast<LPARAM>(&e));
  }
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  UpdateWindow(list);
  double t = Now() - t0;
  DestroyWindow(list);
  return t;
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), 0x1FF};
  InitCommonControlsEx(&icc);
  pw::SetDllModule(GetModuleHandleW(nullptr));
  pw::ui::RegisterUiClasses(GetModuleHandleW(nullptr));

  std::vector<double> plain, sheet100, sheet1000;
  for (int i = 0; i < 7; ++i) {
    plain.push_back(OpenPlain());
    sheet100.push_back(OpenSheet(100));
  }
  for (int i = 0; i < 3; ++i) sheet1000.push_back(OpenSheet(1000));
  const double base = Median(plain);
  printf("plain dialog shown and ready:        %7.1f ms (baseline)\n", base * 1e3);
  printf("options sheet, 100 accounts:         %7.1f ms  x%.2f  (goal 300 ms)\n", Median(sheet100) * 1e3,
         Median(sheet100) / base);
  printf("options sheet, 1,000 accounts:       %7.1f ms  x%.2f\n", Median(sheet1000) * 1e3, Median(sheet1000) / base);

  // The account list: 1,000 names into the page's list box, as Refill does.
  HWND lb = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | LBS_NOINTEGRALHEIGHT | WS_VSCROLL, 0, 0, 300,
                            300, Host(), nullptr, nullptr, nullptr);
  std::vector<double> refill;
  wchar_t name[32];
  for (int r = 0; r < 5; ++r) {
    double t0 = Now();
    SendMessageW(lb, WM_SETREDRAW, FALSE, 0);
    SendMessageW(lb, LB_RESETCONTENT, 0, 0);
    SendMessageW(lb, LB_INITSTORAGE, 1000, 1000 * 32 * sizeof(wchar_t));
    for (int i = 0; i < 1000; ++i) {
      wsprintfW(name, L"Account %d", i);
      SendMessageW(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    SendMessageW(lb, WM_SETREDRAW, TRUE, 0);
    UpdateWindow(lb);
    refill.push_back(Now() - t0);
  }
  printf("account list refill, 1,000 accounts: %7.2f ms  (goal 10 ms)\n", Median(refill) * 1e3);

  // Paint of each custom control (thread CPU per paint).
  HWND tabs = CreateWindowExW(0, pw::ui::kTabSwitcherClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 400, Host(),
                              nullptr, nullptr, nullptr);
  for (int i = 0; i < 6; ++i) {
    pw::ui::TabAdd add = {uint32_t(i), L"Tab", L"Description", UINT(IDP_TAB_OPTIONS), pw::DllModule(), 0, 0};
    SendMessageW(tabs, pw::ui::TSM_ADD, 0, reinterpret_cast<LPARAM>(&add));
  }
  SendMessageW(tabs, pw::ui::TSM_SELECT, 2, 0);
  HWND label = CreateWindowExW(0, pw::ui::kTabLabelClass, L"New Mail Notifications", WS_CHILD | WS_VISIBLE, 110, 0,
                               400, 24, Host(), nullptr, nullptr, nullptr);
  HWND hot = CreateWindowExW(0, pw::ui::kHotkeyClass, L"", WS_CHILD | WS_VISIBLE, 110, 40, 200, 22, Host(), nullptr,
                             nullptr, nullptr);
  SendMessageW(hot, pw::ui::HKM_SETVALUE, 0x0651, 0);
  HWND link = CreateWindowExW(0, pw::ui::kWebLinkClass, L"Visit <a href=\"https://x.example/\">our site</a> today",
                              WS_CHILD | WS_VISIBLE, 110, 70, 300, 20, Host(), nullptr, nullptr, nullptr);
  HWND colour = CreateWindowExW(0, pw::ui::kColorButtonClass, L"", WS_CHILD | WS_VISIBLE, 110, 100, 24, 24, Host(),
                                nullptr, nullptr, nullptr);
  HWND folders = CreateWindowExW(0, pw::ui::kFolderListClass, L"", WS_CHILD | WS_VISIBLE, 110, 130, 200, 300, Host(),
                                 nullptr, nullptr, nullptr);
  for (int i = 0; i < 100; ++i) {
    wsprintfW(name, L"Folder %d", i);
    pw::ui::FolderEntry e = {uint32_t(i), name, i % 4, i % 3, -1};
    SendMessageW(folders, pw::ui::FLM_ADD, 0, reinterpret_cast<LPARAM>(&e));
  }
  struct { const char* name; HWND w; } controls[] = {{"tab switcher", tabs}, {"tab label", label},
                                                    {"hotkey field", hot}, {"web link", link},
                                                    {"colour button", colour}, {"folder list", folders}};
  for (auto& c : controls) printf("paint, %-14s %7.3f ms  (goal 2 ms)\n", c.name, PaintTime(c.w, 200) * 1e3);

  // Adding rows: linear when 10x the rows take about 10x the time.
  double a1 = Median({AddRows(1000), AddRows(1000), AddRows(1000)});
  double a10 = Median({AddRows(10000), AddRows(10000), AddRows(10000)});
  printf("folder list add 1k rows:             %7.2f ms\n", a1 * 1e3);
  printf("folder list add 10k rows:            %7.2f ms  x%.2f of 1k (linear: ~10)\n", a10 * 1e3, a10 / a1);

  HWND big = CreateWindowExW(0, pw::ui::kFolderListClass, L"", WS_CHILD | WS_VISIBLE, 320, 130, 200, 300, Host(),
                             nullptr, nullptr, nullptr);
  for (int i = 0; i < 10000; ++i) {
    wsprintfW(name, L"Folder %d", i);
    pw::ui::FolderEntry e = {uint32_t(i), name, 0, 0, -1};
    SendMessageW(big, pw::ui::FLM_ADD, 0, reinterpret_cast<LPARAM>(&e));
  }
  double t0 = Now();
  for (int i = 0; i < 1000; ++i) {
    SendMessageW(big, WM_VSCROLL, SB_LINEDOWN, 0);
    UpdateWindow(big);
  }
  printf("folder list, 10k rows, one line down and repaint: %.3f ms\n", (Now() - t0));
  return 0;
}
