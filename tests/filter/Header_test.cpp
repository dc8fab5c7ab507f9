#include <gtest/gtest.h>

#include <string>

#include "core/Scoped.h"
#include "filter/HeaderDate.h"
#include "filter/HeaderFields.h"
#include "filter/HeaderWords.h"
#include "filter/MailMessage.h"

using namespace pw;

namespace {

RefPtr<MailMessage> Parse(const std::string& block) {
  RefPtr<MailMessage> m = MailMessage::Create(L"u");
  parseHeader(*m, block.data(), block.size());
  return m;
}

std::wstring Field(const MailMessage& m, const wchar_t* name) {
  const wchar_t* v = nextFieldValue(m, name);
  return v ? v : L"<none>";
}

std::wstring Decode(const char* raw, const wchar_t* charset = nullptr) {
  return decodeValue(raw, strlen(raw), charset);
}

class Header : public ::testing::Test {
  ScopedCoInit com_;
};

}  // namespace

TEST_F(Header, EncodedWords) {
  EXPECT_EQ(Decode("=?iso-8859-1?Q?Caf=E9_au_lait?="), L"Caf\u00E9 au lait");
  EXPECT_EQ(Decode("=?UTF-8?B?Q2Fmw6k=?="), L"Caf\u00E9");
  EXPECT_EQ(Decode("=?utf-8?b?Q2Fmw6k=?="), L"Caf\u00E9");
  // Adjacent words keep the white space between them.
  EXPECT_EQ(Decode("=?utf-8?Q?a?= =?utf-8?Q?b?="), L"a b");
  EXPECT_EQ(Decode("Re: =?koi8-r?B?8NLJ?= x"), L"Re: \u041F\u0440\u0438 x");
  // A letter other than B and Q copies the text.
  EXPECT_EQ(Decode("=?utf-8?X?abc?="), L"abc");
  // "==" is one '='; "=" before non-hexadecimal bytes stays as written.
  EXPECT_EQ(Decode("=?us-ascii?Q?a==b=ZZc=4?="), L"a=b=ZZc=4");
}

TEST_F(Header, MalformedWordsBecomeText) {
  EXPECT_EQ(Decode("before =?utf-8?Q?never closed"), L"before =?utf-8?Q?never closed");
  EXPECT_EQ(Decode("x =?utf-8"), L"x =?utf-8");
  EXPECT_EQ(Decode("x =?utf-8?"), L"x =?utf-8?");
  EXPECT_EQ(Decode("x =?utf-8?Q"), L"x =?utf-8?Q");
  EXPECT_EQ(Decode("=?"), L"=?");
  const std::string longName = "=?" + std::string(100, 'a') + "?Q?b?=";
  EXPECT_EQ(Decode(longName.c_str()), std::wstring(longName.begin(), longName.end()));
}

TEST_F(Header, FoldingAndDefaultCharset) {
  auto m = Parse(
      "Subject: Hello\r\n world\r\n"
      "To: a\r\n\t  b\r\n"
      "From: =?iso-8859-1?Q?Jos=E9?= <j@x>\r\n"
      "X-Plain: Caf\xC3\xA9\r\n"
      "Content-Type: text/plain; charset=\"utf-8\"\r\n"
      "\r\n");
  ASSERT_EQ(m->headerFields.size(), 5u);
  EXPECT_EQ(Field(*m, L"Subject"), L"Helloworld");
  EXPECT_EQ(Field(*m, L"To"), L"a  b");  // TAB and LF removed, a second blank stays
  EXPECT_EQ(Field(*m, L"From"), L"Jos\u00E9 <j@x>");
  // Decoded with the charset of a Content-Type written after it.
  EXPECT_EQ(Field(*m, L"X-Plain"), L"Caf\u00E9");
  EXPECT_EQ(messageCharset(*m).value_or(L"<none>"), L"utf-8");
  // Raw value keeps the folding.
  EXPECT_EQ(rawFieldValue(*m, L"Subject").value_or(L"<none>"), L"Hello\r\n world");
}

TEST_F(Header, FieldsAndLookups) {
  auto m = Parse(
      "Received: one\r\n"
      "content-type: text/plain\r\n"
      "X-Old-Subject: old\r\n"
      "subject: new\r\n"
      "Received:two\r\n"
      "NoValue:\r\n"
      "Dropped: not terminated");
  ASSERT_EQ(m->headerFields.size(), 6u);
  EXPECT_EQ(findField(*m, L"Content-Type"), 1);
  EXPECT_EQ(findField(*m, L"Received", 1), 4);
  EXPECT_EQ(findField(*m, L"Dropped"), -1);
  EXPECT_EQ(Field(*m, L"NoValue"), L"");
  size_t it = 0;
  EXPECT_STREQ(nextFieldValue(*m, L"received", &it), L"one");
  EXPECT_STREQ(nextFieldValue(*m, L"received", &it), L"two");
  EXPECT_EQ(nextFieldValue(*m, L"received", &it), nullptr);
  // Case-sensitive substring search: the lower-case field is not found, the
  // longer name ending in "Subject" is.
  EXPECT_EQ(rawFieldValue(*m, L"Subject").value_or(L"<none>"), L"old");
  EXPECT_FALSE(rawFieldValue(*m, L"Content-Type"));
  EXPECT_FALSE(messageCharset(*m));
  // A header without any terminator, and a null header.
  EXPECT_TRUE(Parse("Subject: x")->headerFields.empty());
  parseHeader(*m, nullptr, 0);
  EXPECT_TRUE(m->headerFields.empty());
  EXPECT_FALSE(m->rawHeader.IsSet());
  EXPECT_FALSE(rawFieldValue(*m, L"Subject"));
}

TEST_F(Header, Parameters) {
  EXPECT_EQ(headerParameter(L"multipart/mixed; BOUNDARY= \"abc\"", L"boundary").value_or(L"-"), L"abc");
  EXPECT_EQ(headerParameter(L"text/plain; charset=utf-8; format=flowed", L"charset").value_or(L"-"), L"utf-8");
  EXPECT_EQ(headerParameter(L"attachment; filename=\"a b.txt", L"filename").value_or(L"-"), L"a b.txt");
  EXPECT_FALSE(headerParameter(L"text/plain; charset=", L"charset"));
  EXPECT_FALSE(headerParameter(L"text/plain; charset", L"charset"));
  EXPECT_FALSE(headerParameter(L"text/plain", L"charset"));
  // A plain substring search: "xname" is found for "name".
  EXPECT_EQ(headerParameter(L"a; xname=1", L"name").value_or(L"-"), L"1");
}

TEST_F(Header, Dates) {
  auto m = Parse("Date: Tue, 5 Jul 2005 10:00:00 +0200\r\n\r\n");
  SYSTEMTIME utc = {2005, 7, 2, 5, 8, 0, 0, 0}, local;
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
  EXPECT_EQ(m->date.wYear, local.wYear);
  EXPECT_EQ(m->date.wMonth, local.wMonth);
  EXPECT_EQ(m->date.wDay, local.wDay);
  EXPECT_EQ(m->date.wHour, local.wHour);
  EXPECT_EQ(m->date.wMinute, local.wMinute);

  SYSTEMTIME t = parseDate(L"Tue, 5 Jul 05 10:00:00 GMT");
  EXPECT_EQ(t.wYear, 2005);
  EXPECT_EQ(t.wMonth, 7);
  EXPECT_EQ(t.wDay, 5);
  EXPECT_EQ(t.wDayOfWeek, 2);
  EXPECT_EQ(t.wHour, 10);
  EXPECT_EQ(t.wSecond, 0);

  // Without the weekday the first number is the day.
  t = parseDate(L"5 Jul 2005 10:00");
  EXPECT_EQ(t.wYear, 2005);
  EXPECT_EQ(t.wMonth, 7);
  EXPECT_EQ(t.wDay, 5);
  EXPECT_EQ(t.wHour, 10);

  // Across a day boundary westwards: 23:30 -0130 is 01:00 UTC the next day.
  t = parseDate(L"Mon, 31 Dec 2007 23:30:15 -0130");
  utc = {2008, 1, 2, 1, 1, 0, 15, 0};
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
  EXPECT_EQ(t.wDay, local.wDay);
  EXPECT_EQ(t.wHour, local.wHour);
  EXPECT_EQ(t.wSecond, 15);

  for (const wchar_t* bad : {L"", L"Tue", L"Tue, 5", L"Tue, 5 Foo 2005 10:00", L"Tue, 5 Jul 2005", L"Tue, 5 Jul 2005 10",
                             L"Tue, 5 13 2005 10:00"}) {
    t = parseDate(bad);
    EXPECT_EQ(t.wYear, 0) << bad;
    EXPECT_EQ(t.wMonth, 0) << bad;
  }
}

TEST_F(Header, EncodeWordRoundTrips) {
  EXPECT_EQ(encodeWord(L"Hi there", L"us-ascii"), L"=?us-ascii?Q?Hi_there?=");
  EXPECT_EQ(encodeWord(L"a=b?c_d\t", L"utf-8"), L"=?utf-8?Q?a=3Db=3Fc=5Fd=09?=");
  for (const wchar_t* text : {L"Caf\u00E9 au lait", L"\u041F\u0440\u0438\u0432\u0435\u0442 = ?_"}) {
    const std::wstring word = encodeWord(text, L"utf-8");
    const std::string bytes(word.begin(), word.end());
    EXPECT_EQ(Decode(bytes.c_str()), text);
  }
}

TEST_F(Header, Base64PaddingAddsNoBytes) {
  EXPECT_EQ(decodeBase64("YQ==", 4), "a");
  EXPECT_EQ(decodeBase64("YWI=", 4), "ab");
  EXPECT_EQ(decodeBase64("YWJj", 4), "abc");
  EXPECT_EQ(decodeBase64("YW Jj\r\n", 7), "abc");
  EXPECT_EQ(decodeBase64("", 0), "");
}
