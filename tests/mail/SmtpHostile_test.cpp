// SMTP replies that no real server sends, from a scripted peer: a refused
// STARTTLS, bytes pushed in after "220" to STARTTLS, bare "250" lines,
// AUTH LOGIN prompts in other words, an empty CRAM-MD5 challenge, endless
// and silent replies. None may lead to credentials in the clear or to a
// session that waits for nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Base64Coder.h"
#include "mail/SmtpTest.h"
#include "support/FakePeer.h"

using pwtest::FakePeer;
using pwtest::SmtpSink;

namespace {

class SmtpHostileTest : public pwtest::SmtpTest {};

std::string B64(const std::string& text) {
  pw::Base64Coder coder;
  coder.EncodeString(text.c_str());
  return coder.GetOutput();
}

}  // namespace

TEST_F(SmtpHostileTest, RefusedStartTlsSendsNoAuth) {
  FakePeer peer;
  peer.Reply("220 fake ESMTP\r\n").ExpectLine()
      .Reply("250-fake\r\n250-AUTH PLAIN LOGIN\r\n250 STARTTLS\r\n").ExpectLine()
      .Reply("454 TLS not available\r\n").ExpectLine()
      .Reply("221 bye\r\n");
  const int port = peer.Start();
  SmtpSink sink;
  sink.queue = {Message("a@example.org", "x", "y")};
  ASSERT_TRUE(Pass(sink, port, pw::kOptionStartTls, L"user", L"secret"));
  EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorTlsConnect}) << sink.Dump();
  ASSERT_EQ(sink.sent.size(), 3u) << sink.Dump();
  EXPECT_EQ(sink.sent[1], "STARTTLS");
  EXPECT_EQ(sink.sent[2], "QUIT");
  EXPECT_TRUE(sink.results.empty());
  const std::string got = peer.Received();
  EXPECT_EQ(got.find("AUTH"), std::string::npos) << got;
  EXPECT_EQ(got.find(B64("secret")), std::string::npos) << got;
}

// "250 injected" after the 220 belongs to no one: it is dropped, the
// handshake starts, and when it fails nothing else has been sent.
TEST_F(SmtpHostileTest, BytesAfterStartTlsGoAheadAreDropped) {
  FakePeer peer;
  peer.Reply("220 fake ESMTP\r\n").ExpectLine()
      .Reply("250-fake\r\n250 STARTTLS\r\n").ExpectLine()
      .Reply("220 go ahead\r\n250-AUTH PLAIN\r\n250 injected\r\n").Pause(300).Hangup();
  const int port = peer.Start();
  SmtpSink sink;
  sink.queue = {Message("a@example.org", "x", "y")};
  ASSERT_TRUE(Pass(sink, port, pw::kOptionStartTls, L"user", L"secret"));
  ASSERT_FALSE(sink.errors.empty()) << sink.Dump();
  EXPECT_EQ(sink.sent.size(), 2u) << sink.Dump();
  EXPECT_EQ(sink.Count("S3 250 injected"), 0) << sink.Dump();
  EXPECT_EQ(sink.Count("S15"), 0);
  EXPECT_EQ(sink.Count("S10"), 1);
}

// Final lines with a code and no text; LOGIN prompts in other words are
// answered by their order; the whole message goes and the pass ends.
TEST_F(SmtpHostileTest, BareCodesAndOddLoginPrompts) {
  FakePeer peer;
  peer.Reply("220\r\n").ExpectLine()
      .Reply("250-fake\r\n250-AUTH LOGIN\r\n250\r\n").ExpectLine()
      .Reply("334 " + B64("Your name, please") + "\r\n").ExpectLine()
      .Reply("334 " + B64("And the secret") + "\r\n").ExpectLine()
      .Reply("235\r\n").ExpectLine()
      .Reply("250\r\n").ExpectLine()
      .Reply("250\r\n").ExpectLine()
      .Reply("354\r\n");
  for (int i = 0; i < 7; ++i) peer.ExpectLine();  // four header lines, a blank, "y" and "."
  peer.Reply("250\r\n").ExpectLine()
      .Reply("250\r\n").ExpectLine()
      .Reply("221\r\n");
  const int port = peer.Start();
  SmtpSink sink;
  sink.queue = {Message("a@example.org", "x", "y")};
  ASSERT_TRUE(Pass(sink, port, 0, L"user", L"secret"));
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  EXPECT_EQ(sink.results, std::vector<std::string>{"sent"}) << sink.Dump();
  const std::string got = peer.Received();
  EXPECT_NE(got.find("AUTH LOGIN\r\n" + B64("user") + "\r\n" + B64("secret") + "\r\n"), std::string::npos) << got;
  EXPECT_EQ(sink.Count("S4 *******"), 2);
}

// A third prompt, an empty CRAM-MD5 challenge: "*" ends the exchange and
// the pass ends with 105 instead of waiting.
TEST_F(SmtpHostileTest, UnanswerableAuthIsCancelled) {
  {
    FakePeer peer;
    peer.Reply("220 x\r\n").ExpectLine()
        .Reply("250-x\r\n250 AUTH LOGIN\r\n").ExpectLine()
        .Reply("334 VXNlcm5hbWU6\r\n").ExpectLine()
        .Reply("334 UGFzc3dvcmQ6\r\n").ExpectLine()
        .Reply("334 UGFzc3dvcmQ6\r\n").ExpectLine()
        .Reply("501 cancelled\r\n");
    const int port = peer.Start();
    SmtpSink sink;
    ASSERT_TRUE(Pass(sink, port, 0, L"user", L"secret"));
    EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorLogin}) << sink.Dump();
    EXPECT_EQ(sink.sent.back(), "*");
  }
  {
    FakePeer peer;
    peer.Reply("220 x\r\n").ExpectLine()
        .Reply("250-x\r\n250 AUTH CRAM-MD5\r\n").ExpectLine()
        .Reply("334 \r\n").ExpectLine()
        .Reply("501 cancelled\r\n");
    const int port = peer.Start();
    SmtpSink sink;
    ASSERT_TRUE(Pass(sink, port, 0, L"user", L"secret"));
    EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorLogin}) << sink.Dump();
    EXPECT_EQ(sink.sent.back(), "*");
  }
}

// A server that offers no mechanism gets no AUTH (no password sent unasked).
TEST_F(SmtpHostileTest, NoAuthOfferedNoneSent) {
  FakePeer peer;
  peer.Reply("220 x\r\n").ExpectLine()
      .Reply("250-x\r\n250 8BITMIME\r\n").ExpectLine()
      .Reply("250 ok\r\n").ExpectLine()   // RSET: nothing queued
      .Reply("221 bye\r\n");
  const int port = peer.Start();
  SmtpSink sink;
  ASSERT_TRUE(Pass(sink, port, 0, L"user", L"secret"));
  EXPECT_TRUE(sink.errors.empty()) << sink.Dump();
  ASSERT_EQ(sink.sent.size(), 3u) << sink.Dump();
  EXPECT_EQ(sink.sent[1], "RSET");
}

// Silence after the greeting, and a reply that never ends: both end in an
// error and one close.
TEST_F(SmtpHostileTest, SilenceAndEndlessReply) {
  {
    FakePeer peer;
    peer.Reply("220 x\r\n").ExpectLine();
    const int port = peer.Start();
    SmtpSink sink;
    ASSERT_TRUE(Pass(sink, port, 0, L"", L"", 1500));
    EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorTimeout}) << sink.Dump();
    EXPECT_EQ(sink.Count("S10"), 1);
  }
  {
    FakePeer peer;
    std::string endless;
    for (int i = 0; i < 3000; ++i) endless += "250-0123456789012345678901234567890\r\n";
    peer.Reply("220 x\r\n").ExpectLine().Reply(endless);
    const int port = peer.Start();
    SmtpSink sink;
    ASSERT_TRUE(Pass(sink, port, 0));
    EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorReceive}) << sink.Dump();
    EXPECT_EQ(sink.Count("S10"), 1);
  }
}

// An account that is handed "ready" and never answers still sees the pass
// end: the idle time-out runs while no command is outstanding.
TEST_F(SmtpHostileTest, IdleSessionTimesOut) {
  FakePeer peer;
  peer.Reply("220 x\r\n").ExpectLine().Reply("250 x\r\n");
  const int port = peer.Start();
  SmtpSink sink;  // no session pointer: ready is ignored
  session_ = std::make_unique<pw::MailSession>();
  session_->SetSink(&sink);
  ASSERT_EQ(session_->ConnectSmtp(L"127.0.0.1", static_cast<uint32_t>(port), 0, L"", L"", 1500), 1);
  ASSERT_TRUE(sink.WaitClosed(10000)) << sink.Dump();
  EXPECT_EQ(sink.Count("S15"), 1);
  EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorTimeout}) << sink.Dump();
}

// The wire form of a text: CR LF everywhere, leading dots doubled, so that a
// "." line of the user's can never end DATA.
TEST(SmtpDataText, LineEndsAndDots) {
  EXPECT_EQ(pw::MailSession::DataText("a\nb\rc\r\n.\r\n..x\n.y"), "a\r\nb\r\nc\r\n..\r\n...x\r\n..y\r\n");
  EXPECT_EQ(pw::MailSession::DataText(".\r\nQUIT"), "..\r\nQUIT\r\n");
  EXPECT_EQ(pw::MailSession::DataText(""), "");
}
