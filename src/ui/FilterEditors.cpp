// The entry points of the filter editors. Every editor works on a copy: the
// caller's list changes only on OK.
#include "ui/FilterEditors.h"

#include "account/MailMessage.h"
#include "filter/RuleModel.h"
#include "ui/ConditionEditor.h"
#include "ui/RuleEditor.h"

namespace pw::ui {

bool FilterEditorsAvailable() { return true; }

bool EditFilterRules(HWND owner, HMODULE resources, RuleList& rules, FilterEditorState& state) {
  RuleEditor editor(rules, state.field, state.accounts);
  const bool ok = editor.DoModal(owner, resources) == IDOK;
  state.field = editor.FieldIndex();
  if (ok) editor.TakeRules(rules);
  return ok;
}

bool CreateFilterCondition(HWND owner, HMODULE resources, RuleList& rules, const MailMessage& message,
                           FilterEditorState& state) {
  RuleList work(rules);
  // The new condition needs a rule to go into.
  if (work.rules.empty()) work.addRule(L"New Rule", 0);
  ConditionSet set;
  ConditionEditor editor(set, state.field, &work, &message, state.rule);
  const bool ok = editor.DoModal(owner, resources) == IDOK;
  state.field = editor.FieldIndex();
  if (!ok) return false;
  const int index = editor.RuleIndex();
  if (index < 0 || static_cast<size_t>(index) >= work.rules.size()) return false;
  state.rule = index;
  work.rules[static_cast<size_t>(index)]->addSet().conditions = std::move(set.conditions);
  rules.rules = std::move(work.rules);
  return true;
}

}  // namespace pw::ui
