// The rule list in the settings tree, inside the open "Filters" node.
#pragma once

#include "filter/RuleModel.h"

namespace pw {

class SettingsTree;

void SaveRuleList(SettingsTree& tree, const RuleList& list);
// Replaces `list` with the stored rules. Returns false when the tree holds
// no rule list at all (no "count" among the rule keys), which is how a
// configuration that never had rules is told from one whose user deleted
// them all.
bool LoadRuleList(SettingsTree& tree, RuleList& list);

}  // namespace pw
