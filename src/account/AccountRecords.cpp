#include "account/AccountRecords.h"

#include <cwchar>

#include "base/SettingsTree.h"

namespace pw {

std::vector<RefPtr<MailAccount>> LoadAccountRecords(SettingsTree& t, AccountOwner* owner) {
  std::vector<RefPtr<MailAccount>> out;
  int32_t count = t.GetInt(L"count", 0);
  // Each account takes real entries; a damaged count asks for no more.
  if (count < 0) count = 0;
  if (static_cast<size_t>(count) > t.Entries().size()) count = static_cast<int32_t>(t.Entries().size());
  wchar_t name[32];
  for (int32_t i = 0; i < count; ++i) {
    swprintf(name, 32, L"account#%d", static_cast<int>(i));
    if (!t.EnterNode(name)) continue;
    auto account = RefPtr<MailAccount>::Adopt(new MailAccount(owner));
    account->Load(t);
    t.LeaveNode();
    out.push_back(std::move(account));
  }
  return out;
}

void SaveAccountRecords(SettingsTree& t, const std::vector<RefPtr<MailAccount>>& accounts) {
  t.SetInt(L"count", static_cast<int32_t>(accounts.size()));
  wchar_t name[32];
  for (size_t i = 0; i < accounts.size(); ++i) {
    swprintf(name, 32, L"account#%d", static_cast<int>(i));
    t.CreateNode(name);
    accounts[i]->Save(t);
    t.CloseNode();
  }
}

}  // namespace pw
