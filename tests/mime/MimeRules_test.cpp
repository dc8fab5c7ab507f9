// Real-world messages against the RFC rules they break most often: leading
// line breaks from POP3, multipart splitting (RFC 2046 5.1.1), enclosed
// messages, attachment names, headers without their blank line, and the
// adjacency rule of encoded words (RFC 2047 6.2).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "base/Scoped.h"
#include "mime/HeaderWords.h"

using namespace pw;

namespace {

// A message as a POP3 session hands it over: TOP's header and RETR's whole
// text, each after the CR LF that ended the "+OK" line.
RefPtr<MailMessage> Fetched(const std::string& message) {
  RefPtr<MailMessage> m = MailMessage::Create(L"u");
  const size_t blank = message.find("\r\n\r\n");
  const std::string header = "\r\n" + (blank == std::string::npos ? message : message.substr(0, blank + 4));
  parseHeader(*m, header.data(), header.size());
  const std::string whole = "\r\n" + message;
  parseMessage(*m, whole.data(), whole.size());
  return m;
}

std::wstring Field(const HeaderFieldList& fields, const wchar_t* name) {
  const wchar_t* v = nextFieldValue(fields, name);
  return v ? v : L"<none>";
}

std::wstring Leaf(const MailMessage& m, int i) { return leafText(m, i).value_or(L"<none>"); }

std::vector<std::wstring> Names(const MailMessage& m) {
  std::vector<AttachmentName> list;
  attachmentNames(m, list);
  std::vector<std::wstring> out;
  for (const auto& a : list) out.push_back(a.name);
  return out;
}

std::wstring Content(const MimePart& p) { return std::wstring(p.content, p.content + p.length); }

class MimeRules : public ::testing::Test {
  ScopedCoInit com_;
};

}  // namespace

TEST_F(MimeRules, FirstFieldAfterTheStatusLineIsFound) {
  for (const char* first : {"From: a@example.org", "Subject: hello", "Date: Tue, 5 Jul 2005 10:00:00 +0000",
                            "Content-Type: text/plain; charset=utf-8"}) {
    auto m = Fetched(std::string(first) + "\r\nX-Second: 2\r\n\r\nbody\r\n");
    ASSERT_EQ(m->headerFields.size(), 2u) << first;
    const std::wstring name = m->headerFields[0].first;
    EXPECT_EQ(std::string(first).substr(0, name.size()), std::string(name.begin(), name.end())) << first;
    EXPECT_EQ(Leaf(*m, 0), L"body\r\n");
  }
  auto m = Fetched("Date: Tue, 5 Jul 2005 10:00:00 +0000\r\n\r\n");
  EXPECT_NE(m->date.wYear, 0);
  // The raw header is kept as it came.
  EXPECT_EQ(std::string(m->rawHeader.Get(), 2), "\r\n");
}

TEST_F(MimeRules, MultipartSplitting) {
  auto m = Fetched(
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
      "preamble, not a part\r\n"
      "x--b is not at a line start\r\n"
      "--bX is another boundary\r\n"
      "--b \t\r\n"  // transport padding
      "\r\n"        // no header lines: text/plain, us-ascii
      "headerless text\r\n"
      "--b\r\n"
      "--b\r\n"  // two in a row: an empty part
      "Content-Type: text/plain\r\n\r\n"
      "second\r\n"
      "--bX inside the part\r\n"
      "--b-- \r\n"
      "epilogue\r\n"
      "--b\r\n"
      "Content-Type: text/plain\r\n\r\n"
      "not a part\r\n");
  ASSERT_EQ(m->parts.size(), 3u);
  EXPECT_TRUE(m->parts[0]->headerFields.empty());
  EXPECT_EQ(Content(*m->parts[0]), L"headerless text");
  EXPECT_EQ(Leaf(*m, 0), L"headerless text");
  EXPECT_TRUE(m->parts[1]->headerFields.empty());
  EXPECT_EQ(m->parts[1]->length, 0u);
  ASSERT_EQ(m->parts[2]->headerFields.size(), 1u);
  EXPECT_EQ(std::wstring(m->parts[2]->headerFields[0].first), L"Content-Type");
  EXPECT_EQ(Leaf(*m, 2), L"second\r\n--bX inside the part");
  EXPECT_EQ(Leaf(*m, 3), L"<none>");

  // Boundaries given in RFC 2231 form, and a folded Content-Type.
  for (const char* type : {"multipart/mixed; boundary*0=\"se\"; boundary*1=\"p\"",
                           "multipart/mixed; boundary*=us-ascii''sep", "multipart/mixed;\r\n\tboundary=\"sep\""}) {
    m = Fetched(std::string("Content-Type: ") + type +
                "\r\n\r\n--sep\r\nContent-Type: text/plain\r\n\r\none\r\n--sep\r\n\r\ntwo\r\n--sep--\r\n");
    ASSERT_EQ(m->parts.size(), 2u) << type;
    EXPECT_EQ(Leaf(*m, 1), L"two") << type;
  }
}

TEST_F(MimeRules, EnclosedMessagesAndAttachmentNames) {
  auto m = Fetched(
      "Subject: outer\r\nContent-Type: multipart/mixed; boundary=o\r\n\r\n"
      "--o\r\nContent-Type: text/plain\r\n\r\nhello\r\n"
      "--o\r\nContent-Type: message/rfc822\r\n\r\n"
      "Subject: =?utf-8?Q?inn=C3=A9r?=\r\nContent-Type: multipart/mixed; boundary=i\r\n\r\n"
      "--i\r\nContent-Type: text/plain\r\n\r\ninner text\r\n"
      "--i\r\nContent-Type: application/pdf; name=\"deep.pdf\"\r\n\r\n%PDF\r\n--i--\r\n"
      "--o\r\nContent-Type: image/png; name=\"=?utf-8?B?cGljdHVyZQ==?=.png\"\r\n"
      "Content-Disposition: inline\r\n\r\nPNG\r\n"
      "--o\r\nContent-Type: text/plain\r\nContent-Disposition: inline; filename=\"shown.txt\"\r\n\r\nshown\r\n"
      "--o\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename=\"a;b.txt\"\r\n\r\nsaved\r\n"
      "--o\r\nContent-Type: application/octet-stream\r\n"
      "Content-Disposition: attachment; filename*=utf-8''%E2%82%AC.bin\r\n\r\nX\r\n"
      "--o\r\nContent-Type: application/zip\r\n"
      "Content-Disposition: attachment;\r\n filename=\"=?utf-8?B?w6kuemlw?=\"\r\n\r\nZ\r\n"
      "--o--\r\n");
  ASSERT_EQ(m->parts.size(), 7u);
  // The enclosed message: one sub-part holding its header and body.
  ASSERT_EQ(m->parts[1]->parts.size(), 1u);
  EXPECT_EQ(Field(m->parts[1]->parts[0]->headerFields, L"Subject"), L"inn\u00E9r");
  EXPECT_EQ(Leaf(*m, 0), L"hello");
  EXPECT_EQ(Leaf(*m, 1), L"inner text");
  EXPECT_EQ(Leaf(*m, 2), L"%PDF");
  EXPECT_EQ(Names(*m), (std::vector<std::wstring>{L"inn\u00E9r", L"deep.pdf", L"picture.png", L"a;b.txt",
                                                  L"\u20AC.bin", L"\u00E9.zip"}));

  // In a digest a part without Content-Type is an enclosed message.
  m = Fetched(
      "Content-Type: multipart/digest; boundary=d\r\n\r\n"
      "--d\r\n\r\nSubject: first\r\n\r\nfirst body\r\n"
      "--d\r\nContent-Type: text/plain\r\n\r\nplain\r\n--d--\r\n");
  ASSERT_EQ(m->parts.size(), 2u);
  ASSERT_EQ(m->parts[0]->parts.size(), 1u);
  EXPECT_EQ(Leaf(*m, 0), L"first body");
  EXPECT_EQ(Leaf(*m, 1), L"plain");
  EXPECT_EQ(Names(*m), std::vector<std::wstring>{L"first"});
}

TEST_F(MimeRules, HeadersWithoutTheirBlankLine) {
  // No header at all: the blank line comes first.
  auto m = Fetched("\r\nonly a body\r\n");
  EXPECT_TRUE(m->headerFields.empty());
  EXPECT_EQ(Leaf(*m, 0), L"only a body\r\n");
  // No blank line: the header ends at the first line that is no field.
  m = Fetched("Subject: s\r\n folded\r\nthe body starts here\r\nKey: not a field\r\n");
  EXPECT_EQ(Field(m->headerFields, L"Subject"), L"s folded");
  EXPECT_EQ(findField(m->headerFields, L"Key"), -1);
  EXPECT_EQ(Leaf(*m, 0), L"the body starts here\r\nKey: not a field\r\n");
  // An mbox separator line is no field; "From :" with white space is one.
  m = Fetched("From a@example.org Tue Jul  5 10:00:00 2005\r\nSubject: s\r\n\r\nb");
  EXPECT_EQ(findField(m->headerFields, L"From"), -1);
  EXPECT_EQ(Field(m->headerFields, L"Subject"), L"s");
  m = Fetched("From : a@example.org\r\n\r\nb");
  EXPECT_EQ(Field(m->headerFields, L"From"), L"a@example.org");
  // A part whose header is not ended by a blank line.
  m = Fetched("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\nbody\r\n--b--\r\n");
  ASSERT_EQ(m->parts.size(), 1u);
  EXPECT_EQ(Leaf(*m, 0), L"body");
}

TEST_F(MimeRules, AdjacentEncodedWords) {
  auto decode = [](const char* raw) { return decodeValue(raw, strlen(raw), nullptr); };
  // A character split between two words of one charset is decoded whole.
  EXPECT_EQ(decode("=?utf-8?B?4oI=?= =?UTF-8?B?rA==?="), L"\u20AC");
  EXPECT_EQ(decode("=?utf-8?Q?=E2=82?=\r\n =?utf-8?Q?=AC_?= x"), L"\u20AC  x");
  EXPECT_EQ(decode("=?shift_jis?B?gg==?= =?Shift_JIS?B?oA==?="), L"\u3042");
  EXPECT_EQ(decode("=?iso-8859-1?Q?a=E9?= =?iso-8859-1?Q?b?="), L"a\u00E9b");
  EXPECT_EQ(decode("=?utf-8?Q?=C3=A9?= =?utf-8?Q?=E2=82?= =?utf-8?Q?=AC?="), L"\u00E9\u20AC");
  // Words of different charsets lose the space between them too.
  EXPECT_EQ(decode("=?iso-8859-1?Q?caf=E9?=\r\n\t=?utf-8?Q?_cr=C3=A8me?="), L"caf\u00E9 cr\u00E8me");
  // Text between words stays; a malformed word is shown as it stands.
  EXPECT_EQ(decode("=?utf-8?Q?a?= - =?utf-8?Q?b?="), L"a - b");
  EXPECT_EQ(decode("=?utf-8?Q?a?= =?bad =?utf-8?Q?c?="), L"a =?bad c");
  EXPECT_EQ(decode("=?utf-8?Q?a?= =?utf-8?Z"), L"a =?utf-8?Z");
  // RFC 2231 language in the charset.
  EXPECT_EQ(decode("=?utf-8*en?Q?x?="), L"x");
}
