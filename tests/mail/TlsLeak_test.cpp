// Every TLS session gives back all that OpenSSL allocated for it: OpenSSL's
// allocations are counted from the program's start, and a run of checks of
// each kind (accepted, refused certificate, STLS, through a proxy) against
// real servers must end where it began.
#include <gtest/gtest.h>

#include <openssl/crypto.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>

#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "net/ProxyLayer.h"
#include "support/Services.h"

using pwtest::RecordingSink;
using pwtest::Service;

namespace {

std::atomic<long> g_live{0};

void* CountedMalloc(size_t n, const char*, int) {
  void* p = malloc(n);
  if (p) ++g_live;
  return p;
}

void* CountedRealloc(void* p, size_t n, const char* file, int line) {
  if (!p) return CountedMalloc(n, file, line);
  if (n == 0) {
    free(p);
    --g_live;
    return nullptr;
  }
  return realloc(p, n);
}

void CountedFree(void* p, const char*, int) {
  if (!p) return;
  free(p);
  --g_live;
}

// Before anything in the program asks OpenSSL for memory.
const bool g_counting = CRYPTO_set_mem_functions(CountedMalloc, CountedRealloc, CountedFree) == 1;

class TlsLeakTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kTimeout = 10000;

  // One check with a fresh session; true when it ended as expected.
  static bool Check(int port, uint32_t options, uint32_t wantError, int proxyPort = 0) {
    RecordingSink sink;
    {
      pw::MailSession session;
      session.SetSink(&sink);
      if (proxyPort) session.SetProxy(L"127.0.0.1", static_cast<uint32_t>(proxyPort), pw::kProxySocks5, nullptr, nullptr);
      if (session.ConnectPop3(L"localhost", static_cast<uint32_t>(port), options, L"user", L"secret", kTimeout) != 1)
        return false;
      if (!sink.WaitClosed()) return false;
    }
    const bool ok = wantError ? sink.errors == std::vector<uint32_t>{wantError} : sink.errors.empty();
    if (!ok) ADD_FAILURE() << sink.Dump();
    return ok && sink.closes == 1;
  }
};

}  // namespace

TEST_F(TlsLeakTest, TwoHundredSessionsGiveBackEveryAllocation) {
  ASSERT_TRUE(g_counting) << "OpenSSL allocated before the counters were installed";
  pwtest::TestCertificates certs;
  ASSERT_TRUE(certs.Ok()) << certs.Error();
  Service good("dovecot", {{"certdir", certs.Dir()}});
  ASSERT_TRUE(good.Ok()) << good.Error();
  Service selfSigned("dovecot", {{"certdir", certs.Dir()}, {"cert", "selfsigned"}});
  ASSERT_TRUE(selfSigned.Ok()) << selfSigned.Error();
  Service socks("microsocks");
  ASSERT_TRUE(socks.Ok()) << socks.Error();

  const std::function<bool()> kinds[] = {
      [&] { return Check(good.Port("pop3s"), pw::kOptionTls, 0); },
      [&] { return Check(selfSigned.Port("pop3s"), pw::kOptionTls, pw::kErrorTlsCertificate); },
      [&] { return Check(good.Port(), pw::kOptionStartTls, 0); },
      [&] { return Check(good.Port("pop3s"), pw::kOptionTls, 0, socks.Port()); },
  };
  // The first session of each kind fills OpenSSL's process-wide tables
  // (error strings, algorithm caches, the roots): those stay.
  for (const auto& check : kinds) ASSERT_TRUE(check());
  const long start = g_live;
  for (int round = 0; round < 50; ++round)
    for (const auto& check : kinds) ASSERT_TRUE(check()) << "round " << round;
  EXPECT_EQ(g_live - start, 0) << "allocations still live after 200 sessions";
}
