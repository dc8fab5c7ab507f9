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
  driver.join();
  return ok;
}

}  // namespace dockhost
