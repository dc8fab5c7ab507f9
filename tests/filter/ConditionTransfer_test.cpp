// Conditions exported to XML and imported again through the platform's XML
// DOM, word lists, and hostile files that must be refused quickly.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/Scoped.h"
#include "filter/ConditionTransfer.h"

namespace ST = pw::SearchType;
using pw::TransferError;

namespace {

class TempDir {
 public:
  TempDir() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"pwxfer" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(GetTickCount64());
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempDir() {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path_ + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do DeleteFileW((path_ + L"\\" + fd.cFileName).c_str());
      while (FindNextFileW(h, &fd));
      FindClose(h);
    }
    RemoveDirectoryW(path_.c_str());
  }
  std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

void Write(const std::wstring& path, const std::string& bytes) {
  pw::ScopedHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(static_cast<bool>(f));
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
}

std::string Read(const std::wstring& path) {
  pw::ScopedHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return std::string();
  std::string out(1 << 20, '\0');
  DWORD n = 0;
  ReadFile(f.Get(), out.data(), static_cast<DWORD>(out.size()), &n, nullptr);
  out.resize(n);
  return out;
}

TransferError ImportText(pw::FilterRule& rule, const std::string& bytes, size_t* added = nullptr) {
  pw::ImportDefaults d;
  d.field = L"From";
  d.searchType = ST::Contains;
  return pw::ImportConditionBytes(rule, bytes.data(), bytes.size(), d, added);
}

}  // namespace

TEST(ConditionTransfer, ExportImportRoundTrip) {
  TempDir dir;
  pw::FilterRule rule;
  pw::ConditionSet& a = rule.addSet();
  a.addCondition(L"Subject", ST::Contains | ST::MatchCase, L"Grüße <\"&'> 日本", 0);
  a.addCondition(L"X-Mailer", ST::Regex | ST::Not, L"^(Group|Mass)\\s+Mail$", 0);
  a.addCondition(L"", ST::MaxSize, L"", 250000);
  pw::ConditionSet& b = rule.addSet();
  b.disable = 1;
  b.addCondition(L"From", ST::IsPresent, L"", 0);
  b.addCondition(L"Subject", ST::Contains, L"bell\x07tab\tend\x01", 0);  // text XML cannot carry
  pw::ConditionSet& c = rule.addSet();
  c.dnsbl = std::make_unique<pw::DnsblService>();
  c.dnsbl->zone.Set(L"bl.example");

  const std::wstring path = dir.File(L"export.xml");
  Write(path, "old contents");
  ASSERT_EQ(pw::ExportConditions(rule, path.c_str()), TransferError::None);
  const std::string xml = Read(path);
  EXPECT_EQ(xml.find("old contents"), std::string::npos);
  EXPECT_NE(xml.find("pwardenfilters"), std::string::npos);

  pw::FilterRule back;
  size_t added = 0;
  ASSERT_EQ(pw::ImportConditions(back, path.c_str(), {}, &added), TransferError::None);
  // The black-list set is an empty OR and imports as nothing.
  ASSERT_EQ(added, 2u);
  ASSERT_EQ(back.sets.size(), 2u);
  ASSERT_EQ(back.sets[0]->conditions.size(), 3u);
  EXPECT_STREQ(back.sets[0]->conditions[0].substring, L"Grüße <\"&'> 日本");
  EXPECT_EQ(back.sets[0]->conditions[0].searchType, ST::Contains | ST::MatchCase);
  EXPECT_STREQ(back.sets[0]->conditions[1].substring, L"^(Group|Mass)\\s+Mail$");
  EXPECT_EQ(back.sets[0]->conditions[2].size, 250000u);
  EXPECT_EQ(back.sets[1]->disable, 1u);
  ASSERT_EQ(back.sets[1]->conditions.size(), 2u);
  EXPECT_EQ(std::wstring(back.sets[1]->conditions[1].substring).substr(0, 5), L"bell?");

  // Importing the same file again doubles the sets.
  ASSERT_EQ(pw::ImportConditions(back, path.c_str(), {}, &added), TransferError::None);
  EXPECT_EQ(back.sets.size(), 4u);

  // A folder that does not exist: reported, nothing written.
  EXPECT_EQ(pw::ExportConditions(rule, dir.File(L"missing\\x.xml").c_str()), TransferError::CannotWrite);
}

TEST(ConditionTransfer, WordLists) {
  pw::FilterRule rule;
  size_t added = 0;
  // word TAB Subject TAB "does not contain"
  ASSERT_EQ(ImportText(rule, "casino\tSubject\t!*=*\r\n", &added), TransferError::None);
  ASSERT_EQ(added, 1u);
  EXPECT_STREQ(rule.sets[0]->conditions[0].field, L"Subject");
  EXPECT_EQ(rule.sets[0]->conditions[0].searchType, 0x1001u);

  // Two conditions joined by AND: the second takes the default field and
  // the first one's function.
  pw::FilterRule r2;
  ASSERT_EQ(ImportText(r2, "first\tSubject\t=*\tand\tsecond\n"), TransferError::None);
  ASSERT_EQ(r2.sets.size(), 1u);
  ASSERT_EQ(r2.sets[0]->conditions.size(), 2u);
  EXPECT_STREQ(r2.sets[0]->conditions[1].substring, L"second");
  EXPECT_STREQ(r2.sets[0]->conditions[1].field, L"From");
  EXPECT_EQ(r2.sets[0]->conditions[1].searchType, 0x0003u);

  // Sizes, AND taken as a field name, blank lines, a UTF-16 file.
  pw::FilterRule r3;
  ASSERT_EQ(ImportText(r3, "5000\t\tszMax\nword\tAND\tsecond\n\n\t\t\n"), TransferError::None);
  ASSERT_EQ(r3.sets.size(), 2u);
  EXPECT_EQ(r3.sets[0]->conditions[0].searchType, 0x0009u);
  EXPECT_EQ(r3.sets[0]->conditions[0].size, 5000u);
  EXPECT_STREQ(r3.sets[1]->conditions[0].field, L"AND");
  EXPECT_EQ(r3.sets[1]->conditions[0].searchType, 0x0001u);
  const std::wstring wide = L"\xFEFFpréstamo\tSubject\n";
  pw::FilterRule r4;
  ASSERT_EQ(ImportText(r4, std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2)),
            TransferError::None);
  ASSERT_EQ(r4.sets.size(), 1u);
  EXPECT_STREQ(r4.sets[0]->conditions[0].substring, L"préstamo");
  // UTF-8 without a mark is read as UTF-8.
  pw::FilterRule r5;
  ASSERT_EQ(ImportText(r5, "pr\xC3\xA9stamo\n"), TransferError::None);
  EXPECT_STREQ(r5.sets[0]->conditions[0].substring, L"préstamo");
}

TEST(ConditionTransfer, XmlWithoutUsableConditionsAddsNoSets) {
  pw::FilterRule rule;
  size_t added = 9;
  const std::string xml =
      "<?xml version=\"1.0\"?><pwardenfilters><OR/><OR><AND searchType=\"2\" substring=\"x\"/>"
      "<AND searchType=\"x\" substring=\"y\"/></OR><OR><AND searchType=\"4103\" field=\"X-Spam\"/></OR>"
      "</pwardenfilters>";
  ASSERT_EQ(ImportText(rule, xml, &added), TransferError::None);
  // Unknown kinds are dropped; a set left empty would match every message.
  ASSERT_EQ(added, 1u);
  EXPECT_EQ(rule.sets[0]->conditions[0].searchType, 0x1007u);
  EXPECT_STREQ(rule.sets[0]->conditions[0].field, L"X-Spam");
}

TEST(ConditionTransfer, HostileFilesAreRefused) {
  struct Case {
    const char* name;
    std::string bytes;
    TransferError expected;
  };
  std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
  for (int i = 1; i < 10; ++i) {
    laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) laughs += "&lol" + (i > 1 ? std::to_string(i - 1) : std::string()) + ";";
    laughs += "\">";
  }
  laughs += "]><pwardenfilters><OR><AND searchType=\"1\" substring=\"&lol9;\"/></OR></pwardenfilters>";
  std::string deep = "<pwardenfilters>";
  for (int i = 0; i < 5000; ++i) deep += "<OR>";
  std::string truncated = "<?xml version=\"1.0\"?><pwardenfilters><OR><AND searchType=\"1\" substring=\"casino\"/>";
  const Case cases[] = {
      {"billion laughs", laughs, TransferError::Unsafe},
      {"external entity",
       "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
       "<pwardenfilters><OR><AND searchType=\"1\" substring=\"&x;\"/></OR></pwardenfilters>",
       TransferError::Unsafe},
      {"deep nesting", deep, TransferError::TooDeep},
      {"truncated", truncated, TransferError::BadXml},
      {"other root", "<html><OR><AND searchType=\"1\" substring=\"a\"/></OR></html>", TransferError::BadXml},
      {"binary", std::string("MZ\x90\0\3\0\0\0", 8) + std::string(100, '\0'), TransferError::Binary},
      {"huge", std::string(pw::kMaxImportBytes + 1, 'a'), TransferError::TooLarge},
  };
  for (const Case& c : cases) {
    pw::FilterRule rule;
    size_t added = 7;
    const ULONGLONG t0 = GetTickCount64();
    EXPECT_EQ(ImportText(rule, c.bytes, &added), c.expected) << c.name;
    EXPECT_LT(GetTickCount64() - t0, 2000u) << c.name;
    // Nothing imported, and an XML file is never re-read as a word list.
    EXPECT_TRUE(rule.sets.empty()) << c.name;
    EXPECT_EQ(added, 0u) << c.name;
  }
  // A huge file is refused by its size before it is read.
  TempDir dir;
  const std::wstring big = dir.File(L"big.txt");
  Write(big, std::string(3 * 1024 * 1024, 'w'));
  pw::FilterRule rule;
  EXPECT_EQ(pw::ImportConditions(rule, big.c_str(), {}), TransferError::TooLarge);
  EXPECT_EQ(pw::ImportConditions(rule, dir.File(L"none.txt").c_str(), {}), TransferError::CannotRead);
}
