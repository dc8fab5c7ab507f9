// Whole checks run by an account: the scheduler's due-check rules on a fake
// clock, and checks of a real Dovecot mailbox through the account's own
// session, with the end-of-check announcement, deletions and errors.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "account/AccountStatusText.h"
#include "account/FakeOwner.h"
#include "account/MailAccount.h"
#include "base/Scoped.h"
#include "mail/SessionTest.h"
#include "support/Pump.h"
#include "support/Services.h"

using pwtest::FakeOwner;
using pwtest::Service;

namespace {

void AddMail(const Service& server, int n, const std::string& subject) {
  pwtest::DropMail(server, "home/user/Maildir", "\r\n", n, subject, "body " + std::to_string(n));
}

void Point(pw::MailAccount& a, int port, const wchar_t* password = L"secret") {
  wcscpy(a.settings.accountName, L"Test");
  wcscpy(a.settings.inServer, L"127.0.0.1");
  a.settings.inPort = static_cast<uint32_t>(port);
  wcscpy(a.settings.inUser, L"user");
  wcscpy(a.settings.inPassword, password);
  a.settings.timeout = 10000;
}

// Runs the checker thread's part: ticks until the check that the tick
// started has ended.
bool WaitIdle(pw::MailAccount& a, DWORD ms = 20000) {
  return pwtest::PumpUntil([&] { return a.busy == 0; }, ms);
}

std::wstring Subject(const pw::MailMessage& m) {
  for (const auto& f : m.headerFields)
    if (f.first == L"Subject") return f.second;
  return std::wstring();
}

std::vector<std::wstring> EventTexts(const pw::MailAccount& a, uint32_t kind) {
  std::vector<std::wstring> out;
  for (const auto& e : a.Events())
    if (e.kind == kind && e.text.Get()) out.push_back(e.text.Get());
  return out;
}

// A port on which nothing listens: a connection is refused at once.
int ClosedPort() { return pwtest::FreePort(); }

}  // namespace

TEST(AccountSchedule, DueRulesOnAFakeClock) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  Point(*a, ClosedPort());
  const uint32_t t0 = owner.now;

  // interval 60 s, no start-up delay: the first tick checks at once.
  a->Tick(false);
  EXPECT_EQ(owner.eventsCleared, 1);
  EXPECT_EQ(a->busy, 1u);
  a->Tick(true);  // busy: no second check, however forced
  EXPECT_EQ(owner.eventsCleared, 1);
  EXPECT_EQ(a->secondsToNext, -1);
  ASSERT_TRUE(WaitIdle(*a));
  EXPECT_EQ(a->lastError, static_cast<uint32_t>(pw::kErrorConnect));
  EXPECT_EQ(a->lastCheckTime, t0);
  EXPECT_EQ(a->secondsToNext, 60);
  EXPECT_EQ(a->firstCheck, 0u);

  owner.now = t0 + 59;
  a->Tick(false);
  EXPECT_EQ(owner.eventsCleared, 1);
  EXPECT_EQ(a->secondsToNext, 1);
  owner.now = t0 + 60;  // the next check is due 60 s after the last ended
  a->Tick(false);
  EXPECT_EQ(owner.eventsCleared, 2);
  ASSERT_TRUE(WaitIdle(*a));

  // "Check Mail Now" checks although the period has not passed.
  owner.now += 5;
  a->Tick(true);
  EXPECT_EQ(owner.eventsCleared, 3);
  ASSERT_TRUE(WaitIdle(*a));

  // A clock set back makes the account due instead of waiting for years.
  owner.now -= 3600;
  a->Tick(false);
  EXPECT_EQ(owner.eventsCleared, 4);
  ASSERT_TRUE(WaitIdle(*a));
}

TEST(AccountSchedule, StartUpDelayIntervalZeroSuspendAndConnection) {
  FakeOwner owner;
  {
    // A start-up delay of 10 s counts from the first tick.
    auto a = pwtest::NewAccount(&owner);
    Point(*a, ClosedPort());
    a->settings.beginDelay = 10000;
    const uint32_t t0 = owner.now;
    a->Tick(false);
    EXPECT_EQ(owner.eventsCleared, 0);
    EXPECT_EQ(a->lastCheckTime, t0);
    EXPECT_EQ(a->secondsToNext, 10);
    owner.now = t0 + 9;
    a->Tick(false);
    EXPECT_EQ(owner.eventsCleared, 0);
    owner.now = t0 + 10;
    a->Tick(false);
    EXPECT_EQ(owner.eventsCleared, 1);
    ASSERT_TRUE(WaitIdle(*a));
    // Later checks follow the interval, not the delay.
    owner.now += 10;
    a->Tick(false);
    EXPECT_EQ(owner.eventsCleared, 1);
    EXPECT_EQ(a->secondsToNext, 50);
  }
  owner.eventsCleared = 0;
  {
    // interval 0: only "Check Mail Now".
    auto a = pwtest::NewAccount(&owner);
    Point(*a, ClosedPort());
    a->settings.interval = 0;
    for (int i = 0; i < 3; ++i, owner.now += 1000) a->Tick(false);
    EXPECT_EQ(owner.eventsCleared, 0);
    EXPECT_EQ(a->secondsToNext, -1);
    a->Tick(true);
    EXPECT_EQ(owner.eventsCleared, 1);
    ASSERT_TRUE(WaitIdle(*a));
  }
  owner.eventsCleared = 0;
  {
    auto a = pwtest::NewAccount(&owner);
    Point(*a, ClosedPort());
    a->settings.suspend = 1;
    a->Tick(true);
    EXPECT_EQ(a->GetStatus(), pw::AccountStatus::Suspended);
    a->settings.suspend = 0;
    // Checked only while a dial-up connection is up; the machine has none.
    a->settings.connection = 1;
    owner.connection = 2;
    a->Tick(true);
    a->StartCheck();
    EXPECT_EQ(owner.eventsCleared, 0);
    EXPECT_EQ(a->secondsToNext, -1);
    EXPECT_EQ(a->GetStatus(), pw::AccountStatus::WaitingForConnection);
    owner.connection = 1;
    a->Tick(false);
    EXPECT_EQ(owner.eventsCleared, 1);
    ASSERT_TRUE(WaitIdle(*a));
  }
}

TEST(AccountCheck, ChecksAMailboxAndAnnouncesOnce) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  for (int n = 1; n <= 3; ++n) AddMail(server, n, "subject " + std::to_string(n));
  FakeOwner owner;
  owner.filtering = true;  // headers are fetched for the rules
  auto a = pwtest::NewAccount(&owner);
  Point(*a, server.Port());
  wcscpy(a->settings.sound, L"C:\\new.wav");
  wcscpy(a->settings.cmdLine, L"\"C:\\mail tool.exe\" --new");

  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a)) << "check did not end";
  EXPECT_EQ(a->lastError, 0u);
  ASSERT_EQ(a->MessageCount(), 3u);
  {
    pw::SharedGuard g(a->MessageLock());
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(Subject(*a->Messages().At(i)), L"subject " + std::to_wstring(i + 1));
      EXPECT_TRUE(a->Messages().At(i)->HasState(pw::MessageState::New));
      EXPECT_EQ(a->Messages().At(i)->justArrived, 0u);
    }
  }
  // One sound and one command for three new messages; the windows hear of each.
  EXPECT_EQ(owner.sounds, std::vector<std::wstring>{L"C:\\new.wav"});
  EXPECT_EQ(owner.commands, std::vector<std::wstring>{L"\"C:\\mail tool.exe\" --new"});
  EXPECT_EQ(owner.added.size(), 3u);
  EXPECT_EQ(owner.checksEnded, 1);
  EXPECT_EQ(a->secondsToNext, 60);
  EXPECT_EQ(a->GetStatus(), pw::AccountStatus::NewMail);
  EXPECT_EQ(a->dirty, 1u);

  // The status walk of a check: connecting, authorizing, listing, three
  // headers, disconnecting, ready.
  std::vector<uint32_t> statuses;
  for (const auto& s : owner.statuses) statuses.push_back(s.first);
  EXPECT_EQ(statuses, (std::vector<uint32_t>{1, 2, 3, 4, 4, 4, 6, 0}));
  EXPECT_EQ(owner.statuses[3].second, 1u);
  EXPECT_EQ(owner.statuses[5].second, 3u);
  const auto info = EventTexts(*a, pw::EventKind::Info);
  ASSERT_FALSE(info.empty());
  EXPECT_EQ(info.front(), L"Connecting...");
  EXPECT_EQ(info.back(), L"Connection closed");
  const auto sent = EventTexts(*a, pw::EventKind::Sent);
  EXPECT_NE(std::find(sent.begin(), sent.end(), L"USER user"), sent.end());
  EXPECT_NE(std::find(sent.begin(), sent.end(), L"*******"), sent.end());
  EXPECT_EQ(std::find(sent.begin(), sent.end(), L"PASS secret"), sent.end());

  // An unchanged mailbox: nothing fetched again, nothing announced.
  owner.sounds.clear();
  owner.commands.clear();
  owner.headers.clear();
  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a));
  EXPECT_TRUE(owner.headers.empty());
  EXPECT_TRUE(owner.sounds.empty());
  EXPECT_TRUE(owner.commands.empty());
  EXPECT_EQ(a->MessageCount(), 3u);

  // A fourth message whose rule plays its own sound: the account stays quiet.
  AddMail(server, 4, "subject 4");
  owner.ruleSoundOnHeader = L"C:\\rule.wav";
  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a));
  EXPECT_EQ(owner.sounds, std::vector<std::wstring>{L"C:\\rule.wav"});
  EXPECT_TRUE(owner.commands.empty());
  EXPECT_EQ(a->MessageCount(), 4u);
}

TEST(AccountCheck, RuleDeletionsAreConfirmedLoggedAndPurged) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  AddMail(server, 1, "spam one");
  AddMail(server, 2, "spam two");
  FakeOwner owner;
  owner.filtering = true;
  owner.flagsOnHeader = pw::MessageFlags::Delete;
  auto a = pwtest::NewAccount(&owner);
  Point(*a, server.Port());
  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a));
  EXPECT_EQ(a->lastError, 0u);
  EXPECT_EQ(owner.deletedLog.size(), 2u);
  EXPECT_EQ(a->MessageCount(), 0u);  // purged at the end of the check
  EXPECT_EQ(owner.removed.size(), 2u);

  // The server really lost them.
  owner.flagsOnHeader = 0;
  owner.headers.clear();
  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a));
  EXPECT_TRUE(owner.headers.empty());
  EXPECT_EQ(a->MessageCount(), 0u);
}

TEST(AccountCheck, FailuresEndTheCheckWithTheirCode) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  Point(*a, server.Port(), L"wrong");
  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a));
  EXPECT_EQ(a->lastError, static_cast<uint32_t>(pw::kErrorLogin));
  EXPECT_EQ(a->GetStatus(), pw::AccountStatus::Error);
  ASSERT_FALSE(owner.statuses.empty());
  EXPECT_EQ(owner.statuses.back(), (std::pair<uint32_t, uint32_t>(8, pw::kErrorLogin)));
  const auto errors = EventTexts(*a, pw::EventKind::Error);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind(L"-ERR", 0), 0u) << "the server's line is logged";
  EXPECT_EQ(EventTexts(*a, pw::EventKind::Info).back(), L"Connection closed");

  // The next check starts clean and succeeds.
  wcscpy(a->settings.inPassword, L"secret");
  a->StartCheck();
  EXPECT_TRUE(EventTexts(*a, pw::EventKind::Error).empty());
  ASSERT_TRUE(WaitIdle(*a));
  EXPECT_EQ(a->lastError, 0u);
  EXPECT_EQ(a->GetStatus(), pw::AccountStatus::Idle);

  // No server at all: 102 with the Winsock code.
  a->settings.inPort = static_cast<uint32_t>(ClosedPort());
  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a));
  EXPECT_EQ(a->lastError, static_cast<uint32_t>(pw::kErrorConnect));
}

TEST(AccountCheck, QueuedRepliesNeverKeepTheAccountBusy) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  Point(*a, server.Port());
  wcscpy(a->settings.outServer, L"127.0.0.1");
  a->settings.outPort = static_cast<uint32_t>(ClosedPort());
  auto reply = pw::MailMessage::Create(L"reply-1");
  reply->SetType(pw::MessageType::Outgoing);
  a->AddMessage(reply.Get());
  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a));
  EXPECT_EQ(owner.checksEnded, 1);
  EXPECT_EQ(a->sending, 0u);
  EXPECT_EQ(a->MessageCount(), 1u) << "the reply waits for the next check";
}

TEST(AccountCheck, ClosingARunningCheckEndsItOnce) {
  // A server that accepts and never says a word (the listen backlog
  // completes the connection).
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(listener, INVALID_SOCKET);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  int len = sizeof(addr);
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);

  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  Point(*a, ntohs(addr.sin_port));
  auto reply = pw::MailMessage::Create(L"reply-1");
  reply->SetType(pw::MessageType::Outgoing);
  a->AddMessage(reply.Get());
  a->StartCheck();
  pwtest::PumpFor(300);
  EXPECT_EQ(a->busy, 1u);
  a->CloseSession();
  EXPECT_EQ(a->busy, 0u);
  EXPECT_FALSE(a->HasSession());
  EXPECT_EQ(owner.checksEnded, 1);
  EXPECT_EQ(a->sending, 0u) << "no send pass while stopping";
  pwtest::PumpFor(200);
  EXPECT_EQ(owner.checksEnded, 1);
  closesocket(listener);
}

TEST(AccountStatusText, ProgressReadyErrorWaitingAndSuspended) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  pwtest::List(*a, {"a", "b", "c"});
  EXPECT_EQ(pw::AccountStatusText(*a, pw::kStatusLoadingHeader, 2), L"Loading header 2 (of 3)");
  EXPECT_EQ(pw::AccountStatusText(*a, pw::kStatusDeleting, 7), L"Deleting message 7");
  EXPECT_EQ(pw::AccountStatusText(*a, pw::kStatusLoadingMessage, 1), L"Loading message 1");
  EXPECT_EQ(pw::AccountStatusText(*a, pw::kStatusListing, 0), L"Receiving list of messages from server...");
  EXPECT_EQ(pw::AccountStatusText(*a, pw::kStatusError, pw::kErrorLogin),
            L"Error: Incorrect user name or/and password");
  EXPECT_EQ(pw::AccountStatusText(*a, pw::kStatusReady, 0), L"Ready...");
  a->settings.connection = 1;  // a dial-up connection that is not up
  EXPECT_EQ(pw::AccountStatusText(*a, pw::kStatusError, pw::kErrorLogin), L"Waiting for connection...");
  owner.paused = true;
  EXPECT_EQ(pw::AccountStatusText(*a, pw::kStatusReady, 0), L"Suspended...");
  // Progress is shown as it is, whatever the display state.
  EXPECT_EQ(pw::AccountStatusText(*a, pw::kStatusAuthorizing, 0), L"Authorizing...");
}
