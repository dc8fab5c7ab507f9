#include "ui/ImportDialog.h"

#include "filter/RuleEngine.h"
#include "filter/RuleModel.h"
#include "ui/DialogText.h"
#include "ui/FieldAutoComplete.h"
#include "ui/Pickers.h"
#include "ui_ids.h"

namespace pw::ui {

ImportDialog::ImportDialog() : DialogWindow(IDD_IMPORT_CONDITIONS) {}
ImportDialog::~ImportDialog() = default;

void ImportDialog::OnInitDialog() {
  HWND w = Window();
  for (const wchar_t* f : kProposedFields)
    SendDlgItemMessageW(w, IDC_IC_FIELD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f));
  SendDlgItemMessageW(w, IDC_IC_FIELD, CB_LIMITTEXT, kFieldUnits - 1, 0);
  SetDlgItemTextW(w, IDC_IC_FIELD, L"From");
  for (uint32_t code : kSearchFunctions) {
    const LRESULT i = SendDlgItemMessageW(w, IDC_IC_FUNCTION, CB_ADDSTRING, 0,
                                          reinterpret_cast<LPARAM>(searchFunctionName(code).c_str()));
    SendDlgItemMessageW(w, IDC_IC_FUNCTION, CB_SETITEMDATA, i, code);
  }
  SendDlgItemMessageW(w, IDC_IC_FUNCTION, CB_SETCURSEL, 0, 0);
  SendDlgItemMessageW(w, IDC_IC_FILE, EM_LIMITTEXT, 255, 0);
  complete_ = FieldAutoComplete::Attach(GetWindow(Item(IDC_IC_FIELD), GW_CHILD), kProposedFields,
                                        std::size(kProposedFields));
}

void ImportDialog::OnCommand(WPARAM wParam) {
  if (LOWORD(wParam) != IDC_IC_BROWSE) return;
  std::wstring path = ItemText(Window(), IDC_IC_FILE);
  if (PickFile(Window(), L"Select file with strings", L"All files\0*.*\0", path))
    SetDlgItemTextW(Window(), IDC_IC_FILE, path.c_str());
}

bool ImportDialog::OnOK() {
  field_ = ItemText(Window(), IDC_IC_FIELD).substr(0, kFieldUnits - 1);
  file_ = ItemText(Window(), IDC_IC_FILE).substr(0, 255);
  const LRESULT i = SendDlgItemMessageW(Window(), IDC_IC_FUNCTION, CB_GETCURSEL, 0, 0);
  searchType_ = i >= 0 ? kSearchFunctions[i] : SearchType::Contains;
  return true;
}

}  // namespace pw::ui
