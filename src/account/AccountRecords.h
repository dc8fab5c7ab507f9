// The "accounts" node of the settings stream: `count`, then one
// "account#%d" node per account in array order.
#pragma once

#include <vector>

#include "account/MailAccount.h"
#include "base/RefPtr.h"

namespace pw {

class AccountOwner;
class SettingsTree;

// Reads the accounts of the open "accounts" node. A missing "account#%d"
// node is skipped rather than read from the enclosing node (which would
// copy another account's record).
std::vector<RefPtr<MailAccount>> LoadAccountRecords(SettingsTree& tree, AccountOwner* owner);
// Writes `count` and the account nodes; the caller holds the array lock.
void SaveAccountRecords(SettingsTree& tree, const std::vector<RefPtr<MailAccount>>& accounts);

}  // namespace pw
