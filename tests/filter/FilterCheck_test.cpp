// Whole checks of a real Dovecot mailbox with filtering on: the rules run
// on each header (and again on the body when a condition needs it), and a
// delete rule removes exactly the matching messages from the server.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "account/FakeOwner.h"
#include "account/MailAccount.h"
#include "account/MessageHeader.h"
#include "filter/RuleEngine.h"
#include "mail/SessionTest.h"
#include "support/Pump.h"
#include "support/Services.h"

namespace ST = pw::SearchType;
namespace RR = pw::RuleResult;

namespace {

// An owner that runs real rules, as the Plug-in object does.
class RuleOwner final : public pw::AccountOwner {
 public:
  explicit RuleOwner(std::unique_ptr<pw::RuleList> list) : rules(std::move(list)) {}
  bool Paused() const override { return false; }
  uint32_t ConnectionFlags() const override { return 0; }
  bool FilteringEnabled() const override { return true; }
  bool ListWindowOpen() const override { return false; }
  void TakeHeader(pw::MailAccount& a, pw::MailMessage& m) override { pw::applyRules(rules, &a, m); }
  void TakeBody(pw::MailAccount& a, pw::MailMessage& m) override {
    ++bodies;
    if (m.HasFlag(pw::MessageFlags::Reevaluate)) pw::applyRules(rules, &a, m);
  }
  void MessageAdded(pw::MailAccount&, pw::MailMessage&) override {}
  void MessageRemoved(pw::MailAccount&, pw::MailMessage&) override {}
  void MessageRead(pw::MailAccount&, pw::MailMessage&) override {}
  void MessagesReset(pw::MailAccount&) override {}
  void StatusChanged(pw::MailAccount&, uint32_t, uint32_t) override {}
  void EventLogged(pw::MailAccount&) override {}
  void EventsCleared(pw::MailAccount&) override {}
  void LogDeletedMessage(pw::MailAccount&, pw::MailMessage&) override { ++deleted; }
  void PlayNotifySound(const wchar_t*) override {}

  pw::RuleSnapshot rules;
  int bodies = 0, deleted = 0;
};

void Point(pw::MailAccount& a, int port) {
  wcscpy(a.settings.accountName, L"Test");
  wcscpy(a.settings.inServer, L"127.0.0.1");
  a.settings.inPort = static_cast<uint32_t>(port);
  wcscpy(a.settings.inUser, L"user");
  wcscpy(a.settings.inPassword, L"secret");
  a.settings.timeout = 10000;
}

bool Check(pw::MailAccount& a) {
  a.StartCheck();
  return pwtest::PumpUntil([&] { return a.busy == 0; }, 30000);
}

std::vector<std::wstring> Subjects(const pw::MailAccount& a) {
  std::vector<std::wstring> out;
  pw::SharedGuard g(a.MessageLock());
  for (const auto& m : a.Messages()) {
    const wchar_t* s = pw::nextFieldValue(*m, L"Subject");
    out.push_back(s ? s : L"");
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(FilterCheck, DeleteRulesRemoveExactlyTheMatchingMessages) {
  pwtest::Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  auto drop = [&](int n, const std::string& subject, const std::string& body) {
    pwtest::DropMail(server, "home/user/Maildir", "\r\n", n, subject, body);
  };
  drop(1, "hello there", "see you at lunch");
  drop(2, "cheap pills", "buy now");
  drop(3, "news", "you have won the LOTTERY today");
  drop(4, "about the lottery", "nothing to see");

  auto list = std::make_unique<pw::RuleList>();
  // The first field of a header as TOP delivers it: found like any other.
  list->addRule(L"known sender", RR::MarkApproved | RR::ContinueRules)
      .addSet()
      .addCondition(L"From", ST::IsEqual, L"a@example.org", 0);
  // A save rule that continues: the body is fetched for it, the later rules
  // wait for it, and the message lands in the folder once.
  pwtest::LinuxTempDir saveDir;
  const std::wstring folder = pwtest::WindowsPath(saveDir.Path());
  pw::FilterRule& save = list->addRule(L"keep", RR::SaveMessage | RR::ContinueRules);
  wcscpy(save.savePath, folder.c_str());
  save.addSet().addCondition(L"Subject", ST::StartsWith, L"hello", 0);
  list->addRule(L"pills", RR::DeleteFromServer).addSet().addCondition(L"Subject", ST::Contains, L"pills", 0);
  list->addRule(L"lottery", RR::DeleteFromServer | RR::MarkSpam)
      .addSet()
      .addCondition(L"", ST::BodyContains, L"won the lottery", 0);
  RuleOwner owner(std::move(list));
  auto a = pwtest::NewAccount(&owner);
  Point(*a, server.Port());
  ASSERT_TRUE(Check(*a));
  EXPECT_EQ(a->lastError, 0u);
  EXPECT_EQ(owner.deleted, 2);
  // The body rule needed three bodies (1, 3, 4); 2 was decided on its header.
  EXPECT_EQ(owner.bodies, 3);
  EXPECT_EQ(Subjects(*a), (std::vector<std::wstring>{L"about the lottery", L"hello there"}));
  {
    pw::SharedGuard g(a->MessageLock());
    for (const auto& m : a->Messages()) EXPECT_EQ(m->Type(), pw::MessageType::Approved);
  }

  std::vector<std::wstring> saved;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) saved.push_back(fd.cFileName);
    while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  ASSERT_EQ(saved.size(), 1u);
  const std::string text = pwtest::ReadLinuxFile(saveDir.Path() + "/" + std::string(saved[0].begin(), saved[0].end()));
  EXPECT_NE(text.find("see you at lunch"), std::string::npos);
  EXPECT_NE(text.find("Subject: hello there"), std::string::npos);

  // A fresh account sees what the server still holds.
  pwtest::FakeOwner plain;
  plain.filtering = true;
  auto b = pwtest::NewAccount(&plain);
  Point(*b, server.Port());
  ASSERT_TRUE(Check(*b));
  EXPECT_EQ(Subjects(*b), (std::vector<std::wstring>{L"about the lottery", L"hello there"}));
}

TEST(FilterCheck, ReapplyingFromAWindowLeavesQueuedRepliesAndTheNetworkAlone) {
  pwtest::FakeOwner owner;
  owner.filtering = true;
  auto a = pwtest::NewAccount(&owner);
  a->OnListEntry(nullptr, 0);
  a->OnListEntry("u1", 100);
  a->OnHeader("u1", "\r\nFrom: x@example.org\r\nTo: y@example.org\r\nSubject: Limited time offer\r\n"
                    "Received: from h (h [192.0.2.7]) by mx\r\n\r\n");
  a->OnListEntry(nullptr, pw::kListingEnd);
  auto reply = pw::MailMessage::Create(nullptr);
  reply->SetType(pw::MessageType::Outgoing);
  const char text[] = "From: me@example.org\r\nTo: x@example.org\r\nSubject: Re: Limited time offer\r\n\r\nNo.\r\n";
  reply->rawHeader.Set(text);
  reply->rawMessage.Set(text);
  a->AddMessage(reply.Get());

  auto list = std::make_unique<pw::RuleList>();
  // A black list nobody answers for: only cached answers may be used here.
  pw::ConditionSet& bl = list->addRule(L"bl", RR::MarkDangerous).addSet();
  bl.dnsbl = std::make_unique<pw::DnsblService>();
  bl.dnsbl->zone.Set(L"unanswered.invalid");
  list->addRule(L"offers", RR::MarkSpam).addSet().addCondition(L"Subject", ST::Contains, L"offer", 0);
  pw::RuleSnapshot rules(std::move(list));
  const ULONGLONG t0 = GetTickCount64();
  pw::reapplyFilters(rules, *a);
  EXPECT_LT(GetTickCount64() - t0, 500u);
  pw::SharedGuard g(a->MessageLock());
  ASSERT_EQ(a->Messages().Size(), 2u);
  EXPECT_EQ(a->Messages().At(0)->Type(), pw::MessageType::Spam);
  EXPECT_STREQ(a->Messages().At(0)->filterText.Str(), L"Subject Contains 'offer'");
  EXPECT_EQ(a->Messages().At(1)->Type(), pw::MessageType::Outgoing);
}
