// The checker thread inside a Plug-in object: its ticks start the accounts'
// checks, keep the button state and ask the host to save and repaint;
// pausing closes a running session and "Check Mail Now" is ignored while
// paused; resuming continues from the stored times.
#include <winsock2.h>
#include <gtest/gtest.h>

#include "FakeHost.h"
#include "TestStreams.h"
#include "base/Module.h"
#include "base/SettingsTree.h"
#include "core/PluginObject.h"
#include "support/Pump.h"
#include "support/Services.h"

namespace {

// A server that accepts (through the listen backlog) and never answers.
class SilentServer {
 public:
  SilentServer() {
    s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(s_, 8);
    int len = sizeof(a);
    getsockname(s_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~SilentServer() { closesocket(s_); }
  int Port() const { return port_; }

 private:
  SOCKET s_;
  int port_ = 0;
};

struct Winsock {
  Winsock() {
    WSADATA d;
    WSAStartup(MAKEWORD(2, 2), &d);
  }
  ~Winsock() { WSACleanup(); }
};

// A running object (not paused) with one account on 127.0.0.1:port.
pw::PluginObject* Start(int port, pwtest::FakeHost& host) {
  pw::SetDllModule(GetModuleHandleW(nullptr));
  auto* p = new pw::PluginObject();
  p->SetHost(&host);
  pw::SettingsTree t;
  t.CreateNode(L"accounts");
  t.SetInt(L"count", 1);
  t.CreateNode(L"account#0");
  t.CreateNode(L"settings");
  t.SetString(L"AccountName", L"Box");
  t.SetInt(L"timeout", 60000);
  t.CloseNode();
  t.CreateNode(L"incomming");
  t.SetString(L"server", L"127.0.0.1");
  t.SetInt(L"port", port);
  t.CloseNode();
  t.CloseNode();
  t.CloseNode();
  std::vector<uint8_t> bytes = {25, 0, 0, 0};
  std::vector<uint8_t> tree = pwtest::WriteTree(t);
  bytes.insert(bytes.end(), tree.begin(), tree.end());
  pw::ComPtr<IStream> s;
  *s.Out() = pwtest::MemoryStream(bytes);
  p->Load(s.Get());
  return p;
}

bool WaitFor(const std::function<bool()>& done, DWORD ms = 10000) { return pwtest::PumpUntil(done, ms); }

}  // namespace

TEST(Checker, PauseClosesTheSessionAndResumeKeepsTheStoredTimes) {
  Winsock ws;
  SilentServer server;
  pwtest::FakeHost host;
  pw::PluginObject* p = Start(server.Port(), host);
  ASSERT_TRUE(p->CheckerRunning());
  pw::MailAccount& a = *p->Accounts()[0];
  ASSERT_TRUE(WaitFor([&] { return a.busy != 0; })) << "the first tick starts the first check";

  p->OnMenuCommand(2);  // pause
  EXPECT_FALSE(p->CheckerRunning());
  EXPECT_EQ(a.busy, 0u) << "the running session was closed";
  EXPECT_EQ(a.checksEnded, 1u);
  const uint32_t last = a.lastCheckTime;
  EXPECT_NE(last, 0u);
  EXPECT_EQ(a.GetStatus(), pw::AccountStatus::Suspended);

  p->OnMenuCommand(0);  // "Check Mail Now" while paused: ignored
  EXPECT_FALSE(p->CheckNowPending());

  p->OnMenuCommand(2);  // resume: not due for another minute
  EXPECT_TRUE(p->CheckerRunning());
  pwtest::PumpFor(400);
  EXPECT_EQ(a.busy, 0u);
  EXPECT_EQ(a.lastCheckTime, last);
  EXPECT_GT(a.secondsToNext, 50);

  p->OnMenuCommand(0);  // now honoured
  EXPECT_TRUE(WaitFor([&] { return a.busy != 0; }));
  EXPECT_TRUE(WaitFor([&] { return !p->CheckNowPending(); }));
  p->SetHost(nullptr);
  p->Release();  // stops the checker, which closes the session
}

TEST(Checker, TicksKeepTheButtonStateAndAskTheHostToSave) {
  Winsock ws;
  // A port nobody listens on: the check fails at once with error 102.
  const int port = pwtest::FreePort();
  pwtest::FakeHost host;
  pw::PluginObject* p = Start(port, host);
  pw::MailAccount& a = *p->Accounts()[0];
  ASSERT_TRUE(WaitFor([&] { return a.checksEnded != 0; }));
  EXPECT_EQ(a.lastError, static_cast<uint32_t>(pw::kErrorConnect));
  ASSERT_TRUE(WaitFor([&] { return p->ButtonFlags() == 2; })) << "bit 1: a check failed";

  // New mail: bit 0, and the frame runs while it is shown.
  a.lastError = 0;
  a.OnListEntry(nullptr, 0);
  a.OnListEntry("fresh", 10);
  a.OnListEntry(nullptr, pw::kListingEnd);
  ASSERT_TRUE(WaitFor([&] { return p->ButtonFlags() == 1; }));
  const uint32_t frame = p->Frame();
  EXPECT_TRUE(WaitFor([&] { return p->Frame() != frame; }));

  // The running strip repaints the button at its frame rate.
  EXPECT_GT(host.repaints, 1);

  // The changed mark asks the host to save once, not at every tick.
  ASSERT_TRUE(WaitFor([&] { return host.settingsChanged > 0; }));
  const int asked = host.settingsChanged;
  pwtest::PumpFor(1500);
  EXPECT_EQ(host.settingsChanged, asked) << "asked again within 5 s";

  // With an icon standing for new mail nothing moves: no repaint at all.
  p->Settings().useIconNotify = 1;
  pwtest::PumpFor(300);
  const int repaints = host.repaints;
  pwtest::PumpFor(1500);
  EXPECT_EQ(host.repaints, repaints);
  // Marking the mail read changes the picture: one repaint, at once.
  a.MarkAllRead();
  EXPECT_TRUE(WaitFor([&] { return p->ButtonFlags() == 0; }, 500));
  EXPECT_TRUE(WaitFor([&] { return host.repaints == repaints + 1; }, 500));
  p->OnMenuCommand(2);
  pw::ComPtr<IStream> out;
  *out.Out() = pwtest::MemoryStream();
  p->Save(out.Get());
  EXPECT_EQ(a.dirty, 0u);
  p->SetHost(nullptr);
  p->Release();
}

// Work queued for the checker just as it stops (the list window stopping a
// session, a check asked for) is not left behind holding its account: a
// stopped checker's queue is emptied by the stop itself.
TEST(Checker, WorkQueuedAsTheCheckerStopsLeavesNoReference) {
  Winsock ws;
  SilentServer server;
  pwtest::FakeHost host;
  pw::PluginObject* p = Start(server.Port(), host);
  ASSERT_TRUE(p->CheckerRunning());
  pw::MailAccount& a = *p->Accounts()[0];
  auto refs = [&] {
    a.AddRef();
    return a.Release();
  };
  p->StopChecker();
  const ULONG base = refs();
  for (int i = 0; i < 200; ++i) {
    p->StartChecker();
    ASSERT_TRUE(p->CheckerRunning());
    p->QueueAccountWork(a, pw::PluginObject::AccountWork::StopSession);
    p->QueueAccountWork(a, pw::PluginObject::AccountWork::StartCheck);
    p->StopChecker();
    ASSERT_EQ(refs(), base) << "round " << i;
    EXPECT_EQ(a.busy, 0u) << "round " << i;
  }
  p->SetHost(nullptr);
  p->Release();
}
