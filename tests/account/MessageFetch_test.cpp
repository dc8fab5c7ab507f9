// Headers and whole messages fetched from a real Dovecot with TOP and RETR,
// parsed as the account parses them: the reply text begins with the CR LF
// that ended the "+OK" line, and the first field must still be found.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <string>

#include "account/FakeOwner.h"
#include "account/MailAccount.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "base/Scoped.h"
#include "support/Pump.h"
#include "support/Services.h"

using pwtest::FakeOwner;
using pwtest::Service;

namespace {

void Drop(const Service& server, int n, const std::string& text) {
  const std::string path =
      server.Dir() + "/home/user/Maildir/new/" + std::to_string(1700000000 + n) + ".M" + std::to_string(n) + "P1.t";
  ASSERT_TRUE(pwtest::WriteNewLinuxFile(path, text)) << path;
}

}  // namespace

TEST(MessageFetch, FirstFieldSurvivesTopAndRetr) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  // Stored with LF line ends; Dovecot sends CR LF.
  Drop(server, 1, "From: first@example.org\nSubject: one\n\nbody one\n");
  Drop(server, 2, "Subject: =?utf-8?Q?caf=C3=A9?=\nFrom: b@example.org\n\nbody two\n");
  Drop(server, 3, "Date: Tue, 5 Jul 2005 10:00:00 +0000\nSubject: three\n\nbody three\n");
  Drop(server, 4,
       "Content-Type: multipart/mixed; boundary=\"sep\"\nSubject: four\n\n"
       "--sep\nContent-Type: text/plain; charset=iso-8859-1\n\ncaf\xE9\n"
       "--sep\nContent-Type: application/pdf\nContent-Disposition: attachment; filename=\"f.pdf\"\n\n%PDF\n"
       "--sep--\n");

  FakeOwner owner;
  owner.filtering = true;                          // headers are fetched (TOP)
  owner.flagsOnHeader = pw::MessageFlags::NeedBody;  // and then the whole text (RETR)
  auto a = pwtest::NewAccount(&owner);
  wcscpy(a->settings.accountName, L"Test");
  wcscpy(a->settings.inServer, L"127.0.0.1");
  a->settings.inPort = static_cast<uint32_t>(server.Port());
  wcscpy(a->settings.inUser, L"user");
  wcscpy(a->settings.inPassword, L"secret");
  a->settings.timeout = 10000;
  a->StartCheck();
  ASSERT_TRUE(pwtest::PumpUntil([&] { return a->busy == 0; }, 20000)) << "check did not end";
  EXPECT_EQ(a->lastError, 0u);
  ASSERT_EQ(a->MessageCount(), 4u);
  EXPECT_EQ(owner.bodies.size(), 4u);

  pw::SharedGuard g(a->MessageLock());
  auto value = [](const pw::MailMessage& m, const wchar_t* name) {
    const wchar_t* v = pw::nextFieldValue(m.headerFields, name);
    return std::wstring(v ? v : L"<none>");
  };
  const pw::MailMessage& m1 = *a->Messages().At(0);
  EXPECT_EQ(value(m1, L"From"), L"first@example.org");
  EXPECT_EQ(std::string(m1.rawHeader.Get(), 2), "\r\n");  // stored as it came
  EXPECT_EQ(pw::leafText(m1, 0).value_or(L"<none>"), L"body one\r\n");
  EXPECT_EQ(value(*a->Messages().At(1), L"Subject"), L"caf\u00E9");
  const pw::MailMessage& m3 = *a->Messages().At(2);
  EXPECT_EQ(value(m3, L"Date"), L"Tue, 5 Jul 2005 10:00:00 +0000");
  EXPECT_EQ(m3.date.wYear, 2005);
  const pw::MailMessage& m4 = *a->Messages().At(3);
  EXPECT_EQ(value(m4, L"Subject"), L"four");
  ASSERT_EQ(m4.parts.size(), 2u);
  EXPECT_EQ(pw::leafText(m4, 0).value_or(L"<none>"), L"caf\u00E9");
  std::vector<pw::AttachmentName> names;
  pw::attachmentNames(m4, names);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].name, L"f.pdf");
}

// Only the one line break of the status line is skipped: a message whose
// header is empty arrives as CR LF (status) + CR LF (blank line) + body,
// and none of its body lines may be taken for fields.
TEST(MessageFetch, EmptyHeaderAfterTheStatusLineKeepsTheBodyOut) {
  const pw::RefPtr<pw::MailMessage> message = pw::MailMessage::Create(L"u1");
  const std::string top = "\r\n\r\nSubject: not a field\r\nbody\r\n";
  pw::parseHeader(*message, top.data(), top.size());
  EXPECT_TRUE(message->headerFields.empty());
  EXPECT_EQ(pw::findField(*message, L"SUBJECT"), -1);
}
