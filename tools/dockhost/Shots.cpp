#include "Shots.h"

#include <commctrl.h>
#include <prsht.h>
#include <shlwapi.h>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "ui/support/Screenshot.h"

namespace dockhost {
namespace {

HWND WaitTop(const wchar_t* caption) {
  for (int i = 0; i < 200; ++i) {
    HWND w = FindWindowW(L"#32770", caption);
    if (w && IsWindowVisible(w)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid == GetCurrentProcessId()) return w;
    }
    Sleep(50);
  }
  return nullptr;
}

// A visible top-level window of this class (a menu: "#32768").
HWND WaitClass(const wchar_t* cls) {
  for (int i = 0; i < 100; ++i) {
    HWND w = FindWindowW(cls, nullptr);
    if (w && IsWindowVisible(w)) return w;
    Sleep(50);
  }
  return nullptr;
}

void WaitGoneTop(HWND w) {
  for (int i = 0; i < 200 && IsWindow(w); ++i) Sleep(50);
}

bool Shot(HWND w, const std::wstring& dir, const wchar_t* name) {
  bool ok = pwtest::SaveWindowPng(w, dir + L"\\" + name + L".png");
  printf("%ls %ls\n", ok ? L"wrote" : L"FAILED", name);
  return ok;
}

void Settle(HWND w) {
  DWORD_PTR r;
  SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME | RDW_UPDATENOW);
  Sleep(200);
}

// The viewer below the list on its first message, each tab in turn, and
// the Quick Reply dialog opened on that message when the account can send.
// An empty list still gives the four (empty) tabs.
bool ShootViewer(HWND list, const std::wstring& dir) {
  constexpr int kRows = 1028, kViewer = 1016, kToolbar = 1000, kReply = 2014;
  constexpr UINT kSelectTab = WM_USER + 2;
  bool ok = true;
  HWND rows = GetDlgItem(list, kRows), viewer = GetDlgItem(list, kViewer);
  if (!rows || !viewer) return false;
  if (SendMessageW(rows, LVM_GETITEMCOUNT, 0, 0) > 0) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(rows, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
  }
  const wchar_t* names[4] = {L"viewer_source", L"viewer_message", L"viewer_headers", L"viewer_log"};
  for (int i = 0; i < 4; ++i) {
    SendMessageW(viewer, kSelectTab, static_cast<WPARAM>(i), 0);
    Settle(list);
    if (!Shot(list, dir, names[i])) ok = false;
  }
  SendMessageW(viewer, kSelectTab, 1, 0);
  Settle(list);
  HWND toolbar = GetDlgItem(list, kToolbar);
  if (!toolbar || !SendMessageW(toolbar, TB_ISBUTTONENABLED, kReply, 0)) {
    printf("skipped quick_reply (no message that its account can answer)\n");
    return ok;
  }
  PostMessageW(list, WM_COMMAND, MAKEWPARAM(kReply, BN_CLICKED), reinterpret_cast<LPARAM>(toolbar));
  HWND reply = WaitTop(L"Quick Reply");
  if (!reply) return false;
  Settle(reply);
  if (!Shot(reply, dir, L"quick_reply")) ok = false;
  PostMessageW(reply, WM_COMMAND, IDCANCEL, 0);
  WaitGoneTop(reply);
  return ok;
}

}  // namespace

bool TakeShots(dockrail::IDockPlugin* plugin, ControlFn control, const std::wstring& dir) {
  CreateDirectoryW(dir.c_str(), nullptr);
  std::atomic<bool> ok{true};
  std::thread driver([&] {
    // The options sheet: each tab in turn.
    HWND frame = WaitTop(L"Postwarden");
    if (!frame) { ok = false; return; }
    HWND tabs = GetDlgItem(frame, 1013);
    const wchar_t* names[6] = {L"options_general", L"options_accounts", L"options_connection",
                               L"options_filters", L"options_notify", L"options_about"};
    for (int i = 0; i < 6; ++i) {
      struct { uint32_t id; wchar_t t[64]; wchar_t t2[128]; uint32_t f; LPARAM a, b; RECT r; } rec = {};
      DWORD_PTR res;
      SendMessageTimeoutW(tabs, WM_USER + 6, i, reinterpret_cast<LPARAM>(&rec), SMTO_ABORTIFHUNG, 5000, &res);
      LPARAM at = MAKELPARAM((rec.r.left + rec.r.right) / 2, (rec.r.top + rec.r.bottom) / 2);
      PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
      PostMessageW(tabs, WM_LBUTTONUP, 0, at);
      Settle(frame);
      if (!Shot(frame, dir, names[i])) ok = false;
    }
    PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
    // The account sheet: its three pages.
    HWND sheet = WaitTop(L"Mail Account");
    if (!sheet) { ok = false; return; }
    const wchar_t* pages[3] = {L"account_options", L"account_incoming", L"account_outgoing"};
    for (int i = 0; i < 3; ++i) {
      PostMessageW(sheet, PSM_SETCURSEL, i, 0);
      Settle(sheet);
      if (!Shot(sheet, dir, pages[i])) ok = false;
    }
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    // The filter editors: the rule editor on the plug-in's rules, the two
    // dialogs it opens, and the condition-set editor for a message.
    HWND rules = WaitTop(L"Filtering rules");
    if (!rules) { ok = false; return; }
    Settle(rules);
    if (!Shot(rules, dir, L"filters_rule_editor")) ok = false;
    const std::pair<int, const wchar_t*> inner[2] = {{3135, L"DNS Black List"}, {3132, L"Import conditions"}};
    const wchar_t* innerNames[2] = {L"filters_dnsbl", L"filters_import"};
    for (int i = 0; i < 2; ++i) {
      PostMessageW(GetDlgItem(rules, inner[i].first), BM_CLICK, 0, 0);
      HWND d = WaitTop(inner[i].second);
      if (!d) { ok = false; continue; }
      Settle(d);
      if (!Shot(d, dir, innerNames[i])) ok = false;
      PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
      for (int k = 0; k < 100 && IsWindow(d); ++k) Sleep(50);
    }
    PostMessageW(rules, WM_COMMAND, IDCANCEL, 0);
    HWND condition = WaitTop(L"Filtering conditions");
    if (!condition) { ok = false; return; }
    Settle(condition);
    if (!Shot(condition, dir, L"filters_condition_from_message")) ok = false;
    PostMessageW(condition, WM_COMMAND, IDCANCEL, 0);
    // The messages list window: all accounts, the first account, the Spam
    // folder, and its two context menus.
    {
      WaitGoneTop(sheet);
      HWND list = WaitTop(L"Postwarden");
      if (!list) { ok = false; return; }
      HWND folders = GetDlgItem(list, 1069);
      int entries = 0;  // FLM_GETTEXT answers 0 past the last entry
      while (entries < 1000 && SendMessageW(folders, WM_USER + 12, static_cast<WPARAM>(entries), 0)) ++entries;
      const int accounts = entries - 5;
      Settle(list);
      if (!Shot(list, dir, L"list")) ok = false;
      if (accounts > 0) {
        SendMessageW(folders, WM_USER + 4, 1, 0);
        Settle(list);
        if (!Shot(list, dir, L"list_account")) ok = false;
      }
      SendMessageW(folders, WM_USER + 4, static_cast<WPARAM>(1 + (accounts > 0 ? accounts : 0) + 2), 0);
      Settle(list);
      if (!Shot(list, dir, L"list_spam")) ok = false;
      SendMessageW(folders, WM_USER + 4, 0, 0);
      HWND rows = GetDlgItem(list, 1028);
      RECT r;
      GetWindowRect(rows, &r);
      SetCursorPos(r.left + 60, r.top + 40);
      PostMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(rows), MAKELPARAM(r.left + 60, r.top + 40));
      if (HWND menu = WaitClass(L"#32768")) {
        Settle(menu);
        if (!Shot(menu, dir, L"list_row_menu")) ok = false;
      }
      PostMessageW(list, WM_CANCELMODE, 0, 0);
      Sleep(300);
      if (accounts > 0) SendMessageW(folders, WM_USER + 4, 1, 0);
      GetWindowRect(folders, &r);
      SetCursorPos(r.left + 30, r.top + 10);
      PostMessageW(list, WM_COMMAND, MAKEWPARAM(1069, 2), reinterpret_cast<LPARAM>(folders));
      if (HWND menu = WaitClass(L"#32768")) {
        Settle(menu);
        if (!Shot(menu, dir, L"list_folder_menu")) ok = false;
      }
      PostMessageW(list, WM_CANCELMODE, 0, 0);
      Sleep(300);
      if (!ShootViewer(list, dir)) ok = false;
      PostMessageW(list, WM_CLOSE, 0, 0);
    }
  });
  IStream* out = SHCreateMemStream(nullptr, 0);
  plugin->ShowOptions(out);
  out->Release();
  wchar_t* answer = nullptr;
  control(plugin, L"account-dialog new", &answer);
  if (answer) CoTaskMemFree(answer);
  answer = nullptr;
  control(plugin, L"filter-editor", &answer);
  if (answer) CoTaskMemFree(answer);
  wchar_t header[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, header);
  wcscat(header, L"dockhost_shot_header.txt");
  if (FILE* f = _wfopen(header, L"wb")) {
    fputs("From: Sample Sender <sender@example.org>\r\nTo: you@example.org\r\nSubject: Shot of the condition editor"
          "\r\nComments:\r\n\r\n", f);
    fclose(f);
  }
  answer = nullptr;
  control(plugin, (std::wstring(L"filter-condition \"") + header + L"\"").c_str(), &answer);
  if (answer) CoTaskMemFree(answer);
  DeleteFileW(header);
  control(plugin, L"list-window open", &answer);
  if (answer) CoTaskMemFree(answer);
  driver.join();
  return ok;
}

namespace {

HWND ListWindow(dockrail::IDockPlugin* plugin, ControlFn control) {
  wchar_t* answer = nullptr;
  control(plugin, L"list-window", &answer);
  HWND list = nullptr;
  if (answer) {
    list = reinterpret_cast<HWND>(static_cast<uintptr_t>(_wcstoui64(answer, nullptr, 10)));
    CoTaskMemFree(answer);
  }
  return list && IsWindow(list) && IsWindowVisible(list) ? list : nullptr;
}

}  // namespace

bool ShootList(dockrail::IDockPlugin* plugin, ControlFn control, const std::wstring& file) {
  std::wstring dir = file;
  const size_t slash = dir.find_last_of(L"\\/");
  if (slash != std::wstring::npos) {
    dir.resize(slash);
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  // A window closed just before (the --shots pictures) may still be going
  // when it is asked for: then it is asked again.
  bool ok = false;
  for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
    if (attempt) Sleep(500);
    wchar_t* answer = nullptr;
    control(plugin, L"list-window open", &answer);
    if (answer) CoTaskMemFree(answer);
    HWND list = nullptr;
    for (int i = 0; i < 200 && !list; ++i) {
      list = ListWindow(plugin, control);
      if (!list) Sleep(50);
    }
    if (!list) continue;
    Settle(list);
    Sleep(300);
    Settle(list);
    ok = IsWindow(list) && pwtest::SaveWindowPng(list, file);
  }
  printf("%ls %ls\n", ok ? L"wrote" : L"FAILED", file.c_str());
  return ok;
}

}  // namespace dockhost
