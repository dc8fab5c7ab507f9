// POP3 sessions against a scripted peer, for what no real server does: a
// refused STLS, a line injected after STLS, silence, an endless line, a
// refused DELE, replies dribbling in byte by byte, listings with bad numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "account/MailAccount.h"
#include "base/Md5.h"
#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "support/FakePeer.h"

using pwtest::FakePeer;
using pwtest::RecordingSink;

namespace {

class Pop3HostileTest : public ::testing::Test {
 protected:
  void Start(FakePeer& peer, uint32_t options, uint32_t timeout = 5000) {
    const int port = peer.Start();
    ASSERT_NE(port, 0);
    session_.SetSink(&sink_);
    ASSERT_EQ(session_.ConnectPop3(L"127.0.0.1", static_cast<uint32_t>(port), options, L"u", L"p", timeout), 1);
  }
  int Closes() const {
    int n = 0;
    for (const auto& l : sink_.log) n += l == "S10";
    return n;
  }

  RecordingSink sink_;
  pw::MailSession session_;
};

// Sends bytes one call each, a moment apart, so the session sees them in
// many chunks and every terminator split at every place.
void Dribble(FakePeer& peer, const std::string& bytes, DWORD pauseMs = 1) {
  for (char c : bytes) peer.Reply(std::string(1, c)).Pause(pauseMs);
}

}  // namespace

TEST_F(Pop3HostileTest, RefusedStlsSendsNoCredentials) {
  FakePeer peer;
  peer.Reply("+OK ready\r\n").Expect(6).Reply("-ERR not now\r\n").Expect(6).Reply("+OK bye\r\n");
  Start(peer, pw::kOptionStartTls);
  ASSERT_TRUE(sink_.WaitClosed()) << sink_.Dump();
  EXPECT_EQ(peer.Received(), "STLS\r\nQUIT\r\n");
  ASSERT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorTlsConnect}) << sink_.Dump();
  // Shown as "Impossible to establish SSL connection", not as the server's line.
  EXPECT_NE(std::find(sink_.log.begin(), sink_.log.end(), "E302 0"), sink_.log.end()) << sink_.Dump();
  EXPECT_EQ(Closes(), 1);
}

TEST_F(Pop3HostileTest, LineInjectedAfterStlsIsNotTrusted) {
  // The injected line arrives with the "+OK"; it must neither be taken as a
  // reply nor let the login go out unprotected.
  FakePeer peer;
  peer.Reply("+OK ready\r\n").Expect(6).Reply("+OK begin TLS\r\n+OK injected\r\n").Expect(5).Hangup();
  Start(peer, pw::kOptionStartTls);
  ASSERT_TRUE(sink_.WaitClosed()) << sink_.Dump();
  const std::string received = peer.Received();
  EXPECT_EQ(received.find("USER"), std::string::npos);
  EXPECT_EQ(received.rfind("STLS\r\n\x16\x03", 0), 0u);  // then a TLS ClientHello
  for (const auto& l : sink_.log) EXPECT_EQ(l.find("injected"), std::string::npos) << l;
  EXPECT_FALSE(sink_.errors.empty());
  EXPECT_EQ(Closes(), 1);
}

TEST_F(Pop3HostileTest, SilentServerTimesOut) {
  FakePeer peer;
  peer.Expect(1);  // never answers
  Start(peer, 0, 400);
  ASSERT_TRUE(sink_.WaitClosed(5000)) << sink_.Dump();
  EXPECT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorTimeout});
  pwtest::PumpFor(600);
  EXPECT_EQ(Closes(), 1);
}

TEST_F(Pop3HostileTest, ChunksTooSmallForProgressDoNotRestartTheTimeOut) {
  // No gap between the greeting's bytes reaches the time-out, but the
  // whole greeting takes far longer than it: ten bytes are no progress, and
  // the first window ends the session.
  FakePeer peer;
  Dribble(peer, "+OK slow\r\n", 120);
  peer.Expect(8).Reply("+OK\r\n");
  Start(peer, 0, 500);
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(sink_.WaitClosed(8000)) << sink_.Dump();
  EXPECT_LT(GetTickCount64() - start, 1100u);
  EXPECT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorTimeout}) << sink_.Dump();
  EXPECT_EQ(peer.Received(), "");
  pwtest::PumpFor(700);
  EXPECT_EQ(Closes(), 1);
}

TEST_F(Pop3HostileTest, EndlessLineEndsTheSession) {
  FakePeer peer;
  peer.Reply("+OK " + std::string(pw::MailSession::kMaxLineReply + 4096, 'x')).Expect(1);
  Start(peer, 0);
  ASSERT_TRUE(sink_.WaitClosed()) << sink_.Dump();
  EXPECT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorReceive});
  EXPECT_EQ(Closes(), 1);
}

TEST_F(Pop3HostileTest, ServerStopsMidReply) {
  FakePeer peer;
  peer.Reply("+OK ready\r\n").Expect(8).Reply("+OK\r\n").Expect(8).Reply("+OK\r\n").Expect(6).Reply("+OK 1 5\r\n")
      .Expect(6).Reply("+OK\r\n1 5\r\n").Hangup();
  Start(peer, 0);
  ASSERT_TRUE(sink_.WaitClosed()) << sink_.Dump();
  ASSERT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorReceive});
  EXPECT_NE(sink_.log.back().find("S10"), std::string::npos);
  EXPECT_TRUE(sink_.listed.empty());
}

TEST_F(Pop3HostileTest, RefusedDeleEndsWithQuitAndBytesDribble) {
  FakePeer peer;
  Dribble(peer, "+OK ready\r\n");
  peer.Expect(8);
  Dribble(peer, "+OK\r\n");
  peer.Expect(8);
  Dribble(peer, "+OK logged in\r\n");
  peer.Expect(6);
  Dribble(peer, "+OK 4 40\r\n");
  peer.Expect(6);
  // Numbers 0 and above the count are ignored.
  Dribble(peer, "+OK\r\n0 99\r\n1 10\r\n2 20\r\n3 30\r\n4 40\r\n9 90\r\n.\r\n");
  peer.Expect(6);
  // Message 3 has no id: it is not handed over.
  Dribble(peer, "+OK\r\n0 zero\r\n1 aa\r\n2 bb\r\n4 dd\r\n7 gg\r\n.\r\n");
  // CAPA (three commands due) refused: the conversation stays lockstep.
  peer.Expect(6);
  Dribble(peer, "-ERR unknown command\r\n");
  peer.Expect(9);  // TOP 1 0
  Dribble(peer, "+OK\r\nSubject: x\r\n.\r\n");
  peer.Expect(9);  // TOP 2 0
  peer.Reply("-ERR no such message\r\n.\r\n");  // a refusal is one line
  peer.Expect(6).Reply("+OK\r\n");
  sink_.onList = [](const std::string& uidl) { return uidl == "dd" ? 3 : 1; };
  sink_.onHeader = [](const std::string&) { return 3; };
  Start(peer, 0);
  ASSERT_TRUE(sink_.WaitClosed()) << sink_.Dump();
  EXPECT_EQ(sink_.listed, (std::vector<std::string>{"<begin>", "aa", "bb", "dd", "<end>"}));
  EXPECT_EQ(sink_.headers["aa"], "\r\nSubject: x\r\n");
  EXPECT_EQ(sink_.failed, std::vector<std::string>{"1 bb"});
  EXPECT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorCommand});
  EXPECT_TRUE(sink_.deleted.empty());
  EXPECT_EQ(peer.Received(), "USER u\r\nPASS p\r\nSTAT\r\nLIST\r\nUIDL\r\nCAPA\r\nTOP 1 0\r\nTOP 2 0\r\nQUIT\r\n");
  EXPECT_EQ(Closes(), 1);
}

TEST_F(Pop3HostileTest, RefusedDeleStopsFurtherDeletions) {
  FakePeer peer;
  peer.Reply("+OK <1.2@x>\r\n").Expect(41).Reply("+OK\r\n").Expect(6).Reply("+OK 2 20\r\n").Expect(6)
      .Reply("+OK\r\n1 10\r\n2 10\r\n.\r\n").Expect(6).Reply("+OK\r\n1 a\r\n2 b\r\n.\r\n").Expect(6)
      .Reply("+OK\r\nUSER\r\nUIDL\r\n.\r\n").Expect(8)
      .Reply("-ERR locked\r\n").Expect(6).Reply("+OK\r\n");
  sink_.onList = [](const std::string&) { return 3; };
  Start(peer, pw::kOptionApop);
  ASSERT_TRUE(sink_.WaitClosed()) << sink_.Dump();
  // The digest of the time stamp followed by the secret, in lower-case hex.
  const std::string received = peer.Received();
  EXPECT_EQ(received.substr(0, 41), "APOP u " + pw::Md5::Hex("<1.2@x>p", 8) + "\r\n");
  // CAPA without PIPELINING: one DELE at a time.
  EXPECT_EQ(received.substr(41), "STAT\r\nLIST\r\nUIDL\r\nCAPA\r\nDELE 1\r\nQUIT\r\n");
  EXPECT_EQ(sink_.failed, std::vector<std::string>{"3 a"});
  EXPECT_TRUE(sink_.deleted.empty());
}
