// The plug-in's own settings through the settings stream: every value back
// bit for bit, initial values against load defaults, and the nodes a
// stream may lack.
#include <gtest/gtest.h>

#include <cstring>

#include "TestStreams.h"
#include "base/SettingsTree.h"
#include "core/GlobalSettings.h"
#include "core/PluginObject.h"

using namespace pw;

namespace {

// The object as the host holds it: released at scope end.
struct Plugin {
  PluginObject* p = new PluginObject();
  ~Plugin() { p->Release(); }
  PluginObject* operator->() { return p; }
};

std::vector<uint8_t> SaveBytes(PluginObject* p) {
  ComPtr<IStream> s;
  *s.Out() = pwtest::MemoryStream();
  p->Save(s.Get());
  return pwtest::StreamBytes(s.Get());
}

void LoadBytes(PluginObject* p, const std::vector<uint8_t>& bytes) {
  ComPtr<IStream> s;
  *s.Out() = pwtest::MemoryStream(bytes);
  p->Load(s.Get());
}

std::vector<uint8_t> Stream(const SettingsTree& t, uint32_t version = 25) {
  std::vector<uint8_t> bytes = {uint8_t(version), uint8_t(version >> 8), uint8_t(version >> 16), uint8_t(version >> 24)};
  auto tree = pwtest::WriteTree(t);
  bytes.insert(bytes.end(), tree.begin(), tree.end());
  return bytes;
}

void TreeOf(const std::vector<uint8_t>& bytes, SettingsTree& t) {
  ASSERT_TRUE(pwtest::ReadTree(t, std::vector<uint8_t>(bytes.begin() + 4, bytes.end())));
}

// Every value of the schema set away from both its initial value and its
// load default.
void SetAll(GlobalSettings& s) {
  s.pause = 1;
  s.openList = 1;
  s.markReadOnRun = 0;
  wcscpy(s.reader, L"\"C:\\mail\\reader.exe\" /inbox");
  wcscpy(s.smallAnim, L"small.png");
  wcscpy(s.largeAnim, L"large.bmp");
  s.useIconNotify = 1;
  wcscpy(s.notifyIcon, L"shell32.dll,12");
  wcscpy(s.iconLocation, L"shell32.dll,4");
  s.showMsgNum = 0;
  wcscpy(s.dateFormat, L"yyyy-MM-dd");
  s.useNoSound = 1;
  s.noSoundTime1 = 79200;
  s.noSoundTime2 = 25200;
  s.listHotkey = 0x0641;
  s.readerHotkey = 0x0642;
  wcscpy(s.proxy.server, L"proxy.example.test");
  wcscpy(s.proxy.user, L"proxyuser");
  s.proxy.port = 1080;
  s.proxy.options = 0x803;
  wcscpy(s.proxy.password, L"pxy");
  s.useFilter = 1;
  s.filterLogFlags = 3;
  wcscpy(s.filtersLogFile, L"C:\\logs\\deleted.log");
  for (int i = 0; i < 6; ++i) s.columns[i] = {5 - i, 40 + i};
  s.listRect = {-1200, 20, -300, 700};
  s.vert = 0.1 + 0.2;  // not exactly representable in decimal
  s.horz = 2.0 / 3.0;
  s.tabIdx = 3;
  s.viewerColumns[0] = {1, 77};
  s.viewerColumns[1] = {0, 222};
  s.viewer.fieldNameBold = 0;
  s.viewer.fieldNameColor = 0x123456;
  s.viewer.fieldNameItalic = 1;
  s.viewer.fieldValueBold = 0;
  s.viewer.fieldValueColor = 0x654321;
  s.viewer.fieldValueItalic = 1;
  wcscpy(s.viewer.fontName, L"Lucida Console");
  s.viewer.fontSize = 11;
  s.viewer.messageBodyBold = 0;
  s.viewer.messageBodyColor = 0x111111;
  s.viewer.messageBodyItalic = 1;
  s.viewer.sourceBodyBold = 0;
  s.viewer.sourceBodyColor = 0x222222;
  s.viewer.sourceBodyItalic = 1;
  s.confirm = 2;
  s.closeOnClientRun = 0;
  s.defaultFilter = 4;
  s.defaultField = 9;
  s.sortColumn = 2;
  s.sortType = 1;
  s.selectedAccount = 6;
  s.fields = {L"Date", L"", L"X-Mailer"};
}

}  // namespace

TEST(GlobalSettings, EveryValueRoundTrips) {
  Plugin a, b;
  SetAll(a->Settings());
  std::vector<uint8_t> saved = SaveBytes(a.p);
  LoadBytes(b.p, saved);
  const GlobalSettings& s = b->Settings();
  GlobalSettings want;
  SetAll(want);
  EXPECT_EQ(s.pause, 1);
  EXPECT_EQ(s.markReadOnRun, 0);
  EXPECT_STREQ(s.reader, want.reader);
  EXPECT_STREQ(s.dateFormat, L"yyyy-MM-dd");
  EXPECT_EQ(s.listHotkey, 0x0641);
  EXPECT_STREQ(s.proxy.password, L"pxy");
  EXPECT_EQ(0, memcmp(&s.vert, &want.vert, sizeof(double)));
  EXPECT_EQ(0, memcmp(&s.horz, &want.horz, sizeof(double)));
  EXPECT_EQ(0, memcmp(&s.listRect, &want.listRect, sizeof(RECT)));
  EXPECT_EQ(s.columns[5].order, 0);
  EXPECT_EQ(s.columns[5].width, 45);
  EXPECT_EQ(s.viewerColumns[1].width, 222);
  EXPECT_STREQ(s.viewer.fontName, L"Lucida Console");
  EXPECT_EQ(s.viewer.sourceBodyColor, 0x222222);
  EXPECT_EQ(s.defaultField, 9);
  EXPECT_EQ(s.fields, want.fields);
  // Everything else: the reloaded object saves the very same bytes.
  EXPECT_EQ(SaveBytes(b.p), saved);
}

TEST(GlobalSettings, LayoutOfTheStream) {
  Plugin a;
  SettingsTree t;
  TreeOf(SaveBytes(a.p), t);
  std::vector<std::wstring> top;
  int depth = 0;
  for (const auto& e : t.Entries()) {
    if (e.kind == EntryKind::NodeBegin && depth++ == 0) top.push_back(e.name);
    if (e.kind == EntryKind::NodeEnd) --depth;
  }
  EXPECT_EQ(top, std::vector<std::wstring>({L"settings", L"connection", L"accounts", L"Filters", L"ListPos", L"MessagesList"}));
  std::vector<std::wstring> settings;
  for (size_t i = 1; t.Entries()[i].kind != EntryKind::NodeEnd; ++i) settings.push_back(t.Entries()[i].name);
  EXPECT_EQ(settings, std::vector<std::wstring>({L"pause", L"OpenList", L"MarkReadOnRun", L"reader", L"smallAnim",
                                                 L"largeAnim", L"useIconNotify", L"NotifyIcon", L"IconLocation",
                                                 L"showMsgNum", L"dateFormat", L"useNoSound", L"noSoundTime1",
                                                 L"noSoundTime2", L"listHotkey", L"readerHotkey"}));
  ASSERT_TRUE(t.EnterNode(L"ListPos"));
  uint32_t size = 0;
  ASSERT_NE(t.GetBinary(L"rect", &size), nullptr);
  EXPECT_EQ(size, 16u);
  ASSERT_NE(t.GetBinary(L"vert", &size), nullptr);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(t.GetShort(L"listHotkey", -1), -1);  // not in this node
}

TEST(GlobalSettings, InitialValuesDifferFromLoadDefaults) {
  Plugin fresh;
  const GlobalSettings& i = fresh->Settings();
  EXPECT_EQ(i.markReadOnRun, 1);
  EXPECT_EQ(i.showMsgNum, 0);
  EXPECT_STREQ(i.dateFormat, L"dd MMM yy");
  EXPECT_EQ(i.defaultField, 17);
  EXPECT_EQ(i.columns[2].order, 2);
  EXPECT_EQ(i.columns[2].width, 0);
  EXPECT_EQ(i.viewerColumns[1].width, 300);
  EXPECT_EQ(i.vert, 0.2);
  EXPECT_EQ(i.horz, 0.5);
  EXPECT_EQ(i.fields, std::vector<std::wstring>({L"From", L"To", L"Subject"}));

  // A version-25 stream whose nodes are there but empty.
  SettingsTree t;
  for (const wchar_t* n : {L"settings", L"connection", L"accounts", L"Filters", L"ListPos", L"MessagesList"}) {
    t.CreateNode(n);
    t.CloseNode();
  }
  Plugin loaded;
  loaded->Settings().pause = 1;
  LoadBytes(loaded.p, Stream(t));
  const GlobalSettings& d = loaded->Settings();
  EXPECT_EQ(d.pause, 0);
  EXPECT_EQ(d.markReadOnRun, 0);
  EXPECT_EQ(d.showMsgNum, 1);
  EXPECT_STREQ(d.dateFormat, L"");
  EXPECT_EQ(d.defaultField, 0);
  EXPECT_EQ(d.confirm, 5);
  EXPECT_EQ(d.closeOnClientRun, 1);
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(d.columns[c].order, c);
    EXPECT_EQ(d.columns[c].width, 100);
  }
  EXPECT_EQ(d.viewerColumns[0].width, 100);
  EXPECT_EQ(d.viewerColumns[1].order, 1);
  EXPECT_EQ(d.viewerColumns[1].width, 100);
  // Binary values that are missing keep their initial values.
  EXPECT_EQ(d.vert, 0.2);
  EXPECT_EQ(d.horz, 0.5);
  EXPECT_EQ(d.viewer.fieldNameColor, 0x800000);
  EXPECT_STREQ(d.viewer.fontName, L"Courier New");
  // Without a "Fields" node the list is empty.
  EXPECT_TRUE(d.fields.empty());
  // The sound player may play from now on; its thread waits for a sound.
  EXPECT_TRUE(loaded->Sounds().Started());
  EXPECT_FALSE(fresh->Sounds().Started());
}

TEST(GlobalSettings, MissingConnectionKeepsTheProxyAndMissingColumnTakesDefaults) {
  Plugin p;
  SetAll(p->Settings());
  p->Settings().pause = 1;
  SettingsTree t;
  t.CreateNode(L"ListPos");
  for (int c = 0; c < 6; ++c) {
    if (c == 3) continue;
    t.CreateNode((L"column#" + std::to_wstring(c)).c_str());
    t.SetInt(L"order", 5 - c);
    t.SetInt(L"width", 50);
    t.CloseNode();
  }
  uint8_t shortRect[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  t.SetBinary(L"rect", shortRect, 8);  // too short: ignored
  double vert = 0.75;
  t.SetBinary(L"vert", &vert, 8);
  t.CloseNode();
  LoadBytes(p.p, Stream(t));
  const GlobalSettings& s = p->Settings();
  EXPECT_STREQ(s.proxy.server, L"proxy.example.test");
  EXPECT_EQ(s.proxy.port, 1080);
  EXPECT_EQ(s.proxy.options, 0x803);
  EXPECT_STREQ(s.proxy.password, L"pxy");
  EXPECT_EQ(s.columns[3].order, 3);
  EXPECT_EQ(s.columns[3].width, 100);
  EXPECT_EQ(s.columns[4].order, 1);
  EXPECT_EQ(s.columns[4].width, 50);
  EXPECT_EQ(s.listRect.left, -1200);  // kept
  EXPECT_EQ(s.vert, 0.75);

  // With a connection node the proxy is replaced.
  SettingsTree c;
  c.CreateNode(L"connection");
  c.SetString(L"server", L"other");
  c.CloseNode();
  LoadBytes(p.p, Stream(c));
  EXPECT_STREQ(p->Settings().proxy.server, L"other");
  EXPECT_EQ(p->Settings().proxy.port, 0);
  EXPECT_STREQ(p->Settings().proxy.password, L"");

  // A port no proxy can have is not taken as it stands.
  for (int32_t port : {-1, 65536, 1 << 30}) {
    SettingsTree bad;
    bad.CreateNode(L"connection");
    bad.SetInt(L"port", port);
    bad.CloseNode();
    LoadBytes(p.p, Stream(bad));
    EXPECT_EQ(p->Settings().proxy.port, 0) << port;
  }
}

TEST(GlobalSettings, ProxyPasswordScrambling) {
  struct Case {
    const wchar_t* clear;
    std::wstring stored;
  };
  const Case cases[] = {
      {L"abc", std::wstring{wchar_t(L'a' ^ 0x7B2D), L'b', L'c'}},
      {L"abcd", L"abcd"},
      {L"", L""},
      // A first unit that scrambles to zero must not cut the password off.
      {L"\x7B2Dxy", std::wstring{wchar_t(0), L'x', L'y'}},
  };
  for (const Case& c : cases) {
    Plugin a, b;
    wcscpy(a->Settings().proxy.password, c.clear);
    std::vector<uint8_t> saved = SaveBytes(a.p);
    SettingsTree t;
    TreeOf(saved, t);
    ASSERT_TRUE(t.EnterNode(L"connection"));
    uint32_t size = 0;
    const uint8_t* raw = t.GetBinary(L"password", &size);
    ASSERT_NE(raw, nullptr);
    ASSERT_EQ(size, (c.stored.size() + 1) * 2);
    EXPECT_EQ(0, memcmp(raw, c.stored.c_str(), size)) << size;
    EXPECT_STREQ(a->Settings().proxy.password, c.clear);  // scrambled on a copy
    LoadBytes(b.p, saved);
    EXPECT_STREQ(b->Settings().proxy.password, c.clear);
  }
}

TEST(GlobalSettings, OverlongStringsAreCutToTheirFields) {
  std::wstring huge(3000, L'q');
  SettingsTree t;
  t.CreateNode(L"settings");
  t.SetString(L"reader", huge.c_str());
  t.SetString(L"dateFormat", huge.c_str());
  t.CloseNode();
  t.CreateNode(L"connection");
  t.SetString(L"server", huge.c_str());
  t.SetString(L"password", huge.c_str());
  t.CloseNode();
  t.CreateNode(L"ListPos");
  t.CreateNode(L"msgview");
  t.SetString(L"fontName", huge.c_str());
  t.CloseNode();
  t.CloseNode();
  Plugin p;
  LoadBytes(p.p, Stream(t));
  const GlobalSettings& s = p->Settings();
  EXPECT_EQ(wcslen(s.reader), 259u);
  EXPECT_EQ(wcslen(s.dateFormat), 99u);
  EXPECT_EQ(wcslen(s.proxy.server), 99u);
  EXPECT_EQ(wcslen(s.proxy.password), 99u);
  EXPECT_EQ(wcslen(s.viewer.fontName), 31u);
}

// Loading again replaces the accounts cleanly: the old ones are released,
// new ones get fresh ids, and an old layout loads as a fresh configuration.
TEST(GlobalSettings, SecondLoadReplacesTheAccounts) {
  SettingsTree t;
  t.CreateNode(L"accounts");
  t.SetInt(L"count", 2);
  for (int i = 0; i < 2; ++i) {
    t.CreateNode((L"account#" + std::to_wstring(i)).c_str());
    t.CreateNode(L"settings");
    t.SetString(L"AccountName", i ? L"two" : L"one");
    t.SetInt(L"id", 77);
    t.CloseNode();
    t.CloseNode();
  }
  t.CloseNode();
  std::vector<uint8_t> bytes = Stream(t);
  Plugin p;
  LoadBytes(p.p, bytes);
  RefPtr<MailAccount> first;
  {
    SharedGuard g(p->AccountsLock());
    ASSERT_EQ(p->Accounts().size(), 2u);
    EXPECT_EQ(p->Accounts()[0]->settings.id, 1u);
    EXPECT_EQ(p->Accounts()[1]->settings.id, 2u);
    first = p->Accounts()[0];
  }
  EXPECT_TRUE(p->CheckerRunning());
  LoadBytes(p.p, bytes);
  {
    SharedGuard g(p->AccountsLock());
    ASSERT_EQ(p->Accounts().size(), 2u);
    EXPECT_EQ(p->Accounts()[0]->settings.id, 3u);
    EXPECT_STREQ(p->Accounts()[1]->settings.accountName, L"two");
    EXPECT_NE(p->Accounts()[0].Get(), first.Get());
  }
  EXPECT_EQ(first->Release(), 0u);  // ours was the last reference
  first.Detach();
  EXPECT_TRUE(p->CheckerRunning());

  SettingsTree old;
  LoadBytes(p.p, Stream(old, 24));
  SharedGuard g(p->AccountsLock());
  EXPECT_TRUE(p->Accounts().empty());
  EXPECT_EQ(p->Settings().markReadOnRun, 1);
}
