// Soak measurements of the checker, run by hand (figures in RESULTS.md):
//  memory  - memory slope per 100 checks of one account against Dovecot:
//            plain, TLS, certificate refused, and through the checker thread
//            ("Check Mail Now" again as soon as a check ended);
//  idle    - wake-ups per second and CPU of the stand-in host (toolbar
//            shown) with the plug-in, with all mail read, with new mail
//            shown as an icon and as the running strip, against a plain
//            message-loop program measured in the same window (context
//            switches and CPU ticks from /proc of the Wine processes);
//  load    - 50 accounts on one mailbox of 2,000 messages, checked again
//            and again through the checker thread.
// Usage: bench_soak.exe [memory] [idle] [load] [--checks N] [--cycles N]
//        [--accounts N] [--messages N] [--old-dll PATH] [--threads]
// (no part named: all three). --old-dll measures the idle part of another
// build of the plug-in as well, in the same run.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>

#include <openssl/crypto.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <malloc.h>
#include <string>
#include <vector>

#include "account/AccountOwner.h"
#include "account/AccountRecords.h"
#include "account/MailAccount.h"
#include "base/Module.h"
#include "base/SettingsTree.h"
#include "core/FakeHost.h"
#include "core/PluginObject.h"
#include "common/QuietOwner.h"
#include "support/Pump.h"
#include "support/Services.h"

namespace {

bool verbose = false;  // --threads: the host's context switches per thread

// OpenSSL's live bytes, counted from the program's start.
std::atomic<long long> g_sslBytes{0};
void* SslMalloc(size_t n, const char*, int) {
  void* p = malloc(n);
  if (p) g_sslBytes += static_cast<long long>(_msize(p));
  return p;
}
void* SslRealloc(void* p, size_t n, const char* f, int l) {
  if (!p) return SslMalloc(n, f, l);
  const long long old = static_cast<long long>(_msize(p));
  if (n == 0) {
    g_sslBytes -= old;
    free(p);
    return nullptr;
  }
  void* q = realloc(p, n);
  if (q) g_sslBytes += static_cast<long long>(_msize(q)) - old;
  return q;
}
void SslFree(void* p, const char*, int) {
  if (!p) return;
  g_sslBytes -= static_cast<long long>(_msize(p));
  free(p);
}
const bool g_counting = CRYPTO_set_mem_functions(SslMalloc, SslRealloc, SslFree) == 1;

struct WinsockInit {
  WinsockInit() {
    WSADATA d;
    WSAStartup(MAKEWORD(2, 2), &d);
  }
  ~WinsockInit() { WSACleanup(); }
};

// An owner that keeps nothing, so that only the account and below grow.
using QuietOwner = pwbench::QuietOwner;

struct Memory {
  double rssKb = 0, sslKb = 0;
};

Memory SampleMemory() {
  Memory m;
  // Wine fills the working set from the Linux resident size of this
  // process (its private-bytes figure does not follow the heap).
  PROCESS_MEMORY_COUNTERS pmc = {};
  pmc.cb = sizeof(pmc);
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
  m.rssKb = pmc.WorkingSetSize / 1024.0;
  m.sslKb = g_sslBytes / 1024.0;
  return m;
}

// Least-squares slope of y over x.
double Slope(const std::vector<double>& x, const std::vector<double>& y) {
  const double n = static_cast<double>(x.size());
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    sx += x[i];
    sy += y[i];
    sxx += x[i] * x[i];
    sxy += x[i] * y[i];
  }
  const double d = n * sxx - sx * sx;
  return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

void MemoryRun(const char* name, const std::function<bool()>& check, int checks) {
  for (int i = 0; i < 100; ++i)
    if (!check()) {
      printf("%-28s check failed during warm-up\n", name);
      return;
    }
  std::vector<double> x, rss, ssl;
  const ULONGLONG start = GetTickCount64();
  int failed = 0;
  for (int i = 0; i <= checks; ++i) {
    if (i % 100 == 0) {
      const Memory m = SampleMemory();
      x.push_back(i / 100.0);
      rss.push_back(m.rssKb);
      ssl.push_back(m.sslKb);
    }
    if (i < checks && !check()) ++failed;
  }
  printf("%-28s %6d checks %4d failed %7.1f s | kB per 100 checks: RSS %7.2f  OpenSSL %7.3f  (RSS %.0f -> %.0f kB)\n",
         name, checks, failed, (GetTickCount64() - start) / 1000.0, Slope(x, rss), Slope(x, ssl), rss.front(), rss.back());
  fflush(stdout);
}

void PointAccount(pw::AccountSettings& s, const wchar_t* name, int port, uint32_t options) {
  wcscpy(s.accountName, name);
  wcscpy(s.inServer, L"localhost");
  s.inPort = static_cast<uint32_t>(port);
  s.inOptions = options;
  wcscpy(s.inUser, L"user");
  wcscpy(s.inPassword, L"secret");
  s.timeout = 10000;
}

void DropMessages(const pwtest::Service& server, int count) {
  const std::string dir = server.Dir() + "/home/user/Maildir/new/";
  pwtest::RunLinux("for i in $(seq 1 " + std::to_string(count) +
                   "); do printf 'From: a@example.org\\r\\nSubject: number %d\\r\\n\\r\\nbody\\r\\n' $i > '" + dir +
                   "'$((1700000000 + i)).M${i}P1.soak; done");
}

// A settings stream (version and tree) for the given accounts and options.
std::vector<uint8_t> SettingsBytes(const std::vector<pw::RefPtr<pw::MailAccount>>& accounts, bool iconNotify) {
  pw::SettingsTree tree;
  tree.CreateNode(L"settings");
  tree.SetInt(L"useIconNotify", iconNotify ? 1 : 0);
  tree.CloseNode();
  tree.CreateNode(L"accounts");
  pw::SaveAccountRecords(tree, accounts);
  tree.CloseNode();
  // Filtering on: every new message's header is fetched for the rules.
  tree.CreateNode(L"Filters");
  tree.SetInt(L"useFilter", 1);
  tree.CloseNode();
  IStream* stream = SHCreateMemStream(nullptr, 0);
  const uint8_t version[4] = {25, 0, 0, 0};
  stream->Write(version, 4, nullptr);
  tree.WriteToStream(stream);
  STATSTG st = {};
  stream->Stat(&st, STATFLAG_NONAME);
  std::vector<uint8_t> bytes(static_cast<size_t>(st.cbSize.QuadPart));
  LARGE_INTEGER zero = {};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ULONG got = 0;
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got);
  stream->Release();
  return bytes;
}

// A Plug-in object in this process, loaded with the given stream.
pw::PluginObject* StartPlugin(pwtest::FakeHost& host, const std::vector<uint8_t>& bytes) {
  auto* p = new pw::PluginObject();
  p->SetHost(&host);
  IStream* s = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
  p->Load(s);
  s->Release();
  return p;
}

// Waits until every account has ended `count` checks; false after `ms`.
bool WaitChecks(const pw::PluginObject& p, uint32_t count, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    bool all = true;
    for (const auto& a : p.Accounts()) all = all && a->checksEnded >= count;
    if (all) return true;
    if (GetTickCount64() > end) return false;
    Sleep(20);
  }
}

void MemoryPart(int checks) {
  printf("\n== memory: one account, %d checks per mode after 100 warm-up checks ==\n", checks);
  if (!g_counting) printf("(OpenSSL's allocations are not counted: it allocated before the counters)\n");
  pwtest::TestCertificates certs;
  pwtest::Service good("dovecot", {{"certdir", certs.Dir()}});
  pwtest::Service refused("dovecot", {{"certdir", certs.Dir()}, {"cert", "selfsigned"}});
  if (!certs.Ok() || !good.Ok() || !refused.Ok()) {
    printf("servers did not start: %s %s\n", good.Error().c_str(), refused.Error().c_str());
    return;
  }
  DropMessages(good, 5);
  QuietOwner owner;
  auto account = pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(&owner));
  auto run = [&](const char* name, int port, uint32_t options, bool wantError) {
    PointAccount(account->settings, L"Soak", port, options);
    MemoryRun(name,
              [&] {
                account->StartCheck();
                if (!pwtest::PumpUntil([&] { return account->busy == 0; }, 30000)) return false;
                return (account->lastError != 0) == wantError;
              },
              checks);
  };
  run("plain", good.Port(), 0, false);
  run("TLS", good.Port("pop3s"), pw::ServerOptions::Tls, false);
  run("TLS, certificate refused", refused.Port("pop3s"), pw::ServerOptions::Tls, true);

  // The same checks started by the checker thread of a Plug-in object.
  pwtest::FakeHost host;
  auto a = pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(nullptr));
  PointAccount(a->settings, L"Scheduled", good.Port("pop3s"), pw::ServerOptions::Tls);
  pw::PluginObject* p = StartPlugin(host, SettingsBytes({a}, false));
  uint32_t ended = 0;
  if (WaitChecks(*p, 1, 30000)) {
    ended = p->Accounts()[0]->checksEnded;
    MemoryRun("TLS, through the checker",
              [&] {
                p->OnMenuCommand(0);  // Check Mail Now
                ++ended;
                return WaitChecks(*p, ended, 30000) && p->Accounts()[0]->lastError == 0;
              },
              checks);
  }
  p->SetHost(nullptr);
  p->Release();
}

// Context switches of all threads and CPU ticks (1/100 s) of Linux
// processes whose command line contains each tag.
struct ProcSample {
  double switches = 0, cpuTicks = 0;
  bool ok = false;
  std::string threads;  // " name:switches" per thread
};

std::vector<ProcSample> SampleProcesses(const std::vector<std::string>& tags, const std::string& dir) {
  // The script goes through a file: the command line would lose its quotes.
  std::string script;
  for (const auto& tag : tags)
    script += "p=$(pgrep -f -n '" + tag + "')\nif [ -n \"$p\" ]; then cat /proc/$p/task/*/status | awk '/ctxt_switches/ "
              "{s+=$2} END {printf \"%d \", s}'; awk '{printf \"%d\", $14+$15}' /proc/$p/stat; "
              "for t in /proc/$p/task/*; do printf ' %s:%s' $(cat $t/comm | tr -d ' ') $(awk '/ctxt_switches/ {s+=$2} END "
              "{print s}' $t/status); done; echo; else echo none; fi\n";
  static int n = 0;
  const std::string file = dir + "/sample" + std::to_string(++n) + ".sh";
  const std::string out = dir + "/sample" + std::to_string(n) + ".txt";
  pwtest::WriteNewLinuxFile(file, script);
  pwtest::RunLinux("sh " + file + " > " + out);
  const std::string text = pwtest::ReadLinuxFile(out);
  std::vector<ProcSample> samples;
  size_t at = 0;
  for (size_t i = 0; i < tags.size(); ++i) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    ProcSample s;
    int used = 0;
    if (line != "none" && sscanf(line.c_str(), "%lf %lf%n", &s.switches, &s.cpuTicks, &used) == 2) {
      s.ok = true;
      s.threads = line.substr(static_cast<size_t>(used));
    }
    samples.push_back(s);
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return samples;
}

bool StartProcess(const std::wstring& commandLine, pw::ScopedHandle& process) {
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  process.Reset(pi.hProcess);
  return true;
}

void IdleRun(const char* label, const std::vector<uint8_t>& settings, const std::wstring& dll,
             const pwtest::LinuxTempDir& dir, int n) {
  constexpr double kSettle = 10, kMeasure = 20;
  const std::string tag = "soakidle-" + std::to_string(GetTickCount64() % 1000000) + "-" + std::to_string(n);
  const std::string file = dir.Path() + "/" + tag + ".dat";
  pwtest::WriteNewLinuxFile(file, std::string(settings.begin(), settings.end()));
  const std::wstring bin = pwtest::WindowsPath(PW_BINARY_DIR);
  std::wstring host = L"\"" + bin + L"\\dockhost.exe\" --settings \"" + pwtest::WindowsPath(file) + L"\" --run " +
                      std::to_wstring(static_cast<int>(kSettle + kMeasure + 5));
  if (!dll.empty()) host += L" --dll \"" + dll + L"\"";
  const std::string loopTag = tag + "-loop";
  const std::wstring loop = L"\"" + bin + L"\\bench\\soak\\bench_soak_idle.exe\" " +
                            std::to_wstring(static_cast<int>(kSettle + kMeasure + 5)) + L" " +
                            std::wstring(loopTag.begin(), loopTag.end());
  pw::ScopedHandle hostProcess, loopProcess;
  if (!StartProcess(host, hostProcess) || !StartProcess(loop, loopProcess)) {
    printf("%-34s cannot start the programs\n", label);
    return;
  }
  Sleep(static_cast<DWORD>(kSettle * 1000));
  const auto before = SampleProcesses({tag + ".dat", loopTag}, dir.Path());
  Sleep(static_cast<DWORD>(kMeasure * 1000));
  const auto after = SampleProcesses({tag + ".dat", loopTag}, dir.Path());
  WaitForSingleObject(hostProcess.Get(), 20000);
  WaitForSingleObject(loopProcess.Get(), 20000);
  if (!before[0].ok || !after[0].ok || !before[1].ok || !after[1].ok) {
    printf("%-34s processes not found in /proc\n", label);
    return;
  }
  auto rate = [&](int i) { return (after[i].switches - before[i].switches) / kMeasure; };
  auto cpu = [&](int i) { return (after[i].cpuTicks - before[i].cpuTicks) / kMeasure; };  // ticks/s = % of a core
  printf("%-34s wake-ups/s %7.1f (plain loop %5.1f, above it %7.1f) | CPU %% of a core %5.2f (plain loop %4.2f)\n", label,
         rate(0), rate(1), rate(0) - rate(1), cpu(0), cpu(1));
  if (verbose) printf("  host threads before:%s\n  host threads after: %s\n", before[0].threads.c_str(),
                      after[0].threads.c_str());
  fflush(stdout);
}

void IdlePart(const std::wstring& oldDll) {
  printf("\n== idle: the stand-in host with the plug-in against a plain message loop, 20 s each ==\n");
  pwtest::Service empty("dovecot"), full("dovecot");
  if (!empty.Ok() || !full.Ok()) {
    printf("servers did not start: %s\n", empty.Error().c_str());
    return;
  }
  DropMessages(full, 3);
  auto read = pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(nullptr));
  PointAccount(read->settings, L"Read", empty.Port(), 0);
  auto shown = pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(nullptr));
  PointAccount(shown->settings, L"New", full.Port(), 0);
  pwtest::LinuxTempDir dir;
  int n = 0;
  std::vector<std::pair<std::string, std::wstring>> builds = {{"", L""}};
  if (!oldDll.empty()) builds.emplace_back("other build: ", oldDll);
  for (const auto& [prefix, dll] : builds) {
    IdleRun((prefix + "all mail read").c_str(), SettingsBytes({read}, false), dll, dir, n++);
    IdleRun((prefix + "new mail shown as an icon").c_str(), SettingsBytes({shown}, true), dll, dir, n++);
    IdleRun((prefix + "new mail, strip running").c_str(), SettingsBytes({shown}, false), dll, dir, n++);
  }
}

void LoadPart(int accounts, int messages, int cycles) {
  printf("\n== load: %d accounts on one mailbox of %d messages, %d checks each ==\n", accounts, messages, cycles);
  pwtest::Service server("dovecot", {{"userip", std::to_string(accounts * 2)}});
  if (!server.Ok()) {
    printf("server did not start: %s\n", server.Error().c_str());
    return;
  }
  DropMessages(server, messages);
  std::vector<pw::RefPtr<pw::MailAccount>> list;
  for (int i = 0; i < accounts; ++i) {
    list.push_back(pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(nullptr)));
    PointAccount(list.back()->settings, (L"Box " + std::to_wstring(i)).c_str(), server.Port(), 0);
    list.back()->settings.timeout = 60000;
  }
  pwtest::FakeHost host;
  ULONGLONG start = GetTickCount64();
  pw::PluginObject* p = StartPlugin(host, SettingsBytes(list, false));
  for (int c = 1; c <= cycles; ++c) {
    if (c > 1) p->OnMenuCommand(0);
    const bool done = WaitChecks(*p, static_cast<uint32_t>(c), 600000);
    int errors = 0;
    size_t headers = 0;
    for (const auto& a : p->Accounts()) {
      errors += a->lastError != 0;
      pw::SharedGuard g(a->MessageLock());
      for (const auto& m : a->Messages()) headers += m->rawHeader.IsSet();
    }
    const Memory m = SampleMemory();
    printf("cycle %d: %s in %6.1f s, %d accounts failed, %zu headers held, RSS %8.0f kB, OpenSSL %6.0f kB\n", c,
           done ? "done" : "NOT DONE", (GetTickCount64() - start) / 1000.0, errors, headers, m.rssKb, m.sslKb);
    fflush(stdout);
    start = GetTickCount64();
  }
  printf("save requests %d, repaints %d\n", host.settingsChanged, host.repaints);
  p->SetHost(nullptr);
  p->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  WinsockInit winsock;
  pw::SetDllModule(GetModuleHandleW(nullptr));
  bool memory = false, idle = false, load = false;
  int checks = 1000, cycles = 5, accounts = 50, messages = 2000;
  std::wstring oldDll;
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    auto next = [&]() { return i + 1 < argc ? _wtoi(argv[++i]) : 0; };
    if (a == L"memory") memory = true;
    else if (a == L"idle") idle = true;
    else if (a == L"load") load = true;
    else if (a == L"--checks") checks = next();
    else if (a == L"--cycles") cycles = next();
    else if (a == L"--accounts") accounts = next();
    else if (a == L"--messages") messages = next();
    else if (a == L"--old-dll" && i + 1 < argc) oldDll = argv[++i];
    else if (a == L"--threads") verbose = true;
  }
  if (!memory && !idle && !load) memory = idle = load = true;
  if (memory) MemoryPart(checks);
  if (idle) IdlePart(oldDll);
  if (load) LoadPart(accounts, messages, cycles);
  return 0;
}
