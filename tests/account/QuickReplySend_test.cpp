// The whole road of a quick reply: a check of a real Dovecot lists a
// message, a reply to it is queued, and the next check's send pass delivers
// it to a real Exim; the delivered file is the message the user wrote.
// Refusals keep a reply queued (4xx) or mark it failed (5xx), and nothing
// is ever sent twice.
#include <gtest/gtest.h>

#include <string>

#include "account/FakeOwner.h"
#include "account/MailAccount.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "account/QuickReply.h"
#include "base/Scoped.h"
#include "base/SettingsTree.h"
#include "TestStreams.h"
#include "mail/SessionTest.h"
#include "mail/SmtpTest.h"
#include "support/Pump.h"
#include "support/Services.h"

using pwtest::FakeOwner;
using pwtest::Service;

namespace {

bool WaitIdle(pw::MailAccount& a, DWORD ms = 30000) {
  return pwtest::PumpUntil([&] { return a.busy == 0; }, ms);
}

void Point(pw::MailAccount& a, const Service& pop, const Service& smtp) {
  wcscpy(a.settings.accountName, L"Test");
  wcscpy(a.settings.inServer, L"127.0.0.1");
  a.settings.inPort = static_cast<uint32_t>(pop.Port());
  wcscpy(a.settings.inUser, L"user");
  wcscpy(a.settings.inPassword, L"secret");
  wcscpy(a.settings.outServer, L"127.0.0.1");
  a.settings.outPort = static_cast<uint32_t>(smtp.Port());
  wcscpy(a.settings.outUser, L"user");
  wcscpy(a.settings.outPassword, L"secret");
  wcscpy(a.settings.outFrom, L"user@example.org");
  wcscpy(a.settings.outName, L"Ünsal User");
  a.settings.timeout = 10000;
}

size_t Outgoing(const pw::MailAccount& a) {
  pw::SharedGuard g(a.MessageLock());
  size_t n = 0;
  for (const auto& m : a.Messages()) n += m->IsOutgoing();
  return n;
}

std::wstring SendErrorOf(const pw::MailAccount& a, const std::wstring& toPart) {
  pw::SharedGuard g(a.MessageLock());
  for (const auto& m : a.Messages()) {
    const wchar_t* to = pw::nextFieldValue(*m, L"To");
    if (m->IsOutgoing() && to && std::wstring(to).find(toPart) != std::wstring::npos)
      return m->SendFailed() ? m->sendError.Get() : L"(queued)";
  }
  return L"(gone)";
}

}  // namespace

TEST(QuickReplySend, DovecotToEximEndToEnd) {
  pw::ScopedCoInit com;
  Service pop("dovecot");
  ASSERT_TRUE(pop.Ok()) << pop.Error();
  Service smtp("exim");
  ASSERT_TRUE(smtp.Ok()) << smtp.Error();
  const std::string original =
      "From: \"Bob O'Brien\" <o'brien+list@example.net>\r\nTo: user@example.org\r\n"
      "Subject: Meeting on Friday\r\nMessage-ID: <orig-1@example.net>\r\n\r\nCan you come?\r\n";
  ASSERT_TRUE(pwtest::WriteNewLinuxFile(pop.Dir() + "/home/user/Maildir/new/1700000001.M1P1.test", original));

  FakeOwner owner;
  owner.filtering = true;
  auto a = pwtest::NewAccount(&owner);
  Point(*a, pop, smtp);
  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a));
  ASSERT_EQ(a->MessageCount(), 1u);
  pw::RefPtr<pw::MailMessage> m;
  {
    pw::SharedGuard g(a->MessageLock());
    m = pw::RefPtr<pw::MailMessage>(a->Messages().At(0));
  }

  // The dialog's values, the user's text with a "." line and an 8-bit word.
  pw::QuickReplyText reply;
  reply.to = pw::InitialReplyTo(*m);
  reply.from = pw::InitialReplyFrom(a->settings);
  reply.subject = pw::InitialReplySubject(*m);
  reply.body = L"Yes, I will come.\r\n.\r\nQUIT\r\nSee you — Ünsal";
  reply.charset = L"iso-8859-1";
  ASSERT_EQ(pw::QueueQuickReply(*a, m.Get(), reply), pw::ReplyError::kNone);
  pw::QuickReplyText refused = reply;
  refused.to = L"bounce5@example.org";
  ASSERT_EQ(pw::QueueQuickReply(*a, m.Get(), refused), pw::ReplyError::kNone);
  pw::QuickReplyText later = reply;
  later.to = L"later4@example.org";
  ASSERT_EQ(pw::QueueQuickReply(*a, m.Get(), later), pw::ReplyError::kNone);
  pw::QuickReplyText nobody = reply;
  nobody.to = L"Nobody <>";
  EXPECT_EQ(pw::QueueQuickReply(*a, m.Get(), nobody), pw::ReplyError::kNoRecipient);
  EXPECT_EQ(Outgoing(*a), 3u);

  a->RequestMissingHeaders(false);
  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a));
  const auto files = pwtest::WaitDelivered(smtp.Dir(), 1);
  ASSERT_EQ(files.size(), 1u);
  const std::string& file = files[0];
  EXPECT_NE(file.find("Envelope-to: o'brien+list@example.net"), std::string::npos) << file;
  EXPECT_NE(file.find("Return-path: <user@example.org>"), std::string::npos) << file;
  EXPECT_NE(file.find("In-Reply-To: <orig-1@example.net>"), std::string::npos) << file;
  EXPECT_NE(file.find("Subject: Re: Meeting on Friday"), std::string::npos) << file;

  // Read back through the program's own decoders: the text the user wrote.
  std::string crlf;
  for (char c : file) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  auto back = pw::MailMessage::Create(L"x");
  pw::parseHeader(*back, crlf.data(), crlf.find("\r\n\r\n") + 2);
  pw::parseMessage(*back, crlf.data(), crlf.size());
  const auto text = pw::leafText(*back, 0);
  ASSERT_TRUE(text.has_value());
  std::wstring got = *text;
  while (!got.empty() && (got.back() == L'\n' || got.back() == L'\r')) got.pop_back();
  EXPECT_EQ(got, reply.body);
  EXPECT_EQ(pw::nextFieldValue(*back, L"From"), std::wstring(L"Ünsal User <user@example.org>"));

  // Sent: gone from the list. 550: failed with the server's line, kept.
  // 451: still queued.
  EXPECT_EQ(SendErrorOf(*a, L"o'brien"), L"(gone)");
  EXPECT_EQ(SendErrorOf(*a, L"bounce5"), L"550 no such user here");
  EXPECT_EQ(SendErrorOf(*a, L"later4"), L"(queued)");
  EXPECT_EQ(a->lastError, static_cast<uint32_t>(pw::kErrorCommand));

  // The next check tries only the queued one: nothing is sent twice.
  a->StartCheck();
  ASSERT_TRUE(WaitIdle(*a));
  EXPECT_EQ(pwtest::Delivered(smtp.Dir()).size(), 1u);
  EXPECT_EQ(SendErrorOf(*a, L"later4"), L"(queued)");
  EXPECT_EQ(SendErrorOf(*a, L"bounce5"), L"550 no such user here");
  size_t mailFroms = 0;
  for (const auto& e : a->Events())
    if (e.text.Get() && std::wstring(e.text.Get()).rfind(L"MAIL FROM", 0) == 0) ++mailFroms;
  EXPECT_EQ(mailFroms, 1u);

  // Both replies outlive a restart: the failed one with its line, the
  // queued one with its text.
  pw::SettingsTree out;
  out.CreateNode(L"account#0");
  a->Save(out);
  out.CloseNode();
  pw::SettingsTree in;
  ASSERT_TRUE(pwtest::ReadTree(in, pwtest::WriteTree(out)));
  ASSERT_TRUE(in.EnterNode(L"account#0"));
  auto restored = pwtest::NewAccount(&owner);
  restored->Load(in);
  EXPECT_EQ(SendErrorOf(*restored, L"bounce5"), L"550 no such user here");
  EXPECT_EQ(SendErrorOf(*restored, L"later4"), L"(queued)");
}
