#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "account/MailMessage.h"
#include "account/MessageHeader.h"
#include "base/Base64Coder.h"
#include "base/Scoped.h"
#include "mime/HeaderDate.h"
#include "mime/HeaderFields.h"
#include "mime/HeaderWords.h"

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
  // White space between adjacent words is dropped (RFC 2047 6.2).
  EXPECT_EQ(Decode("=?utf-8?Q?a?= =?utf-8?Q?b?="), L"ab");
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

// The sixteen-byte steps of the plain-text and charset-name readers must
// agree with a byte-by-byte reading wherever a line break, a non-plain byte
// or the end of the value falls.
TEST_F(Header, FastPathsAgreeWithByteByByteReading) {
  std::mt19937 rng(2047);
  const char kBytes[] = "abcXYZ 019:<>@.\t\r\n\r\n+~";
  for (int i = 0; i < 3000; ++i) {
    std::string raw;
    for (int n = static_cast<int>(rng() % 70); n > 0; --n) raw += kBytes[rng() % (sizeof kBytes - 1)];
    std::wstring expected;
    for (char c : raw)
      if (c != '\r' && c != '\n') expected += static_cast<wchar_t>(c);
    ASSERT_EQ(decodeValue(raw.data(), raw.size(), L"utf-8"), expected) << i;
  }
  // Names that begin alike, differ in case, end near the value's end, or
  // are longer than sixteen bytes, in one value.
  EXPECT_EQ(Decode("=?iso-8859-1?Q?=A4?= =?iso-8859-15?Q?=A4?= =?ISO-8859-15?Q?=A4?= =?koi8-r?Q?=F0?="),
            L"\u00A4\u20AC\u20AC\u041F");
  EXPECT_EQ(Decode("=?koi8-r?Q?=F0?="), L"\u041F");
  EXPECT_EQ(Decode("=?utf-8*en?Q?=C3=A9?= =?utf-8*fr-ca?Q?=C3=A9?="), L"\u00E9\u00E9");
  EXPECT_EQ(Decode("=?x-unknown-charset-number-1?Q?a?= =?iso-8859-15?Q?=A4?= =?x-unknown-charset-number-2?Q?b?="),
            L"a\u20ACb");
  EXPECT_EQ(Decode("=?utf 8?Q?a?="), L"=?utf 8?Q?a?=");
}

// A value read inside its header block (whose next lines the sixteen-byte
// steps may read) decodes exactly as the same value alone: what follows
// its end, encoded words, "?=", bytes above 127 or line breaks, never
// changes it.
TEST_F(Header, ValuesInABlockDecodeAsValuesAlone) {
  std::mt19937 rng(5322);
  const char* const kPieces[] = {"a",   "bc ",   "=?utf-8?Q?=C3=A9?=", "=?utf-8?B?w6k=?=", "?=", "=?", "?",
                                 "=",   "\xE9", "=?iso-8859-1?Q?",    "utf-8?Q?x?=",      "+",  "\t",
                                 "Q?=", "~",     "=?koi8-r?B?8NLJ?="};
  for (int i = 0; i < 400; ++i) {
    std::string block;
    for (int f = 1 + static_cast<int>(rng() % 6); f > 0; --f) {
      block += std::string("X-Name-Of-Some-Length-").substr(0, 1 + rng() % 22) + std::to_string(f) + ":";
      for (int n = static_cast<int>(rng() % 8); n > 0; --n) {
        block += kPieces[rng() % (sizeof kPieces / sizeof *kPieces)];
        if (rng() % 5 == 0) block += "\r\n ";  // a folded line
      }
      block += "\r\n";
    }
    std::vector<RawField> raw;
    splitFields(block.data(), block.size(), raw);
    HeaderFieldList fields;
    parseFieldList(block.data(), block.size(), fields, false);
    ASSERT_EQ(fields.size(), raw.size()) << block;
    for (size_t f = 0; f < raw.size(); ++f) {
      ASSERT_EQ(std::wstring(fields[f].first), std::wstring(raw[f].name, raw[f].name + raw[f].nameLength));
      ASSERT_EQ(wcslen(fields[f].first.c_str()), raw[f].nameLength);  // ended where it ends
      ASSERT_EQ(std::wstring(fields[f].second), decodeValue(raw[f].value, raw[f].valueLength, nullptr))
          << i << ": " << block;
    }
  }
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
  // Unfolding removes the line break only (RFC 5322 2.2.3).
  EXPECT_EQ(Field(*m, L"Subject"), L"Hello world");
  EXPECT_EQ(Field(*m, L"To"), L"a\t  b");
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
      "Kept: not terminated");
  ASSERT_EQ(m->headerFields.size(), 7u);
  EXPECT_EQ(findField(*m, L"Content-Type"), 1);
  EXPECT_EQ(findField(*m, L"Received", 1), 4);
  EXPECT_EQ(Field(*m, L"Kept"), L"not terminated");  // nothing is lost
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
  EXPECT_EQ(Field(*Parse("Subject: x"), L"Subject"), L"x");
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
  // Whole names only, never inside a quoted value.
  EXPECT_FALSE(headerParameter(L"a; xname=1", L"name"));
  EXPECT_FALSE(headerParameter(L"a; x=\"; name=1\"", L"name"));
  EXPECT_EQ(headerParameter(L"a; xfilename=no; filename=yes", L"filename").value_or(L"-"), L"yes");
  // A quoted value keeps semicolons, quoted-pairs and white space.
  EXPECT_EQ(headerParameter(L"attachment; filename=\"a;b.txt\"", L"filename").value_or(L"-"), L"a;b.txt");
  EXPECT_EQ(headerParameter(L"a; name=\" x \\\"q\\\\ \"; b=1", L"name").value_or(L"-"), L" x \"q\\ ");
  EXPECT_EQ(headerParameter(L"a;name=v  ; b=1", L"name").value_or(L"-"), L"v");
  // RFC 2231: charset and percent escapes; continuations in number order,
  // encoded and plain sections mixed; the extended form wins.
  EXPECT_EQ(headerParameter(L"a; filename*=utf-8'en'%E2%82%AC%20rate.txt", L"filename").value_or(L"-"),
            L"\u20AC rate.txt");
  EXPECT_EQ(headerParameter(L"a; filename*=iso-8859-1''caf%E9", L"filename").value_or(L"-"), L"caf\u00E9");
  EXPECT_EQ(headerParameter(L"a; name*1=\"two \"; name*2*=%41; name*0*=utf-8''%C3%A9", L"name").value_or(L"-"),
            L"\u00E9two A");
  EXPECT_EQ(headerParameter(L"a; filename=\"old.txt\"; filename*=utf-8''new.txt", L"filename").value_or(L"-"),
            L"new.txt");
  EXPECT_EQ(headerParameter(L"a; boundary*0=\"ab\"; boundary*1=cd", L"boundary").value_or(L"-"), L"abcd");
  // A gap ends the joined value.
  EXPECT_EQ(headerParameter(L"a; n*0=a; n*2=c", L"n").value_or(L"-"), L"a");
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

  // Without a zone the time is kept as written.
  SYSTEMTIME t = parseDate(L"Tue, 5 Jul 05 10:00:00");
  EXPECT_EQ(t.wYear, 2005);
  EXPECT_EQ(t.wMonth, 7);
  EXPECT_EQ(t.wDay, 5);
  EXPECT_EQ(t.wDayOfWeek, 2);
  EXPECT_EQ(t.wHour, 10);
  EXPECT_EQ(t.wSecond, 0);

  // Obsolete zone names are converted (RFC 5322 4.3); military letters and
  // unknown names are -0000, UTC. Two-digit years below 50 are 20xx, from
  // 50 19xx; three digits count from 1900.
  struct Named {
    const wchar_t* date;
    SYSTEMTIME utc;
  };
  const Named named[] = {
      {L"Tue, 5 Jul 05 10:00:00 GMT", {2005, 7, 2, 5, 10, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 UT", {2005, 7, 2, 5, 10, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 EST", {2005, 7, 2, 5, 15, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 edt", {2005, 7, 2, 5, 14, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 CST", {2005, 7, 2, 5, 16, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 CDT", {2005, 7, 2, 5, 15, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 MST", {2005, 7, 2, 5, 17, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 MDT", {2005, 7, 2, 5, 16, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 PST", {2005, 7, 2, 5, 18, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 20:00:00 PDT", {2005, 7, 3, 6, 3, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 Z", {2005, 7, 2, 5, 10, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 K", {2005, 7, 2, 5, 10, 0, 0, 0}},
      {L"Tue, 5 Jul 2005 10:00:00 CEST", {2005, 7, 2, 5, 10, 0, 0, 0}},
      {L"Thu, 5 Jul 49 10:00 +0000", {2049, 7, 1, 5, 10, 0, 0, 0}},
      {L"Tue, 5 Jul 50 10:00 +0000", {1950, 7, 3, 5, 10, 0, 0, 0}},
      {L"Thu, 5 Jul 99 10:00 +0000", {1999, 7, 1, 5, 10, 0, 0, 0}},
      {L"Tue, 5 Jul 105 10:00 +0000", {2005, 7, 2, 5, 10, 0, 0, 0}},
  };
  for (const Named& n : named) {
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &n.utc, &local));
    t = parseDate(n.date);
    EXPECT_EQ(t.wYear, local.wYear) << n.date;
    EXPECT_EQ(t.wDay, local.wDay) << n.date;
    EXPECT_EQ(t.wHour, local.wHour) << n.date;
  }

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

namespace {

// A central European zone whose summer time ended in September until 1995
// and in October since, as the rules of its years say.
int g_rulesRead = 0;
bool CentralEurope(WORD year, TIME_ZONE_INFORMATION& z) {
  ++g_rulesRead;
  z = {};
  z.Bias = -60;
  z.StandardDate = {0, static_cast<WORD>(year < 1996 ? 9 : 10), 0, 5, 3, 0, 0, 0};  // last Sunday, 03:00
  z.DaylightDate = {0, 3, 0, 5, 2, 0, 0, 0};                                      // last Sunday of March, 02:00
  z.DaylightBias = -60;
  return true;
}
// Summer from the first Sunday of October to the first Sunday of April.
bool SouthEast(WORD, TIME_ZONE_INFORMATION& z) {
  z = {};
  z.Bias = -600;
  z.StandardDate = {0, 4, 0, 1, 3, 0, 0, 0};
  z.DaylightDate = {0, 10, 0, 1, 2, 0, 0, 0};
  z.DaylightBias = -60;
  return true;
}

struct ZoneRulesScope {
  explicit ZoneRulesScope(ZoneRulesReader reader) { setZoneRulesReader(reader); }
  ~ZoneRulesScope() { setZoneRulesReader(nullptr); }
};

std::string HourMinute(const wchar_t* date) {
  const SYSTEMTIME t = parseDate(date);
  char s[32];
  snprintf(s, sizeof s, "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
  return s;
}

}  // namespace

// The rules are kept per year: each date converts by the rules of its own
// year and season, on both sides of each change, however the dates are mixed.
TEST_F(Header, DatesConvertByTheRulesOfTheirYear) {
  ZoneRulesScope zone(CentralEurope);
  g_rulesRead = 0;
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(HourMinute(L"Sun, 28 Mar 2021 00:59:00 +0000"), "2021-03-28 01:59");
    EXPECT_EQ(HourMinute(L"Sun, 28 Mar 2021 01:00:00 +0000"), "2021-03-28 03:00");
    EXPECT_EQ(HourMinute(L"Sun, 28 Mar 2021 03:30:00 +0230"), "2021-03-28 03:00");
    EXPECT_EQ(HourMinute(L"Wed, 15 Jul 2020 10:00:00 -0500"), "2020-07-15 17:00");
    EXPECT_EQ(HourMinute(L"Tue, 15 Dec 2020 10:00:00 +0000"), "2020-12-15 11:00");
    EXPECT_EQ(HourMinute(L"Sun, 31 Oct 2021 00:59:00 +0000"), "2021-10-31 02:59");
    EXPECT_EQ(HourMinute(L"Sun, 31 Oct 2021 01:00:00 +0000"), "2021-10-31 02:00");
    // October 1995 was already winter time by that year's rules.
    EXPECT_EQ(HourMinute(L"Sun, 15 Oct 1995 10:00:00 +0000"), "1995-10-15 11:00");
    EXPECT_EQ(HourMinute(L"Sun, 15 Oct 2023 10:00:00 +0000"), "2023-10-15 12:00");
    // Into the next year at midnight UTC, in winter time.
    EXPECT_EQ(HourMinute(L"Fri, 31 Dec 2021 23:30:00 +0000"), "2022-01-01 00:30");
    // A named zone is converted too; a date without any zone stays as written.
    EXPECT_EQ(HourMinute(L"Wed, 15 Jul 2020 10:00:00 GMT"), "2020-07-15 12:00");
    EXPECT_EQ(HourMinute(L"Wed, 15 Jul 2020 10:00:00"), "2020-07-15 10:00");
  }
  // Read once for each year asked (2020, 2021, 1995, 2023), not for each date.
  EXPECT_EQ(g_rulesRead, 4);
  {
    ZoneRulesScope south(SouthEast);
    EXPECT_EQ(HourMinute(L"Mon, 15 Jan 2024 00:00:00 +0000"), "2024-01-15 11:00");
    EXPECT_EQ(HourMinute(L"Mon, 15 Jul 2024 00:00:00 +0000"), "2024-07-15 10:00");
  }
}

namespace {

// Changes at the last millisecond of a day, two in one month, a bias of
// half an hour, and a zone without summer time.
bool LateChanges(WORD, TIME_ZONE_INFORMATION& z) {
  z = {};
  z.Bias = 210;
  z.StandardDate = {0, 11, 6, 1, 23, 59, 59, 999};
  z.DaylightDate = {0, 3, 6, 2, 23, 59, 59, 999};
  z.DaylightBias = -30;
  return true;
}
bool ShortSummer(WORD, TIME_ZONE_INFORMATION& z) {
  z = {};
  z.Bias = -330;
  z.StandardDate = {0, 6, 0, 4, 1, 0, 0, 0};
  z.DaylightDate = {0, 6, 0, 1, 1, 0, 0, 0};
  z.DaylightBias = -60;
  return true;
}
bool NoSummer(WORD, TIME_ZONE_INFORMATION& z) {
  z = {};
  z.Bias = -545;
  return true;
}

}  // namespace

// Rules kept per year, however the years are mixed: every instant converts
// as the system converts it with its own year's rules, near the changes too.
TEST_F(Header, CachedRulesConvertAsTheSystem) {
  std::mt19937 rng(1995);
  for (ZoneRulesReader reader : {CentralEurope, SouthEast, LateChanges, ShortSummer, NoSummer}) {
    ZoneRulesScope zone(reader);
    for (int i = 0; i < 3000; ++i) {
      SYSTEMTIME utc = {static_cast<WORD>(1990 + rng() % 50), static_cast<WORD>(1 + rng() % 12), 0,
                        static_cast<WORD>(1 + rng() % 28), static_cast<WORD>(rng() % 24), static_cast<WORD>(rng() % 60),
                        static_cast<WORD>(rng() % 60), static_cast<WORD>(rng() % 1000)};
      // Half of them within a day of a change.
      if (i % 2) {
        TIME_ZONE_INFORMATION z;
        reader(utc.wYear, z);
        const SYSTEMTIME& change = rng() % 2 ? z.DaylightDate : z.StandardDate;
        if (change.wMonth) {
          utc.wMonth = change.wMonth;
          utc.wDay = static_cast<WORD>(1 + rng() % 28);
        }
      }
      TIME_ZONE_INFORMATION rules;
      reader(utc.wYear, rules);
      SYSTEMTIME expected, got;
      ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(&rules, &utc, &expected));
      ASSERT_TRUE(utcToLocalTime(utc, got));
      ASSERT_EQ(memcmp(&expected, &got, sizeof got), 0)
          << utc.wYear << "-" << utc.wMonth << "-" << utc.wDay << " " << utc.wHour << ":" << utc.wMinute << ":"
          << utc.wSecond << "." << utc.wMilliseconds << " -> " << got.wHour << ":" << got.wMinute << ", system "
          << expected.wHour << ":" << expected.wMinute;
    }
  }
  // Dates the calendar does not have stay as written; leap days convert.
  ZoneRulesScope zone(CentralEurope);
  EXPECT_EQ(HourMinute(L"Fri, 30 Feb 2024 10:00:00 +0000"), "2024-02-30 10:00");
  EXPECT_EQ(HourMinute(L"Thu, 29 Feb 2024 23:30:00 +0000"), "2024-03-01 00:30");
  EXPECT_EQ(HourMinute(L"Mon, 1 Jan 1601 00:30:00 +0100"), "1601-01-01 00:30");
  EXPECT_EQ(HourMinute(L"Mon, 5 Jan 1970 25:00:00 +0000"), "1970-01-05 25:00");
  EXPECT_EQ(parseDate(L"Tue, 5 Jul 2005 10:00:00 +0000").wDayOfWeek, 2);
}

// Blocks with many fields (a long chain of Received lines) keep every field
// in order, with the charset of a Content-Type that comes late.
TEST_F(Header, HundredsOfFieldsAllKept) {
  for (int n : {63, 64, 65, 300}) {
    std::string block;
    for (int i = 0; i < n; ++i) block += "X-Hop-" + std::to_string(i) + ": hop " + std::to_string(i) + " caf\xE9\r\n";
    block += "Content-Type: text/plain; charset=iso-8859-1\r\n";
    auto m = Parse(block);
    ASSERT_EQ(m->headerFields.size(), size_t(n + 1)) << n;
    for (int i = 0; i < n; ++i) {
      const auto f = m->headerFields[size_t(i)];
      EXPECT_EQ(std::wstring(f.first), L"X-Hop-" + std::to_wstring(i));
      EXPECT_EQ(std::wstring(f.second), L"hop " + std::to_wstring(i) + L" caf\u00E9");
    }
  }
}

// A TOP reply's header arrives with the CR LF of the status line in front:
// the first field keeps its name.
// A parsed list keeps its fields and text in one block; fields added after
// it outgrow the block, copies and moves keep every text, and a list
// parsed again after clearing does not disturb a copy of its old fields.
TEST(HeaderFieldList, GrowsCopiesAndMovesPastItsBlock) {
  const std::string first = "From: a@example.org\r\nSubject: =?utf-8?Q?caf=C3=A9?=\r\n";
  pw::HeaderFieldList list;
  pw::parseFieldList(first.data(), first.size(), list, false);
  ASSERT_EQ(list.size(), 2u);
  const std::wstring longValue(300, L'v');
  for (int i = 0; i < 40; ++i) list.push_back(L"X-Added-" + std::to_wstring(i), longValue);
  ASSERT_EQ(list.size(), 42u);
  EXPECT_EQ(list[1].second, L"caf\u00E9");
  EXPECT_EQ(list[41].first, L"X-Added-39");
  EXPECT_EQ(wcslen(list[41].second.c_str()), 300u);  // NUL-terminated in place

  pw::HeaderFieldList copy(list);
  const std::string second = "To: b@example.org\r\n";
  list.clear();
  pw::parseFieldList(second.data(), second.size(), list, false);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].second, L"b@example.org");
  ASSERT_EQ(copy.size(), 42u);
  EXPECT_EQ(copy[0].second, L"a@example.org");
  EXPECT_EQ(copy[1].second, L"caf\u00E9");
  EXPECT_EQ(copy[41].second, longValue);

  pw::HeaderFieldList moved(std::move(list));
  EXPECT_EQ(moved[0].first, L"To");
  moved = copy;
  EXPECT_EQ(moved.size(), 42u);
  EXPECT_EQ(moved[1].second, L"caf\u00E9");
  pw::HeaderFieldList assigned;
  assigned = std::move(copy);
  EXPECT_EQ(assigned[41].first, L"X-Added-39");
}

TEST(HeaderFieldList, LeadingLineBreakOfATopReply) {
  const std::string block = "\r\nFrom: a@example.org\r\nSubject: s\r\n";
  pw::HeaderFieldList fields;
  pw::parseFieldList(block.data(), block.size(), fields);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].first, L"From");
  EXPECT_EQ(fields[0].second, L"a@example.org");
}
