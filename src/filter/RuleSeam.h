// Where the filtering rules meet the settings stream and the messages.
// They do nothing until the rule list is built.
#pragma once

namespace pw {

class MailAccount;
class MailMessage;
class PluginObject;
class SettingsTree;

// The rule set inside the open "Filters" node, after its three keys.
void LoadRuleSet(SettingsTree& tree, PluginObject& plugin);
void SaveRuleSet(SettingsTree& tree, const PluginObject& plugin);
// Classifies the message and sets its colours, icon and pending actions.
void ApplyRules(PluginObject& plugin, MailAccount& account, MailMessage& message);

}  // namespace pw
