// The Plug-in object as a host sees it: through the DLL's exports.
#include <windows.h>
#include <gtest/gtest.h>

#include "ui/support/UiDriver.h"

#include <random>
#include <string>

#include "FakeHost.h"
#include "PluginDll.h"
#include "TestStreams.h"
#include "base/SettingsTree.h"

using dockrail::IDockPlugin;
using pwtest::FakeHost;
using pwtest::PluginDll;
using pwtest::PluginRef;

namespace {

std::wstring ClsidText() {
  wchar_t buf[64];
  StringFromGUID2(dockrail::CLSID_PostwardenPlugin, buf, 64);
  return buf;
}

std::wstring RegString(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t buf[1024] = {};
  DWORD size = sizeof(buf);
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return L"<missing>";
  return buf;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

std::vector<uint8_t> SaveBytes(IDockPlugin* p) {
  pw::ComPtr<IStream> s;
  *s.Out() = pwtest::MemoryStream();
  EXPECT_EQ(p->Save(s.Get()), 0);
  return pwtest::StreamBytes(s.Get());
}

// Load's result: S_OK, or E_FAIL for a stream it could not read.
HRESULT LoadResult(IDockPlugin* p, const std::vector<uint8_t>& bytes) {
  pw::ComPtr<IStream> s;
  *s.Out() = pwtest::MemoryStream(bytes);
  return p->Load(s.Get());
}

void LoadBytes(IDockPlugin* p, const std::vector<uint8_t>& bytes) { EXPECT_EQ(LoadResult(p, bytes), 0); }

// The tree behind the 4-byte version of a saved stream.
bool TreeOf(const std::vector<uint8_t>& bytes, pw::SettingsTree& tree) {
  if (bytes.size() < 4) return false;
  return pwtest::ReadTree(tree, std::vector<uint8_t>(bytes.begin() + 4, bytes.end()));
}

// A stream with the given "settings" keys and nothing else.
std::vector<uint8_t> StreamWith(uint32_t version, void (*fill)(pw::SettingsTree&)) {
  pw::SettingsTree t;
  t.CreateNode(L"settings");
  fill(t);
  t.CloseNode();
  std::vector<uint8_t> bytes = {uint8_t(version), uint8_t(version >> 8), 0, 0};
  auto tree = pwtest::WriteTree(t);
  bytes.insert(bytes.end(), tree.begin(), tree.end());
  return bytes;
}

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dll.Loaded()); }
  PluginDll dll;
};

}  // namespace

TEST_F(PluginTest, RegistrationRowsAndRepeatedUnregistration) {
  ASSERT_EQ(dll.registerServer(), S_OK);
  const std::wstring cls = L"CLSID\\" + ClsidText();
  EXPECT_EQ(RegString(HKEY_CLASSES_ROOT, cls, nullptr), L"Postwarden");
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(dll.Module(), path, MAX_PATH);
  EXPECT_EQ(RegString(HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", nullptr), path);
  EXPECT_EQ(RegString(HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  const std::wstring plugins = L"Software\\Orvale Software\\Dockrail\\plugins\\" + ClsidText();
  EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, plugins, nullptr), L"Postwarden");
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, plugins + L"\\Langs"));
  wchar_t cat[64];
  StringFromGUID2(dockrail::CATID_DockrailPlugins, cat, 64);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, cls + L"\\Implemented Categories\\" + cat));

  // Registered, the object can be created the ordinary COM way.
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  IDockPlugin* viaCom = nullptr;
  EXPECT_EQ(CoCreateInstance(dockrail::CLSID_PostwardenPlugin, nullptr, CLSCTX_INPROC_SERVER,
                             dockrail::IID_IDockPlugin, reinterpret_cast<void**>(&viaCom)), S_OK);
  if (viaCom) viaCom->Release();
  CoUninitialize();

  EXPECT_EQ(dll.unregisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, cls));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, plugins));  // the host's key stays
  EXPECT_EQ(dll.unregisterServer(), S_OK);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, plugins.c_str());
}

TEST_F(PluginTest, FactoryAndInterfaceErrors) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(dll.getClassObject(IID_IUnknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);

  pw::ComPtr<IClassFactory> factory;
  ASSERT_EQ(dll.getClassObject(dockrail::CLSID_PostwardenPlugin, IID_IClassFactory, factory.OutVoid()), S_OK);
  EXPECT_EQ(dll.canUnloadNow(), S_FALSE);  // a live factory counts
  IUnknown* unk = nullptr;
  EXPECT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
  unk->Release();
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->LockServer(TRUE), E_NOTIMPL);
  EXPECT_EQ(factory->CreateInstance(unk, dockrail::IID_IDockPlugin, &out), CLASS_E_NOAGGREGATION);

  IDockPlugin* plugin = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, dockrail::IID_IDockPlugin, reinterpret_cast<void**>(&plugin)), S_OK);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
  factory.Reset();
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(plugin->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(plugin->AddRef(), 2u);
  EXPECT_EQ(plugin->Release(), 1u);
  EXPECT_EQ(dll.canUnloadNow(), S_FALSE);  // a live object counts
  EXPECT_EQ(plugin->Release(), 0u);
  EXPECT_EQ(dll.canUnloadNow(), S_OK);
}

TEST_F(PluginTest, MenuItemsFollowOpenListAndPause) {
  for (int openList : {0, 1}) {
    PluginRef p(dll.Create());
    ASSERT_TRUE(p.p);
    FakeHost host;
    p->SetHost(&host);
    LoadBytes(p.p, StreamWith(25, openList ? +[](pw::SettingsTree& t) { t.SetInt(L"OpenList", 1); t.SetInt(L"pause", 1); }
                                           : +[](pw::SettingsTree& t) { t.SetInt(L"pause", 0); }));
    pw::ScopedMenu menu(CreatePopupMenu());
    AppendMenuW(menu.Get(), MF_STRING, 1, L"host item");
    EXPECT_EQ(p->AddMenuItems(menu.Get(), 0, 100), 4);
    ASSERT_EQ(GetMenuItemCount(menu.Get()), 5);
    struct Want { UINT id; const wchar_t* text; };
    const Want want[4] = {{100, L"Check Mail Now"}, {102, L"Pause check"},
                          {openList ? 104u : 101u, openList ? L"Read Mail..." : L"Mail List..."},
                          {103, L"Mark All as Read"}};
    for (int i = 0; i < 4; ++i) {
      wchar_t text[64] = {};
      GetMenuStringW(menu.Get(), i, text, 64, MF_BYPOSITION);
      EXPECT_EQ(GetMenuItemID(menu.Get(), i), want[i].id) << i;
      EXPECT_STREQ(text, want[i].text);
    }
    UINT state = GetMenuState(menu.Get(), 1, MF_BYPOSITION);
    EXPECT_EQ((state & MF_CHECKED) != 0, openList == 1) << "Pause check is checked while paused";
  }
}

TEST_F(PluginTest, PauseToggleTellsTheHostAndIsSaved) {
  PluginRef p(dll.Create());
  FakeHost host;
  p->SetHost(&host);
  LoadBytes(p.p, StreamWith(25, [](pw::SettingsTree&) {}));
  EXPECT_EQ(p->OnMenuCommand(2), 0);
  EXPECT_EQ(host.settingsChanged, 1);
  EXPECT_EQ(host.repaints, 1);
  pw::SettingsTree t;
  ASSERT_TRUE(TreeOf(SaveBytes(p.p), t));
  ASSERT_TRUE(t.EnterNode(L"settings"));
  EXPECT_EQ(t.GetInt(L"pause", -1), 1);
  EXPECT_EQ(p->OnMenuCommand(2), 0);
  pw::SettingsTree t2;
  ASSERT_TRUE(TreeOf(SaveBytes(p.p), t2));
  ASSERT_TRUE(t2.EnterNode(L"settings"));
  EXPECT_EQ(t2.GetInt(L"pause", -1), 0);
  EXPECT_EQ(host.settingsChanged, 2);
}

TEST_F(PluginTest, QueryInfoIds) {
  PluginRef p(dll.Create());
  FakeHost host;
  p->SetHost(&host);
  p->SetCaption("Mail");
  int32_t rect[4] = {1, 2, 33, 34};
  p->SetButtonRect(rect);
  LoadBytes(p.p, StreamWith(25, [](pw::SettingsTree& t) {
    t.SetShort(L"listHotkey", 0x0241);
    t.SetShort(L"readerHotkey", 0x0352);
    t.SetInt(L"pause", 1);
  }));
  int32_t v = 77;
  EXPECT_EQ(p->QueryInfo(0, 0, &v), 1);
  EXPECT_EQ(p->QueryInfo(26, 0, &v), 1);
  EXPECT_EQ(p->QueryInfo(6, 0, &v), 1);
  EXPECT_EQ(v, 77);
  EXPECT_EQ(p->QueryInfo(1, 0, &v), 0);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(p->QueryInfo(5, 0, &v), 0);
  EXPECT_EQ(v, 2);
  int32_t r[4] = {};
  EXPECT_EQ(p->QueryInfo(2, 0, r), 0);
  EXPECT_EQ(r[0], 1);
  EXPECT_EQ(r[3], 34);

  dockrail::HotkeyInfo h = {};
  EXPECT_EQ(p->QueryInfo(4, 0, &h), 0);
  EXPECT_EQ(h.number, 1);
  EXPECT_STREQ(h.label, L"Open Messages List");
  EXPECT_EQ(h.hotkey, 0x0241);
  EXPECT_EQ(h.numberAgain, 1);
  EXPECT_EQ(p->QueryInfo(4, 1, &h), 0);
  EXPECT_EQ(h.number, 2);
  EXPECT_STREQ(h.label, L"Open Mail Reader");
  EXPECT_EQ(h.hotkey, 0x0352);
  dockrail::HotkeyInfo untouched = {};
  untouched.number = 9;
  EXPECT_EQ(p->QueryInfo(4, 2, &untouched), 0);
  EXPECT_EQ(untouched.number, 9);

  char text[dockrail::kTooltipTextSize] = {};
  EXPECT_EQ(p->QueryInfo(3, 0, text), 0);
  EXPECT_STREQ(text, "Mail");
  wchar_t* caption = nullptr;
  EXPECT_EQ(p->QueryInfo(24, 0, &caption), 1);
  ASSERT_NE(caption, nullptr);
  EXPECT_STREQ(caption, L"Mail");
  CoTaskMemFree(caption);
  HICON icon = nullptr;
  EXPECT_EQ(p->QueryInfo(23, 0, &icon), 0);
  EXPECT_NE(icon, nullptr);

  // Hotkeys go to the host after Load: reader (2) first, then the list (1).
  ASSERT_EQ(host.hotkeys.size(), 2u);
  EXPECT_EQ(host.hotkeys[0].number, 2u);
  EXPECT_EQ(host.hotkeys[0].hotkey, 0x0352);
  EXPECT_EQ(host.hotkeys[1].number, 1u);
  EXPECT_EQ(host.hotkeys[1].hotkey, 0x0241);
  EXPECT_EQ(host.hotkeys[0].kind, 2u);
}

TEST_F(PluginTest, FixedResultSlots) {
  PluginRef p(dll.Create());
  EXPECT_EQ(p->Slot7(5), 0);
  EXPECT_EQ(p->Slot9(), 1);
  EXPECT_EQ(p->Slot10(5), 1);
  EXPECT_EQ(p->Slot11(), 1);
  EXPECT_EQ(p->Slot14(), 1);
  EXPECT_EQ(p->Slot15(), 1);
  int32_t flag = 0;
  EXPECT_EQ(p->Slot13(3, &flag), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(p->OnHostCommand(7), 0);
}

TEST_F(PluginTest, IconLocationVariants) {
  PluginRef p(dll.Create());
  FakeHost host;
  p->SetHost(&host);
  char buf[dockrail::kIconLocationSize];
  memset(buf, 'x', sizeof buf);
  p->GetIconLocation(buf);
  EXPECT_STREQ(buf, ",0");

  LoadBytes(p.p, StreamWith(25, [](pw::SettingsTree& t) {
    t.SetString(L"reader", L"\"C:\\Program Files\\Mail\\mail.exe\" /check now");
    t.SetInt(L"pause", 1);
  }));
  p->GetIconLocation(buf);
  EXPECT_STREQ(buf, "C:\\Program Files\\Mail\\mail.exe,0");

  EXPECT_EQ(p->SetIconLocation("C:\\icons\\box.ico,2"), 0);
  EXPECT_EQ(host.settingsChanged, 1);
  EXPECT_EQ(host.repaints, 1);
  p->GetIconLocation(buf);
  EXPECT_STREQ(buf, "C:\\icons\\box.ico,2");
}

TEST_F(PluginTest, SettingsRoundTripAndVersions) {
  auto fill = [](pw::SettingsTree& t) {
    t.SetInt(L"pause", 1);
    t.SetInt(L"OpenList", 1);
    t.SetString(L"reader", L"mail.exe -x");
    t.SetString(L"IconLocation", L"shell32.dll,4");
    t.SetShort(L"listHotkey", 0x141);
    t.SetShort(L"readerHotkey", 0x142);
  };
  for (uint32_t version : {25u, 26u, 24u, 0u}) {
    PluginRef p(dll.Create());
    FakeHost host;
    p->SetHost(&host);
    const bool read = version >= 25;  // older layouts load as a fresh configuration
    // ... and Load says it could not read them, so that the host keeps its copy.
    EXPECT_EQ(LoadResult(p.p, StreamWith(version, fill)), read ? S_OK : E_FAIL) << version;
    EXPECT_EQ(host.settingsChanged, 0) << "no save is asked for";
    pw::SettingsTree t;
    auto saved = SaveBytes(p.p);
    ASSERT_EQ(saved[0], 25);  // always written as 25
    ASSERT_TRUE(TreeOf(saved, t));
    ASSERT_TRUE(t.EnterNode(L"settings"));
    EXPECT_EQ(t.GetInt(L"pause", -1), read ? 1 : 0) << version;
    EXPECT_EQ(t.GetInt(L"OpenList", -1), read ? 1 : 0);
    EXPECT_STREQ(t.GetString(L"reader", L"?"), read ? L"mail.exe -x" : L"");
    EXPECT_STREQ(t.GetString(L"IconLocation", L"?"), read ? L"shell32.dll,4" : L"");
    EXPECT_EQ(t.GetShort(L"listHotkey", -1), read ? 0x141 : 0);
    EXPECT_EQ(t.GetShort(L"readerHotkey", -1), read ? 0x142 : 0);
    // Saving again gives the same bytes.
    EXPECT_EQ(SaveBytes(p.p), saved);
  }
}

TEST_F(PluginTest, DamagedStreamsLoadAsDefaults) {
  // Reference: what a fresh object saves, and a rich valid stream.
  std::vector<uint8_t> fresh, valid;
  {
    PluginRef p(dll.Create());
    fresh = SaveBytes(p.p);
    LoadBytes(p.p, StreamWith(25, [](pw::SettingsTree& t) {
      t.SetInt(L"pause", 1);
      t.SetString(L"reader", L"reader.exe");
    }));
    valid = SaveBytes(p.p);
  }
  ASSERT_NE(fresh, valid);
  HRESULT loaded = S_OK;
  auto loadAndSave = [&](const std::vector<uint8_t>& bytes) {
    PluginRef p(dll.Create());
    loaded = LoadResult(p.p, bytes);
    return SaveBytes(p.p);
  };
  // Truncations (every point is covered at the tree level; here a spread
  // of them through the whole object, each starting and stopping threads).
  // Only the empty stream (nothing stored yet) is read without a failure.
  for (size_t cut = 0; cut < valid.size(); cut += (cut < 64 ? 1 : 37)) {
    std::vector<uint8_t> part(valid.begin(), valid.begin() + cut);
    ASSERT_EQ(loadAndSave(part), fresh) << "cut at " << cut;
    EXPECT_EQ(loaded, cut == 0 ? S_OK : E_FAIL) << "cut at " << cut;
  }
  // Flipped lengths: every 32-bit word replaced by hostile sizes.
  const uint32_t hostile[] = {0xFFFFFFFFu, 0x10000001u, 3u};
  for (size_t at = 4; at + 4 <= valid.size(); at += 22) {
    for (uint32_t h : hostile) {
      std::vector<uint8_t> b = valid;
      memcpy(&b[at], &h, 4);
      loadAndSave(b);  // must not crash or hang
    }
  }
  // Random bytes with a fixed seed, behind a valid version word.
  std::mt19937 rng(20261208);
  for (int i = 0; i < 40; ++i) {
    std::vector<uint8_t> b = {25, 0, 0, 0};
    size_t n = rng() % 200;
    for (size_t k = 0; k < n; ++k) b.push_back(static_cast<uint8_t>(rng()));
    if (n >= 4 && (rng() % 2)) b[4] = static_cast<uint8_t>(rng() % 4), b[5] = b[6] = b[7] = 0;  // small counts
    loadAndSave(b);
  }
}

TEST_F(PluginTest, OptionsSheetReleasesAndRestoresHotkeys) {
  PluginRef p(dll.Create());
  FakeHost host;
  p->SetHost(&host);
  LoadBytes(p.p, StreamWith(25, [](pw::SettingsTree& t) {
    t.SetShort(L"listHotkey", 0x141);
    t.SetInt(L"pause", 1);
  }));
  host.hotkeys.clear();
  pw::ComPtr<IStream> s;
  *s.Out() = pwtest::MemoryStream();
  size_t whileOpen = 99;
  pwtest::UiDriver d([&](pwtest::UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    whileOpen = host.hotkeys.size();
    d.PressCancel(frame);
    d.WaitGone(frame);
  });
  EXPECT_EQ(p->ShowOptions(s.Get()), 1);  // not confirmed: nothing saved
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_EQ(whileOpen, 2u);  // released while the sheet was open
  EXPECT_TRUE(pwtest::StreamBytes(s.Get()).empty());
  EXPECT_EQ(host.ownerAsked, 1);
  ASSERT_EQ(host.hotkeys.size(), 4u);
  EXPECT_EQ(host.hotkeys[0].hotkey, 0);
  EXPECT_EQ(host.hotkeys[1].hotkey, 0);
  EXPECT_EQ(host.hotkeys[3].hotkey, 0x141);
  EXPECT_EQ(host.hotkeys[3].number, 1u);
}
