// The proxy layer against real proxies (ssh -D, microsocks, squid) that lead
// to a real POP3 server (dovecot); a scripted peer only for replies that no
// real proxy sends.
#include "net/ProxyLayer.h"

#include <gtest/gtest.h>

#include <memory>

#include "TestSocket.h"
#include "net/TlsLayer.h"
#include "support/FakePeer.h"
#include "support/Pump.h"
#include "support/Services.h"

using pw::CProxyLayer;
using pwtest::FakePeer;
using pwtest::PumpFor;
using pwtest::PumpUntil;
using pwtest::Service;
using pwtest::TestSocket;

namespace {

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pop3_ = std::make_unique<Service>("dovecot");
    ASSERT_TRUE(pop3_->Ok()) << pop3_->Error();
    sock_.proxyLayer = &proxy_;
    ASSERT_TRUE(sock_.AddLayer(&proxy_));
    ASSERT_TRUE(sock_.Create());
  }
  // Connects through the proxy; false when the call failed at once.
  bool Open(const char* host, int port) {
    const BOOL ok = sock_.Connect(host, port);
    return ok || WSAGetLastError() == WSAEWOULDBLOCK;
  }
  bool WaitGreeting() {
    if (!PumpUntil([&] { return sock_.data.find("\r\n") != std::string::npos || sock_.connectError > 0; }, 10000))
      return false;
    // The owner must have heard of its connection before any of its data.
    EXPECT_EQ(sock_.receivesBeforeConnect, 0);
    return sock_.connectError == 0 && sock_.data.rfind("+OK", 0) == 0;
  }
  bool WaitFailure() {
    return PumpUntil([&] { return sock_.connects > 0; }, 10000) && sock_.connectError != 0;
  }
  std::vector<intptr_t> Codes() const {
    std::vector<intptr_t> out;
    for (const auto& n : sock_.Reports(&proxy_)) out.push_back(n.param1);
    return out;
  }
  std::string Text() const {
    for (const auto& n : sock_.Reports(&proxy_))
      if (n.param1 == pw::kProxyRequestFailed) return n.text;
    return "(none)";
  }

  std::unique_ptr<Service> pop3_;
  CProxyLayer proxy_;  // outlives the socket that uses it
  TestSocket sock_;
};

using CodeList = std::vector<intptr_t>;

}  // namespace

TEST_F(ProxyTest, Socks4ThroughSsh) {
  Service ssh("ssh-socks");
  ASSERT_TRUE(ssh.Ok()) << ssh.Error();
  proxy_.SetProxy(pw::kProxySocks4, "127.0.0.1", ssh.Port());
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  ASSERT_TRUE(WaitGreeting()) << sock_.data << " " << sock_.connectError;
  EXPECT_EQ(sock_.connects, 1);
  EXPECT_TRUE(Codes().empty());
  // The peer is the destination, not the proxy.
  sockaddr_in peer = {};
  int length = sizeof(peer);
  ASSERT_TRUE(sock_.GetPeerName(reinterpret_cast<SOCKADDR*>(&peer), &length));
  EXPECT_EQ(ntohs(peer.sin_port), pop3_->Port());
  sock_.data.clear();
  sock_.Write("QUIT\r\n");
  ASSERT_TRUE(PumpUntil([&] { return sock_.closes == 1; }, 5000));
  EXPECT_EQ(sock_.data.rfind("+OK", 0), 0u);
}

TEST_F(ProxyTest, Socks4AThroughSshSendsTheName) {
  Service ssh("ssh-socks");
  ASSERT_TRUE(ssh.Ok()) << ssh.Error();
  proxy_.SetProxy(pw::kProxySocks4A, "127.0.0.1", ssh.Port());
  ASSERT_TRUE(Open("localhost", pop3_->Port()));
  ASSERT_TRUE(WaitGreeting()) << sock_.data << " " << sock_.connectError;
}

TEST_F(ProxyTest, Socks4CannotForwardAnUnresolvableName) {
  Service ssh("ssh-socks");
  ASSERT_TRUE(ssh.Ok()) << ssh.Error();
  proxy_.SetProxy(pw::kProxySocks4, "127.0.0.1", ssh.Port());
  EXPECT_FALSE(sock_.Connect("no-such-host.invalid", pop3_->Port()));
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  EXPECT_EQ(Codes(), CodeList{pw::kProxyCannotResolve});
  EXPECT_EQ(proxy_.GetLayerState(), pw::kLayerUnconnected);  // no connection was made
}

TEST_F(ProxyTest, Socks4RequestsByteByByte) {
  // What the proxy answers does not matter here: the requests are checked.
  FakePeer v4, v4a;
  v4.Expect(9).Reply(std::string("\0\x5a\0\0\0\0\0\0", 8));
  v4a.Expect(19).Reply(std::string("\0\x5a\0\0\0\0\0\0", 8));
  const int p4 = v4.Start(), p4a = v4a.Start();
  proxy_.SetProxy(pw::kProxySocks4, "127.0.0.1", p4);
  ASSERT_TRUE(Open("10.1.2.3", 110));
  ASSERT_TRUE(PumpUntil([&] { return sock_.connects == 1; }, 5000));
  EXPECT_EQ(sock_.connectError, 0);
  EXPECT_EQ(v4.Received(), std::string("\x04\x01\x00\x6e\x0a\x01\x02\x03\x00", 9));

  CProxyLayer layer;
  TestSocket other;
  ASSERT_TRUE(other.AddLayer(&layer));
  ASSERT_TRUE(other.Create());
  layer.SetProxy(pw::kProxySocks4A, "127.0.0.1", p4a);
  other.Connect("localhost", 110);
  ASSERT_TRUE(PumpUntil([&] { return other.connects == 1; }, 5000));
  EXPECT_EQ(other.connectError, 0);
  EXPECT_EQ(v4a.Received(), std::string("\x04\x01\x00\x6e\0\0\0\x01\0localhost\0", 19));
}

TEST_F(ProxyTest, Socks4ReplyCutShortIsWaitedFor) {
  FakePeer peer;  // four of the eight bytes, then silence
  peer.Expect(9).Reply(std::string("\0\x5a\0\0", 4));
  proxy_.SetProxy(pw::kProxySocks4, "127.0.0.1", peer.Start());
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  PumpFor(700);
  EXPECT_EQ(sock_.connects, 0);
  EXPECT_TRUE(Codes().empty());
  char byte = 'x';
  EXPECT_EQ(sock_.Send(&byte, 1), SOCKET_ERROR);  // no bytes pass during the handshake
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(ProxyTest, Socks5WithoutAuthenticationThroughSsh) {
  Service ssh("ssh-socks");
  ASSERT_TRUE(ssh.Ok()) << ssh.Error();
  proxy_.SetProxy(pw::kProxySocks5, "127.0.0.1", ssh.Port());
  ASSERT_TRUE(Open("localhost", pop3_->Port()));
  ASSERT_TRUE(WaitGreeting()) << sock_.data << " " << sock_.connectError;
}

TEST_F(ProxyTest, Socks5RefusingTheDestination) {
  Service ssh("ssh-socks");
  ASSERT_TRUE(ssh.Ok()) << ssh.Error();
  proxy_.SetProxy(pw::kProxySocks5, "127.0.0.1", ssh.Port());
  ASSERT_TRUE(Open("127.0.0.1", pwtest::FreePort()));  // nothing listens there
  ASSERT_TRUE(WaitFailure());
  EXPECT_EQ(sock_.connectError, WSAECONNABORTED);
  EXPECT_EQ(Codes(), CodeList{pw::kProxyRequestFailed});
}

TEST_F(ProxyTest, Socks5WithUserAndPassword) {
  Service socks("microsocks", {{"user", "mailer"}, {"password", "s3cret"}});
  ASSERT_TRUE(socks.Ok()) << socks.Error();
  proxy_.SetProxy(pw::kProxySocks5, "127.0.0.1", socks.Port(), "mailer", "s3cret");
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  ASSERT_TRUE(WaitGreeting()) << sock_.data << " " << sock_.connectError;
}

TEST_F(ProxyTest, Socks5WrongPasswordAndMissingCredentials) {
  Service socks("microsocks", {{"user", "mailer"}, {"password", "s3cret"}});
  ASSERT_TRUE(socks.Ok()) << socks.Error();
  proxy_.SetProxy(pw::kProxySocks5, "127.0.0.1", socks.Port(), "mailer", "wrong");
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  ASSERT_TRUE(WaitFailure());
  EXPECT_EQ(Codes(), CodeList{pw::kProxyAuthFailed});
  EXPECT_EQ(sock_.data, "");

  // Offering no authentication to a proxy that wants it: method 0xFF.
  CProxyLayer layer;
  TestSocket other;
  other.proxyLayer = &layer;
  ASSERT_TRUE(other.AddLayer(&layer));
  ASSERT_TRUE(other.Create());
  layer.SetProxy(pw::kProxySocks5, "127.0.0.1", socks.Port());
  other.Connect("127.0.0.1", pop3_->Port());
  ASSERT_TRUE(PumpUntil([&] { return other.connects == 1; }, 5000));
  EXPECT_EQ(other.connectError, WSAECONNABORTED);
  ASSERT_EQ(other.Reports(&layer).size(), 1u);
  EXPECT_EQ(other.Reports(&layer)[0].param1, pw::kProxyAuthUnsupported);
}

TEST_F(ProxyTest, Socks5AskingForCredentialsThatWereNotOffered) {
  FakePeer peer;  // a proxy that picks user/password although only "none" was offered
  peer.Expect(3).Reply("\x05\x02");
  proxy_.SetProxy(pw::kProxySocks5, "127.0.0.1", peer.Start());
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  ASSERT_TRUE(WaitFailure());
  EXPECT_EQ(Codes(), CodeList{pw::kProxyAuthRequired});
}

TEST_F(ProxyTest, ProxyThatCannotBeReached) {
  proxy_.SetProxy(pw::kProxyHttp11, "127.0.0.1", pwtest::FreePort());
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  ASSERT_TRUE(WaitFailure());
  EXPECT_EQ(sock_.connectError, WSAECONNREFUSED);
  EXPECT_EQ(Codes(), CodeList{pw::kProxyUnreachable});
}

TEST_F(ProxyTest, HttpConnectLeavesTheServersBytesToTheOwner) {
  Service squid("squid");
  ASSERT_TRUE(squid.Ok()) << squid.Error();
  proxy_.SetProxy(pw::kProxyHttp11, "127.0.0.1", squid.Port());
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  // The greeting follows squid's "200" at once: none of it may be lost.
  ASSERT_TRUE(WaitGreeting()) << sock_.data << " " << sock_.connectError;
  EXPECT_EQ(sock_.data.find("HTTP/"), std::string::npos);
}

TEST_F(ProxyTest, HttpConnectWithBasicAuthentication) {
  Service squid("squid", {{"user", "mailer"}, {"password", "s3cret"}});
  ASSERT_TRUE(squid.Ok()) << squid.Error();
  proxy_.SetProxy(pw::kProxyHttp11, "127.0.0.1", squid.Port("auth"), "mailer", "s3cret");
  ASSERT_TRUE(Open("localhost", pop3_->Port()));
  ASSERT_TRUE(WaitGreeting()) << sock_.data << " " << sock_.connectError << " " << Text();
}

TEST_F(ProxyTest, HttpWrongCredentialsGive407Text) {
  Service squid("squid", {{"user", "mailer"}, {"password", "s3cret"}});
  ASSERT_TRUE(squid.Ok()) << squid.Error();
  proxy_.SetProxy(pw::kProxyHttp11, "127.0.0.1", squid.Port("auth"), "mailer", "wrong");
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  ASSERT_TRUE(WaitFailure());
  EXPECT_EQ(sock_.connectError, WSAECONNABORTED);
  EXPECT_EQ(Codes(), CodeList{pw::kProxyRequestFailed});
  EXPECT_EQ(Text(), "HTTP/1.1 407 Proxy Authentication Required");
}

TEST_F(ProxyTest, HttpProxyRefusingTheDestination) {
  Service squid("squid");
  ASSERT_TRUE(squid.Ok()) << squid.Error();
  proxy_.SetProxy(pw::kProxyHttp11, "127.0.0.1", squid.Port());
  ASSERT_TRUE(Open("127.0.0.1", pwtest::FreePort()));
  ASSERT_TRUE(WaitFailure());
  EXPECT_EQ(Text(), "HTTP/1.1 503 Service Unavailable");
}

TEST_F(ProxyTest, HttpRequestWithCredentialsByteByByte) {
  const std::string request =
      "CONNECT 10.1.2.3:110 HTTP/1.1\r\nHost: 10.1.2.3:110\r\n"
      "Authorization: Basic dTpwdw==\r\nProxy-Authorization: Basic dTpwdw==\r\n\r\n";
  FakePeer peer;  // an HTTP/1.0 proxy whose 200 arrives together with the server's first line
  peer.Expect(request.size()).Reply("HTTP/1.0 200 OK\r\n\r\n+OK hello\r\n");
  proxy_.SetProxy(pw::kProxyHttp11, "127.0.0.1", peer.Start(), "u", "pw");
  ASSERT_TRUE(Open("10.1.2.3", 110));
  ASSERT_TRUE(WaitGreeting()) << sock_.data;
  EXPECT_EQ(sock_.data, "+OK hello\r\n");
  EXPECT_EQ(peer.Received(), request);
}

TEST_F(ProxyTest, ReplyThatIsNotHttpFailsAtOnce) {
  FakePeer peer;  // an SSH server behind the proxy port; the connection stays open
  peer.Expect(1).Reply("SSH-2.0-x\r\n");
  proxy_.SetProxy(pw::kProxyHttp11, "127.0.0.1", peer.Start());
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  ASSERT_TRUE(WaitFailure());
  EXPECT_EQ(Text(), "No valid HTTP reponse");
}

TEST_F(ProxyTest, TlsFromTheFirstByteThroughHttpConnect) {
  pwtest::TestCertificates certs;
  ASSERT_TRUE(certs.Ok()) << certs.Error();
  Service pop3s("dovecot", {{"certdir", certs.Dir()}});
  ASSERT_TRUE(pop3s.Ok()) << pop3s.Error();
  Service squid("squid");
  ASSERT_TRUE(squid.Ok()) << squid.Error();
  // As a session builds it: TLS on top, the proxy below it.
  pw::CTlsLayer tls;
  CProxyLayer proxy;
  TestSocket s;
  s.tlsLayer = &tls;
  s.proxyLayer = &proxy;
  ASSERT_TRUE(s.AddLayer(&tls));
  ASSERT_TRUE(s.AddLayer(&proxy));
  proxy.SetProxy(pw::kProxyHttp11, "127.0.0.1", squid.Port());
  ASSERT_TRUE(tls.Start());
  ASSERT_TRUE(s.Create());
  s.Connect("localhost", pop3s.Port("pop3s"));
  ASSERT_TRUE(PumpUntil([&] { return s.data.find("\r\n") != std::string::npos; }, 10000)) << s.connectError;
  EXPECT_EQ(s.data.rfind("+OK", 0), 0u);
  EXPECT_TRUE(s.HasReport(&tls, pw::kTlsInfo, 0));
  EXPECT_EQ(tls.GetVerifyResult(), 0);  // checked against the destination's name, not the proxy's
  EXPECT_EQ(s.connects, 1);
}

TEST_F(ProxyTest, ProxyHangingUpDuringTheHandshakeFailsTheConnect) {
  FakePeer peer;  // takes the request and closes without a word
  peer.Expect(3).Hangup();
  proxy_.SetProxy(pw::kProxySocks5, "127.0.0.1", peer.Start());
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  ASSERT_TRUE(WaitFailure());  // at once, not at the session's time-out
  EXPECT_EQ(Codes(), CodeList{pw::kProxyRequestFailed});
}

TEST_F(ProxyTest, HttpHeaderThatNeverEndsIsCut) {
  FakePeer peer;  // a status line that goes on and on
  peer.Expect(1).Reply("HTTP/1.1 200 " + std::string(20000, 'x'));
  proxy_.SetProxy(pw::kProxyHttp11, "127.0.0.1", peer.Start());
  ASSERT_TRUE(Open("127.0.0.1", pop3_->Port()));
  ASSERT_TRUE(WaitFailure());
  EXPECT_EQ(Codes(), CodeList{pw::kProxyRequestFailed});
}

TEST_F(ProxyTest, Socks5ReplyWithAnIpv6AddressIsReadWhole) {
  // RFC 1928 replies may carry an IPv6 bound address (22 bytes); the server's
  // first line follows in the same segment and must reach the owner whole.
  FakePeer peer;
  peer.Expect(3).Reply(std::string("\x05\x00", 2)).Expect(10).Reply(
      std::string("\x05\x00\x00\x04", 4) + std::string(16, '\x01') + std::string("\x00\x6e", 2) +
      "+OK hello\r\n");
  proxy_.SetProxy(pw::kProxySocks5, "127.0.0.1", peer.Start());
  ASSERT_TRUE(Open("127.0.0.1", 110));
  ASSERT_TRUE(WaitGreeting()) << sock_.data;
  EXPECT_EQ(sock_.data, "+OK hello\r\n");
}
