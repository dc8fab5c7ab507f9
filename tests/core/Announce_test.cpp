// What the plug-in tells the user besides the picture: tooltip texts, the
// quiet period and the sound queue, and the deleted-messages log.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdio>
#include <algorithm>
#include <string>

#include "InProcessPlugin.h"
#include "account/MessageHeader.h"
#include "core/GlobalSettings.h"
#include "core/Notifier.h"
#include "core/QuietPeriod.h"

using pwtest::AccountSpec;
using pwtest::InProcessPlugin;

namespace {

std::string QueryPlain(pw::PluginObject& p) {
  char text[dockrail::kTooltipTextSize] = {};
  EXPECT_EQ(p.QueryInfo(3, 0, text), 0);
  return text;
}

std::wstring QueryRich(pw::PluginObject& p) {
  wchar_t* text = reinterpret_cast<wchar_t*>(1);
  EXPECT_EQ(p.QueryInfo(22, 0, &text), 0);
  if (!text) return L"<null>";
  std::wstring out = text;
  CoTaskMemFree(text);
  return out;
}

std::wstring ByteSize(uint32_t n) {
  wchar_t buf[64];
  StrFormatByteSizeW(n, buf, 64);
  return buf;
}

std::string ReadAll(const std::wstring& path) {
  std::string out;
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  std::wstring path = std::wstring(dir) + name;
  DeleteFileW(path.c_str());
  return path;
}

}  // namespace

TEST(Tooltip, SizeTexts) {
  EXPECT_EQ(pw::Notifier::SizeText(0), L"0");
  EXPECT_EQ(pw::Notifier::SizeText(1024), L"1024");
  EXPECT_EQ(pw::Notifier::SizeText(1025), L"1.00K");
  EXPECT_EQ(pw::Notifier::SizeText(1536), L"1.50K");
  EXPECT_EQ(pw::Notifier::SizeText(1048576), L"1024.00K");
  EXPECT_EQ(pw::Notifier::SizeText(1048577), L"1.00M");
  EXPECT_EQ(pw::Notifier::SizeText(3u << 30), L"3072.00M");
}

TEST(Tooltip, TitleCountsAccountsThatCheckedWell) {
  {
    InProcessPlugin p({{L"First", {512, 512, 512}}});
    dockrail::TooltipInfo info = {};
    info.flags = dockrail::kTipTitle | dockrail::kTipField8 | dockrail::kTipClear20a;
    info.field8 = 77, info.field20 = 77;
    EXPECT_EQ(p->GetTooltip(&info), 0);
    EXPECT_STREQ(info.text, "Mail 3 (1.50K)");
    EXPECT_EQ(info.field8, 5u);
    EXPECT_EQ(info.field20, 0u);
  }
  {
    // 1024 bytes are shown as a number; a failed account does not count,
    // error code 2 does.
    InProcessPlugin p({{L"A", {1000, 24}, 0}, {L"B", {4096}, 102}, {L"C", {1}, 2}});
    dockrail::TooltipInfo info = {};
    info.flags = dockrail::kTipTitle | dockrail::kTipClear20b;
    info.field8 = 77, info.field20 = 77;
    p->GetTooltip(&info);
    EXPECT_STREQ(info.text, "Mail 3 (1.00K)");
    EXPECT_EQ(info.field8, 77u);
    EXPECT_EQ(info.field20, 0u);
    p->Accounts()[2]->lastError = 0;
    p->Accounts()[0]->MarkAllRead();
    p->Accounts()[2]->MarkAllRead();
    p->GetTooltip(&info);
    EXPECT_STREQ(info.text, "Mail");  // only the failed account has mail
  }
}

TEST(Tooltip, PlainAndRichWalkTheAccounts) {
  InProcessPlugin p({{L"First", {512, 512, 512}},
                     {L"Second", {512, 512}},
                     {L"Broken", {100}, 102},
                     {L"Quiet", {}},
                     {L"Unknown code", {}, 9999}});
  const std::string plain = "Mail\nFirst\t3 (1.50K)\nSecond\t2 (1024)\nBroken\tImpossible to connect to the server"
                            "\nUnknown code\t";
  dockrail::TooltipInfo info = {};
  info.flags = dockrail::kTipPlainText;
  p->GetTooltip(&info);
  EXPECT_EQ(std::string(info.text), plain);
  EXPECT_EQ(QueryPlain(*p), plain);
  // The rich text leaves out the caption and failed accounts without text.
  EXPECT_EQ(QueryRich(*p), L"<b>First</b>\t3 (" + ByteSize(1536) + L")\n<b>Second</b>\t2 (" + ByteSize(1024) +
                               L")\n<b>Broken</b>\tImpossible to connect to the server");
  // A paused plug-in shows every account as suspended, not failed.
  p->Settings().pause = 1;
  EXPECT_EQ(QueryPlain(*p), "Mail\nFirst\t3 (1.50K)\nSecond\t2 (1024)\nBroken\t1 (100)");
  p->Settings().pause = 0;

  InProcessPlugin none({AccountSpec{L"Quiet", {}}});
  EXPECT_EQ(QueryRich(*none), L"<null>");
  EXPECT_EQ(QueryPlain(*none), "Mail");
}

TEST(QuietPeriod, BoundsAreInclusiveAndCrossMidnight) {
  pw::GlobalSettings s;
  s.noSoundTime1 = 22 * 3600;  // 22:00
  s.noSoundTime2 = 7 * 3600;   // 07:00
  EXPECT_TRUE(pw::SoundsAllowedAt(s, 23 * 3600 + 1800));  // switched off
  s.useNoSound = 1;
  struct {
    int t;
    bool allowed;
  } night[] = {{23 * 3600 + 1800, false}, {6 * 3600 + 59 * 60 + 59, false}, {7 * 3600, false},
               {7 * 3600 + 1, true},      {12 * 3600, true},                {22 * 3600 - 1, true},
               {22 * 3600, false},        {0, false}};
  for (const auto& c : night) EXPECT_EQ(pw::SoundsAllowedAt(s, c.t), c.allowed) << c.t;
  // Within one day: 12:00 to 13:00.
  s.noSoundTime1 = 12 * 3600, s.noSoundTime2 = 13 * 3600;
  EXPECT_TRUE(pw::SoundsAllowedAt(s, 12 * 3600 - 1));
  EXPECT_FALSE(pw::SoundsAllowedAt(s, 12 * 3600));
  EXPECT_FALSE(pw::SoundsAllowedAt(s, 13 * 3600));
  EXPECT_TRUE(pw::SoundsAllowedAt(s, 13 * 3600 + 1));
  // Equal times: silent all day.
  s.noSoundTime1 = s.noSoundTime2 = 8 * 3600;
  for (int t = 0; t < 86400; t += 7) ASSERT_FALSE(pw::SoundsAllowedAt(s, t)) << t;
}

TEST(Sounds, TwoAccountsWithTheSameSoundQueueItOnceAndTheQuietPeriodDropsIt) {
  InProcessPlugin p({{L"A", {}}, {L"B", {}}});
  pw::SoundPlayer& player = p->Sounds();
  player.Stop();  // keep what is queued where the test can see it
  pw::AccountOwner* owner = p->AccountHost();
  owner->PlayNotifySound(L"C:\\sounds\\ding.wav");
  owner->PlayNotifySound(L"c:\\SOUNDS\\Ding.wav");
  owner->PlayNotifySound(L"");
  EXPECT_EQ(player.Pending(), 1u);
  p->PlayNotifySound(L"C:\\sounds\\rule.wav");  // a rule set's sound
  EXPECT_EQ(player.Pending(), 2u);
  p->Settings().useNoSound = 1;
  p->Settings().noSoundTime1 = p->Settings().noSoundTime2 = 3600;
  owner->PlayNotifySound(L"C:\\sounds\\other.wav");
  EXPECT_EQ(player.Pending(), 2u);
}

namespace {

const char kHeader[] =
    "From: Ann Example <ann@example.org>\r\n"
    "To: box@example.org\r\n"
    "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"
    "\r\n";

std::string Lf(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
  return s;
}

std::string Crlf(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string DateLine(const SYSTEMTIME& t) {
  char buf[96];
  snprintf(buf, sizeof(buf), "*** Date          : %d-%d-%d %d:%d:%d\n", t.wYear, t.wMonth, t.wDay, t.wHour,
           t.wMinute, t.wSecond);
  return buf;
}

// The log after one deletion reported by the account, as a session does.
std::string LogOneDeletion(InProcessPlugin& p, const wchar_t* matched, SYSTEMTIME& before, SYSTEMTIME& after) {
  pw::MailAccount& account = *p->Accounts()[0];
  {
    pw::RefPtr<pw::MailMessage> m = account.FindMessage(L"m0");
    EXPECT_TRUE(m);
    pw::ExclusiveGuard g(account.MessageLock());
    pw::parseHeader(*m, kHeader, sizeof(kHeader) - 1);
    if (matched) m->filterText.Set(matched);
  }
  GetLocalTime(&before);
  account.OnDeleted("m0");
  GetLocalTime(&after);
  return ReadAll(p->Settings().filtersLogFile);
}

}  // namespace

TEST(DeletedLog, RecordsByteForByte) {
  const std::wstring path = TempFile(L"pw-deleted.log");
  static std::wstring s_path;
  s_path = path;
  InProcessPlugin p({{L"Caf\u00e9 box", {300}}}, [](pw::SettingsTree& t) {
    t.CreateNode(L"Filters");
    t.SetInt(L"filterLogFlags", 1 | 4 | 8 | 16);
    t.SetString(L"filtersLogFile", s_path.c_str());
    t.CloseNode();
  });
  ASSERT_EQ(p->Settings().filterLogFlags, 1 | 4 | 8 | 16);
  // Names and decoded fields in the ANSI code page.
  const bool latin1 = GetACP() == 1252;
  const std::string cafe = latin1 ? "Caf\xe9 box" : "";
  const std::string gruss = latin1 ? "Gr\xfc\xdf" "e" : "";

  SYSTEMTIME t0, t1;
  std::string log = LogOneDeletion(p, nullptr, t0, t1);
  auto expected = [&](const SYSTEMTIME& t, const std::string& matched) {
    return Crlf("**************** Deleted Message ****************\n" + DateLine(t) +
                "*** Account       : " + cafe + "\n" + matched +
                "*** From          : Ann Example <ann@example.org>\n"
                "*** To            : box@example.org\n"
                "*** Subject       : " + gruss + "\n"
                "********************** END **********************\n\n");
  };
  if (latin1) {
    EXPECT_TRUE(log == expected(t0, "") || log == expected(t1, "")) << log;
  } else {
    EXPECT_NE(log.find("\r\n*** From          : Ann Example <ann@example.org>\r\n"), std::string::npos);
  }
  EXPECT_EQ(log.find("Matched Filter"), std::string::npos);

  // A rule matched: its name; bit 1: the raw header instead of the fields.
  DeleteFileW(path.c_str());
  p->Settings().filterLogFlags = 3;
  log = LogOneDeletion(p, L"Spam rule", t0, t1);
  // The header's CR LF stays CR LF in the file, never CR CR LF.
  auto raw = [&](const SYSTEMTIME& t) {
    return Crlf("**************** Deleted Message ****************\n" + DateLine(t) + "*** Account       : " +
                cafe + "\n*** Matched Filter: Spam rule\n*** MESSAGE HEADER:\n" + Lf(kHeader) + "\n" +
                "********************** END **********************\n\n");
  };
  if (latin1) {
    EXPECT_TRUE(log == raw(t0) || log == raw(t1)) << log;
  }
  EXPECT_NE(log.find("*** Matched Filter: Spam rule\r\n"), std::string::npos);
  EXPECT_EQ(log.find("\r\r"), std::string::npos);

  // Appending: a second record follows the first; only the switched lines.
  p->Settings().filterLogFlags = 1 | 4;
  std::string twice = LogOneDeletion(p, nullptr, t0, t1);
  EXPECT_EQ(twice.substr(0, log.size()), log);
  EXPECT_GT(twice.size(), log.size());
  const std::string second = twice.substr(log.size());
  EXPECT_NE(second.find("*** Subject       : "), std::string::npos);
  EXPECT_EQ(second.find("*** From"), std::string::npos);
  EXPECT_EQ(second.find("*** To"), std::string::npos);

  // Bit 0 clear: nothing; a file that cannot be opened: nothing, quietly.
  p->Settings().filterLogFlags = 2;
  EXPECT_EQ(LogOneDeletion(p, nullptr, t0, t1), twice);
  p->Settings().filterLogFlags = 1;
  lstrcpyW(p->Settings().filtersLogFile, L"Z:\\nonexistent\\dir\\deleted.log");
  LogOneDeletion(p, nullptr, t0, t1);
  DeleteFileW(path.c_str());
}
