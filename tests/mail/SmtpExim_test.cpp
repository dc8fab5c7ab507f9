// SMTP passes against a real Exim: plain, STARTTLS (with AUTH offered only
// inside TLS), TLS from the first byte, each AUTH mechanism, refusals at
// every step, and the delivered files read back from Exim's maildir.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Base64Coder.h"
#include "mail/SmtpTest.h"

using pwtest::Outgoing;
using pwtest::Service;
using pwtest::SmtpSink;

namespace {

class SmtpEximTest : public pwtest::SmtpTest {
 protected:
  static void SetUpTestSuite() {
    certs_ = std::make_unique<pwtest::TestCertificates>();
    if (certs_->Ok()) server_ = std::make_unique<Service>("exim", pwtest::Options{{"certdir", certs_->Dir()}});
  }
  static void TearDownTestSuite() {
    server_.reset();
    certs_.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(certs_->Ok()) << certs_->Error();
    ASSERT_TRUE(server_ && server_->Ok()) << (server_ ? server_->Error() : "");
  }
  // What was delivered since the test began.
  std::vector<std::string> NewDeliveries(size_t count) {
    auto all = pwtest::WaitDelivered(server_->Dir(), before_ + count);
    all.erase(all.begin(), all.begin() + static_cast<long>(std::min(before_, all.size())));
    return all;
  }
  void Mark() { before_ = pwtest::Delivered(server_->Dir()).size(); }

  static std::unique_ptr<pwtest::TestCertificates> certs_;
  static std::unique_ptr<Service> server_;
  size_t before_ = 0;
};

std::unique_ptr<pwtest::TestCertificates> SmtpEximTest::certs_;
std::unique_ptr<Service> SmtpEximTest::server_;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// Without a user name no AUTH is sent. Refused recipients (550, 451), a
// refused sender and a refused text each cost only their own message: RSET
// follows and the next message goes out. Dot-stuffing and line ends arrive
// as the user wrote them.
TEST_F(SmtpEximTest, PlainPassWithRefusalsAtEveryStep) {
  Mark();
  SmtpSink sink;
  sink.queue = {Message("first-last@example.org", "one", "line one\r\n.starts with a dot\n..two dots\r\n.\r\nend"),
                Message("bounce5@example.org", "two", "never delivered"),
                Message("later4@example.org", "three", "tried again later"),
                Message("a+tag@example.org", "four", "x", "refused@example.org"),
                Message("o'brien@example.org", "reject-data five", "refused after its text"),
                Message("o'brien@example.org", "six", "last one")};
  ASSERT_TRUE(Pass(sink, server_->Port(), 0));
  EXPECT_TRUE(sink.ended);
  ASSERT_EQ(sink.results.size(), 6u) << sink.Dump();
  EXPECT_EQ(sink.results[0], "sent");
  EXPECT_EQ(sink.results[1], "550 no such user here");
  EXPECT_EQ(sink.results[2], "451 mailbox busy, try later");
  EXPECT_EQ(sink.results[3], "550 sender refused here");
  EXPECT_EQ(sink.results[4], "550 content refused here");
  EXPECT_EQ(sink.results[5], "sent");
  EXPECT_FALSE(sink.SentStartingWith("AUTH")) << sink.Dump();
  EXPECT_EQ(sink.sent.back(), "QUIT");
  // The session shuts its end after QUIT and still reads the reply.
  EXPECT_EQ(sink.Count("S3 221 exim.test closing connection"), 1) << sink.Dump();
  EXPECT_EQ(sink.Count("S10"), 1);
  // The greeting name is a host name or an address literal Exim accepts.
  ASSERT_FALSE(sink.sent.empty());
  EXPECT_EQ(sink.sent[0].rfind("EHLO ", 0), 0u);
  EXPECT_EQ(sink.sent[0].find('_'), std::string::npos);

  // Exim delivers each message in a process of its own: the two may finish
  // in either order.
  auto files = NewDeliveries(2);
  ASSERT_EQ(files.size(), 2u);
  if (!Contains(files[0], "Envelope-to: first-last@example.org")) std::swap(files[0], files[1]);
  EXPECT_TRUE(Contains(files[0], "Envelope-to: first-last@example.org")) << files[0];
  EXPECT_EQ(pwtest::BodyOf(files[0]), "line one\n.starts with a dot\n..two dots\n.\nend\n");
  EXPECT_TRUE(Contains(files[1], "Envelope-to: o'brien@example.org")) << files[1];
  EXPECT_EQ(pwtest::BodyOf(files[1]), "last one\n");
}

// One refused recipient never stops the others.
TEST_F(SmtpEximTest, SeveralRecipientsOneRefused) {
  Mark();
  SmtpSink sink;
  sink.queue = {Message("bounce5@example.org, kept@example.org; later4@example.org", "many", "hello")};
  ASSERT_TRUE(Pass(sink, server_->Port(), 0));
  ASSERT_EQ(sink.results, std::vector<std::string>{"sent"}) << sink.Dump();
  EXPECT_EQ(sink.Count("S3 550 no such user here"), 1);
  const auto files = NewDeliveries(1);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(Contains(files[0], "Envelope-to: kept@example.org")) << files[0];
}

// Each mechanism Exim offers, chosen as offered; the password never shows
// in the log, wrong passwords end the pass with 105 and nothing is sent.
TEST_F(SmtpEximTest, EachAuthMechanism) {
  for (const char* mechanism : {"cram", "plain", "login"}) {
    SCOPED_TRACE(mechanism);
    Service exim("exim", {{"auth", mechanism}});
    ASSERT_TRUE(exim.Ok()) << exim.Error();
    SmtpSink sink;
    sink.queue = {Message("rcpt@example.org", mechanism, "authenticated")};
    ASSERT_TRUE(Pass(sink, exim.Port(), 0, L"user", L"secret"));
    EXPECT_EQ(sink.results, std::vector<std::string>{"sent"}) << sink.Dump();
    EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
    const std::string expected = std::string(mechanism) == "cram" ? "AUTH CRAM-MD5"
                                 : std::string(mechanism) == "plain" ? "AUTH PLAIN *******"
                                                                     : "AUTH LOGIN";
    EXPECT_EQ(sink.Count("S4 " + expected), 1) << sink.Dump();
    pw::Base64Coder coder;
    coder.EncodeString("secret");
    for (const auto& line : sink.log) {
      EXPECT_EQ(line.find("secret"), std::string::npos) << line;
      EXPECT_EQ(line.find(coder.GetOutput()), std::string::npos) << line;
    }
    EXPECT_EQ(pwtest::WaitDelivered(exim.Dir(), 1).size(), 1u);

    SmtpSink wrong;
    wrong.queue = {Message("rcpt@example.org", "never", "never")};
    ASSERT_TRUE(Pass(wrong, exim.Port(), 0, L"user", L"wrong"));
    EXPECT_EQ(wrong.errors, std::vector<uint32_t>{pw::kErrorLogin}) << wrong.Dump();
    EXPECT_FALSE(wrong.SentStartingWith("MAIL FROM")) << wrong.Dump();
    EXPECT_EQ(wrong.Count("S10"), 1);
  }
}

// Exim's usual set-up: AUTH only inside TLS. EHLO is said again after the
// handshake and AUTH is chosen from that second reply.
TEST_F(SmtpEximTest, StartTlsThenAuthOfferedOnlyInside) {
  Service exim("exim", {{"certdir", certs_->Dir()}, {"authtls", "1"}});
  ASSERT_TRUE(exim.Ok()) << exim.Error();
  SmtpSink sink;
  sink.queue = {Message("rcpt@example.org", "tls", "over STARTTLS")};
  ASSERT_TRUE(Pass(sink, exim.Port(), pw::kOptionStartTls, L"user", L"secret"));
  EXPECT_EQ(sink.results, std::vector<std::string>{"sent"}) << sink.Dump();
  ASSERT_GE(sink.sent.size(), 5u) << sink.Dump();
  EXPECT_EQ(sink.sent[1], "STARTTLS");
  EXPECT_EQ(sink.sent[2].rfind("EHLO ", 0), 0u);
  EXPECT_EQ(sink.sent[3], "AUTH CRAM-MD5");
  EXPECT_EQ(sink.Count("S11"), 1);
  const auto files = pwtest::WaitDelivered(exim.Dir(), 1);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(Contains(files[0], "with esmtpsa")) << files[0];  // TLS and AUTH, as Exim saw it

  // Without STARTTLS the same server offers no AUTH: none is sent, and the
  // mail still goes (Exim relays for anyone here).
  SmtpSink clear;
  clear.queue = {Message("rcpt@example.org", "clear", "no auth offered")};
  ASSERT_TRUE(Pass(clear, exim.Port(), 0, L"user", L"secret"));
  EXPECT_EQ(clear.results, std::vector<std::string>{"sent"}) << clear.Dump();
  EXPECT_FALSE(clear.SentStartingWith("AUTH")) << clear.Dump();
}

TEST_F(SmtpEximTest, TlsFromTheFirstByte) {
  Mark();
  SmtpSink sink;
  sink.queue = {Message("rcpt@example.org", "smtps", "over TLS")};
  ASSERT_TRUE(Pass(sink, server_->Port("smtps"), pw::kOptionTls, L"user", L"secret"));
  EXPECT_EQ(sink.results, std::vector<std::string>{"sent"}) << sink.Dump();
  EXPECT_EQ(sink.sent[0].rfind("EHLO ", 0), 0u);
  EXPECT_FALSE(sink.SentStartingWith("STARTTLS"));
  const auto files = NewDeliveries(1);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(Contains(files[0], "with esmtpsa")) << files[0];
}

// A megabyte of text arrives whole; the final reply has its own, longer
// time-out.
TEST_F(SmtpEximTest, LargeBody) {
  Mark();
  std::string body;
  for (int i = 0; body.size() < (1u << 20); ++i) body += (i % 7 == 0 ? "." : "") + std::to_string(i) + " line\r\n";
  SmtpSink sink;
  sink.queue = {Message("rcpt@example.org", "large", body)};
  ASSERT_TRUE(Pass(sink, server_->Port(), 0));
  EXPECT_EQ(sink.results, std::vector<std::string>{"sent"}) << sink.Dump();
  const auto files = NewDeliveries(1);
  ASSERT_EQ(files.size(), 1u);
  std::string expected = body;
  for (size_t at = expected.find("\r\n"); at != std::string::npos; at = expected.find("\r\n", at)) expected.erase(at, 1);
  EXPECT_TRUE(pwtest::BodyOf(files[0]) == expected) << "body differs";
}

// A certificate for another host after STARTTLS: the pass ends with 305
// before any AUTH or mail; pinned by the user, the same server is used.
TEST_F(SmtpEximTest, UnverifiedCertificateAfterStartTls) {
  Service exim("exim", {{"certdir", certs_->Dir()}, {"cert", "wronghost"}});
  ASSERT_TRUE(exim.Ok()) << exim.Error();
  SmtpSink sink;
  sink.queue = {Message("rcpt@example.org", "x", "y")};
  ASSERT_TRUE(Pass(sink, exim.Port(), pw::kOptionStartTls, L"user", L"secret"));
  EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorTlsCertificate}) << sink.Dump();
  ASSERT_EQ(sink.sent.size(), 2u) << sink.Dump();
  EXPECT_EQ(sink.sent[1], "STARTTLS");
  EXPECT_TRUE(sink.results.empty());

  SmtpSink pinned;
  pinned.queue = {Message("rcpt@example.org", "pinned", "y")};
  session_ = std::make_unique<pw::MailSession>();
  pinned.session = session_.get();
  session_->SetSink(&pinned);
  const std::string fp = certs_->Fingerprint("wronghost");
  session_->SetPinnedFingerprint(std::wstring(fp.begin(), fp.end()).c_str());
  ASSERT_EQ(session_->ConnectSmtp(L"127.0.0.1", static_cast<uint32_t>(exim.Port()), pw::kOptionStartTls, L"user",
                                  L"secret", kTimeout),
            1);
  ASSERT_TRUE(pinned.WaitClosed(20000)) << pinned.Dump();
  EXPECT_EQ(pinned.results, std::vector<std::string>{"sent"}) << pinned.Dump();
}
