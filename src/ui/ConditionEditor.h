// The editor of one condition set: its AND-list of conditions, one at a
// time in the controls below the list. Opened from a message it proposes
// that message's field values and lets the user pick the receiving rule.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "filter/RuleModel.h"
#include "ui/DialogWindow.h"

namespace pw {
class MailMessage;
}

namespace pw::ui {

class FieldAutoComplete;

class ConditionEditor final : public DialogWindow {
 public:
  // `set` is the caller's working copy; it is edited in place and the
  // caller keeps it only on OK. `rules` (names for "Add condition to rule:")
  // and `message` are given together when opened from a message.
  ConditionEditor(ConditionSet& set, int fieldIndex, const RuleList* rules = nullptr,
                  const MailMessage* message = nullptr, int ruleIndex = 0);
  ~ConditionEditor() override;

  // After OK: the rule chosen (from a message), the last field chosen from
  // the proposed names (index into kProposedFields).
  int RuleIndex() const { return ruleIndex_; }
  int FieldIndex() const { return fieldIndex_; }

  void OnInitDialog() override;
  void OnCommand(WPARAM wParam) override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  bool OnOK() override;

 private:
  std::wstring LineText(const Condition& condition) const;
  Condition* Selected();
  void FillList(int select);
  void LoadSelected();
  void RefreshSelected();
  void FieldChanged(bool fromList);
  void SyncField();
  void FunctionChanged();
  void ValueChanged();
  void AddAnd();
  void DeleteSelected();

  ConditionSet& set_;
  const RuleList* rules_;
  const MailMessage* message_;
  int ruleIndex_;
  int fieldIndex_;
  bool loading_ = false;
  std::unique_ptr<FieldAutoComplete> complete_;
  HWND tips_ = nullptr;  // owned by the dialog
  std::wstring tipText_;
};

// True for the kinds whose "Value:" is a number (sizes, address count).
bool IsNumericKind(uint32_t searchType);
// "Value:" text for a numeric kind: a plain unsigned decimal that fits in
// 32 bits; anything else gives false and 0.
bool ParseConditionNumber(const wchar_t* text, uint32_t& value);
// What a condition made from a message's field looks like: the value with
// "Contains", "Is blank" for an empty field, "Is not present" for a missing
// one. `raw` takes the undecoded text and keeps the RAW bit.
void FillFromMessage(Condition& condition, const MailMessage& message, bool raw);
// Why the condition's pattern does not compile (the engine's own message),
// or empty: a condition that is not a pattern, or one that compiles.
std::wstring PatternProblem(const Condition& condition);

}  // namespace pw::ui
