// The filter editors' entry points for the windows that open them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "account/MailAccount.h"
#include "base/RefPtr.h"

namespace pw {
class RuleList;
class MailMessage;
}  // namespace pw

namespace pw::ui {

// What the editors remember between openings, kept by the plug-in in its
// settings, and the messages the rule editor's live count runs over.
struct FilterEditorState {
  // The rule that last received a condition made from a message.
  int32_t rule = 0;
  // The header field last chosen for a new condition (an index into the
  // proposed names).
  int32_t field = 17;
  // Whose messages are counted; none, no count.
  std::vector<RefPtr<MailAccount>> accounts;
};

// False while the editors cannot be opened (their commands stay disabled).
bool FilterEditorsAvailable();

// The rule editor over the caller's copy `rules`. True on OK: `rules`
// holds the edited list; on Cancel it is left as it was. `state.field` is
// updated either way.
bool EditFilterRules(HWND owner, HMODULE resources, RuleList& rules, FilterEditorState& state);

// The condition-set editor filled from `message`, the rule `state.rule`
// proposed; on OK the new set goes into the rule the user picks in `rules`
// and `state.rule` names it. True on OK.
bool CreateFilterCondition(HWND owner, HMODULE resources, RuleList& rules, const MailMessage& message,
                           FilterEditorState& state);

}  // namespace pw::ui
