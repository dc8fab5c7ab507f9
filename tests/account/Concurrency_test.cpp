// Saving, listing and counting at once on the Plug-in object's accounts,
// each under the lock order (array before account): no deadlock, and every
// saved record whole.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "FakeOwner.h"
#include "TestStreams.h"
#include "account/AccountRecords.h"
#include "base/SettingsTree.h"
#include "core/PluginObject.h"

using namespace pw;

namespace {

// Every message carries its UIDL in its size and its header, so a record
// mixed from two states shows.
uint32_t SizeOf(const std::string& uidl) { return static_cast<uint32_t>(std::hash<std::string>()(uidl) & 0xFFFFFF); }
std::string HeaderOf(const std::string& uidl) { return "\r\nX-Id: " + uidl + "\r\n"; }
std::string Id(int n) { return "uidl-" + std::to_string(n) + "-0123456789abcdef"; }

std::vector<uint8_t> InitialStream(int accounts) {
  pwtest::FakeOwner owner;
  std::vector<RefPtr<MailAccount>> list;
  for (int i = 0; i < accounts; ++i) {
    auto a = pwtest::NewAccount(&owner);
    swprintf(a->settings.accountName, 255, L"account %d", i);
    a->OnListEntry(nullptr, 0);
    for (int n = 0; n < 60; ++n) a->OnListEntry(Id(n).c_str(), SizeOf(Id(n)));
    a->OnListEntry(nullptr, kListingEnd);
    for (int n = 0; n < 60; n += 2) a->OnHeader(Id(n).c_str(), HeaderOf(Id(n)).c_str());
    list.push_back(a);
  }
  SettingsTree t;
  t.CreateNode(L"settings");
  t.SetInt(L"pause", 1);
  t.CloseNode();
  t.CreateNode(L"accounts");
  SaveAccountRecords(t, list);
  t.CloseNode();
  std::vector<uint8_t> bytes = {25, 0, 0, 0};
  std::vector<uint8_t> tree = pwtest::WriteTree(t);
  bytes.insert(bytes.end(), tree.begin(), tree.end());
  return bytes;
}

// Checks every message record of a saved stream; returns the number seen.
int VerifySaved(const std::vector<uint8_t>& bytes, int accounts) {
  SettingsTree t;
  std::vector<uint8_t> tree(bytes.begin() + 4, bytes.end());
  if (!pwtest::ReadTree(t, tree)) return -1;
  int seen = 0;
  EXPECT_TRUE(t.EnterNode(L"accounts"));
  EXPECT_EQ(t.GetInt(L"count", 0), accounts);
  for (int i = 0; i < accounts; ++i) {
    EXPECT_TRUE(t.EnterNode((L"account#" + std::to_wstring(i)).c_str()));
    EXPECT_TRUE(t.EnterNode(L"messages"));
    int count = t.GetInt(L"count", -1);
    for (int n = 0; n < count; ++n) {
      EXPECT_TRUE(t.EnterNode((L"message#" + std::to_wstring(n)).c_str()));
      const wchar_t* w = t.GetString(L"uidl", L"");
      std::string uidl(w, w + wcslen(w));
      EXPECT_EQ(static_cast<uint32_t>(t.GetInt(L"size", 0)), SizeOf(uidl)) << uidl;
      uint32_t size = 0;
      const uint8_t* h = t.GetBinary(L"header", &size);
      if (h) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(h)), HeaderOf(uidl));
      }
      t.LeaveNode();
      ++seen;
    }
    t.LeaveNode();
    t.LeaveNode();
  }
  return seen;
}

struct Worker {
  std::function<void()> body;
  static DWORD WINAPI Main(void* p) {
    static_cast<Worker*>(p)->body();
    return 0;
  }
};

}  // namespace

TEST(Concurrency, SaveListAndCountTogether) {
  const int kAccounts = 3;
  auto* plugin = new PluginObject();
  {
    ComPtr<IStream> s;
    *s.Out() = pwtest::MemoryStream(InitialStream(kAccounts));
    plugin->Load(s.Get());
  }
  std::vector<RefPtr<MailAccount>> accounts;
  {
    SharedGuard g(plugin->AccountsLock());
    accounts = plugin->Accounts();
  }
  ASSERT_EQ(accounts.size(), size_t(kAccounts));

  const DWORD deadline = GetTickCount() + 1500;
  auto running = [&] { return static_cast<LONG>(GetTickCount() - deadline) < 0; };
  std::atomic<int> saves{0}, listings{0}, counts{0}, badSaves{0};

  std::vector<Worker> workers(4);
  workers[0].body = [&] {
    while (running()) {
      ComPtr<IStream> s;
      *s.Out() = pwtest::MemoryStream();
      plugin->Save(s.Get());
      if (VerifySaved(pwtest::StreamBytes(s.Get()), kAccounts) < 0) ++badSaves;
      ++saves;
    }
  };
  // Two listers slide a window over the ids: each listing keeps some
  // messages, drops some and adds some, whose headers then arrive.
  for (int w = 1; w <= 2; ++w) {
    workers[w].body = [&, w] {
      MailAccount& a = *accounts[w - 1];
      for (int round = 0; running(); ++round) {
        int first = (round * 7) % 200;
        a.OnListEntry(nullptr, 0);
        for (int n = first; n < first + 60; ++n) a.OnListEntry(Id(n).c_str(), SizeOf(Id(n)));
        a.OnListEntry(nullptr, kListingEnd);
        for (int n = first; n < first + 60; n += 3) a.OnHeader(Id(n).c_str(), HeaderOf(Id(n)).c_str());
        ++listings;
      }
    };
  }
  workers[3].body = [&] {
    while (running()) {
      SharedGuard g(plugin->AccountsLock());
      for (const auto& a : plugin->Accounts()) {
        uint32_t n = 0, bytes = 0;
        a->CountNew(&n, &bytes);
        a->GetStatus();
      }
      if (++counts % 50 == 0) plugin->MarkAllRead();
    }
  };

  std::vector<ScopedHandle> threads;
  std::vector<HANDLE> raw;
  for (auto& w : workers) {
    threads.emplace_back(CreateThread(nullptr, 0, &Worker::Main, &w, 0, nullptr));
    ASSERT_TRUE(threads.back());
    raw.push_back(threads.back().Get());
  }
  if (WaitForMultipleObjects(static_cast<DWORD>(raw.size()), raw.data(), TRUE, 60000) == WAIT_TIMEOUT) {
    ADD_FAILURE() << "deadlock: workers still running a minute after the deadline";
    TerminateProcess(GetCurrentProcess(), 3);
  }
  EXPECT_EQ(badSaves, 0);
  EXPECT_GT(saves, 0);
  EXPECT_GT(listings, 0);
  EXPECT_GT(counts, 0);
  // The account that no one listed is as it was loaded.
  EXPECT_EQ(accounts[2]->MessageCount(), 60u);
  accounts.clear();
  plugin->Release();
}
