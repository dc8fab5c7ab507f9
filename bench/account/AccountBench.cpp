// Accounts under load, run by hand under Wine:
//  1. a listing of N UIDLs against an account that already holds the same N
//     messages (both sentinels included), N = 1,000 / 10,000 / 100,000,
//     against a baseline of the bare work (widen each UIDL, look it up in a
//     hash map) measured in the same run;
//  2. Save and Load of 20 accounts x M messages with a 1 KiB header block,
//     M = 500 / 2,000 / 5,000, against a baseline that writes and reads the
//     same number of bytes through the same kind of stream;
//  3. memory per stored message beyond its header block, counted at
//     operator new, and stream bytes per message beyond the header.
#include <windows.h>
#include <objidl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "account/AccountOwner.h"
#include "account/AccountRecords.h"
#include "account/MailAccount.h"
#include "base/SettingsTree.h"
#include "common/BenchSupport.h"
#include "common/QuietOwner.h"
#include "core/PluginObject.h"

// Live bytes and blocks requested through operator new.
static std::atomic<long long> gLiveBytes{0}, gLiveBlocks{0};

void* operator new(size_t n) {
  void* p = std::malloc(n + 16);
  if (!p) throw std::bad_alloc();
  *static_cast<size_t*>(p) = n;
  gLiveBytes += static_cast<long long>(n);
  ++gLiveBlocks;
  return static_cast<char*>(p) + 16;
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
  if (!p) return;
  char* base = static_cast<char*>(p) - 16;
  gLiveBytes -= static_cast<long long>(*reinterpret_cast<size_t*>(base));
  --gLiveBlocks;
  std::free(base);
}
#pragma GCC diagnostic pop
void* operator new[](size_t n) { return operator new(n); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

namespace {

using namespace pw;

using QuietOwner = pwbench::QuietOwner;

std::string Uidl(int account, int i) {
  char buf[64];
  snprintf(buf, sizeof(buf), "%02d%08X.%012llX-pop", account, i, 0x5A17ull * unsigned(i) + 977);
  return buf;
}

std::vector<std::string> Uidls(int n) {
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(Uidl(0, i));
  return out;
}

void List(MailAccount& a, const std::vector<std::string>& uidls) {
  a.OnListEntry(nullptr, 0);
  for (const auto& u : uidls) a.OnListEntry(u.c_str(), 2048);
  a.OnListEntry(nullptr, kListingEnd);
}

// The bare work of a listing: widen each UIDL, find it in a hash map.
long long Baseline(const std::unordered_map<std::wstring, int>& known, const std::vector<std::string>& uidls) {
  long long hits = 0;
  for (const auto& u : uidls) {
    std::wstring w(u.begin(), u.end());
    auto it = known.find(w);
    if (it != known.end()) hits += it->second;
  }
  return hits;
}

void BenchListing() {
  printf("1. Listing N known UIDLs (begin, N entries, end), median of the runs\n");
  printf("%8s %12s %12s %12s %12s %10s\n", "N", "wall ms", "cpu ms", "ns/entry", "base ms", "ratio");
  QuietOwner owner;
  for (int n : {1000, 10000, 100000}) {
    std::vector<std::string> uidls = Uidls(n);
    auto a = RefPtr<MailAccount>::Adopt(new MailAccount(&owner));
    List(*a, uidls);  // the account now holds all N
    std::unordered_map<std::wstring, int> known;
    for (const auto& u : uidls) known.emplace(std::wstring(u.begin(), u.end()), 1);
    int runs = std::max(5, 300000 / n);
    std::vector<double> wall, base;
    double cpu0 = ThreadCpu();
    for (int r = 0; r < runs; ++r) {
      double t0 = Now();
      List(*a, uidls);
      wall.push_back(Now() - t0);
    }
    double cpu = (ThreadCpu() - cpu0) / runs;
    long long sink = 0;
    for (int r = 0; r < runs; ++r) {
      double t0 = Now();
      sink += Baseline(known, uidls);
      base.push_back(Now() - t0);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(base.begin(), base.end());
    double w = wall[wall.size() / 2], b = base[base.size() / 2];
    if (a->MessageCount() != size_t(n) || sink == 0) printf("  (listing lost messages!)\n");
    printf("%8d %12.3f %12.3f %12.1f %12.3f %10.2f\n", n, w * 1e3, cpu * 1e3, w * 1e9 / n, b * 1e3, w / b);
  }
}

std::vector<uint8_t> BuildStream(int accounts, int perAccount) {
  QuietOwner owner;
  std::string header;
  while (header.size() < 1024) header += "Received: from relay.example.test by mx.example.test; Tue, 8 Dec 2026\r\n";
  header.resize(1022);
  header += "\r\n";
  std::vector<RefPtr<MailAccount>> list;
  for (int k = 0; k < accounts; ++k) {
    auto a = RefPtr<MailAccount>::Adopt(new MailAccount(&owner));
    swprintf(a->settings.accountName, 255, L"Account %d", k);
    wcscpy(a->settings.inServer, L"pop.example.test");
    wcscpy(a->settings.inPassword, L"secret");
    a->OnListEntry(nullptr, 0);
    for (int i = 0; i < perAccount; ++i) a->OnListEntry(Uidl(k, i).c_str(), 4096);
    a->OnListEntry(nullptr, kListingEnd);
    for (int i = 0; i < perAccount; ++i) a->OnHeader(Uidl(k, i).c_str(), header.c_str());
    list.push_back(a);
  }
  SettingsTree t;
  t.CreateNode(L"settings");
  t.SetInt(L"pause", 1);
  t.CloseNode();
  t.CreateNode(L"accounts");
  SaveAccountRecords(t, list);
  t.CloseNode();
  VectorStream s;
  uint8_t v[4] = {25, 0, 0, 0};
  s.Write(v, 4, nullptr);
  t.WriteToStream(&s);
  return s.data;
}

void BenchSaveLoad() {
  printf("\n2. Save and Load of 20 accounts x M messages, 1 KiB header each (s = wall, cpu = this thread)\n");
  printf("%6s %7s %8s %8s %8s %8s %8s %9s %9s %8s\n", "M", "MiB", "load s", "cpu", "save s", "cpu", "base s",
         "load/base", "save/base", "us/msg");
  const int kAccounts = 20;
  for (int m : {500, 2000, 5000}) {
    std::vector<uint8_t> bytes = BuildStream(kAccounts, m);
    const double msgs = double(kAccounts) * m;
    auto* plugin = new PluginObject();
    VectorStream in;
    in.data = bytes;
    long long bytes0 = gLiveBytes, blocks0 = gLiveBlocks;
    double c0 = ThreadCpu(), t0 = Now();
    plugin->Load(&in);
    double load = Now() - t0, loadCpu = ThreadCpu() - c0;
    long long bytes1 = gLiveBytes, blocks1 = gLiveBlocks;
    // The host's stream is already in memory (it held the last save), so its
    // pages are not part of the cost.
    VectorStream out;
    out.data.assign(bytes.size() + 65536, 0);
    c0 = ThreadCpu();
    t0 = Now();
    plugin->Save(&out);
    out.data.resize(out.pos);
    double save = Now() - t0, saveCpu = ThreadCpu() - c0;
    // Again, now that the heap holds the memory the first Save freed.
    out.pos = 0;
    t0 = Now();
    plugin->Save(&out);
    double saveAgain = Now() - t0;
    // Baseline: the same bytes written to a fresh stream of the same kind in
    // 64 KiB pieces and read back: what moving them costs on this machine.
    t0 = Now();
    VectorStream copy;
    for (size_t at = 0; at < bytes.size(); at += 65536)
      copy.Write(bytes.data() + at, static_cast<ULONG>(std::min<size_t>(65536, bytes.size() - at)), nullptr);
    std::vector<uint8_t> back(bytes.size());
    copy.pos = 0;
    for (size_t at = 0; at < back.size(); at += 65536)
      copy.Read(back.data() + at, static_cast<ULONG>(std::min<size_t>(65536, back.size() - at)), nullptr);
    double base = Now() - t0;
    printf("%6d %7.1f %8.3f %8.3f %8.3f %8.3f %8.3f %9.1f %9.1f %8.2f\n", m, bytes.size() / 1048576.0, load,
           loadCpu, save, saveCpu, base, load / base, save / base, (load + save) * 1e6 / msgs);
    // Saved stream = loaded stream apart from the global settings nodes.
    if (out.data.size() + 8192 < bytes.size() || out.data.size() > bytes.size() + 8192)
      printf("       (saved %zu bytes, loaded %zu)\n", out.data.size(), bytes.size());
    double perMsg = double(bytes1 - bytes0) / msgs;
    double blocksPerMsg = double(blocks1 - blocks0) / msgs;
    printf("       second Save %.3f s\n", saveAgain);
    printf("       memory per message: %.0f bytes in %.2f blocks; beyond the 1025-byte header %.0f bytes "
           "(%.0f counting 16 bytes of heap header per block); stream bytes beyond the header: %.0f\n",
           perMsg, blocksPerMsg, perMsg - 1025, perMsg - 1025 + 16 * blocksPerMsg, bytes.size() / msgs - 1025);
    plugin->Release();
  }

  // Where the time of the largest case goes.
  QuietOwner owner;
  std::vector<uint8_t> bytes = BuildStream(kAccounts, 5000);
  VectorStream in;
  in.data = bytes;
  in.pos = 4;
  double t0 = Now();
  SettingsTree t;
  t.ReadFromStream(&in);
  double t1 = Now();
  t.EnterNode(L"accounts");
  auto list = LoadAccountRecords(t, &owner);
  double t2 = Now();
  t.Clear();
  double t3 = Now();
  SettingsTree o;
  SaveAccountRecords(o, list);
  double t4 = Now();
  VectorStream out;
  out.data.assign(bytes.size() + 65536, 0);
  o.WriteToStream(&out);
  double t5 = Now();
  o.Clear();
  double t6 = Now();
  // What first touching that much fresh memory costs on this machine.
  double m0 = Now();
  {
    std::vector<uint8_t> fresh(bytes.size(), 1);
    if (fresh[fresh.size() / 2] != 1) printf("?");
  }
  double touch = Now() - m0;
  std::vector<uint8_t> warm(bytes.size(), 1), warm2(bytes.size(), 2);
  m0 = Now();
  memcpy(warm2.data(), warm.data(), warm.size());
  double copyWarm = Now() - m0;
  printf("\n   %.1f MiB of fresh memory filled: %.3f s; the same copied between touched buffers: %.3f s\n",
         bytes.size() / 1048576.0, touch, copyWarm);
  printf("   M = 5000 by step: load = tree read %.3f + accounts from tree %.3f + tree freed %.3f;"
         " save = accounts into tree %.3f + tree written %.3f + tree freed %.3f\n",
         t1 - t0, t2 - t1, t3 - t2, t4 - t3, t5 - t4, t6 - t5);
}

}  // namespace

int main() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  BenchListing();
  BenchSaveLoad();
  return 0;
}
