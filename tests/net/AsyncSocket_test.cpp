// The socket against a real POP3 server (dovecot) and its helper window's rules.
#include "net/AsyncSocketEx.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "TestSocket.h"
#include "net/SocketHelperWindow.h"
#include "net/SocketLayer.h"
#include "net/SocketTable.h"
#include "support/Pump.h"
#include "support/Services.h"

using pw::CAsyncSocketEx;
using pw::CSocketHelperWindow;
using pw::CSocketLayer;
using pwtest::PumpFor;
using pwtest::PumpUntil;
using pwtest::Service;
using pwtest::TestSocket;

namespace {

const CSocketHelperWindow* HelperOf(const CAsyncSocketEx& s) {
  return reinterpret_cast<CSocketHelperWindow*>(GetWindowLongPtrW(s.GetHelperWindow(), GWLP_USERDATA));
}

// A layer that only passes calls down and events up, and counts them.
class PassLayer : public CSocketLayer {
 public:
  int receives = 0;
  void OnReceive(int error) override {
    ++receives;
    CSocketLayer::OnReceive(error);
  }
};

class Pop3Server : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<Service>("dovecot"); }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override { ASSERT_TRUE(server_->Ok()) << server_->Error(); }
  int Port() const { return server_->Port(); }
  static std::unique_ptr<Service> server_;
};
std::unique_ptr<Service> Pop3Server::server_;

}  // namespace

TEST(SocketTable, GrowsBy512WhenNearlyFullAndNeverBeyondTheMessageRange) {
  pw::SocketTable table;
  auto fake = [](int i) { return reinterpret_cast<CAsyncSocketEx*>(static_cast<intptr_t>(i + 1) * 16); };
  for (int i = 0; i < 502; ++i) ASSERT_EQ(table.Add(fake(i)), i);
  EXPECT_EQ(table.Size(), 512);
  EXPECT_EQ(table.Add(fake(502)), 502);  // count 502 >= 512 - 10
  EXPECT_EQ(table.Size(), 1024);
  for (int i = 503; i < pw::SocketTable::kMaxSize; ++i) ASSERT_GE(table.Add(fake(i)), 0) << i;
  EXPECT_EQ(table.Size(), pw::SocketTable::kMaxSize);
  EXPECT_EQ(table.Add(fake(0)), -1);  // full: not registered
  table.Remove(7);
  EXPECT_EQ(table.Add(fake(0)), 7);
}

TEST(SocketTable, FreedSlotIsNotReusedAtOnce) {
  pw::SocketTable table;
  auto* a = reinterpret_cast<CAsyncSocketEx*>(16);
  EXPECT_EQ(table.Add(a), 0);
  table.Remove(0);
  EXPECT_EQ(table.Add(a), 1);  // the search goes on from the hint
  EXPECT_EQ(table.Count(), 1);
}

TEST(AsyncSocket, HelperWindowPerThreadLivesWithItsSockets) {
  auto s = std::make_unique<TestSocket>();
  ASSERT_TRUE(s->Create());
  HWND wnd = s->GetHelperWindow();
  ASSERT_TRUE(IsWindow(wnd));
  wchar_t name[64] = {};
  GetClassNameW(wnd, name, 64);
  EXPECT_STREQ(name, L"CAsyncSocketEx Helper Window");
  GetWindowTextW(wnd, name, 64);
  EXPECT_STREQ(name, L"CAsyncSocketEx Helper Window");
  EXPECT_FALSE(IsWindowVisible(wnd));

  TestSocket second;
  ASSERT_TRUE(second.Create());
  EXPECT_EQ(second.GetHelperWindow(), wnd);
  HWND other = nullptr;
  std::thread([&other] {
    TestSocket t;
    t.Create();
    other = t.GetHelperWindow();
  }).join();
  EXPECT_NE(other, nullptr);
  EXPECT_NE(other, wnd);
  EXPECT_FALSE(IsWindow(other));  // its thread's last socket is gone

  EXPECT_FALSE(s->Create());  // a second Create
  EXPECT_EQ(WSAGetLastError(), WSAEALREADY);
  s.reset();
  EXPECT_TRUE(IsWindow(wnd));  // "second" still uses it
}

TEST(AsyncSocket, The503rdSocketGrowsTheTable) {
  std::vector<std::unique_ptr<TestSocket>> sockets;
  for (int i = 0; i < 503; ++i) {
    sockets.push_back(std::make_unique<TestSocket>());
    ASSERT_TRUE(sockets.back()->Create()) << i << " " << WSAGetLastError();
    if (i == 501) {
      EXPECT_EQ(HelperOf(*sockets.back())->Table().Size(), 512);
    }
  }
  EXPECT_EQ(HelperOf(*sockets.back())->Table().Size(), 1024);
  EXPECT_EQ(HelperOf(*sockets.back())->Table().Count(), 503);
}

TEST(AsyncSocket, AddLayerIsRefusedOnceCreated) {
  PassLayer a, b;
  TestSocket s;
  ASSERT_TRUE(s.Create()) << WSAGetLastError();
  EXPECT_FALSE(s.AddLayer(&a));
  EXPECT_FALSE(s.HasLayers());
  s.Close();
  EXPECT_TRUE(s.AddLayer(&a));
  EXPECT_TRUE(s.AddLayer(&b));
  EXPECT_TRUE(s.Create());
  EXPECT_EQ(a.GetLayerState(), pw::kLayerUnconnected);
  EXPECT_EQ(b.GetLayerState(), pw::kLayerUnconnected);
  s.Close();
  EXPECT_FALSE(s.HasLayers());  // Close forgets the chain; the layers stay the caller's
  EXPECT_EQ(a.GetLayerState(), pw::kLayerNone);
}

TEST(AsyncSocket, TimerFiresOnceAndASecondIdReplacesTheFirst) {
  TestSocket s;
  ASSERT_TRUE(s.Create());
  ASSERT_TRUE(s.SetTimer(1, 30));
  EXPECT_EQ(s.GetTimerId(), 1u);
  ASSERT_TRUE(PumpUntil([&] { return s.timers == 1; }, 3000));
  EXPECT_EQ(s.GetTimerId(), 0u);
  PumpFor(200);
  EXPECT_EQ(s.timers, 1);

  ASSERT_TRUE(s.SetTimer(1, 60000));
  ASSERT_TRUE(s.SetTimer(2, 30));  // one timer per socket: now id 2, 30 ms
  EXPECT_EQ(s.GetTimerId(), 2u);
  EXPECT_FALSE(s.KillTimer(1));    // not the current id
  ASSERT_TRUE(PumpUntil([&] { return s.timers == 2; }, 3000));
  PumpFor(150);
  EXPECT_EQ(s.timers, 2);

  ASSERT_TRUE(s.SetTimer(1, 30));
  EXPECT_TRUE(s.KillTimer(1));
  ASSERT_TRUE(s.SetTimer(2, 30));
  s.Close();  // a closed socket's timer must not reach the next socket in its slot
  PumpFor(150);
  EXPECT_EQ(s.timers, 2);
}

TEST_F(Pop3Server, ConversationWithOneOnClosePerClose) {
  TestSocket s;
  ASSERT_TRUE(s.Create());
  const BOOL ok = s.Connect("127.0.0.1", Port());
  ASSERT_TRUE(ok || WSAGetLastError() == WSAEWOULDBLOCK);
  ASSERT_TRUE(PumpUntil([&] { return s.data.find("\r\n") != std::string::npos; }, 5000)) << s.data;
  EXPECT_EQ(s.connects, 1);
  EXPECT_EQ(s.connectError, 0);
  EXPECT_EQ(s.data.rfind("+OK", 0), 0u);
  s.data.clear();
  s.Write("QUIT\r\n");
  // The server answers and closes: FD_CLOSE reaches the owner once.
  ASSERT_TRUE(PumpUntil([&] { return s.closes == 1; }, 5000));
  EXPECT_EQ(s.data.rfind("+OK", 0), 0u) << s.data;
  s.Close();  // the same close: not reported again
  s.Close();
  PumpFor(100);
  EXPECT_EQ(s.closes, 1);

  // A new connection of the same object, closed by the owner: one OnClose(0).
  ASSERT_TRUE(s.Create());
  s.Connect("127.0.0.1", Port());
  ASSERT_TRUE(PumpUntil([&] { return s.connects == 2; }, 5000));
  s.Close();
  EXPECT_EQ(s.closes, 2);
  EXPECT_EQ(s.closeError, 0);
  s.Close();
  EXPECT_EQ(s.closes, 2);
}

TEST_F(Pop3Server, NameIsLookedUpWithoutBlocking) {
  TestSocket s;
  ASSERT_TRUE(s.Create());
  EXPECT_TRUE(s.Connect("localhost", Port()));
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  ASSERT_TRUE(PumpUntil([&] { return !s.data.empty(); }, 5000));
  EXPECT_EQ(s.connectError, 0);

  TestSocket bad;
  ASSERT_TRUE(bad.Create());
  ASSERT_TRUE(bad.Connect("no-such-host.invalid", Port()));
  ASSERT_TRUE(PumpUntil([&] { return bad.connects == 1; }, 10000));
  EXPECT_NE(bad.connectError, 0);  // the lookup's error
  EXPECT_EQ(bad.closes, 0);
}

TEST_F(Pop3Server, StaleNotificationsAreIgnoredAfterTheSlotIsReused) {
  auto first = std::make_unique<TestSocket>();
  ASSERT_TRUE(first->Create());
  first->Connect("127.0.0.1", Port());
  // Let Winsock queue FD_CONNECT, FD_WRITE and FD_READ without handling them.
  // Winsock gives the next socket the same handle value, so only dropping
  // them at close keeps them from the socket that takes the slot next.
  Sleep(500);
  const int slot = first->GetSlot();
  const SOCKET oldHandle = first->GetSocketHandle();
  HWND wnd = first->GetHelperWindow();
  TestSocket keep;  // keeps the helper window when "first" goes
  ASSERT_TRUE(keep.Create());
  first.reset();
  // Walk the round-robin search once around so that the next socket takes the slot.
  TestSocket reuse;
  for (int i = 0; i < pw::SocketTable::kInitialSize; ++i) {
    ASSERT_TRUE(reuse.Create());
    if (reuse.GetSlot() == slot) break;
    reuse.Close();
  }
  ASSERT_EQ(reuse.GetSlot(), slot);
  reuse.closes = 0;  // the walk's own closes
  PostMessageW(wnd, pw::kMsgSocketBase + slot, static_cast<WPARAM>(oldHandle + 4), MAKELONG(FD_CLOSE, 0));
  if (reuse.GetSocketHandle() != oldHandle)
    PostMessageW(wnd, pw::kMsgSocketBase + slot, static_cast<WPARAM>(oldHandle), MAKELONG(FD_READ, 0));
  PumpFor(300);
  EXPECT_EQ(reuse.connects, 0);
  EXPECT_EQ(reuse.receives, 0);
  EXPECT_EQ(reuse.closes, 0);
}

TEST_F(Pop3Server, LayersSeeEveryEventAndTheOwnerOnlyWhatItAsked) {
  PassLayer top, bottom;
  TestSocket s;
  ASSERT_TRUE(s.AddLayer(&top));
  ASSERT_TRUE(s.AddLayer(&bottom));
  ASSERT_TRUE(s.Create(0, SOCK_STREAM, FD_CONNECT | FD_CLOSE));  // no FD_READ for the owner
  s.Connect("127.0.0.1", Port());
  ASSERT_TRUE(PumpUntil([&] { return s.connects == 1 && top.receives > 0; }, 5000));
  EXPECT_EQ(s.receives, 0);
  EXPECT_EQ(bottom.receives, top.receives);
  EXPECT_EQ(top.GetLayerState(), pw::kLayerConnected);
  // The owner heard every state change of both layers: 0 -> 1 -> 2 -> 4.
  int changes = 0;
  for (const auto& n : s.notes) changes += n.kind == 0 && n.layer == &top;
  EXPECT_EQ(changes, 3);
  char buffer[64];
  const int n = s.Receive(buffer, sizeof(buffer));
  ASSERT_GT(n, 3);
  EXPECT_EQ(std::string(buffer, 3), "+OK");

  // An FD_READ with nothing to read reaches no layer.
  const int before = bottom.receives;
  PostMessageW(s.GetHelperWindow(), pw::kMsgSocketBase + s.GetSlot(), static_cast<WPARAM>(s.GetSocketHandle()),
               MAKELONG(FD_READ, 0));
  PumpFor(200);
  EXPECT_EQ(bottom.receives, before);

  // Events posted for a connection that has since closed are dropped.
  s.PostEvent(FD_CLOSE);
  s.Close();
  const int closes = s.closes;
  PumpFor(200);
  EXPECT_EQ(s.closes, closes);
}

TEST(AsyncSocket, PostEventReachesTheOwnerThroughItsMask) {
  TestSocket s;
  ASSERT_TRUE(s.Create(0, SOCK_STREAM, FD_READ | pw::FD_REREAD));
  EXPECT_TRUE(s.PostEvent(FD_WRITE));   // not asked for, and without layers Winsock never selected it
  EXPECT_TRUE(s.PostEvent(pw::FD_REREAD));
  s.readOnReceive = false;
  PumpFor(200);
  EXPECT_EQ(s.receives, 1);
  EXPECT_EQ(s.sends, 1);  // without layers a posted event goes straight to its handler
  s.Close();
  EXPECT_FALSE(s.PostEvent(FD_READ));
}
