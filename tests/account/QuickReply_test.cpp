// Quick replies: the dialog's initial values, the composed message read back
// through the program's own header and MIME decoders (hostile subjects,
// names and addresses included), and the charset list of the platform.
#include <gtest/gtest.h>

#include <string>

#include "account/AccountSettings.h"
#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "account/QuickReply.h"
#include "base/Scoped.h"
#include "mime/Address.h"
#include "mime/CharsetList.h"
#include "mime/MailCompose.h"

using pw::QuickReplyText;
using pw::ReplyError;

namespace {

pw::RefPtr<pw::MailMessage> Original(const std::string& header) {
  auto m = pw::MailMessage::Create(L"orig");
  const std::string text = header + "\r\n";
  pw::parseHeader(*m, text.data(), text.size());
  return m;
}

// The composed text parsed back as a received message would be.
pw::RefPtr<pw::MailMessage> Parsed(const std::string& text) {
  auto m = pw::MailMessage::Create(L"back");
  const size_t end = text.find("\r\n\r\n");
  pw::parseHeader(*m, text.data(), end + 2);
  pw::parseMessage(*m, text.data(), text.size());
  return m;
}

std::wstring Field(const pw::MailMessage& m, const wchar_t* name) {
  const wchar_t* v = pw::nextFieldValue(m, name);
  return v ? v : L"";
}

std::string HeaderOf(const std::string& text) { return text.substr(0, text.find("\r\n\r\n") + 2); }

QuickReplyText Reply(const std::wstring& subject, const std::wstring& body, const std::wstring& charset = L"") {
  return {L"\"Ann Example\" <ann@example.org>", L"Bob <bob@example.net>", subject, body, charset};
}

}  // namespace

TEST(QuickReplyInitial, RecipientSubjectQuoteAndSender) {
  auto m = Original("From: Bob <bob@example.net>\r\nReply-To: list <list@example.net>\r\nSubject: Hello");
  EXPECT_EQ(pw::InitialReplyTo(*m), L"list <list@example.net>");
  EXPECT_EQ(pw::InitialReplySubject(*m), L"Re: Hello");
  auto again = Original("From: bob@example.net\r\nReply-To: nobody\r\nSubject: RE: Hello");
  EXPECT_EQ(pw::InitialReplyTo(*again), L"bob@example.net");  // a Reply-To without an address is passed over
  EXPECT_EQ(pw::InitialReplySubject(*again), L"RE: Hello");   // never "Re: RE: "
  auto none = Original("From: x@example.org");
  EXPECT_EQ(pw::InitialReplySubject(*none), L"Re: ");
  EXPECT_EQ(pw::QuoteText(L"one\r\ntwo\nthree"), L"> one\r\n> two\r\n> three");
  pw::AccountSettings s;
  wcscpy(s.outFrom, L"ann@example.org");
  EXPECT_EQ(pw::InitialReplyFrom(s), L"ann@example.org");
  wcscpy(s.outName, L"Ann");
  EXPECT_EQ(pw::InitialReplyFrom(s), L"\"Ann\" <ann@example.org>");
}

// Addresses as RFC 5322 has them: hyphens, plus tags and apostrophes are
// part of the address, never cut into someone else's.
TEST(QuickReplyAddress, LocalPartsAndInvalidValues) {
  EXPECT_EQ(pw::FindAddress(L"first-last@x.org"), L"first-last@x.org");
  EXPECT_EQ(pw::FindAddress(L"Someone <a+tag@x.org>"), L"a+tag@x.org");
  EXPECT_EQ(pw::FindAddress(L"\"O'Brien\" <o'brien@x.org>"), L"o'brien@x.org");
  EXPECT_EQ(pw::FindAddress(L"b@x.org (Bee)"), L"b@x.org");
  EXPECT_EQ(pw::FindAddress(L"<>"), L"");
  EXPECT_EQ(pw::FindAddress(L"no address here"), L"");
  EXPECT_EQ(pw::FindAddress(L"<a@b\r\nRCPT TO:<c@d>"), L"c@d");  // never an address with a line break
  EXPECT_EQ(pw::DisplayName(L"\"Doe, Jane\" <jane@x.org>"), L"Doe, Jane");
  std::string text;
  QuickReplyText r = Reply(L"s", L"b");
  r.to = L"Bob <>";
  EXPECT_EQ(pw::ComposeReply(r, nullptr, nullptr, text), ReplyError::kNoRecipient);
  EXPECT_TRUE(text.empty());
  r = Reply(L"s", L"b");
  r.from = L"";
  EXPECT_EQ(pw::ComposeReply(r, nullptr, nullptr, text), ReplyError::kNoSender);
}

// CR and LF in a subject, a name or an address never start a header line of
// their own; the decoded subject reads as the user wrote it, minus breaks.
TEST(QuickReplyCompose, HeaderInjectionIsRemoved) {
  QuickReplyText r = Reply(L"Hi\r\nBcc: victim@example.com", L"body");
  r.to = L"Bob\r\nBcc: x@y.org <bob@example.net>";
  std::string text;
  ASSERT_EQ(pw::ComposeReply(r, nullptr, "Wed, 09 Dec 2026 12:00:00 +0000", text), ReplyError::kNone);
  const std::string header = HeaderOf(text);
  EXPECT_EQ(header.find("\r\nBcc:"), std::string::npos) << header;
  auto back = Parsed(text);
  EXPECT_EQ(Field(*back, L"Subject"), L"HiBcc: victim@example.com");
  EXPECT_EQ(pw::FindAddress(Field(*back, L"To")), L"bob@example.net");
}

// A long subject in a charset the text needs: encoded words of at most 75
// characters, header lines of at most 76, decoded back to the same text.
TEST(QuickReplyCompose, LongEncodedSubjectAndNameRoundTrip) {
  std::wstring subject;
  for (int i = 0; i < 300; ++i) subject += L"Grüße, \x20AC\x4E2D ";
  QuickReplyText r = Reply(subject, L"text");
  r.from = L"Jürgen \"the\" Müller, Jr. <jm@example.org>";
  std::string text;
  ASSERT_EQ(pw::ComposeReply(r, nullptr, "Wed, 09 Dec 2026 12:00:00 +0000", text), ReplyError::kNone);
  const std::string header = HeaderOf(text);
  size_t start = 0;
  while (start < header.size()) {
    const size_t end = header.find("\r\n", start);
    EXPECT_LE(end - start, 76u) << header.substr(start, end - start);
    start = end + 2;
  }
  for (size_t at = header.find("=?"); at != std::string::npos; at = header.find("=?", at + 2)) {
    const size_t close = header.find("?=", header.find("?Q?", at) + 3);
    EXPECT_LE(close + 2 - at, 75u);
    at = close;
  }
  EXPECT_EQ(header.find("\"=?"), std::string::npos) << "encoded words never inside quotes";
  auto back = Parsed(text);
  EXPECT_EQ(Field(*back, L"Subject"), subject.substr(0, subject.size()));
  EXPECT_EQ(pw::DisplayName(Field(*back, L"From")), L"Jürgen the Müller, Jr.");
  EXPECT_NE(header.find("charset=utf-8"), std::string::npos);
}

// Body: quoted-printable when 8-bit or long, 7bit otherwise; the chosen
// charset when the text fits, UTF-8 when not; Windows-1252's euro sign is
// never sent as ISO-8859-1.
TEST(QuickReplyCompose, BodyCharsetAndTransferEncoding) {
  struct Case {
    std::wstring body;
    std::wstring charset;
    const char* label;
    const char* encoding;
  } cases[] = {
      {L"plain text\r\n.\r\nwith a dot line", L"iso-8859-1", "iso-8859-1", "7bit"},
      {L"caf\x00E9 cr\x00E8me", L"iso-8859-1", "iso-8859-1", "quoted-printable"},
      {L"costs 5 \x20AC", L"iso-8859-1", "utf-8", "quoted-printable"},
      {L"costs 5 \x20AC", L"windows-1252", "windows-1252", "quoted-printable"},
      {L"\x041F\x0440\x0438\x0432\x0435\x0442", L"koi8-r", "koi8-r", "quoted-printable"},
      {L"\x4E2D\x6587", L"koi8-r", "utf-8", "quoted-printable"},
      {std::wstring(200, L'x'), L"", "iso-8859-1", "quoted-printable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string text;
    ASSERT_EQ(pw::ComposeReply(Reply(L"s", c.body, c.charset), nullptr, "Wed, 09 Dec 2026 12:00:00 +0000", text),
              ReplyError::kNone);
    const std::string header = HeaderOf(text);
    EXPECT_NE(header.find(std::string("charset=") + c.label + "\r\n"), std::string::npos) << header;
    EXPECT_NE(header.find(std::string("Content-Transfer-Encoding: ") + c.encoding), std::string::npos) << header;
    const std::string body = text.substr(header.size() + 2);
    size_t start = 0;
    while (start < body.size()) {
      const size_t end = body.find("\r\n", start);
      EXPECT_LE(end - start, 76u);
      start = end + 2;
    }
    auto back = Parsed(text);
    const auto leaf = pw::leafText(*back, 0);
    ASSERT_TRUE(leaf.has_value());
    std::wstring got = *leaf;
    while (!got.empty() && (got.back() == L'\n' || got.back() == L'\r')) got.pop_back();
    EXPECT_EQ(got, c.body);
  }
}

TEST(QuickReplyCompose, DateAndThreading) {
  SYSTEMTIME local = {};
  local.wYear = 2026;
  local.wMonth = 1;
  local.wDay = 1;
  local.wDayOfWeek = 4;
  local.wHour = 23;
  local.wMinute = 30;
  local.wSecond = 5;
  EXPECT_EQ(pw::FormatMailDate(local, -300), "Thu, 01 Jan 2026 23:30:05 -0500");
  EXPECT_EQ(pw::FormatMailDate(local, 330), "Thu, 01 Jan 2026 23:30:05 +0530");
  const std::string now = pw::MailDateNow();
  EXPECT_EQ(now.size(), 31u) << now;

  auto original = Original(
      "From: bob@example.net\r\nMessage-ID: <m2@example.net>\r\n"
      "References: <root@example.net> <bad id@x> <no-at-sign> <m1@example.net>\r\nSubject: t");
  std::string text;
  ASSERT_EQ(pw::ComposeReply(Reply(L"Re: t", L"b"), original.Get(), nullptr, text), ReplyError::kNone);
  const std::string header = HeaderOf(text);
  EXPECT_NE(header.find("In-Reply-To: <m2@example.net>\r\n"), std::string::npos) << header;
  EXPECT_NE(header.find("References: <root@example.net> <m1@example.net> <m2@example.net>\r\n"), std::string::npos)
      << header;
  EXPECT_NE(header.find("Message-ID: <"), std::string::npos);

  auto bad = Original("From: bob@example.net\r\nMessage-ID: not an id\r\nSubject: t");
  ASSERT_EQ(pw::ComposeReply(Reply(L"Re: t", L"b"), bad.Get(), nullptr, text), ReplyError::kNone);
  EXPECT_EQ(text.find("In-Reply-To"), std::string::npos);
  EXPECT_EQ(text.find("References"), std::string::npos);
}

TEST(QuickReplyCharsets, PlatformListHoldsCommonCharsets) {
  pw::ScopedCoInit com;
  size_t selected = 99;
  const auto list = pw::MailCharsets(&selected);
  ASSERT_FALSE(list.empty());
  ASSERT_LT(selected, list.size());
  bool utf8 = false;
  for (const auto& c : list) {
    EXPECT_FALSE(c.description.empty());
    if (_wcsicmp(c.charset.c_str(), L"utf-8") == 0) utf8 = true;
  }
  EXPECT_TRUE(utf8);
}
