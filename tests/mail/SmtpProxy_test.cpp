// SMTP passes to a real Exim through every proxy kind.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mail/SmtpTest.h"
#include "net/ProxyLayer.h"

using pwtest::Service;
using pwtest::SmtpSink;

namespace {

class SmtpProxyTest : public pwtest::SmtpTest {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<Service>("exim"); }
  static void TearDownTestSuite() { server_.reset(); }

  void SendThrough(int port, uint32_t kind, const wchar_t* user = nullptr, const wchar_t* password = nullptr) {
    ASSERT_TRUE(server_->Ok()) << server_->Error();
    const size_t before = pwtest::Delivered(server_->Dir()).size();
    proxyPort_ = port;
    proxyKind_ = kind;
    proxyUser_ = user;
    proxyPassword_ = password;
    SmtpSink sink;
    sink.queue = {Message("rcpt@example.org", "proxied", "through the proxy")};
    ASSERT_TRUE(Pass(sink, server_->Port(), 0, L"user", L"secret"));
    EXPECT_EQ(sink.results, std::vector<std::string>{"sent"}) << sink.Dump();
    EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
    EXPECT_EQ(pwtest::WaitDelivered(server_->Dir(), before + 1).size(), before + 1);
  }

  static std::unique_ptr<Service> server_;
};

std::unique_ptr<Service> SmtpProxyTest::server_;

}  // namespace

TEST_F(SmtpProxyTest, Socks4AndSocks4A) {
  Service ssh("ssh-socks");
  ASSERT_TRUE(ssh.Ok()) << ssh.Error();
  SendThrough(ssh.Port(), pw::kProxySocks4);
  SendThrough(ssh.Port(), pw::kProxySocks4A);
}

TEST_F(SmtpProxyTest, Socks5WithLogin) {
  Service socks("microsocks", {{"user", "mailer"}, {"password", "s3cret"}});
  ASSERT_TRUE(socks.Ok()) << socks.Error();
  SendThrough(socks.Port(), pw::kProxySocks5 | pw::kProxyAuthBit, L"mailer", L"s3cret");
}

TEST_F(SmtpProxyTest, HttpConnect) {
  Service squid("squid", {{"user", "mailer"}, {"password", "s3cret"}});
  ASSERT_TRUE(squid.Ok()) << squid.Error();
  SendThrough(squid.Port(), pw::kProxyHttp11);
  SendThrough(squid.Port("auth"), pw::kProxyHttp11 | pw::kProxyAuthBit, L"mailer", L"s3cret");
}
