// POP3 checks through every proxy kind to a real Dovecot, and proxy refusals
// reported as session errors.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "mail/SessionFactory.h"
#include "net/ProxyLayer.h"
#include "support/Services.h"

using pwtest::RecordingSink;
using pwtest::Service;

namespace {

class Pop3ProxyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<Service>("dovecot"); }
  static void TearDownTestSuite() { server_.reset(); }

  // One check of the empty mailbox through the proxy; the sink is filled.
  void Check(int proxyPort, uint32_t kind, const wchar_t* user = nullptr, const wchar_t* password = nullptr,
             const wchar_t* host = L"127.0.0.1") {
    ASSERT_TRUE(server_->Ok()) << server_->Error();
    pw::MailSession session;
    session.SetSink(&sink_);
    session.SetProxy(L"127.0.0.1", static_cast<uint32_t>(proxyPort), kind, user, password);
    ASSERT_EQ(session.ConnectPop3(host, server_->Port(), 0, L"user", L"secret", 10000), 1);
    ASSERT_TRUE(sink_.WaitClosed()) << sink_.Dump();
  }
  void ExpectCompleteCheck() {
    EXPECT_TRUE(sink_.errors.empty()) << sink_.Dump();
    EXPECT_EQ(sink_.listed, (std::vector<std::string>{"<begin>", "<end>"})) << sink_.Dump();
    EXPECT_EQ(sink_.sent.back(), "QUIT");
  }

  static std::unique_ptr<Service> server_;
  RecordingSink sink_;
};

std::unique_ptr<Service> Pop3ProxyTest::server_;

}  // namespace

TEST_F(Pop3ProxyTest, Socks4AndSocks4AThroughSsh) {
  Service ssh("ssh-socks");
  ASSERT_TRUE(ssh.Ok()) << ssh.Error();
  Check(ssh.Port(), pw::kProxySocks4);
  ExpectCompleteCheck();
  sink_ = RecordingSink();
  Check(ssh.Port(), pw::kProxySocks4A, nullptr, nullptr, L"localhost");
  ExpectCompleteCheck();
}

TEST_F(Pop3ProxyTest, Socks5WithLogin) {
  Service socks("microsocks", {{"user", "mailer"}, {"password", "s3cret"}});
  ASSERT_TRUE(socks.Ok()) << socks.Error();
  Check(socks.Port(), pw::kProxySocks5 | pw::kProxyAuthBit, L"mailer", L"s3cret");
  ExpectCompleteCheck();

  // A wrong proxy password is the proxy's error, and nothing reaches the server.
  sink_ = RecordingSink();
  Check(socks.Port(), pw::kProxySocks5 | pw::kProxyAuthBit, L"mailer", L"wrong");
  EXPECT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorProxyLogin}) << sink_.Dump();
  EXPECT_TRUE(sink_.sent.empty());
  EXPECT_EQ(pw::SessionErrorText(pw::kErrorProxyLogin, 5), L"Incorrect proxy user name or/and password (5)");
}

TEST_F(Pop3ProxyTest, HttpConnectOpenAndWithLogin) {
  Service squid("squid", {{"user", "mailer"}, {"password", "s3cret"}});
  ASSERT_TRUE(squid.Ok()) << squid.Error();
  Check(squid.Port(), pw::kProxyHttp11);
  ExpectCompleteCheck();
  sink_ = RecordingSink();
  Check(squid.Port("auth"), pw::kProxyHttp11 | pw::kProxyAuthBit, L"mailer", L"s3cret");
  ExpectCompleteCheck();
}

TEST_F(Pop3ProxyTest, UnreachableProxy) {
  Check(pwtest::FreePort(), pw::kProxySocks5);
  ASSERT_EQ(sink_.errors.size(), 1u) << sink_.Dump();
  EXPECT_TRUE(sink_.errors[0] == pw::kErrorProxyConnect || sink_.errors[0] == pw::kErrorConnect) << sink_.Dump();
  int closes = 0;
  for (const auto& l : sink_.log) closes += l == "S10";
  EXPECT_EQ(closes, 1);
}
