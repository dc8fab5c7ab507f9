// The account's time-out bounds every phase of a session: a connect to a
// server whose listen queue is full, a reply that drips in too slowly to
// count as progress, and a proxy that never answers. A steady but slow
// reply still arrives whole.
// The dripping peer and the silent proxy are scripted: no real server does
// either.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mail/MailSession.h"
#include "mail/RecordingSink.h"
#include "net/NetHandles.h"
#include "net/ProxyLayer.h"
#include "support/FakePeer.h"
#include "support/Pump.h"

using pwtest::FakePeer;
using pwtest::RecordingSink;

namespace {

constexpr uint32_t kTimeout = 2000;

// A listener with a backlog of 0 that never accepts, its queue filled by
// connections of our own: the next SYN is dropped, and a connect would wait
// for the system's own limit (minutes).
class FullListener {
 public:
  FullListener() {
    listener_.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(listener_.Get(), 0) != 0)
      return;
    int len = sizeof(a);
    getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    // Connections complete until the queue is full; the first one that does
    // not complete within a moment shows it is.
    for (int i = 0; i < 64 && !full_; ++i) {
      pw::ScopedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
      u_long nonBlocking = 1;
      ioctlsocket(s.Get(), FIONBIO, &nonBlocking);
      connect(s.Get(), reinterpret_cast<sockaddr*>(&a), sizeof(a));
      fd_set w;
      FD_ZERO(&w);
      FD_SET(s.Get(), &w);
      timeval tv = {0, 500000};
      if (select(0, nullptr, &w, nullptr, &tv) == 0) full_ = true;
      fillers_.push_back(std::move(s));
    }
  }
  bool Full() const { return full_; }
  int Port() const { return port_; }

 private:
  pw::ScopedSocket listener_;
  std::vector<pw::ScopedSocket> fillers_;
  int port_ = 0;
  bool full_ = false;
};

class Pop3TimeoutTest : public ::testing::Test {
 protected:
  void Start(int port) {
    session_.SetSink(&sink_);
    started_ = GetTickCount64();
    ASSERT_EQ(session_.ConnectPop3(L"127.0.0.1", static_cast<uint32_t>(port), 0, L"u", L"p", kTimeout), 1);
  }
  ULONGLONG Elapsed() const { return GetTickCount64() - started_; }

  RecordingSink sink_;
  pw::MailSession session_;
  ULONGLONG started_ = 0;
};

}  // namespace

TEST_F(Pop3TimeoutTest, ConnectToAFullListenQueueEndsWithTheTimeout) {
  FullListener server;
  ASSERT_TRUE(server.Full()) << "the listen queue never filled";
  Start(server.Port());
  ASSERT_TRUE(sink_.WaitClosed(kTimeout + 3000)) << "still connecting after " << Elapsed() << " ms";
  EXPECT_GE(Elapsed(), kTimeout - 100);
  EXPECT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorTimeout}) << sink_.Dump();
  EXPECT_EQ(sink_.Count("S10"), 1);
}

TEST_F(Pop3TimeoutTest, SilentProxyEndsWithTheTimeout) {
  // A SOCKS 5 proxy that takes the connection and the greeting and never
  // answers (scripted: no real proxy stays silent).
  FakePeer proxy;
  proxy.Expect(3).Pause(30000);
  const int port = proxy.Start();
  ASSERT_NE(port, 0);
  session_.SetProxy(L"127.0.0.1", static_cast<uint32_t>(port), pw::kProxySocks5, nullptr, nullptr);
  Start(110);
  ASSERT_TRUE(sink_.WaitClosed(kTimeout + 3000)) << "still connecting after " << Elapsed() << " ms";
  EXPECT_GE(Elapsed(), kTimeout - 100);
  EXPECT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorTimeout}) << sink_.Dump();
}

TEST_F(Pop3TimeoutTest, DrippingReplyEndsWithinOneWindow) {
  // A byte every 400 ms keeps the connection busy well inside the
  // inactivity time-out, but 5 bytes per window are no progress.
  FakePeer peer;
  peer.Reply("+OK ready\r\n").Expect(8);
  for (char c : std::string("+OK this greeting of the USER reply is dripping in forever\r\n"))
    peer.Reply(std::string(1, c)).Pause(400);
  Start(peer.Start());
  ASSERT_TRUE(sink_.WaitClosed(kTimeout * 3)) << "still busy after " << Elapsed() << " ms\n" << sink_.Dump();
  // One window ends it near kTimeout; a second would not end before
  // 2 * kTimeout. The margin between is for a loaded machine.
  EXPECT_LT(Elapsed(), kTimeout * 2);
  EXPECT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorTimeout}) << sink_.Dump();
  EXPECT_EQ(sink_.sent, std::vector<std::string>{"USER u"});
}

TEST_F(Pop3TimeoutTest, SlowSteadyReplyArrivesWhole) {
  // 1.5 KiB every 1.2 s: each window brings more than 1 KiB, so a listing
  // that takes three windows arrives.
  FakePeer peer;
  peer.Reply("+OK ready\r\n").Expect(8).Reply("+OK\r\n").Expect(8).Reply("+OK\r\n").Expect(6).Reply("+OK 600 6000\r\n")
      .Expect(6).Reply("+OK\r\n");
  std::string listing;
  for (int i = 1; i <= 600; ++i) listing += std::to_string(i) + " 10\r\n";
  listing += ".\r\n";
  for (size_t at = 0; at < listing.size(); at += 1536) peer.Pause(1200).Reply(listing.substr(at, 1536));
  peer.Expect(6).Reply("-ERR no UIDL\r\n").Expect(6).Reply("+OK bye\r\n");
  Start(peer.Start());
  ASSERT_TRUE(sink_.WaitClosed(20000)) << sink_.Dump();
  EXPECT_GT(Elapsed(), static_cast<ULONGLONG>(kTimeout));
  // The listing came through; the refused UIDL is the only error.
  EXPECT_EQ(sink_.errors, std::vector<uint32_t>{pw::kErrorCommand}) << sink_.Dump();
  EXPECT_EQ(sink_.sent, (std::vector<std::string>{"USER u", "*******", "STAT", "LIST", "UIDL", "QUIT"}));
}
