#include "ui/DnsblDialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include "ui_ids.h"

namespace pw::ui {

DnsblDialog::DnsblDialog(DnsblService& service) : DialogWindow(IDD_DNSBL), service_(service) {}

void DnsblDialog::OnInitDialog() {
  HWND w = Window();
  // Read afresh each time: the user may have edited the file meanwhile.
  definitions_ = loadDefinitions();
  const wchar_t* current = service_.name.Get();
  int select = 0;
  for (size_t i = 0; i < definitions_.size(); ++i) {
    const LRESULT item = SendDlgItemMessageW(w, IDC_DB_SERVER, CB_ADDSTRING, 0,
                                             reinterpret_cast<LPARAM>(definitions_[i].name.c_str()));
    SendDlgItemMessageW(w, IDC_DB_SERVER, CB_SETITEMDATA, item, static_cast<LPARAM>(i));
    if (current && _wcsicmp(current, definitions_[i].name.c_str()) == 0) select = static_cast<int>(item);
  }
  // The combo box is not sorted, but find the item by its data all the same.
  HWND list = Item(IDC_DB_RESULTS);
  ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  LVCOLUMNW column = {LVCF_WIDTH};
  column.cx = 300;
  ListView_InsertColumn(list, 0, &column);
  if (!definitions_.empty()) SendDlgItemMessageW(w, IDC_DB_SERVER, CB_SETCURSEL, select, 0);
  ShowDefinition();
}

int DnsblDialog::SelectedDefinition() const {
  const LRESULT item = SendDlgItemMessageW(Window(), IDC_DB_SERVER, CB_GETCURSEL, 0, 0);
  if (item < 0) return -1;
  const LRESULT i = SendDlgItemMessageW(Window(), IDC_DB_SERVER, CB_GETITEMDATA, item, 0);
  return i >= 0 && static_cast<size_t>(i) < definitions_.size() ? static_cast<int>(i) : -1;
}

void DnsblDialog::ShowDefinition() {
  HWND list = Item(IDC_DB_RESULTS);
  ListView_DeleteAllItems(list);
  const int d = SelectedDefinition();
  Enable(IDC_DB_OPEN, d >= 0 && !definitions_[d].webPage.empty());
  if (d < 0) {
    SetDlgItemTextW(Window(), IDC_DB_DESCRIPTION, L"");
    return;
  }
  const DnsblDefinition& def = definitions_[d];
  SetDlgItemTextW(Window(), IDC_DB_DESCRIPTION, def.description.c_str());
  const bool same = service_.name.Get() && def.name == service_.name.Get();
  for (size_t i = 0; i < def.results.size(); ++i) {
    LVITEMW item = {LVIF_TEXT | LVIF_PARAM};
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<wchar_t*>(def.results[i].reason.Get() ? def.results[i].reason.Get() : L"");
    item.lParam = static_cast<LPARAM>(i);
    const int at = ListView_InsertItem(list, &item);
    bool ticked = false;
    if (same)
      for (const DnsblResult& r : service_.results) ticked = ticked || r.code == def.results[i].code;
    ListView_SetCheckState(list, at, ticked);
  }
}

void DnsblDialog::OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam), code = HIWORD(wParam);
  if (id == IDC_DB_SERVER && code == CBN_SELCHANGE) ShowDefinition();
  if (id == IDC_DB_OPEN) {
    const int d = SelectedDefinition();
    // Only web addresses: the file is the user's, but a line in it must not
    // start a program.
    if (d >= 0 && (_wcsnicmp(definitions_[d].webPage.c_str(), L"http://", 7) == 0 ||
                   _wcsnicmp(definitions_[d].webPage.c_str(), L"https://", 8) == 0))
      ShellExecuteW(Window(), L"open", definitions_[d].webPage.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
}

bool DnsblDialog::OnOK() {
  const int d = SelectedDefinition();
  if (d < 0) return true;  // nothing to choose from: the service stays as it was
  const DnsblDefinition& def = definitions_[d];
  service_.name.Set(def.name.c_str());
  service_.zone.Set(def.zone.c_str());
  service_.results.clear();
  HWND list = Item(IDC_DB_RESULTS);
  const int count = ListView_GetItemCount(list);
  for (int i = 0; i < count; ++i) {
    if (!ListView_GetCheckState(list, i)) continue;
    LVITEMW item = {LVIF_PARAM};
    item.iItem = i;
    ListView_GetItem(list, &item);
    if (item.lParam >= 0 && static_cast<size_t>(item.lParam) < def.results.size())
      service_.results.push_back(def.results[item.lParam]);
  }
  return true;
}

}  // namespace pw::ui
