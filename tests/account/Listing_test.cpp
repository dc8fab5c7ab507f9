// The account as a POP3 session sees it: listings with their sentinels,
// headers, messages and deletions, and the action answered for each.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "FakeOwner.h"

using namespace pw;
using pwtest::FakeOwner;
using pwtest::List;
using pwtest::Uidls;

namespace {

using V = std::vector<std::wstring>;

RefPtr<MailMessage> QueuedReply() {
  RefPtr<MailMessage> m = MailMessage::Create(L"");
  m->SetType(MessageType::Outgoing);
  m->rawMessage.Set("To: a@example.test\r\n\r\nhi");
  return m;
}

}  // namespace

TEST(Listing, EmptyListingRemovesReceivedAndKeepsQueuedReplies) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  List(*a, {"m1", "m2", "m3"});
  a->AddMessage(QueuedReply().Get());
  a->dirty = 0;
  List(*a, {});
  EXPECT_EQ(Uidls(*a), V({L""}));
  EXPECT_EQ(owner.removed, V({L"m1", L"m2", L"m3"}));
  EXPECT_EQ(a->dirty, 1u);
  // The reply is never matched by a listing, even by an empty UIDL.
  List(*a, {""});
  EXPECT_EQ(a->MessageCount(), 2u);
  SharedGuard g(a->MessageLock());
  EXPECT_TRUE(a->Messages().At(0)->IsOutgoing());
  EXPECT_EQ(a->Messages().At(0)->notSeen, 0u);
}

TEST(Listing, KnownUidlsStayInOrderAndNeverRepeat) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  List(*a, {"a", "b", "c", "d"});
  {
    SharedGuard g(a->MessageLock());
    for (const auto& m : a->Messages()) m->ClearState(MessageState::New);
  }
  // A hostile server repeating a UIDL still yields one entry.
  List(*a, {"b", "d", "e", "b", "e"});
  EXPECT_EQ(Uidls(*a), V({L"b", L"d", L"e"}));
  EXPECT_EQ(owner.removed, V({L"a", L"c"}));
  RefPtr<MailMessage> e = a->FindMessage(L"e");
  ASSERT_TRUE(e);
  EXPECT_TRUE(e->HasState(MessageState::New));
  EXPECT_EQ(e->justArrived, 1u);
  EXPECT_EQ(e->size, 100u);
  EXPECT_FALSE(a->FindMessage(L"b")->HasState(MessageState::New));
}

TEST(Listing, UidlsCompareExactly) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  List(*a, {"AbC"});
  List(*a, {"AbC", "abc", "AbC ", "Ab"});
  EXPECT_EQ(Uidls(*a), V({L"AbC", L"abc", L"AbC ", L"Ab"}));
  EXPECT_TRUE(a->FindMessage(L"abc")->HasState(MessageState::New));
}

// A message listed without a UIDL comes as (null, size); only (null, all
// ones) ends the listing.
TEST(Listing, NullUidlInsideListingIsPassedOver) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  List(*a, {"x", "y"});
  a->OnListEntry(nullptr, 0);
  a->OnListEntry("x", 1);
  EXPECT_EQ(a->OnListEntry(nullptr, 4711), kActionNone);
  EXPECT_EQ(a->OnListEntry(nullptr, 0), kActionNone);  // no second begin
  a->OnListEntry("y", 1);
  a->OnListEntry(nullptr, kListingEnd);
  EXPECT_EQ(Uidls(*a), V({L"x", L"y"}));
  EXPECT_TRUE(owner.removed.empty());
  // A stray end outside a listing removes nothing.
  a->OnListEntry(nullptr, kListingEnd);
  EXPECT_EQ(a->MessageCount(), 2u);
}

TEST(Listing, HeadersAreFetchedOnlyForNewUidls) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  // Neither filtering nor the list window: headers are not wanted.
  EXPECT_EQ(List(*a, {"old1", "old2"}), std::vector<int>({0, 0}));
  owner.filtering = true;
  // Stored messages without a header are not fetched again.
  EXPECT_EQ(List(*a, {"old1", "old2", "new1"}), std::vector<int>({0, 0, kActionHeader}));
  EXPECT_EQ(a->OnHeader("new1", "\r\nSubject: hi\r\n"), kActionNone);
  EXPECT_EQ(owner.headers, V({L"new1"}));
  EXPECT_EQ(List(*a, {"old1", "old2", "new1"}), std::vector<int>({0, 0, 0}));

  owner.listOpen = true;
  owner.filtering = false;
  EXPECT_EQ(List(*a, {"old1", "old2", "new1", "new2"}), std::vector<int>({0, 0, 0, kActionHeader}));
  owner.listOpen = false;

  // Only an explicit request fetches what is missing.
  a->lastCheckTime = 1234;
  a->firstCheck = 1;
  a->RequestMissingHeaders(false);
  EXPECT_EQ(a->lastCheckTime, 0u);
  EXPECT_EQ(a->firstCheck, 0u);
  EXPECT_EQ(List(*a, {"old1", "old2", "new1", "new2"}), std::vector<int>({0, 0, 0, kActionHeader}));
  a->lastCheckTime = 99;
  a->RequestMissingHeaders(true);
  EXPECT_EQ(a->lastCheckTime, 0u);
  EXPECT_EQ(List(*a, {"old1", "old2", "new1", "new2"}),
            std::vector<int>({kActionHeader, kActionHeader, 0, kActionHeader}));
  for (const char* u : {"old1", "old2", "new2"}) a->OnHeader(u, "\r\nX: 1\r\n");
  a->lastCheckTime = 99;
  a->RequestMissingHeaders(true);  // nothing is missing now
  EXPECT_EQ(a->lastCheckTime, 99u);
}

TEST(Listing, PendingActionsAnswerTheSession) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  List(*a, {"m"});
  RefPtr<MailMessage> m = a->FindMessage(L"m");
  auto run = [&] {
    SharedGuard g(a->MessageLock());
    return a->RunPendingActions(*m);
  };
  m->SetFlags(MessageFlags::NeedHeader | MessageFlags::NeedBody | MessageFlags::Delete);
  EXPECT_EQ(run(), kActionHeader);
  EXPECT_EQ(a->OnHeader("m", "\r\nA: b\r\n"), kActionBody);
  EXPECT_EQ(a->OnMessage("m", "\r\nA: b\r\n\r\nbody"), kActionDelete);
  EXPECT_EQ(owner.bodies, V({L"m"}));
  EXPECT_STREQ(m->rawMessage.Get(), "\r\nA: b\r\n\r\nbody");

  m->ReplaceFlags(MessageFlags::PlaySound | MessageFlags::SaveToFile | MessageFlags::RunCommand);
  m->ruleSound.Set(L"ding.wav");
  EXPECT_EQ(run(), kActionNone);
  EXPECT_EQ(run(), kActionNone);
  EXPECT_EQ(owner.sounds, V({L"ding.wav"}));  // once
  EXPECT_EQ(m->Flags(), 0u);
  // A pending deletion holds the sound back.
  m->ReplaceFlags(MessageFlags::PlaySound | MessageFlags::Delete);
  EXPECT_EQ(run(), kActionDelete);
  EXPECT_EQ(owner.sounds.size(), 1u);
}

// A rule that saves a message and runs a command on the saved file: both
// happen once the whole text has arrived, and once only.
TEST(Listing, RuleSaveAndCommandRunWhenTheBodyArrives) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring dir = std::wstring(temp) + L"pw rule actions " + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring copy = dir + L"\\copied.txt";

  FakeOwner owner;
  owner.flagsOnHeader = MessageFlags::NeedBody | MessageFlags::SaveToFile | MessageFlags::SaveIntoFolder |
                        MessageFlags::RunCommand;
  auto a = pwtest::NewAccount(&owner);
  List(*a, {"m"});
  RefPtr<MailMessage> m = a->FindMessage(L"m");
  m->savePath.Set(dir.c_str());
  m->command.Set((L"cmd.exe /c copy %msgfile% \"" + copy + L"\"").c_str());
  m->commandHidden = 1;
  EXPECT_EQ(a->OnHeader("m", "\r\nSubject: s\r\n"), kActionBody);
  EXPECT_FALSE(m->HasState(MessageState::Saved));
  EXPECT_EQ(a->OnMessage("m", "\r\nSubject: s\r\n\r\nthe body"), kActionNone);
  EXPECT_TRUE(m->HasState(MessageState::Saved));
  EXPECT_TRUE(m->HasState(MessageState::CommandRun));
  EXPECT_FALSE(m->HasFlag(MessageFlags::SaveToFile) || m->HasFlag(MessageFlags::RunCommand));
  const std::wstring saved = m->savePath.Str();
  EXPECT_EQ(saved.rfind(dir + L"\\", 0), 0u) << saved.c_str();

  // The command copies the saved file; wait for it, with a deadline.
  const ULONGLONG deadline = GetTickCount64() + 20000;
  while (GetFileAttributesW(copy.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount64() < deadline) Sleep(50);
  Sleep(200);  // let the copy finish writing
  std::string text;
  {
    HANDLE f = CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << "the rule's command did not run";
    char buf[256];
    DWORD got = 0;
    ReadFile(f, buf, sizeof buf, &got, nullptr);
    CloseHandle(f);
    text.assign(buf, got);
  }
  EXPECT_EQ(text, "\r\nSubject: s\r\n\r\nthe body");

  // Matching again neither saves another file nor runs the command again.
  m->SetFlags(MessageFlags::SaveToFile | MessageFlags::RunCommand);
  {
    SharedGuard g(a->MessageLock());
    EXPECT_EQ(a->RunPendingActions(*m), kActionNone);
  }
  EXPECT_EQ(m->savePath.Str(), saved);
  DeleteFileW(copy.c_str());
  DeleteFileW(saved.c_str());
  RemoveDirectoryW(dir.c_str());
}

TEST(Listing, RuleDeletionIsConfirmedThenPurged) {
  FakeOwner owner;
  owner.filtering = true;
  owner.flagsOnHeader = MessageFlags::Delete;
  auto a = pwtest::NewAccount(&owner);
  EXPECT_EQ(List(*a, {"keep", "spam"}), std::vector<int>({kActionHeader, kActionHeader}));
  owner.flagsOnHeader = 0;
  EXPECT_EQ(a->OnHeader("keep", "\r\nA: 1\r\n"), kActionNone);
  owner.flagsOnHeader = MessageFlags::Delete;
  EXPECT_EQ(a->OnHeader("spam", "\r\nA: 2\r\n"), kActionDelete);
  a->OnDeleted("spam");
  a->OnDeleted("unknown");
  a->OnDeleted(nullptr);
  EXPECT_EQ(owner.deletedLog, V({L"spam"}));
  RefPtr<MailMessage> spam = a->FindMessage(L"spam");
  EXPECT_EQ(spam->Flags() & (MessageFlags::Delete | MessageFlags::Deleted), MessageFlags::Deleted);
  a->PurgeDeleted();
  EXPECT_EQ(Uidls(*a), V({L"keep"}));
  EXPECT_EQ(owner.removed, V({L"spam"}));
  // Callbacks for messages the account does not hold are answered with 0.
  EXPECT_EQ(a->OnHeader("gone", "x"), kActionNone);
  EXPECT_EQ(a->OnMessage(nullptr, "x"), kActionNone);
}

TEST(Account, ErrorsAreLoggedAndKept) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  a->OnError(105, 0, "-ERR bad password");
  a->OnError(104, 0, nullptr);
  EXPECT_EQ(a->lastError, 104u);
  ASSERT_EQ(owner.statuses.size(), 2u);
  EXPECT_EQ(owner.statuses[0], std::make_pair(kStatusError, 105u));
  std::vector<AccountEvent> ev = a->Events();
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].kind, EventKind::Error);
  EXPECT_STREQ(ev[0].text.Get(), L"-ERR bad password");
  EXPECT_NE(ev[0].time.wYear, 0);
  EXPECT_EQ(a->Events(1).size(), 1u);
  a->ClearEvents();
  EXPECT_TRUE(a->Events().empty());
  EXPECT_EQ(owner.events, 2);
  EXPECT_EQ(owner.eventsCleared, 1);
}

TEST(Account, ADroppedConnectionSaysSoAndKeepsTheReasonBeforeIt) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  a->OnError(pw::kErrorClosed, 10054, nullptr);
  EXPECT_EQ(a->ErrorText(), L"The server closed the connection (10054)");
  a->lastError = 0;
  a->OnError(pw::kErrorReceive, 0, "-ERR [SYS/TEMP] Server shutting down.");
  EXPECT_EQ(a->ErrorText(), L"The server closed the connection: -ERR [SYS/TEMP] Server shutting down.");
  // The server's refusal first, then the drop: the refusal is what is shown.
  a->lastError = 0;
  a->OnError(pw::kErrorCommand, 0, "-ERR [SYS/TEMP] Server shutting down.");
  a->OnError(pw::kErrorReceive, 0, nullptr);
  a->OnError(pw::kErrorSend, 0, nullptr);
  EXPECT_EQ(a->lastError, static_cast<uint32_t>(pw::kErrorCommand));
  EXPECT_EQ(a->ErrorText(), L"Unsupported command or command error: -ERR [SYS/TEMP] Server shutting down.");
  EXPECT_EQ(a->Events().size(), 5u) << "every report is logged";
}

TEST(Account, StatusFirstRuleThatHoldsDecides) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  EXPECT_EQ(a->GetStatus(), AccountStatus::Idle);
  List(*a, {"n"});
  EXPECT_EQ(a->GetStatus(), AccountStatus::NewMail);
  a->lastError = 102;
  EXPECT_EQ(a->GetStatus(), AccountStatus::Error);
  a->settings.connection = 0x21;  // only the low 4 bits are the mode
  EXPECT_EQ(a->GetStatus(), AccountStatus::WaitingForConnection);
  owner.connection = 1;
  EXPECT_EQ(a->GetStatus(), AccountStatus::Error);
  a->settings.connection = 2;
  EXPECT_EQ(a->GetStatus(), AccountStatus::WaitingForConnection);
  owner.paused = true;
  EXPECT_EQ(a->GetStatus(), AccountStatus::Suspended);
  owner.paused = false;
  a->settings.suspend = 1;
  EXPECT_EQ(a->GetStatus(), AccountStatus::Suspended);
}

TEST(Account, CountMarkAndClear) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  a->OnListEntry(nullptr, 0);
  a->OnListEntry("a", 1000);
  a->OnListEntry("b", 536);
  a->OnListEntry("c", 7);
  a->OnListEntry(nullptr, kListingEnd);
  a->FindMessage(L"c")->ClearState(MessageState::New);
  a->lastError = 7;
  uint32_t n = 0, bytes = 0;
  EXPECT_EQ(a->CountNew(&n, &bytes), 7u);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(bytes, 1536u);

  a->dirty = 0;
  a->MarkAllRead();
  EXPECT_EQ(owner.read, V({L"a", L"b"}));
  EXPECT_EQ(owner.resets, 1);
  EXPECT_EQ(a->dirty, 1u);
  a->CountNew(&n, &bytes);
  EXPECT_EQ(n, 0u);

  a->dirty = 0;
  a->ClearMessages(false);
  EXPECT_EQ(a->MessageCount(), 0u);
  EXPECT_TRUE(owner.removed.empty());
  EXPECT_EQ(a->dirty, 0u);
  List(*a, {"d"});
  a->ClearMessages(true);
  EXPECT_EQ(owner.removed, V({L"d"}));
  EXPECT_EQ(a->dirty, 1u);
}

// A message handed to a window stays valid after the list lets go of it.
TEST(Account, RemovedMessageOutlivesTheList) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  List(*a, {"kept-by-window"});
  RefPtr<MailMessage> held = a->FindMessage(L"kept-by-window");
  List(*a, {});
  EXPECT_EQ(a->MessageCount(), 0u);
  EXPECT_STREQ(held->Uidl(), L"kept-by-window");
  EXPECT_EQ(held->AddRef(), 2u);
  EXPECT_EQ(held->Release(), 1u);
}
