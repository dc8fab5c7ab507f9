// Reading back a settings tree of N sibling nodes with 13 values each:
// enter every node in order and read every value. Prints the time against
// writing the same tree, for N from 10,000 to 100,000.
#include <windows.h>
#include <shlwapi.h>
#include <cstdio>
#include <string>

#include "base/SettingsTree.h"
#include "common/BenchSupport.h"

namespace {

const wchar_t* const kKeys[13] = {L"server", L"port", L"user", L"password", L"interval", L"beginDelay",
                                  L"flags", L"sound", L"cmdLine", L"workDir", L"timeout", L"AccountName", L"uidl"};

void Fill(pw::SettingsTree& t, int n) {
  t.CreateNode(L"accounts");
  t.SetInt(L"count", n);
  wchar_t name[32];
  for (int i = 0; i < n; ++i) {
    swprintf(name, 32, L"account#%d", i);
    t.CreateNode(name);
    for (int k = 0; k < 13; ++k) {
      if (k % 2) t.SetInt(kKeys[k], i + k);
      else t.SetString(kKeys[k], L"pop.example.test");
    }
    t.CloseNode();
  }
  t.CloseNode();
}

// Returns a checksum so the reads cannot be dropped.
long long ReadAll(pw::SettingsTree& t, int n, bool linear) {
  long long sum = 0;
  wchar_t name[32];
  t.EnterNode(L"accounts");
  for (int i = 0; i < n; ++i) {
    swprintf(name, 32, L"account#%d", i);
    if (linear) {
      sum += t.FindLinear(name, true);
      continue;
    }
    if (!t.EnterNode(name)) return -1;
    for (int k = 0; k < 13; ++k) {
      if (k % 2) sum += t.GetInt(kKeys[k], 0);
      else sum += wcslen(t.GetString(kKeys[k], L""));
    }
    t.LeaveNode();
  }
  t.LeaveNode();
  return sum;
}

struct Result {
  double write, read;
  double fill, parse, readCpu;
};

Result Run(int n) {
  Result r{};
  pw::SettingsTree w;
  VectorStream vs;
  IStream* s = &vs;
  double t0 = Now();
  Fill(w, n);
  r.fill = Now() - t0;
  w.WriteToStream(s);
  r.write = Now() - t0;
  LARGE_INTEGER zero = {};
  s->Seek(zero, STREAM_SEEK_SET, nullptr);
  pw::SettingsTree rd;
  t0 = Now();
  double c0 = ThreadCpu();
  rd.ReadFromStream(s);
  r.parse = Now() - t0;
  long long sum = ReadAll(rd, n, false);
  r.read = Now() - t0;
  r.readCpu = ThreadCpu() - c0;
  if (sum < 0) printf("lookup failed\n");
  return r;
}

}  // namespace

int main() {
  printf("%10s %10s %10s %12s %14s %10s %10s %11s\n", "nodes", "write s", "read s", "read/write", "read us/node",
         "(build s", "parse s)", "read cpu s");
  Result base{};
  for (int n : {10000, 25000, 50000, 100000}) {
    Result r = Run(n);
    if (n == 10000) base = r;
    printf("%10d %10.3f %10.3f %12.2f %14.2f %10.3f %10.3f %11.3f\n", n, r.write, r.read, r.read / r.write,
           1e6 * r.read / n, r.fill, r.parse, r.readCpu);
  }
  Result big = Run(100000);
  printf("growth 10k -> 100k: read x%.1f (linear = x10), write x%.1f\n", big.read / base.read, big.write / base.write);
  // The plain first-match walk over the same siblings, for scale.
  for (int n : {1000, 2000}) {
    pw::SettingsTree t;
    Fill(t, n);
    double t0 = Now();
    ReadAll(t, n, true);
    printf("plain walk, %d nodes (lookups only): %.3f s\n", n, Now() - t0);
  }
  return 0;
}
