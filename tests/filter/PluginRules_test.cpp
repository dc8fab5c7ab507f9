// The rule list of a Plug-in object through its settings stream: the
// built-in rules come once, with a fresh configuration, and a list the user
// emptied stays empty.
#include <gtest/gtest.h>

#include "TestStreams.h"
#include "base/Module.h"
#include "base/SettingsTree.h"
#include "core/PluginObject.h"

namespace {

struct Plugin {
  Plugin() {
    pw::SetDllModule(GetModuleHandleW(nullptr));
    p = new pw::PluginObject();
    p->Settings().pause = 1;
  }
  ~Plugin() { p->Release(); }
  std::vector<uint8_t> Save() {
    pw::ComPtr<IStream> s;
    *s.Out() = pwtest::MemoryStream();
    p->Save(s.Get());
    return pwtest::StreamBytes(s.Get());
  }
  void Load(const std::vector<uint8_t>& bytes) {
    pw::ComPtr<IStream> s;
    *s.Out() = pwtest::MemoryStream(bytes);
    p->Load(s.Get());
  }
  size_t Rules() const { return p->Rules().Current()->List().rules.size(); }
  pw::PluginObject* p;
};

}  // namespace

TEST(PluginRules, BuiltinRulesComeOnceAndStayDeleted) {
  Plugin fresh;
  EXPECT_EQ(fresh.Rules(), 4u);
  const std::vector<uint8_t> stored = fresh.Save();

  // Loading the stored list (again and again) never appends a second copy.
  Plugin second;
  second.Load(stored);
  second.Load(stored);
  EXPECT_EQ(second.Rules(), 4u);
  EXPECT_STREQ(second.p->Rules().Current()->List().rules[0]->name, L"Friends");

  // The user deletes every rule: they do not come back.
  second.p->Rules().Publish(std::make_unique<pw::RuleList>());
  const std::vector<uint8_t> emptied = second.Save();
  Plugin third;
  third.Load(emptied);
  EXPECT_EQ(third.Rules(), 0u);

  // A stream written before rules were stored keeps the built-in rules.
  pw::SettingsTree t;
  t.CreateNode(L"settings");
  t.SetInt(L"pause", 1);
  t.CloseNode();
  t.CreateNode(L"Filters");
  t.SetInt(L"useFilter", 1);
  t.CloseNode();
  std::vector<uint8_t> old = {25, 0, 0, 0};
  const std::vector<uint8_t> tree = pwtest::WriteTree(t);
  old.insert(old.end(), tree.begin(), tree.end());
  Plugin fourth;
  fourth.Load(old);
  EXPECT_EQ(fourth.Rules(), 4u);
  EXPECT_EQ(fourth.p->Settings().useFilter, 1);
}
