// The filter editors' entry points for the windows that open them.
#pragma once

#include <windows.h>

namespace pw {
class RuleList;
class MailMessage;
}  // namespace pw

namespace pw::ui {

// False while the editors cannot be opened (their commands stay disabled).
bool FilterEditorsAvailable();

// The rule editor over the caller's copy `rules`. True on OK: `rules`
// holds the edited list; on Cancel it is left as it was.
bool EditFilterRules(HWND owner, HMODULE resources, RuleList& rules);

// The condition-set editor filled from `message`; on OK the new set goes
// into the rule the user picks in `rules`. True on OK.
bool CreateFilterCondition(HWND owner, HMODULE resources, RuleList& rules, const MailMessage& message);

}  // namespace pw::ui
