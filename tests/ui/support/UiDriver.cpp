#include "ui/support/UiDriver.h"

#include <commctrl.h>
#include <psapi.h>
#include <prsht.h>
#include <cstdio>

namespace pwtest {
namespace {

struct FindArgs {
  const wchar_t* caption;
  const wchar_t* cls;
  HWND found;
};

BOOL CALLBACK FindTop(HWND w, LPARAM lp) {
  auto* a = reinterpret_cast<FindArgs*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(w)) return TRUE;
  wchar_t text[256] = {}, cls[64] = {};
  GetClassNameW(w, cls, 64);
  InternalGetWindowText(w, text, 256);
  if (a->cls && lstrcmpW(cls, a->cls) != 0) return TRUE;
  if (a->caption && lstrcmpW(text, a->caption) != 0) return TRUE;
  a->found = w;
  return FALSE;
}

HWND FindChildId(HWND parent, int id) {
  if (HWND direct = GetDlgItem(parent, id)) return direct;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[16] = {};
    GetClassNameW(c, cls, 16);
    if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(c))
      if (HWND h = FindChildId(c, id)) return h;
  }
  return nullptr;
}

void TreeOf(HWND w, int depth, std::wstring& out) {
  wchar_t text[128] = {}, cls[64] = {};
  GetClassNameW(w, cls, 64);
  InternalGetWindowText(w, text, 128);
  wchar_t line[300];
  swprintf(line, 300, L"%*ls%ls id=%d \"%ls\"%ls\n", depth * 2, L"", cls, GetDlgCtrlID(w), text,
           IsWindowVisible(w) ? L"" : L" (hidden)");
  out += line;
  for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) TreeOf(c, depth + 1, out);
}

BOOL CALLBACK CancelAll(HWND w, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  wchar_t cls[16] = {};
  GetClassNameW(w, cls, 16);
  if (pid == GetCurrentProcessId() && IsWindowVisible(w) && lstrcmpW(cls, L"#32770") == 0)
    PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

BOOL CALLBACK CountThreadWindows(HWND, LPARAM lp) {
  ++*reinterpret_cast<int*>(lp);
  return TRUE;
}

}  // namespace

UiDriver::UiDriver(std::function<void(UiDriver&)> script)
    : thread_([this, script] {
        script(*this);
        // Whatever the script left open is closed, and that is a failure.
        for (int round = 0; round < 50; ++round) {
          FindArgs a = {nullptr, L"#32770", nullptr};
          EnumWindows(FindTop, reinterpret_cast<LPARAM>(&a));
          if (!a.found) return;
          if (round == 0) Fail(L"a dialog was left open:\n" + Tree(a.found));
          EnumWindows(CancelAll, 0);
          Sleep(100);
        }
        fputs("dialogs do not close; giving up\n", stderr);
        ExitProcess(3);
      }) {}

UiDriver::~UiDriver() { Join(); }

void UiDriver::Join() {
  if (!joined_ && thread_.joinable()) thread_.join();
  joined_ = true;
}

bool UiDriver::WaitFor(const std::function<bool()>& ok, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (GetTickCount64() < end) {
    if (ok()) return true;
    Sleep(20);
  }
  return ok();
}

HWND UiDriver::WaitDialog(const wchar_t* caption, DWORD ms) {
  FindArgs a = {caption, L"#32770", nullptr};
  WaitFor([&] {
    a.found = nullptr;
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&a));
    return a.found != nullptr;
  }, ms);
  if (!a.found) {
    FindArgs any = {nullptr, nullptr, nullptr};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&any));
    Fail(std::wstring(L"no dialog \"") + caption + L"\" appeared" + (any.found ? L"; open:\n" + Tree(any.found) : L""));
  }
  return a.found;
}

HWND UiDriver::WaitWindowClass(const wchar_t* cls, DWORD ms) {
  FindArgs a = {nullptr, cls, nullptr};
  WaitFor([&] {
    a.found = nullptr;
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&a));
    return a.found != nullptr;
  }, ms);
  if (!a.found) Fail(std::wstring(L"no window of class ") + cls + L" appeared");
  return a.found;
}

bool UiDriver::WaitGone(HWND window, DWORD ms) {
  bool gone = WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, ms);
  if (!gone) Fail(L"window did not close:\n" + Tree(window));
  return gone;
}

HWND UiDriver::CurrentPage(HWND sheet) {
  return reinterpret_cast<HWND>(Send(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

void UiDriver::SelectPage(HWND sheet, int index) {
  PostMessageW(sheet, PSM_SETCURSEL, index, 0);
  WaitFor([&] { return Send(sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(CurrentPage(sheet)), 0) == index; });
}

HWND UiDriver::Control(HWND dialog, int id, DWORD ms) {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindChildId(dialog, id)) != nullptr; }, ms);
  if (!found) Fail(L"control " + std::to_wstring(id) + L" not found in:\n" + Tree(dialog));
  return found;
}

LRESULT UiDriver::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kWait, &result))
    Fail(L"message " + std::to_wstring(message) + L" timed out");
  return static_cast<LRESULT>(result);
}

void UiDriver::Click(HWND dialog, int id) {
  if (HWND c = Control(dialog, id)) PostMessageW(c, BM_CLICK, 0, 0);
}

void UiDriver::SetText(HWND dialog, int id, const std::wstring& text) {
  // WM_SETTEXT carries a pointer and cannot be posted; it is sent with a
  // deadline instead.
  if (HWND c = Control(dialog, id)) Send(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void UiDriver::Type(HWND dialog, int id, const std::wstring& text) {
  HWND c = Control(dialog, id);
  if (!c) return;
  for (wchar_t ch : text) PostMessageW(c, WM_CHAR, ch, 1);
  // Posted characters are handled after sent messages: wait until the
  // text stops changing.
  std::wstring last = Text(c);
  for (int still = 0; still < 5;) {
    Sleep(40);
    std::wstring now = Text(c);
    still = now == last ? still + 1 : 0;
    last = now;
  }
}

std::wstring UiDriver::Text(HWND window) {
  wchar_t buf[1024] = {};
  DWORD_PTR n = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, kWait, &n);
  return buf;
}

std::wstring UiDriver::Text(HWND dialog, int id) {
  HWND c = Control(dialog, id);
  return c ? Text(c) : L"";
}

bool UiDriver::IsChecked(HWND dialog, int id) {
  HWND c = Control(dialog, id);
  return c && Send(c, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool UiDriver::IsEnabled(HWND dialog, int id) {
  HWND c = Control(dialog, id);
  return c && IsWindowEnabled(c);
}

void UiDriver::PickCombo(HWND dialog, int id, int index) {
  HWND c = Control(dialog, id);
  if (!c) return;
  PostMessageW(c, CB_SETCURSEL, index, 0);
  PostMessageW(GetParent(c), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(c));
}

void UiDriver::PressOk(HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDOK, 0); }
void UiDriver::PressCancel(HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); }
void UiDriver::SheetOk(HWND sheet) { PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0); }
void UiDriver::SheetCancel(HWND sheet) { PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0); }

namespace {
const UINT kRunMessage = RegisterWindowMessageW(L"pwtest.UiDriver.Run");
LRESULT CALLBACK RunHook(int code, WPARAM wParam, LPARAM lParam) {
  auto* cw = reinterpret_cast<CWPSTRUCT*>(lParam);
  if (code >= 0 && cw->message == kRunMessage) (*reinterpret_cast<const std::function<void()>*>(cw->lParam))();
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

void UiDriver::OnDialogThread(HWND window, const std::function<void()>& fn) {
  DWORD tid = GetWindowThreadProcessId(window, nullptr);
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, RunHook, nullptr, tid);
  Send(window, kRunMessage, 0, reinterpret_cast<LPARAM>(&fn));
  UnhookWindowsHookEx(hook);
}

void UiDriver::Fail(const std::wstring& what) {
  std::lock_guard<std::mutex> g(mu_);
  failures_.push_back(what);
}

std::vector<std::wstring> UiDriver::Failures() {
  Join();
  std::lock_guard<std::mutex> g(mu_);
  return failures_;
}

std::wstring UiDriver::Tree(HWND window) {
  std::wstring out;
  if (window) TreeOf(window, 0, out);
  return out;
}

UiCounts CountUi() {
  UiCounts c;
  EnumThreadWindows(GetCurrentThreadId(), CountThreadWindows, reinterpret_cast<LPARAM>(&c.windows));
  c.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  c.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  PROCESS_MEMORY_COUNTERS_EX pmc = {};
  pmc.cb = sizeof(pmc);
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc)))
    c.privateBytes = pmc.PrivateUsage;
  return c;
}

}  // namespace pwtest
