// The entry points of the filter editors. Every editor works on a copy: the
// caller's list changes only on OK.
#include "ui/FilterEditors.h"

#include <atomic>

#include "account/MailMessage.h"
#include "filter/RuleModel.h"
#include "ui/ConditionEditor.h"
#include "ui/FilterEditorDefaults.h"
#include "ui/RuleEditor.h"

namespace pw::ui {
namespace {

std::atomic<int> gDefaultRule{0};
std::atomic<int> gDefaultField{17};

}  // namespace

void SetFilterEditorDefaults(int rule, int field) {
  gDefaultRule = rule;
  gDefaultField = field;
}
int FilterEditorDefaultRule() { return gDefaultRule; }
int FilterEditorDefaultField() { return gDefaultField; }

bool FilterEditorsAvailable() { return true; }

bool EditFilterRules(HWND owner, HMODULE resources, RuleList& rules) {
  RuleList work(rules);
  RuleEditor editor(work, gDefaultField);
  const bool ok = editor.DoModal(owner, resources) == IDOK;
  gDefaultField = editor.FieldIndex();
  if (ok) rules.rules = std::move(work.rules);
  return ok;
}

bool CreateFilterCondition(HWND owner, HMODULE resources, RuleList& rules, const MailMessage& message) {
  RuleList work(rules);
  // The new condition needs a rule to go into.
  if (work.rules.empty()) work.addRule(L"New Rule", 0);
  ConditionSet set;
  ConditionEditor editor(set, gDefaultField, &work, &message, gDefaultRule);
  const bool ok = editor.DoModal(owner, resources) == IDOK;
  gDefaultField = editor.FieldIndex();
  if (!ok) return false;
  const int index = editor.RuleIndex();
  if (index < 0 || static_cast<size_t>(index) >= work.rules.size()) return false;
  gDefaultRule = index;
  work.rules[static_cast<size_t>(index)]->addSet().conditions = std::move(set.conditions);
  rules.rules = std::move(work.rules);
  return true;
}

}  // namespace pw::ui
