#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <thread>
#include <string>

#include "base/Scoped.h"
#include "mime/Charset.h"
#include "mime/HeaderWords.h"

using namespace pw;

namespace {

struct Sample {
  const wchar_t* charset;
  const char* bytes;
  const wchar_t* text;
};

// One word in each charset real mail uses, aliases included.
const Sample kSamples[] = {
    {L"utf-8", "Caf\xC3\xA9", L"Caf\u00E9"},
    {L"UTF-8", "\xE2\x82\xAC", L"\u20AC"},
    {L"utf8", "Caf\xC3\xA9", L"Caf\u00E9"},
    {L"utf-7", "Caf+AOk-", L"Caf\u00E9"},
    {L"us-ascii", "plain", L"plain"},
    {L"iso-8859-1", "Caf\xE9", L"Caf\u00E9"},
    {L"latin1", "Caf\xE9", L"Caf\u00E9"},
    {L"iso-8859-2", "\xB3\xF3\xBF", L"\u0142\u00F3\u017C"},
    {L"iso-8859-5", "\xBF\xE0\xD8", L"\u041F\u0440\u0438"},
    {L"iso-8859-7", "\xE1", L"\u03B1"},
    {L"iso-8859-15", "\xA4", L"\u20AC"},
    {L"windows-1250", "\xB9", L"\u0105"},
    {L"windows-1251", "\xCF\xF0\xE8", L"\u041F\u0440\u0438"},
    {L"windows-1252", "\x80", L"\u20AC"},
    {L"cp1252", "\x80", L"\u20AC"},
    {L"koi8-r", "\xF0\xD2\xC9", L"\u041F\u0440\u0438"},
    {L"koi8-u", "\xA4", L"\u0454"},
    {L"shift_jis", "\x82\xA0", L"\u3042"},
    {L"euc-jp", "\xA4\xA2", L"\u3042"},
    {L"iso-2022-jp", "\x1B$B$\"\x1B(B", L"\u3042"},
    {L"gb2312", "\xC4\xE3", L"\u4F60"},
    {L"gbk", "\xC4\xE3", L"\u4F60"},
    {L"big5", "\xA7\x41", L"\u4F60"},
    {L"euc-kr", "\xC7\xD1", L"\uD55C"},
    {L"windows-874", "\xA1", L"\u0E01"},
};

}  // namespace

// Records which names the multi-language service converts by itself; the
// name table covers the rest, so every sample converts either way.
TEST(Charset, EveryCommonCharsetConverts) {
  ScopedCoInit com;
  for (const auto& s : kSamples) {
    const UINT cp = MlangCodePage(s.charset);
    std::wstring viaService;
    const bool serviceOk = cp && MlangToUnicode(cp, s.bytes, strlen(s.bytes), viaService) && viaService == s.text;
    printf("[ charset  ] %-14ls service code page %5u, %s\n", s.charset, cp,
           serviceOk ? "converted by the service" : "name table");
    EXPECT_EQ(CharsetToUnicode(s.bytes, strlen(s.bytes), s.charset), s.text) << s.charset;
  }
}

TEST(Charset, RoundTripsAndFallBacks) {
  ScopedCoInit com;
  for (const wchar_t* cs : {L"utf-8", L"iso-8859-1", L"windows-1251", L"koi8-r", L"shift_jis", L"euc-kr"}) {
    const std::wstring text = wcscmp(cs, L"utf-8") == 0 || wcscmp(cs, L"iso-8859-1") == 0 ? L"Caf\u00E9"
                              : wcscmp(cs, L"shift_jis") == 0                            ? L"\u3042"
                              : wcscmp(cs, L"euc-kr") == 0                               ? L"\uD55C"
                                                                                         : L"\u041F\u0440\u0438";
    const std::string bytes = UnicodeToCharset(text.data(), text.size(), cs);
    EXPECT_EQ(CharsetToUnicode(bytes.data(), bytes.size(), cs), text) << cs;
  }
  // Unknown, empty and absurdly long names read as the ANSI code page.
  const std::wstring longName(kMaxCharsetName + 1, L'x');
  for (const wchar_t* cs : {L"x-no-such-charset", L"", static_cast<const wchar_t*>(nullptr), longName.c_str()})
    EXPECT_EQ(CharsetToUnicode("plain", 5, cs), L"plain");
  EXPECT_EQ(CharsetToUnicode("", 0, L"utf-8"), L"");
}

// Plain ASCII takes a short cut; the bytes that mean something else in some
// charsets must not.
TEST(Charset, AsciiShortCutKeepsSpecialBytes) {
  ScopedCoInit com;
  EXPECT_EQ(CharsetToUnicode("a+AOk-b", 7, L"utf-7"), L"a\u00E9b");
  EXPECT_EQ(CharsetToUnicode("\x1B$B$\"\x1B(Bx", 9, L"iso-2022-jp"), L"\u3042x");
  EXPECT_EQ(CharsetToUnicode("plain text", 10, L"windows-1251"), L"plain text");
  EXPECT_EQ(AnsiToUnicode("x = 1", 5), L"x = 1");
}

// Two threads meet charset names no one has asked for yet: each resolves
// and caches them while the other reads the cache.
TEST(Charset, NamesResolvedFromTwoThreadsAtOnce) {
  struct Case {
    const char* raw;
    const wchar_t* text;
  };
  static const Case kCases[] = {
      {"=?iso-8859-4?Q?=E0?= a", L"\u0101 a"},        {"=?ISO-8859-13?Q?=E0?=", L"\u0105"},
      {"=?windows-1257?Q?=E0?= =?Windows-1253?Q?=E1?=", L"\u0105\u03B1"},
      {"=?windows-1254?B?8A==?=", L"\u011F"},          {"x =?Iso-8859-4?Q?=E0?=", L"x \u0101"}};
  std::atomic<int> ready{0};
  std::atomic<int> wrong{0};
  auto run = [&] {
    ScopedCoInit com;
    ++ready;
    while (ready < 2) Sleep(0);
    for (int i = 0; i < 300; ++i)
      for (const Case& c : kCases)
        if (decodeValue(c.raw, strlen(c.raw), L"utf-8") != c.text) ++wrong;
  };
  std::thread a(run), b(run);
  a.join();
  b.join();
  EXPECT_EQ(wrong, 0);
}

// One-byte code pages convert through tables read from the system, and
// well-formed UTF-8 is converted without it: both must give exactly what
// the system gives, for every byte and for broken sequences.
TEST(Charset, ShortCutsConvertAsTheSystem) {
  ScopedCoInit com;
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  auto system = [](UINT cp, const std::string& bytes) {
    std::wstring out(bytes.size() * 2 + 1, L'\0');
    const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                                      static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
  };
  for (const wchar_t* cs : {L"iso-8859-1", L"iso-8859-2", L"iso-8859-5", L"iso-8859-7", L"iso-8859-15", L"windows-1250",
                            L"windows-1251", L"windows-1252", L"koi8-r", L"koi8-u", L"us-ascii"}) {
    const CharsetRoute route = ResolveCharset(cs);
    const UINT cp = route.service ? route.service : route.table;
    ASSERT_NE(cp, 0u) << cs;
    EXPECT_EQ(CharsetToUnicode(all.data(), all.size(), cs), system(cp, all)) << cs;
  }
  const char kPieces[][5] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xED\x9F\xBF", "\xEF\xBF\xBF",
                             "\xF4\x8F\xBF\xBF", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                             "\x80", "\xC3", "\xE2\x82", "\xF8\x88\x80\x80", "\xFF", "+"};
  std::mt19937 rng(65001);
  for (int i = 0; i < 2000; ++i) {
    std::string s;
    for (int k = static_cast<int>(rng() % 6); k >= 0; --k) s += kPieces[rng() % (sizeof kPieces / sizeof *kPieces)];
    ASSERT_EQ(CharsetToUnicode(s.data(), s.size(), L"utf-8"), system(CP_UTF8, s)) << i;
  }
}
