// The TLS layer against openssl s_server and dovecot's STLS, with a test CA
// in the user's root store of the test prefix.
#include "net/TlsLayer.h"

#include <gtest/gtest.h>

#include <memory>

#include "TestSocket.h"
#include "support/Pump.h"
#include "support/Services.h"

using pw::CTlsLayer;
using pwtest::LayerNote;
using pwtest::Options;
using pwtest::PumpFor;
using pwtest::PumpUntil;
using pwtest::Service;
using pwtest::TestCertificates;
using pwtest::TestSocket;

namespace {

class TlsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { certs_ = std::make_unique<TestCertificates>(); }
  static void TearDownTestSuite() { certs_.reset(); }
  void SetUp() override { ASSERT_TRUE(certs_->Ok()) << certs_->Error(); }

  // s_server answering every line reversed.
  std::unique_ptr<Service> Server(const std::string& cert, const std::string& args = "") {
    Options o{{"certdir", certs_->Dir()}, {"cert", cert}};
    if (!args.empty()) o.emplace_back("args", args);
    auto s = std::make_unique<Service>("tls", o);
    EXPECT_TRUE(s->Ok()) << s->Error();
    return s;
  }

  // TLS from the first byte: started before the connect.
  void Open(const char* host, int port) {
    sock_.tlsLayer = &tls_;
    ASSERT_TRUE(sock_.AddLayer(&tls_));
    ASSERT_TRUE(sock_.Create());
    ASSERT_TRUE(tls_.Start());
    const BOOL ok = sock_.Connect(host, port);
    ASSERT_TRUE(ok || WSAGetLastError() == WSAEWOULDBLOCK) << WSAGetLastError();
  }
  bool WaitEstablished() {
    return PumpUntil([&] { return sock_.HasReport(&tls_, pw::kTlsInfo, 0) || Failed(); }, 10000) && !Failed();
  }
  bool Failed() const {
    for (const auto& n : sock_.Reports(&tls_))
      if (n.param1 == pw::kTlsFailure) return true;
    return false;
  }
  std::vector<std::string> Texts(int param1) const {
    std::vector<std::string> out;
    for (const auto& n : sock_.Reports(&tls_))
      if (n.param1 == param1) out.push_back(n.text);
    return out;
  }
  int CertificateChecks(long* code) const {
    int count = 0;
    for (const auto& n : sock_.Reports(&tls_))
      if (n.param1 == pw::kTlsCertificate) {
        ++count;
        *code = static_cast<long>(n.param2);
      }
    return count;
  }
  bool Echo(const std::string& line) {
    sock_.data.clear();
    sock_.Write(line + "\n");
    const std::string reversed(line.rbegin(), line.rend());
    return PumpUntil([&] { return sock_.data.find(reversed + "\n") != std::string::npos; }, 10000);
  }

  static std::unique_ptr<TestCertificates> certs_;
  CTlsLayer tls_;  // outlives the socket that uses it
  TestSocket sock_;
};
std::unique_ptr<TestCertificates> TlsTest::certs_;

bool Contains(const std::vector<std::string>& texts, const std::string& part) {
  for (const auto& t : texts)
    if (t.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST_F(TlsTest, HandshakeAndEchoFromTheFirstByte) {
  auto server = Server("good");
  Open("localhost", server->Port());
  // Before the handshake the owner cannot send, and hears of room later.
  char byte = 'x';
  EXPECT_EQ(sock_.Send(&byte, 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  ASSERT_TRUE(WaitEstablished());
  EXPECT_EQ(sock_.connects, 1);
  ASSERT_TRUE(PumpUntil([&] { return sock_.sends > 0; }, 5000));

  long code = -1;
  EXPECT_EQ(CertificateChecks(&code), 0);  // verified against the roots: nothing to decide
  EXPECT_EQ(tls_.GetVerifyResult(), 0);
  EXPECT_EQ(tls_.GetPeerFingerprint(), certs_->Fingerprint("good"));
  const auto info = Texts(pw::kTlsInfoText);
  EXPECT_TRUE(Contains(info, "SSL_connect:")) << info.size();
  EXPECT_TRUE(Contains(info, "Using TLSv1.3, cipher TLSv1.3: TLS_AES_256_GCM_SHA384, 2048 bit RSA"));

  ASSERT_TRUE(Echo("hello through TLS"));
  // Far more than the BIO pair holds, both ways (s_server answers line by line).
  std::string lines, expected;
  for (int i = 0; i < 60; ++i) {
    std::string line(1000, static_cast<char>('a' + i % 26));
    line += std::to_string(i);
    lines += line + "\n";
    expected += std::string(line.rbegin(), line.rend()) + "\n";
  }
  sock_.data.clear();
  sock_.Write(lines);
  ASSERT_TRUE(PumpUntil([&] { return sock_.data.size() >= expected.size(); }, 10000)) << sock_.data.size();
  EXPECT_EQ(sock_.data, expected);

  // Nothing buffered: the shutdown is done at once.
  EXPECT_TRUE(sock_.ShutDown(SD_BOTH));
  EXPECT_TRUE(sock_.HasReport(&tls_, pw::kTlsInfo, 1));
  EXPECT_EQ(sock_.Send(&byte, 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAESHUTDOWN);
  sock_.Close();
  EXPECT_EQ(sock_.closes, 1);
}

TEST_F(TlsTest, AddressIsCheckedAgainstTheCertificate) {
  auto server = Server("good");
  Open("127.0.0.1", server->Port());  // the certificate names 127.0.0.1 too
  ASSERT_TRUE(WaitEstablished());
  EXPECT_EQ(tls_.GetVerifyResult(), 0);
  EXPECT_TRUE(Echo("by address"));
}

TEST_F(TlsTest, StartTlsAfterAPlainPrefix) {
  Service dovecot("dovecot", {{"certdir", certs_->Dir()}});
  ASSERT_TRUE(dovecot.Ok()) << dovecot.Error();
  sock_.tlsLayer = &tls_;
  ASSERT_TRUE(sock_.AddLayer(&tls_));
  ASSERT_TRUE(sock_.Create());
  sock_.Connect("localhost", dovecot.Port());
  // Not started: the layer passes bytes and events unchanged.
  ASSERT_TRUE(PumpUntil([&] { return sock_.data.find("\r\n") != std::string::npos; }, 5000));
  EXPECT_EQ(sock_.data.rfind("+OK", 0), 0u);
  sock_.data.clear();
  sock_.Write("STLS\r\n");
  ASSERT_TRUE(PumpUntil([&] { return sock_.data.find("\r\n") != std::string::npos; }, 5000));
  ASSERT_EQ(sock_.data.rfind("+OK", 0), 0u) << sock_.data;
  sock_.data.clear();
  ASSERT_TRUE(tls_.Start());
  ASSERT_TRUE(WaitEstablished());
  EXPECT_EQ(tls_.GetPeerFingerprint(), certs_->Fingerprint("good"));
  sock_.Write("CAPA\r\n");
  ASSERT_TRUE(PumpUntil([&] { return sock_.data.find("\r\n.\r\n") != std::string::npos; }, 5000)) << sock_.data;
  EXPECT_EQ(sock_.data.rfind("+OK", 0), 0u);
  EXPECT_EQ(sock_.data.find("STLS"), std::string::npos);  // not offered again inside TLS
  sock_.data.clear();
  sock_.Write("QUIT\r\n");
  // The server's last reply arrives before the close reaches the owner.
  ASSERT_TRUE(PumpUntil([&] { return sock_.closes == 1; }, 5000));
  EXPECT_EQ(sock_.data.rfind("+OK", 0), 0u) << sock_.data;
}

TEST_F(TlsTest, ServerAlertIsAWarningAndOneFailure) {
  // No cipher in common: the server answers the ClientHello with an alert.
  auto server = Server("good", "-tls1_2,-cipher,NULL-SHA256:@SECLEVEL=0");
  sock_.closeOnFailure = true;  // as a session does, from inside the report
  Open("localhost", server->Port());
  ASSERT_TRUE(PumpUntil([&] { return Failed(); }, 10000));
  PumpFor(300);
  const auto warnings = Texts(pw::kTlsWarningText);
  ASSERT_FALSE(warnings.empty());
  EXPECT_EQ(warnings.front(), "SSL3 alert read:fatal:handshake failure");
  int failures = 0;
  for (const auto& n : sock_.Reports(&tls_)) failures += n.param1 == pw::kTlsFailure;
  EXPECT_EQ(failures, 1);
  EXPECT_TRUE(sock_.HasReport(&tls_, pw::kTlsFailure, pw::kTlsFailConnect));
  EXPECT_EQ(sock_.closes, 1);
  EXPECT_FALSE(tls_.IsActive());
}

TEST_F(TlsTest, WrongHostIsOfferedAndAccepted) {
  auto server = Server("wronghost");
  sock_.certificateAnswer = 1;
  Open("localhost", server->Port());
  ASSERT_TRUE(WaitEstablished());
  long code = 0;
  EXPECT_EQ(CertificateChecks(&code), 1);
  EXPECT_EQ(code, 62);  // X509_V_ERR_HOSTNAME_MISMATCH
  const auto info = Texts(pw::kTlsInfoText);
  EXPECT_TRUE(Contains(info, certs_->Fingerprint("wronghost")));
  EXPECT_TRUE(Contains(info, "hostname mismatch"));
  EXPECT_TRUE(Echo("accepted anyway"));
}

TEST_F(TlsTest, ExpiredIsOfferedAndRefused) {
  auto server = Server("expired");
  sock_.certificateAnswer = 0;
  Open("localhost", server->Port());
  ASSERT_TRUE(PumpUntil([&] { return Failed(); }, 10000));
  long code = 0;
  EXPECT_EQ(CertificateChecks(&code), 1);
  EXPECT_EQ(code, 10);  // X509_V_ERR_CERT_HAS_EXPIRED
  EXPECT_TRUE(sock_.HasReport(&tls_, pw::kTlsFailure, pw::kTlsFailCertificate));
  EXPECT_FALSE(sock_.HasReport(&tls_, pw::kTlsInfo, 0));
  EXPECT_TRUE(Contains(Texts(pw::kTlsInfoText), certs_->Fingerprint("expired")));
  // Nothing gets through a refused connection, and the owner hears of the end.
  char byte = 'x';
  EXPECT_EQ(sock_.Send(&byte, 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNABORTED);
  ASSERT_TRUE(PumpUntil([&] { return sock_.closes == 1; }, 5000));
  EXPECT_EQ(sock_.closeError, WSAECONNABORTED);
}

TEST_F(TlsTest, SelfSignedDecidedLater) {
  auto server = Server("selfsigned");
  sock_.certificateAnswer = 2;
  Open("localhost", server->Port());
  long code = 0;
  ASSERT_TRUE(PumpUntil([&] { return CertificateChecks(&code) == 1; }, 10000));
  EXPECT_EQ(code, 18);  // X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT
  EXPECT_EQ(tls_.GetPeerFingerprint(), certs_->Fingerprint("selfsigned"));
  PumpFor(300);
  EXPECT_FALSE(tls_.IsEstablished());
  char byte = 'x';
  EXPECT_EQ(sock_.Send(&byte, 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  // The account pinned this fingerprint: the connection goes on.
  tls_.CompleteCertificateCheck(1);
  EXPECT_TRUE(tls_.IsEstablished());
  EXPECT_TRUE(sock_.HasReport(&tls_, pw::kTlsInfo, 0));
  EXPECT_TRUE(Echo("pinned"));
}

TEST_F(TlsTest, EveryByteArrivesBeforeTheClose) {
  // The server sends 3 MiB and closes at once: its FIN overtakes records
  // that still wait in the socket.
  const size_t size = 3 << 20;
  Service server("tls", {{"certdir", certs_->Dir()}, {"file", std::to_string(size)}});
  ASSERT_TRUE(server.Ok()) << server.Error();
  Open("localhost", server.Port());
  ASSERT_TRUE(WaitEstablished());
  sock_.Write("GET /data.bin HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(PumpUntil([&] { return sock_.closes == 1; }, 30000)) << sock_.data.size();
  EXPECT_EQ(sock_.closeError, 0);
  const size_t body = sock_.data.find("\r\n\r\n");
  ASSERT_NE(body, std::string::npos);
  const std::string payload = sock_.data.substr(body + 4);
  ASSERT_EQ(payload.size(), size);
  for (size_t i = 0; i < size; ++i)
    ASSERT_EQ(static_cast<uint8_t>(payload[i]), i % 256) << i;
}
