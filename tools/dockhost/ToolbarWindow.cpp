#include "ToolbarWindow.h"

#include <commctrl.h>
#include <windowsx.h>

namespace dockhost {
namespace {

struct State {
  dockrail::IDockPlugin* plugin;
  Host* host;
  HWND tooltip;
};

const wchar_t kClass[] = L"DockhostToolbar";

void ShowMenu(HWND hwnd, State* s, POINT at) {
  HMENU menu = CreatePopupMenu();
  UINT n = static_cast<UINT>(s->plugin->AddMenuItems(menu, 0, kFirstMenuId));
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, 1, L"Properties...");
  AppendMenuW(menu, MF_STRING, 2, L"Exit");
  ClientToScreen(hwnd, &at);
  SetForegroundWindow(hwnd);
  UINT cmd = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
  DestroyMenu(menu);
  if (cmd >= kFirstMenuId && cmd < kFirstMenuId + 5 && n) {
    s->plugin->OnMenuCommand(cmd - kFirstMenuId);
  } else if (cmd == 1) {
    s->plugin->OnHostCommand(dockrail::kHostCommandProperties);
  } else if (cmd == 2) {
    DestroyWindow(hwnd);
  }
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* s = reinterpret_cast<State*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (s) s->plugin->Draw(dc, &kButtonRect);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONUP:
      if (s) s->plugin->OnClick();
      return 0;
    case WM_RBUTTONUP:
      if (s) ShowMenu(hwnd, s, {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      return 0;
    case WM_HOTKEY:
      if (s) s->plugin->QueryInfo(25, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(wp)));
      return 0;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (s && hdr->code == TTN_GETDISPINFOW) {
        static wchar_t text[dockrail::kTooltipTextSize];
        dockrail::TooltipInfo info = {};
        info.flags = dockrail::kTipPlainText;
        s->plugin->GetTooltip(&info);
        MultiByteToWideChar(CP_ACP, 0, info.text, -1, text, dockrail::kTooltipTextSize);
        reinterpret_cast<NMTTDISPINFOW*>(lp)->lpszText = text;
        return 0;
      }
      break;
    }
    case kSaveMessage:
      if (s) s->host->SaveIfDue(false);
      return 0;
    case WM_TIMER:
      if (s && wp == kSaveMessage) s->host->SaveIfDue(false);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

HWND CreateToolbarWindow(dockrail::IDockPlugin* plugin, Host* host, bool visible) {
  static State state;
  state = {plugin, host, nullptr};
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);
  RECT r = {0, 0, 160, 48};
  AdjustWindowRect(&r, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, FALSE);
  HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kClass, L"Dockrail (stand-in)", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                              CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                              wc.hInstance, &state);
  if (!hwnd) return nullptr;
  host->window = hwnd;
  state.tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, hwnd, nullptr,
                                  wc.hInstance, nullptr);
  TOOLINFOW ti = {sizeof(ti)};
  ti.uFlags = TTF_SUBCLASS;
  ti.hwnd = hwnd;
  ti.uId = 1;
  ti.rect = {4, 4, 44, 44};
  ti.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(state.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  SendMessageW(state.tooltip, TTM_SETMAXTIPWIDTH, 0, 400);
  if (visible) ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  return hwnd;
}

void RunLoop(double seconds, bool (*until)(void*), void* context) {
  const ULONGLONG end = seconds > 0 ? GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000) : ~0ull;
  MSG msg;
  if (!until) {
    // Nothing to poll: sleep until a message comes or the time is up, so
    // that the host itself adds no wake-ups to what the plug-in causes.
    for (;;) {
      const ULONGLONG now = GetTickCount64();
      if (now >= end) return;
      const ULONGLONG left = end - now;
      MsgWaitForMultipleObjectsEx(0, nullptr, left > 0x7FFFFFFF ? INFINITE : static_cast<DWORD>(left), QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }
  UINT_PTR timer = SetTimer(nullptr, 0, 100, nullptr);
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == timer) {
      if (GetTickCount64() >= end || (until && until(context))) break;
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  KillTimer(nullptr, timer);
}

}  // namespace dockhost
