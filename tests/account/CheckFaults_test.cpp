// A check whose server goes away in the middle: Dovecot is stopped while the
// account fetches the headers of a large new mailbox. The account shows why
// the check ended, and the next check fetches every header that is missing.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <string>

#include "account/FakeOwner.h"
#include "account/MailAccount.h"
#include "net/NetHandles.h"
#include "support/Pump.h"
#include "support/Services.h"

using pwtest::FakeOwner;
using pwtest::Service;

namespace {

constexpr int kMessages = 3000;

size_t WithHeader(const pw::MailAccount& a) {
  pw::SharedGuard g(a.MessageLock());
  size_t n = 0;
  for (const auto& m : a.Messages()) n += m->rawHeader.IsSet() ? 1 : 0;
  return n;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

bool Listening(int port) {
  pw::ScopedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<u_short>(port));
  return connect(s.Get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
}

}  // namespace

TEST(CheckFaults, ServerStoppedMidCheckShowsWhyAndTheNextCheckCompletes) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  const std::string dir = server.Dir();
  const std::string maildir = dir + "/home/user/Maildir/new/";
  ASSERT_EQ(pwtest::RunLinux("for i in $(seq 1 " + std::to_string(kMessages) + "); do printf 'From: a@example.org\\r\\n"
                             "Subject: number %d\\r\\n\\r\\nbody\\r\\n' $i > '" + maildir + "'$((1700000000 + i)).M${i}P1.test;"
                             " done"),
            0);

  FakeOwner owner;
  owner.filtering = true;  // the rules want every header
  auto a = pwtest::NewAccount(&owner);
  wcscpy(a->settings.accountName, L"Big");
  wcscpy(a->settings.inServer, L"127.0.0.1");
  a->settings.inPort = static_cast<uint32_t>(server.Port());
  wcscpy(a->settings.inUser, L"user");
  wcscpy(a->settings.inPassword, L"secret");
  a->settings.timeout = 10000;

  a->StartCheck();
  ASSERT_TRUE(pwtest::PumpUntil([&] { return WithHeader(*a) >= 200 || a->busy == 0; }, 60000));
  ASSERT_NE(a->busy, 0u) << "the check ended before the server was stopped: error " << a->lastError << " "
                         << Narrow(a->ErrorText()) << ", " << a->MessageCount() << " messages, " << WithHeader(*a)
                         << " headers";
  // The master and its children (the running pop3 process among them):
  // Dovecot's master alone leaves running sessions be.
  std::string masterPid = pwtest::ReadLinuxFile(dir + "/run/master.pid");
  while (!masterPid.empty() && (masterPid.back() == '\n' || masterPid.back() == '\r')) masterPid.pop_back();
  ASSERT_FALSE(masterPid.empty());
  ASSERT_EQ(pwtest::RunLinux("m=$(cat '" + dir + "/run/master.pid') && pkill -TERM -P $m; kill -TERM $m"), 0);
  // Nothing is read meanwhile: the server's last words and its close wait
  // for the session, whichever reply they cut into.
  Sleep(3000);
  ASSERT_TRUE(pwtest::PumpUntil([&] { return a->busy == 0; }, 20000));
  const size_t first = WithHeader(*a);
  EXPECT_LT(first, static_cast<size_t>(kMessages)) << pwtest::ReadLinuxFile(dir + "/dovecot.log");

  // Dovecot says why before it hangs up ("-ERR [SYS/TEMP] Server shutting
  // down."): that line is in the error shown, whether it came as the answer
  // to a TOP (and the drop that follows does not replace it) or after one.
  ASSERT_NE(a->lastError, 0u);
  const std::wstring shown = a->ErrorText();
  EXPECT_NE(shown.find(L"Server shutting down"), std::wstring::npos) << Narrow(shown);

  // The old master leaves only once its last session has said its last
  // words, which waits for this client to read the replies it had asked
  // for (many, when commands are pipelined): a second master started
  // before then refuses to run.
  ASSERT_EQ(pwtest::RunLinux("for i in $(seq 200); do kill -0 " + masterPid + " 2>/dev/null || exit 0; sleep 0.1; done; exit 1"),
            0);
  // The same server again, on the same mailbox and port.
  ASSERT_EQ(pwtest::RunLinux("cd '" + dir + "' && (setsid dovecot -F -c '" + dir + "/dovecot.conf' >> '" + dir +
                             "/dovecot.log' 2>&1 < /dev/null & echo $! >> '" + dir + "/pids')"),
            0);
  ASSERT_TRUE(pwtest::PumpUntil([&] { return Listening(server.Port()); }, 20000));
  a->StartCheck();
  ASSERT_TRUE(pwtest::PumpUntil([&] { return a->busy == 0; }, 120000));
  EXPECT_EQ(a->lastError, 0u) << Narrow(a->ErrorText());
  EXPECT_EQ(a->MessageCount(), static_cast<size_t>(kMessages));
  EXPECT_EQ(WithHeader(*a), static_cast<size_t>(kMessages));
  EXPECT_EQ(a->ErrorText(), L"");
}
