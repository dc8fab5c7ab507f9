// "Filtering rules": the rule list on the left; the selected rule's actions,
// colours, icon and condition sets on the right. Edits go straight into the
// list it is given, which the caller keeps only on OK.
#pragma once

#include <windows.h>

#include "base/Scoped.h"
#include "filter/RuleModel.h"
#include "ui/DialogWindow.h"
#include "ui/PictureBitmap.h"

namespace pw::ui {

class RuleEditor final : public DialogWindow {
 public:
  RuleEditor(RuleList& rules, int fieldIndex);

  // The field last chosen in a condition-set editor opened from here.
  int FieldIndex() const { return fieldIndex_; }

  void OnInitDialog() override;
  void OnCommand(WPARAM wParam) override;
  LRESULT OnNotify(int controlId, NMHDR* header) override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  bool OnOK() override;

 private:
  FilterRule* Rule();
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

  RuleList& rules_;
  int fieldIndex_;
  bool loading_ = false;
  HWND tips_ = nullptr;  // owned by the dialog, destroyed with it
  PictureBitmap iconPicture_;
};

}  // namespace pw::ui
