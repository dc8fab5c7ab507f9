// dockhost: a stand-in for the Dockrail toolbar. It loads the plug-in,
// keeps its settings stream in a file and shows its button; with options it
// runs scripted steps and prints the plug-in's state for scripts and tests.
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Host.h"
#include "SettingsFile.h"
#include "Snapshot.h"
#include "Shots.h"
#include "ToolbarWindow.h"
#include "dockrail/DockrailPlugin.h"

namespace {

const char kUsage[] =
    "usage: dockhost [options]\n"
    "  --dll PATH         plug-in DLL (default: postwarden.dll beside dockhost.exe)\n"
    "  --com              create the plug-in through its COM registration instead\n"
    "  --register         register the DLL (DllRegisterServer) and go on\n"
    "  --unregister       unregister the DLL and go on\n"
    "  --settings FILE    the plug-in's settings stream (read at start if present; a\n"
    "                     file the plug-in cannot read is copied to FILE.bad and not\n"
    "                     written over unless --save is given)\n"
    "  --caption TEXT     the button caption (default: Postwarden)\n"
    "  --menu N           run context-menu command offset N (repeatable)\n"
    "  --click            click the button\n"
    "  --run SECONDS      show the toolbar and run for SECONDS (0: until closed)\n"
    "  --hidden           do not show the toolbar window\n"
    "  --print            print the plug-in's state\n"
    "  --save             write the settings stream back to FILE at the end even when\n"
    "                     the plug-in did not ask (it is saved whenever it asks)\n"
    "  --account TEXT     add or change an account: \"NAME key=value ...\" with keys\n"
    "                     server port user password security=none|tls|stls apop=0|1\n"
    "                     pin=SHA256-FINGERPRINT interval timeout delay (seconds)\n"
    "                     suspend connection sound command, and for replies out-server\n"
    "                     out-port out-user out-password out-from out-name\n"
    "                     out-security=none|tls|stls out-pin (repeatable)\n"
    "  --proxy TEXT       \"none\" or \"socks4|socks4a|socks5|http HOST PORT [USER PASSWORD]\"\n"
    "  --reply ACCOUNT N TEXT  queue a quick reply to message N (from 1, as --report\n"
    "                     lists them); it goes out in the next check's send pass;\n"
    "                     \\n in TEXT is a line break, TEXT holds no double quote\n"
    "  --subject TEXT     the subject of the --reply before it (default: Re: ...)\n"
    "  --filters on|off   switch filtering on or off\n"
    "  --import-conditions RULE FILE  add the condition sets of FILE (XML or a word\n"
    "                     list) to the rule named RULE (or numbered from 1)\n"
    "  --export-conditions RULE FILE  write the rule's condition sets to FILE as XML\n"
    "  --check SECONDS    check every account now and wait until all are done\n"
    "  --report           print every account's messages and connection log\n"
    "  --wait-checks S    run until every account has ended a check by itself (at most S seconds)\n"
    "  --snapshot FILE    save the button as shown at the end as a BMP file\n"
    "  --verbose          print the plug-in's calls into the host\n"
    "  --options          open the options sheet and wait until it closes\n"
    "  --account-dialog N open the account sheet on account N (from 0, or \"new\")\n"
    "  --list-shot FILE   open the messages list window, let it paint and write it as PNG\n"
    "  --list             open the messages list window and run until it is closed\n"
    "  --shots DIR        open each window in turn and write a PNG of every page into DIR\n";

struct Options {
  std::wstring dll;
  bool com = false, reg = false, unreg = false, click = false, hidden = false;
  bool print = false, save = false, verbose = false;
  std::wstring settings;
  std::string caption = "Postwarden";
  std::vector<int> menu;
  std::vector<std::wstring> controls;  // account, proxy and filter commands
  double run = -1;
  double check = -1;
  bool report = false;
  double waitChecks = -1;
  std::wstring snapshot;
  bool options = false;
  std::wstring accountDialog;
  std::wstring shots;
  bool list = false;
  std::wstring listShot;
};

bool Parse(int argc, wchar_t** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    auto next = [&](std::wstring& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::wstring v;
    if (a == L"--dll") { if (!next(o.dll)) return false; }
    else if (a == L"--com") o.com = true;
    else if (a == L"--register") o.reg = true;
    else if (a == L"--unregister") o.unreg = true;
    else if (a == L"--settings") { if (!next(o.settings)) return false; }
    else if (a == L"--caption") {
      if (!next(v)) return false;
      char buf[512];
      WideCharToMultiByte(CP_ACP, 0, v.c_str(), -1, buf, sizeof buf, nullptr, nullptr);
      o.caption = buf;
    }
    else if (a == L"--menu") { if (!next(v)) return false; o.menu.push_back(_wtoi(v.c_str())); }
    else if (a == L"--click") o.click = true;
    else if (a == L"--run") { if (!next(v)) return false; o.run = _wtof(v.c_str()); }
    else if (a == L"--hidden") o.hidden = true;
    else if (a == L"--print") o.print = true;
    else if (a == L"--save") o.save = true;
    else if (a == L"--verbose") o.verbose = true;
    else if (a == L"--account") { if (!next(v)) return false; o.controls.push_back(L"account " + v); }
    else if (a == L"--proxy") { if (!next(v)) return false; o.controls.push_back(L"proxy " + v); }
    else if (a == L"--reply") {
      std::wstring account, index, text;
      if (!next(account) || !next(index) || !next(text)) return false;
      o.controls.push_back(L"reply \"" + account + L"\" " + index + L" \"" + text + L"\"");
    } else if (a == L"--subject") {
      if (!next(v) || o.controls.empty() || o.controls.back().rfind(L"reply ", 0) != 0) return false;
      o.controls.back() += L" \"" + v + L"\"";
    }
    else if (a == L"--filters") { if (!next(v)) return false; o.controls.push_back(L"filters " + v); }
    else if (a == L"--import-conditions" || a == L"--export-conditions") {
      std::wstring rule, file;
      if (!next(rule) || !next(file)) return false;
      o.controls.push_back(a.substr(2) + L" \"" + rule + L"\" \"" + file + L"\"");
    }
    else if (a == L"--check") { if (!next(v)) return false; o.check = _wtof(v.c_str()); }
    else if (a == L"--report") o.report = true;
    else if (a == L"--wait-checks") { if (!next(v)) return false; o.waitChecks = _wtof(v.c_str()); }
    else if (a == L"--snapshot") { if (!next(o.snapshot)) return false; }
    else if (a == L"--options") o.options = true;
    else if (a == L"--account-dialog") { if (!next(o.accountDialog)) return false; }
    else if (a == L"--shots") { if (!next(o.shots)) return false; }
    else if (a == L"--list") o.list = true;
    else if (a == L"--list-shot") { if (!next(o.listShot)) return false; }
    else return false;
  }
  return true;
}

// Newlines and tabs shown escaped, so each answer stays on one line.
std::string OneLine(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

void PrintState(dockrail::IDockPlugin* p, dockhost::Host& host) {
  char text[dockrail::kTooltipTextSize] = {};
  p->QueryInfo(3, 0, text);
  printf("tooltip: %s\n", OneLine(text).c_str());
  dockrail::TooltipInfo tip = {};
  tip.flags = dockrail::kTipTitle;
  p->GetTooltip(&tip);
  printf("title: %s\n", OneLine(tip.text).c_str());
  HMENU menu = CreatePopupMenu();
  UINT n = static_cast<UINT>(p->AddMenuItems(menu, 0, dockhost::kFirstMenuId));
  for (UINT i = 0; i < n; ++i) {
    wchar_t item[128] = {};
    GetMenuStringW(menu, i, item, 128, MF_BYPOSITION);
    bool checked = GetMenuState(menu, i, MF_BYPOSITION) & MF_CHECKED;
    printf("menu %u: %ls%s\n", GetMenuItemID(menu, i) - dockhost::kFirstMenuId, item, checked ? " [checked]" : "");
  }
  DestroyMenu(menu);
  for (UINT sub = 0; sub < 2; ++sub) {
    dockrail::HotkeyInfo h = {};
    p->QueryInfo(4, sub, &h);
    printf("hotkey %d: %ls = 0x%04x\n", h.number, h.label, h.hotkey);
  }
  char icon[dockrail::kIconLocationSize] = {};
  p->GetIconLocation(icon);
  printf("icon location: %s\n", icon);
  wchar_t* rich = nullptr;
  p->QueryInfo(22, 0, &rich);
  if (rich) {
    char buf[4096];
    WideCharToMultiByte(CP_ACP, 0, rich, -1, buf, sizeof buf, nullptr, nullptr);
    printf("rich tooltip: %s\n", OneLine(buf).c_str());
    CoTaskMemFree(rich);
  }
  printf("settings changed: %d\n", host.settingsChanged.load());
}

using ControlFn = HRESULT(STDAPICALLTYPE*)(IUnknown*, const wchar_t*, wchar_t**);

// One text command to the plug-in; its answer, or the error it gave.
bool Control(ControlFn fn, dockrail::IDockPlugin* p, const std::wstring& command, std::wstring* answer) {
  wchar_t* out = nullptr;
  HRESULT hr = fn ? fn(p, command.c_str(), &out) : E_NOTIMPL;
  std::wstring text = out ? out : L"";
  if (out) CoTaskMemFree(out);
  if (FAILED(hr)) {
    fprintf(stderr, "dockhost: %ls: %ls\n", command.c_str(), fn ? text.c_str() : L"the plug-in has no control entry");
    return false;
  }
  if (answer) *answer = text;
  return true;
}

// Asks for a check of every account and waits until each has ended.
bool CheckNow(ControlFn fn, dockrail::IDockPlugin* p, double seconds) {
  p->OnMenuCommand(0);
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    std::wstring state;
    if (!Control(fn, p, L"busy", &state)) return false;
    if (state.rfind(L"0 0 ", 0) == 0) return true;  // the request was taken and every check ended
    if (GetTickCount64() >= end) {
      fprintf(stderr, "dockhost: the check did not end within %g seconds\n", seconds);
      return false;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
}

struct WaitContext {
  ControlFn fn;
  dockrail::IDockPlugin* plugin;
};

// True once no account is busy and every account has ended a check.
bool ChecksDone(void* param) {
  auto* w = static_cast<WaitContext*>(param);
  std::wstring state;
  if (!Control(w->fn, w->plugin, L"busy", &state)) return true;
  int pending = 0, busy = 0, waiting = 0;
  return swscanf(state.c_str(), L"%d %d %d", &pending, &busy, &waiting) == 3 && busy == 0 && waiting == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options o;
  if (!Parse(argc, argv, o)) {
    fputs(kUsage, stderr);
    return 2;
  }
  if (o.dll.empty()) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    PathAppendW(path, L"postwarden.dll");
    o.dll = path;
  }
  CoInitialize(nullptr);
  HMODULE lib = LoadLibraryW(o.dll.c_str());
  if (!lib) {
    fprintf(stderr, "dockhost: cannot load %ls (error %lu)\n", o.dll.c_str(), GetLastError());
    return 1;
  }
  using Fn = HRESULT(STDAPICALLTYPE*)();
  using GetFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  if (o.reg) printf("register: 0x%08lx\n", static_cast<unsigned long>(reinterpret_cast<Fn>(GetProcAddress(lib, "DllRegisterServer"))()));
  if (o.unreg) printf("unregister: 0x%08lx\n", static_cast<unsigned long>(reinterpret_cast<Fn>(GetProcAddress(lib, "DllUnregisterServer"))()));

  dockrail::IDockPlugin* plugin = nullptr;
  HRESULT hr;
  if (o.com) {
    hr = CoCreateInstance(dockrail::CLSID_PostwardenPlugin, nullptr, CLSCTX_INPROC_SERVER, dockrail::IID_IDockPlugin,
                          reinterpret_cast<void**>(&plugin));
  } else {
    IClassFactory* factory = nullptr;
    hr = reinterpret_cast<GetFn>(GetProcAddress(lib, "DllGetClassObject"))(dockrail::CLSID_PostwardenPlugin,
                                                                           IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr)) {
      hr = factory->CreateInstance(nullptr, dockrail::IID_IDockPlugin, reinterpret_cast<void**>(&plugin));
      factory->Release();
    }
  }
  if (FAILED(hr) || !plugin) {
    fprintf(stderr, "dockhost: cannot create the plug-in (0x%08lx)\n", static_cast<unsigned long>(hr));
    return 1;
  }

  dockhost::Host host;
  host.verbose = o.verbose;
  host.plugin = plugin;
  host.settingsFile = o.settings;
  if (o.run >= 0 || o.waitChecks >= 0) dockhost::CreateToolbarWindow(plugin, &host, !o.hidden);
  plugin->SetHost(&host);
  plugin->SetCaption(o.caption.c_str());
  int32_t rect[4] = {dockhost::kButtonRect.left, dockhost::kButtonRect.top, dockhost::kButtonRect.right,
                     dockhost::kButtonRect.bottom};
  plugin->SetButtonRect(rect);

  std::vector<uint8_t> stored = o.settings.empty() ? std::vector<uint8_t>() : dockhost::ReadSettingsFile(o.settings);
  IStream* in = SHCreateMemStream(stored.empty() ? nullptr : stored.data(), static_cast<UINT>(stored.size()));
  const HRESULT loaded = plugin->Load(in);
  in->Release();
  if (FAILED(loaded) && !stored.empty()) {
    // The user's settings are not lost: a copy is kept, and the file is
    // written again only when --save asks for it.
    const std::wstring bad = o.settings + L".bad";
    if (!dockhost::KeepBadSettingsFile(o.settings, bad))
      fprintf(stderr, "dockhost: cannot write %ls\n", bad.c_str());
    fprintf(stderr, "dockhost: %ls could not be read; a copy is kept as %ls\n", o.settings.c_str(), bad.c_str());
    if (!o.save) host.settingsFile.clear();
  }

  auto control = reinterpret_cast<ControlFn>(GetProcAddress(lib, "PostwardenControl"));
  int rc = 0;
  for (const auto& command : o.controls)
    if (!Control(control, plugin, command, nullptr)) rc = 1;
  if (o.check >= 0 && rc == 0 && !CheckNow(control, plugin, o.check)) rc = 1;
  for (int offset : o.menu) plugin->OnMenuCommand(static_cast<UINT>(offset));
  if (o.click) plugin->OnClick();
  if (o.options) {
    // A confirmed sheet has written the plug-in's settings into the stream.
    IStream* out = SHCreateMemStream(nullptr, 0);
    if (plugin->ShowOptions(out) == 0) host.savePending = true;
    out->Release();
  }
  if (!o.accountDialog.empty()) {
    std::wstring answer;
    if (!Control(control, plugin, L"account-dialog " + o.accountDialog, &answer)) rc = 1;
    else if (answer == L"1") host.savePending = true;
  }
  if (!o.shots.empty() && !dockhost::TakeShots(plugin, control, o.shots)) rc = 1;
  if (!o.listShot.empty() && rc == 0 && !dockhost::ShootList(plugin, control, o.listShot)) rc = 1;
  if (o.list && rc == 0) {
    // The window runs on its own thread; this one keeps the host's loop.
    std::wstring handle;
    if (!Control(control, plugin, L"list-window open", &handle)) rc = 1;
    auto open = [&] {
      std::wstring h;
      return Control(control, plugin, L"list-window", &h) && h != L"0";
    };
    for (int i = 0; i < 100 && !open(); ++i) Sleep(50);
    while (open()) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
  }
  if (o.waitChecks >= 0 && rc == 0) {
    WaitContext w{control, plugin};
    dockhost::RunLoop(o.waitChecks, &ChecksDone, &w);
    if (!ChecksDone(&w)) {
      fprintf(stderr, "dockhost: the accounts did not check within %g seconds\n", o.waitChecks);
      rc = 1;
    }
  }
  if (o.run >= 0) dockhost::RunLoop(o.run, nullptr, nullptr);
  if (o.report) {
    std::wstring text;
    if (Control(control, plugin, L"report", &text)) printf("%ls", text.c_str());
  }
  if (o.print) PrintState(plugin, host);

  if (!o.snapshot.empty() && !dockhost::SaveButtonSnapshot(host.window, plugin, o.snapshot)) {
    fprintf(stderr, "dockhost: cannot write %ls\n", o.snapshot.c_str());
    rc = 1;
  }
  // What the plug-in asked to keep is kept, as the toolbar does when it closes.
  if (o.save) host.savePending = true;
  host.SaveIfDue(true);
  if (host.saveFailed) rc = 1;
  if (host.window) DestroyWindow(host.window);
  plugin->Release();
  using CanFn = HRESULT(STDAPICALLTYPE*)();
  HRESULT unload = reinterpret_cast<CanFn>(GetProcAddress(lib, "DllCanUnloadNow"))();
  if (o.print) printf("can unload: %s\n", unload == S_OK ? "yes" : "no");
  fflush(stdout);
  CoUninitialize();
  return rc;
}
