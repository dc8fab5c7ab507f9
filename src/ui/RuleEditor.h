// "Filtering rules": the rule list on the left; the selected rule's actions,
// colours, icon and condition sets on the right. The caller's list is only
// read while the dialog is open: a rule is copied when it is first changed,
// and TakeRules hands the edited list over after OK.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "account/MailAccount.h"
#include "base/RefPtr.h"
#include "base/Scoped.h"
#include "filter/RuleModel.h"
#include "ui/DialogWindow.h"
#include "ui/LiveCount.h"
#include "ui/PictureBitmap.h"

namespace pw::ui {

class RuleEditor final : public DialogWindow {
 public:
  // `accounts` hold the messages of the live count (none: no count).
  RuleEditor(const RuleList& rules, int fieldIndex, std::vector<RefPtr<MailAccount>> accounts = {});
  ~RuleEditor() override;

  // After OK: replaces the rules of `rules`, the list given to the
  // constructor, by the edited ones.
  void TakeRules(RuleList& rules);

  // The field last chosen in a condition-set editor opened from here.
  int FieldIndex() const { return fieldIndex_; }

  void OnInitDialog() override;
  void OnCommand(WPARAM wParam) override;
  LRESULT OnNotify(int controlId, NMHDR* header) override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  bool OnOK() override;

 private:
  // A rule as shown: the caller's until it is changed, then the editor's
  // own copy, made by Edit.
  struct Entry {
    size_t origin = SIZE_MAX;  // index in the caller's list; none for a new rule
    std::unique_ptr<FilterRule> own;
  };
  const FilterRule& At(size_t i) const;
  const FilterRule* Rule() const;
  FilterRule* Edit();
  int RuleIndex() const;
  int SetIndex() const;
  void FillRules(int select);
  void LoadRule();
  void FillSets(int select);
  void UpdateEnabling();
  void StoreText(int id);
  void StoreBit(int id, uint32_t bit);
  void MarkAs();
  void RuleCommand(int id);
  void SetCommand(int id);
  void OpenSet(int index);
  void ChooseIcon();
  void Browse(int id);
  void StartCount();
  void LoadButtonPictures();
  bool DrawSetButton(const DRAWITEMSTRUCT& draw);

  const RuleList& given_;
  std::vector<Entry> rules_;
  int fieldIndex_;
  bool loading_ = false;
  HWND tips_ = nullptr;  // owned by the dialog, destroyed with it
  PictureBitmap iconPicture_;
  // The small buttons' pictures, and their disabled look.
  PictureBitmap setPictures_[6], setGreyPictures_[6];
  LiveCount count_;
};

}  // namespace pw::ui
