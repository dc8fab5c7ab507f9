// Pipelined sessions against a scripted peer. No real server can be made to
// drop the connection after exactly the n-th reply, refuse one TOP in the
// middle of a pipeline, or stop reading while commands are still coming:
// the peer plays those faults at a chosen point. Each ends with one error
// report, one end of session and no deletion that the peer did not
// acknowledge.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "account/MailAccount.h"
#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "support/FakePeer.h"

using pwtest::FakePeer;
using pwtest::RecordingSink;

namespace {

constexpr int kCount = 4;
const char* const kIds[kCount] = {"a", "b", "c", "d"};
const char kHeader[] = "+OK\r\nSubject: s\r\n\r\n.\r\n";

// Login and listing of four messages, then CAPA announcing PIPELINING.
void LoginAndList(FakePeer& peer) {
  peer.Reply("+OK ready\r\n").ExpectLine().Reply("+OK\r\n").ExpectLine().Reply("+OK in\r\n");
  peer.ExpectLine().Reply("+OK 4 400\r\n");
  peer.ExpectLine().Reply("+OK\r\n1 100\r\n2 100\r\n3 100\r\n4 100\r\n.\r\n");
  peer.ExpectLine().Reply("+OK\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n.\r\n");
  peer.ExpectLine().Reply("+OK\r\nUSER\r\nTOP\r\nPIPELINING\r\nUIDL\r\n.\r\n");
}

class Pop3PipelineHostileTest : public ::testing::Test {
 protected:
  void Run(FakePeer& peer, int action, RecordingSink& sink, pw::MailSession& session, size_t errors = 1) {
    sink.onList = [action](const std::string&) { return action; };
    const int port = peer.Start();
    ASSERT_NE(port, 0);
    session.SetSink(&sink);
    ASSERT_EQ(session.ConnectPop3(L"127.0.0.1", static_cast<uint32_t>(port), 0, L"u", L"p", 5000), 1);
    ASSERT_TRUE(sink.WaitClosed(10000)) << sink.Dump();
    pwtest::PumpFor(200);  // nothing more may come after the end
    EXPECT_EQ(sink.errors.size(), errors) << sink.Dump();
    EXPECT_EQ(sink.Count("S10"), 1) << sink.Dump();
  }
};

}  // namespace

TEST_F(Pop3PipelineHostileTest, DropAfterTheNthReply) {
  for (int n = 0; n < kCount; ++n) {
    SCOPED_TRACE("headers before the drop: " + std::to_string(n));
    FakePeer peer;
    LoginAndList(peer);
    for (int i = 0; i < kCount; ++i) peer.ExpectLine();  // the whole window came at once
    for (int i = 0; i < n; ++i) peer.Reply(kHeader);
    peer.Hangup();
    RecordingSink sink;
    pw::MailSession session;
    Run(peer, pw::kActionHeader, sink, session);
    EXPECT_EQ(sink.headers.size(), static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) EXPECT_EQ(sink.headers.count(kIds[i]), 1u);
    EXPECT_EQ(peer.Received().find("TOP 1 0\r\nTOP 2 0\r\nTOP 3 0\r\nTOP 4 0\r\n") != std::string::npos, true);
  }
}

TEST_F(Pop3PipelineHostileTest, DropDuringDeletionsCountsOnlyAcknowledged) {
  for (int n = 0; n < kCount; ++n) {
    SCOPED_TRACE("deletions acknowledged: " + std::to_string(n));
    FakePeer peer;
    LoginAndList(peer);
    for (int i = 0; i < kCount; ++i) peer.ExpectLine();
    for (int i = 0; i < n; ++i) peer.Reply("+OK marked\r\n");
    peer.Hangup();
    RecordingSink sink;
    pw::MailSession session;
    Run(peer, pw::kActionDelete, sink, session);
    EXPECT_EQ(sink.deleted, std::vector<std::string>(kIds, kIds + n));
  }
}

TEST_F(Pop3PipelineHostileTest, RefusedTopMidwayEndsWithQuit) {
  FakePeer peer;
  LoginAndList(peer);
  for (int i = 0; i < kCount; ++i) peer.ExpectLine();
  peer.Reply(kHeader).Reply("-ERR no such message\r\n").Reply(kHeader).Reply(kHeader);
  peer.ExpectLine().Reply("+OK bye\r\n");
  RecordingSink sink;
  pw::MailSession session;
  Run(peer, pw::kActionHeader, sink, session);
  EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorCommand});
  EXPECT_EQ(sink.failed, std::vector<std::string>{"1 b"});
  // The header before the refusal was handed over; none after it.
  EXPECT_EQ(sink.headers.size(), 1u);
  EXPECT_EQ(sink.headers.count("a"), 1u);
  EXPECT_EQ(sink.sent.back(), "QUIT");
  EXPECT_EQ(peer.Received().substr(peer.Received().size() - 6), "QUIT\r\n");
}

TEST_F(Pop3PipelineHostileTest, RefusedDeleCountsTheOthersAcknowledged) {
  FakePeer peer;
  LoginAndList(peer);
  for (int i = 0; i < kCount; ++i) peer.ExpectLine();
  peer.Reply("+OK\r\n").Reply("-ERR locked\r\n").Reply("+OK\r\n").Reply("+OK\r\n");
  peer.ExpectLine().Reply("+OK bye\r\n");
  RecordingSink sink;
  pw::MailSession session;
  Run(peer, pw::kActionDelete, sink, session);
  EXPECT_EQ(sink.failed, std::vector<std::string>{"3 b"});
  // The server commits c and d at QUIT: their own "+OK" came.
  EXPECT_EQ(sink.deleted, (std::vector<std::string>{"a", "c", "d"}));
}

TEST_F(Pop3PipelineHostileTest, PeerNotReadingDoesNotStallTheSession) {
  // The peer reads nothing until the client has stopped sending for a
  // while; a client that insisted on sending first would wait for ever.
  FakePeer peer;
  LoginAndList(peer);
  peer.Pause(1500);
  for (int i = 0; i < kCount; ++i) peer.ExpectLine();
  for (int i = 0; i < kCount; ++i) peer.Reply(kHeader);
  peer.ExpectLine().Reply("+OK bye\r\n");
  RecordingSink sink;
  pw::MailSession session;
  Run(peer, pw::kActionHeader, sink, session, 0);
  EXPECT_EQ(sink.headers.size(), static_cast<size_t>(kCount));
  EXPECT_EQ(sink.sent.back(), "QUIT");
}

TEST_F(Pop3PipelineHostileTest, EndlessCapaReplyEndsTheSession) {
  FakePeer peer;
  peer.Reply("+OK ready\r\n").ExpectLine().Reply("+OK\r\n").ExpectLine().Reply("+OK in\r\n");
  peer.ExpectLine().Reply("+OK 2 200\r\n").ExpectLine().Reply("+OK\r\n1 100\r\n2 100\r\n.\r\n");
  peer.ExpectLine().Reply("+OK\r\n1 a\r\n2 b\r\n.\r\n").ExpectLine().Reply("+OK\r\n");
  const std::string line(1000, 'X');
  for (int i = 0; i < 80; ++i) peer.Reply(line + "\r\n");  // 80 KB, no end
  peer.Pause(3000);
  RecordingSink sink;
  pw::MailSession session;
  Run(peer, pw::kActionHeader, sink, session);
  EXPECT_EQ(sink.errors, std::vector<uint32_t>{pw::kErrorReceive});
  EXPECT_TRUE(sink.headers.empty());
}
