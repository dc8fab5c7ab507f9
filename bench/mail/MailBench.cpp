// POP3 checks against Dovecot on loopback, the plug-in (MailSession reporting
// to a MailAccount) against a minimal blocking Winsock client sending the
// same commands, in the same run:
//  1. an unchanged mailbox of 10,000 messages that the account knows
//     (connect, USER/PASS, STAT, LIST, UIDL, QUIT);
//  2. the first check of that mailbox: 10,000 TOPs, pipelined by the
//     plug-in, against the lockstep client and a minimal pipelining one;
//  3. RETR of one 5 MiB and one 50 MiB message;
//  5. DELE of all 10,000 messages.
// Sections 2 and 3 also run the session with a bare sink, to tell the
// session's cost from the account's. Each ratio is taken against the mean of
// the baseline runs just before and just after it, since the machine is
// shared and rates drift.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "account/MailAccount.h"
#include "base/Scoped.h"
#include "common/BenchSupport.h"
#include "mail/MinimalPop3.h"
#include "filter/BuiltinRules.h"
#include "mail/PluginCheck.h"
#include "support/Services.h"

namespace {

using pwbench::BenchOwner;
using pwbench::CheckResult;
using pwbench::MinimalPop3;

int kMessages = 10000;

// Writes the maildir files in one go: "small N" writes N messages with a
// header block of about 1 KiB; "big A B ..." one message of each size in MiB.
const char kGenerator[] = R"(import os, sys
d, kind = sys.argv[1], sys.argv[2]
def put(i, text):
    with open(os.path.join(d, '%d.M%dP1.bench' % (1700000000 + i, i)), 'wb') as f:
        f.write(text)
if kind == 'small':
    for i in range(1, int(sys.argv[3]) + 1):
        h = ('Return-Path: <sender%d@example.org>\r\n'
             'Received: from relay%d.example.org (relay.example.org [192.0.2.%d])\r\n'
             '\tby mx.example.test with ESMTPS id %08X for <user@example.test>;\r\n'
             '\tTue, 8 Dec 2026 10:%02d:%02d +0000\r\n'
             'Received: from client.example.org by relay%d.example.org; Tue, 8 Dec 2026 10:00:00 +0000\r\n'
             'From: "Sender %d" <sender%d@example.org>\r\n'
             'To: "User" <user@example.test>\r\n'
             'Subject: =?UTF-8?Q?Message_number_%d_=E2=80=93_weekly_report?=\r\n'
             'Date: Tue, 8 Dec 2026 10:%02d:%02d +0000\r\n'
             'Message-ID: <%08X.%d@relay.example.org>\r\n'
             'MIME-Version: 1.0\r\n'
             'Content-Type: text/plain; charset=UTF-8\r\n'
             'Content-Transfer-Encoding: quoted-printable\r\n'
             'X-Mailer: Bench generator 1.0\r\n'
             'X-Spam-Status: No, score=-1.0 required=5.0 tests=ALL_TRUSTED autolearn=ham version=3.4.6\r\n'
             % (i, i % 7, i % 250, i * 2654435761 % 4294967296, i // 60 % 60, i % 60, i % 7, i, i, i,
                i // 60 % 60, i % 60, i * 40503 % 4294967296, i))
        body = ''.join('Line %d of the body of message %d, some words to fill it up.\r\n' % (k, i) for k in range(20))
        put(i, (h + '\r\n' + body).encode())
else:
    for n, mib in enumerate(sys.argv[3:], 1):
        head = ('From: big@example.org\r\nTo: user@example.test\r\nSubject: %s MiB\r\n'
                'MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n' % mib).encode()
        line = b'0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ab\r\n'
        put(n, head + line * (int(mib) * 1048576 // len(line)))
)";

bool Generate(const pwtest::Service& server, const std::string& args) {
  const std::string script = server.Dir() + "/generate.py";
  {
    pw::ScopedHandle file(CreateFileW(pwtest::WindowsPath(script).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.Get(), kGenerator, sizeof(kGenerator) - 1, &written, nullptr)) return false;
  }
  return pwtest::RunLinux("python3 " + script + " " + server.Dir() + "/home/user/Maildir/new " + args, 600000) == 0;
}

std::string Load() {
  std::string l = pwtest::ReadLinuxFile("/proc/loadavg");
  return l.substr(0, l.find(' ', l.find(' ', l.find(' ') + 1) + 1));
}

// Baseline: the listing only, or the listing and a TOP of every message.
// Its thread CPU time and recv calls go to *cpu and *receives.
double MinimalCheck(int port, int tops, double* cpu = nullptr, size_t* receives = nullptr) {
  const double c0 = ThreadCpu();
  const double t0 = Now();
  MinimalPop3 c;
  if (!c.Open(port) || !c.Login("user", "secret") || !c.Command("STAT", false) || !c.Command("LIST", true) ||
      !c.Command("UIDL", true))
    return -1;
  for (int i = 1; i <= tops; ++i)
    if (!c.Command("TOP " + std::to_string(i) + " 0", true)) return -1;
  if (!c.Quit()) return -1;
  if (cpu) *cpu = ThreadCpu() - c0;
  if (receives) *receives = c.Receives();
  return Now() - t0;
}

// Baseline: the listing and a TOP of every message pipelined, in batches
// of kBatch commands sent at once, each batch's replies read before the next.
constexpr size_t kBatch = 100;

double MinimalPipelined(int port, int tops) {
  const double t0 = Now();
  MinimalPop3 c;
  if (!c.Open(port) || !c.Login("user", "secret") || !c.Command("STAT", false) || !c.Command("LIST", true) ||
      !c.Command("UIDL", true))
    return -1;
  std::vector<std::string> lines;
  for (int i = 1; i <= tops; ++i) lines.push_back("TOP " + std::to_string(i) + " 0");
  if (!c.Pipelined(lines, true, kBatch) || !c.Quit()) return -1;
  return Now() - t0;
}

// Baseline: the listing and a DELE of every message, lockstep or pipelined,
// then a drop instead of QUIT, so that the mailbox stays as it was.
double MinimalDeletes(int port, int count, bool pipelined) {
  const double t0 = Now();
  MinimalPop3 c;
  if (!c.Open(port) || !c.Login("user", "secret") || !c.Command("STAT", false) || !c.Command("LIST", true) ||
      !c.Command("UIDL", true))
    return -1;
  std::vector<std::string> lines;
  for (int i = 1; i <= count; ++i) lines.push_back("DELE " + std::to_string(i));
  if (pipelined) {
    if (!c.Pipelined(lines, false, kBatch)) return -1;
  } else {
    for (const auto& l : lines)
      if (!c.Command(l, false)) return -1;
  }
  c.Drop();
  return Now() - t0;
}

// Baseline: the time of each RETR alone, in message order; its size in *bytes.
std::vector<double> MinimalRetr(int port, int count, std::vector<size_t>* bytes) {
  std::vector<double> out;
  MinimalPop3 c;
  if (!c.Open(port) || !c.Login("user", "secret") || !c.Command("STAT", false)) return out;
  bytes->clear();
  for (int i = 1; i <= count; ++i) {
    const double t0 = Now();
    if (!c.Command("RETR " + std::to_string(i), true)) return {};
    out.push_back(Now() - t0);
    bytes->push_back(c.Reply().size());
  }
  c.Quit();
  return out;
}

pw::RefPtr<pw::MailAccount> NewAccount(BenchOwner* owner) {
  return pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(owner));
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// What the account does with one header, without the network: OnHeader on
// a listed message, N times; and the one system call of the date parser
// that a zone-qualified Date field costs.
void AccountHeaderCost() {
  const int n = 2000;
  BenchOwner owner;
  auto account = NewAccount(&owner);
  std::vector<std::string> uidls;
  for (int i = 0; i < n; ++i) uidls.push_back("bench-" + std::to_string(i));
  account->OnListEntry(nullptr, 0);
  for (const auto& u : uidls) account->OnListEntry(u.c_str(), 2000);
  account->OnListEntry(nullptr, pw::kListingEnd);
  const std::string header =
      "\r\nReturn-Path: <sender1@example.org>\r\n"
      "Received: from relay1.example.org (relay.example.org [192.0.2.1])\r\n"
      "\tby mx.example.test with ESMTPS id 9E3779B1 for <user@example.test>;\r\n"
      "\tTue, 8 Dec 2026 10:00:01 +0000\r\n"
      "From: \"Sender 1\" <sender1@example.org>\r\nTo: \"User\" <user@example.test>\r\n"
      "Subject: =?UTF-8?Q?Message_number_1_=E2=80=93_weekly_report?=\r\n"
      "Date: Tue, 8 Dec 2026 10:00:01 +0000\r\nMessage-ID: <00009E37.1@relay.example.org>\r\n"
      "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
  double t0 = Now(), c0 = ThreadCpu();
  for (const auto& u : uidls) account->OnHeader(u.c_str(), header.c_str());
  const double wall = (Now() - t0) / n, cpu = (ThreadCpu() - c0) / n;
  SYSTEMTIME utc = {2026, 12, 2, 8, 10, 0, 1, 0}, local;
  t0 = Now();
  for (int i = 0; i < n; ++i) SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  const double tz = (Now() - t0) / n;
  printf("   the account's own work per header (OnHeader, no network): %.0f us wall, %.0f us CPU;\n"
         "   SystemTimeToTzSpecificLocalTime alone (the date parser's zone conversion): %.0f us\n",
         wall * 1e6, cpu * 1e6, tz * 1e6);
}

// 2. The first check: listing and a TOP of every message. Returns the last
// account, which then knows every message. The plug-in pipelines (Dovecot
// announces it); its ratios are taken against the lockstep minimal client
// and against the minimal pipelining one.
pw::RefPtr<pw::MailAccount> FirstChecks(int port, BenchOwner* owner) {
  printf("2. First check of %d messages: listing and %d TOPs (whole check, wall time)\n", kMessages, kMessages);
  AccountHeaderCost();
  pw::RefPtr<pw::MailAccount> known;
  std::vector<double> ratios, pipeRatios, lockstepRatios;
  double cpu = 0;
  size_t receives = 0;
  double before = MinimalCheck(port, kMessages, &cpu, &receives);
  double pipeBefore = MinimalPipelined(port, kMessages);
  printf("   minimal client                %8.3f s  cpu %.3f s  (%.2f recv calls per TOP)\n", before, cpu,
         double(receives) / kMessages);
  printf("   minimal pipelining client     %8.3f s  (batches of %zu)\n", pipeBefore, kBatch);
  for (int run = 0; run < 3; ++run) {
    auto account = NewAccount(owner);
    const CheckResult r = pwbench::Run(account.Get(), port);
    const double after = MinimalCheck(port, kMessages, &cpu);
    const double pipeAfter = MinimalPipelined(port, kMessages);
    const double ratio = r.seconds / ((before + after) / 2);
    const double pipeRatio = r.seconds / ((pipeBefore + pipeAfter) / 2);
    ratios.push_back(ratio);
    pipeRatios.push_back(pipeRatio);
    printf("   plug-in                       %8.3f s  cpu %.3f s  ratio %.2f, to pipelining %.2f  (%zu listed, "
           "%zu headers%s)\n"
           "                                 of which %.3f s in the account's callbacks and log\n",
           r.seconds, r.cpu, ratio, pipeRatio, r.listed, r.headers, r.ok ? "" : ", ERRORS", r.inAccount);
    printf("   minimal client                %8.3f s  cpu %.3f s\n", after, cpu);
    printf("   minimal pipelining client     %8.3f s\n", pipeAfter);
    before = after;
    pipeBefore = pipeAfter;
    known = account;
    const CheckResult bare = pwbench::Run(nullptr, port);
    const CheckResult lockstep = pwbench::Run(NewAccount(owner).Get(), port, pw::kActionNone, pw::kOptionNoPipelining);
    const double after2 = MinimalCheck(port, kMessages, &cpu);
    const double mean = (before + after2) / 2;
    lockstepRatios.push_back(lockstep.seconds / mean);
    printf("   session with a bare sink      %8.3f s  cpu %.3f s  ratio %.2f%s\n", bare.seconds, bare.cpu,
           bare.seconds / mean, bare.ok && bare.headers == size_t(kMessages) ? "" : "  ERRORS");
    printf("   plug-in, pipelining off       %8.3f s  cpu %.3f s  ratio %.2f%s\n", lockstep.seconds, lockstep.cpu,
           lockstep.seconds / mean, lockstep.ok && lockstep.headers == size_t(kMessages) ? "" : "  ERRORS");
    printf("   minimal client                %8.3f s  cpu %.3f s\n", after2, cpu);
    before = after2;
  }
  printf("   median ratio %.2f (goal <= 0.6), to the pipelining client %.2f (goal <= 1.2); "
         "pipelining off %.2f\n\n",
         Median(ratios), Median(pipeRatios), Median(lockstepRatios));
  return known;
}

// 5. DELE of every message by the session (a bare sink asking for each
// deletion; the session is dropped before QUIT, as is the minimal client,
// so the mailbox stays) against the lockstep and pipelining minimal clients.
void DeleteChecks(int port) {
  printf("5. DELE of %d messages (listing, the deletions, a drop instead of QUIT)\n", kMessages);
  std::vector<double> ratios;
  double before = MinimalDeletes(port, kMessages, false);
  printf("   minimal client                %8.3f s\n", before);
  for (int run = 0; run < 3; ++run) {
    const CheckResult r = pwbench::Run(nullptr, port, pw::kActionNone, 0, pw::kActionDelete);
    const double pipe = MinimalDeletes(port, kMessages, true);
    const CheckResult off = pwbench::Run(nullptr, port, pw::kActionNone, pw::kOptionNoPipelining, pw::kActionDelete);
    const double after = MinimalDeletes(port, kMessages, false);
    const double mean = (before + after) / 2;
    ratios.push_back(r.seconds / mean);
    printf("   session                       %8.3f s  ratio %.2f  (%zu deleted)\n", r.seconds, r.seconds / mean,
           r.deleted);
    printf("   minimal pipelining client     %8.3f s  ratio %.2f\n", pipe, pipe / mean);
    printf("   session, pipelining off       %8.3f s  ratio %.2f  (%zu deleted)\n", off.seconds, off.seconds / mean,
           off.deleted);
    printf("   minimal client                %8.3f s\n", after);
    before = after;
  }
  printf("   median ratio %.2f (goal <= 0.6)\n\n", Median(ratios));
}

// 4. The first check with filtering on (the built-in rules on every header)
// against the same check without rules, alternating.
void FilteredChecks(int port) {
  printf("4. First check of %d messages with the built-in rules on every header\n", kMessages);
  auto list = std::make_unique<pw::RuleList>();
  pw::AddBuiltinRules(*list);
  pw::RuleSnapshot rules(std::move(list));
  BenchOwner plain, filtering;
  filtering.rules = &rules;
  std::vector<double> ratios;
  for (int run = 0; run < 3; ++run) {
    const CheckResult a = pwbench::Run(NewAccount(&plain).Get(), port);
    const CheckResult b = pwbench::Run(NewAccount(&filtering).Get(), port);
    const CheckResult c = pwbench::Run(NewAccount(&plain).Get(), port);
    const double ratio = b.seconds / ((a.seconds + c.seconds) / 2);
    ratios.push_back(ratio);
    printf("   without rules %8.3f s, with rules %8.3f s (in the account %.3f s), without %8.3f s: ratio %.2f%s\n",
           a.seconds, b.seconds, b.inAccount, c.seconds, ratio, a.ok && b.ok && c.ok ? "" : "  ERRORS");
  }
  printf("   median ratio %.2f (goal <= 1.2)\n\n", Median(ratios));
}

// 1. The unchanged mailbox, every message known to the account.
void UnchangedChecks(int port, pw::MailAccount& known) {
  printf("1. Unchanged mailbox of %d known messages: STAT, LIST, UIDL (whole check)\n", kMessages);
  std::vector<double> ratios, cpus;
  double before = MinimalCheck(port, 0);
  printf("   minimal client                %8.1f ms\n", before * 1e3);
  for (int run = 0; run < 7; ++run) {
    const CheckResult r = pwbench::Run(&known, port);
    const double after = MinimalCheck(port, 0);
    const double ratio = r.seconds / ((before + after) / 2);
    ratios.push_back(ratio);
    cpus.push_back(r.cpu);
    printf("   plug-in                       %8.1f ms  cpu %5.1f ms  ratio %.2f  (%zu listed, %zu headers%s; "
           "%.1f ms in the account)\n",
           r.seconds * 1e3, r.cpu * 1e3, ratio, r.listed, r.headers, r.ok ? "" : ", ERRORS", r.inAccount * 1e3);
    printf("   minimal client                %8.1f ms\n", after * 1e3);
    before = after;
  }
  printf("   median ratio %.2f (goal <= 1.5), median plug-in thread CPU %.1f ms (goal < 100)\n\n", Median(ratios),
         Median(cpus) * 1e3);
}

// 3. RETR of each message of the big mailbox (a header first, as a rule
// asking for the body would).
void Retrievals(int port) {
  printf("3. RETR alone (from the command to the text handed to the account; the account's own\n"
         "   work on the text, MIME parsing included, is shown apart)\n");
  BenchOwner fetcher;
  fetcher.flagsOnHeader = pw::MessageFlags::NeedBody;
  std::vector<size_t> sizes;
  std::vector<double> before = MinimalRetr(port, 2, &sizes);
  for (int run = 0; run < 3 && before.size() == 2; ++run) {
    auto account = NewAccount(&fetcher);
    const CheckResult r = pwbench::Run(account.Get(), port);
    std::vector<size_t> afterSizes;
    const std::vector<double> after = MinimalRetr(port, 2, &afterSizes);
    if (after.size() != 2) break;
    for (const auto& t : r.retrs) {
      const size_t i = t.number - 1;
      if (i >= 2) continue;
      const double mean = (before[i] + after[i]) / 2;
      printf("   %5.1f MiB  minimal %7.3f s (%6.1f MiB/s)  plug-in %7.3f s (%6.1f MiB/s)  ratio %.2f  "
             "account +%.3f s\n",
             sizes[i] / 1048576.0, mean, sizes[i] / 1048576.0 / mean, t.transfer, t.bytes / 1048576.0 / t.transfer,
             t.transfer / mean, t.account);
    }
    if (!r.ok || r.retrs.size() != 2) printf("   (plug-in run incomplete or with errors)\n");
    const CheckResult bare = pwbench::Run(nullptr, port, pw::kActionBody);
    for (const auto& t : bare.retrs) {
      const size_t i = t.number - 1;
      if (i >= 2) continue;
      const double mean = (before[i] + after[i]) / 2;
      printf("   %5.1f MiB  session with a bare sink %7.3f s (%6.1f MiB/s)  ratio %.2f\n", sizes[i] / 1048576.0,
             t.transfer, t.bytes / 1048576.0 / t.transfer, t.transfer / mean);
    }
    before = after;
  }
}

}  // namespace

// Arguments, for quicker runs while working: the sections to run (default
// "1235"; "4" compares first checks with and without the built-in rules;
// "m", "p" and "b" run one first check each by the minimal client,
// the plug-in and the bare session, for counting calls with strace) and the
// number of messages of the mailbox (default 10000).
int main(int argc, char** argv) {
  const std::string sections = argc > 1 ? argv[1] : "1235";
  if (argc > 2) kMessages = std::max(1, atoi(argv[2]));
  auto wanted = [&](char c) { return sections.find(c) != std::string::npos; };
  setvbuf(stdout, nullptr, _IONBF, 0);  // progress shows as it happens
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  {
    // As on the checker thread: COM is there for the charset service.
    pw::ScopedCoInit com;
    printf("load average at start: %s\n", Load().c_str());
    pwtest::Service small("dovecot");
    pwtest::Service big("dovecot");
    if (!small.Ok() || !big.Ok()) {
      fprintf(stderr, "setup failed: %s %s\n", small.Error().c_str(), big.Error().c_str());
      return 1;
    }
    double t0 = Now();
    if (!Generate(small, "small " + std::to_string(kMessages)) || !Generate(big, "big 5 50")) {
      fprintf(stderr, "could not write the mailboxes\n");
      return 1;
    }
    printf("mailboxes written in %.1f s\n", Now() - t0);
    // Dovecot indexes a new mailbox on its first session; both sides then
    // find it warm.
    t0 = Now();
    const int warmTops = wanted('2') ? kMessages : 0;
    std::vector<size_t> sizes;
    if (MinimalCheck(small.Port(), warmTops) < 0 || MinimalRetr(big.Port(), 2, &sizes).size() != 2) {
      fprintf(stderr, "warm-up failed\n");
      return 1;
    }
    printf("warm-up (index, %d TOPs, both RETRs) %.1f s\n\n", warmTops, Now() - t0);

    BenchOwner owner;
    pw::RefPtr<pw::MailAccount> known;
    if (wanted('2')) {
      known = FirstChecks(small.Port(), &owner);
    } else if (wanted('1')) {
      known = NewAccount(&owner);
      pwbench::Run(known.Get(), small.Port());
    }
    if (wanted('1')) UnchangedChecks(small.Port(), *known);
    if (wanted('m')) printf("minimal first check %.3f s\n", MinimalCheck(small.Port(), kMessages));
    if (wanted('p')) printf("plug-in first check %.3f s\n", pwbench::Run(NewAccount(&owner).Get(), small.Port()).seconds);
    if (wanted('b')) printf("bare first check %.3f s\n", pwbench::Run(nullptr, small.Port()).seconds);
    if (wanted('3')) Retrievals(big.Port());
    if (wanted('4')) FilteredChecks(small.Port());
    if (wanted('5')) DeleteChecks(small.Port());
    printf("\nload average at end: %s\n", Load().c_str());
  }
  WSACleanup();
  return 0;
}
