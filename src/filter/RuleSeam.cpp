#include "filter/RuleSeam.h"

namespace pw {

void LoadRuleSet(SettingsTree&, PluginObject&) {}
void SaveRuleSet(SettingsTree&, const PluginObject&) {}
void ApplyRules(PluginObject&, MailAccount&, MailMessage&) {}

}  // namespace pw
