// A Plug-in object built into the test program (with the plug-in's
// resources linked in), so tests can reach what the host cannot: the
// button flags, the strips and the accounts' message lists.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestStreams.h"
#include "account/MailAccount.h"
#include "base/Module.h"
#include "base/Scoped.h"
#include "base/SettingsTree.h"
#include "core/PluginObject.h"

namespace pwtest {

struct AccountSpec {
  std::wstring name;
  std::vector<uint32_t> newSizes;  // one new message per size
  uint32_t lastError = 0;
};

// Loads a paused object (no checker thread) with the given accounts, then
// lifts the pause for drawing. `settings` adds keys to the "settings" node.
class InProcessPlugin {
 public:
  explicit InProcessPlugin(const std::vector<AccountSpec>& accounts,
                           void (*settings)(pw::SettingsTree&) = nullptr) {
    pw::SetDllModule(GetModuleHandleW(nullptr));
    p_ = new pw::PluginObject();
    pw::SettingsTree t;
    t.CreateNode(L"settings");
    t.SetInt(L"pause", 1);
    t.SetInt(L"showMsgNum", 1);
    if (settings) settings(t);
    t.CloseNode();
    t.CreateNode(L"accounts");
    t.SetInt(L"count", int32_t(accounts.size()));
    for (size_t i = 0; i < accounts.size(); ++i) {
      t.CreateNode((L"account#" + std::to_wstring(i)).c_str());
      t.CreateNode(L"settings");
      t.SetString(L"AccountName", accounts[i].name.c_str());
      t.CloseNode();
      t.CloseNode();
    }
    t.CloseNode();
    std::vector<uint8_t> bytes = {25, 0, 0, 0};
    std::vector<uint8_t> tree = WriteTree(t);
    bytes.insert(bytes.end(), tree.begin(), tree.end());
    pw::ComPtr<IStream> s;
    *s.Out() = MemoryStream(bytes);
    p_->Load(s.Get());
    p_->SetCaption("Mail");
    EXPECT_FALSE(p_->CheckerRunning());
    p_->Settings().pause = 0;
    EXPECT_EQ(p_->Accounts().size(), accounts.size());
    for (size_t i = 0; i < accounts.size() && i < p_->Accounts().size(); ++i) {
      // The listing callbacks add new messages as a check would.
      pw::MailAccount& a = *p_->Accounts()[i];
      a.OnListEntry(nullptr, 0);
      int n = 0;
      for (uint32_t size : accounts[i].newSizes) a.OnListEntry(("m" + std::to_string(n++)).c_str(), size);
      a.OnListEntry(nullptr, pw::kListingEnd);
      a.lastError = accounts[i].lastError;
    }
  }
  ~InProcessPlugin() { p_->Release(); }
  InProcessPlugin(const InProcessPlugin&) = delete;
  InProcessPlugin& operator=(const InProcessPlugin&) = delete;
  pw::PluginObject* operator->() const { return p_; }
  pw::PluginObject& operator*() const { return *p_; }

 private:
  pw::PluginObject* p_;
};

}  // namespace pwtest
