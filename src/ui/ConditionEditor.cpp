#include "ui/ConditionEditor.h"

#include <commctrl.h>

#include <optional>
#include <string>

#include "account/MailMessage.h"
#include "account/MessageHeader.h"
#include "filter/RuleEngine.h"
#include "regex/Regex.h"
#include "ui/DialogText.h"
#include "ui/FieldAutoComplete.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

// What "Value:" takes as typed; longer stored values are still shown whole.
constexpr int kValueChars = 99;

}  // namespace

bool IsNumericKind(uint32_t searchType) {
  const uint32_t k = searchType & SearchType::KindMask;
  return k == SearchType::MinSize || k == SearchType::MaxSize || k == SearchType::AddressCount;
}

bool ParseConditionNumber(const wchar_t* text, uint32_t& value) {
  value = 0;
  std::wstring s(text);
  const size_t first = s.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return true;  // empty: 0
  s = s.substr(first, s.find_last_not_of(L" \t") - first + 1);
  uint64_t v = 0;
  for (wchar_t ch : s) {
    if (ch < L'0' || ch > L'9') return false;
    v = v * 10 + static_cast<uint64_t>(ch - L'0');
    if (v > 0xFFFFFFFFull) return false;  // never wrapped
  }
  value = static_cast<uint32_t>(v);
  return true;
}

void FillFromMessage(Condition& c, const MailMessage& message, bool raw) {
  std::optional<std::wstring> value;
  if (raw) {
    value = rawFieldValue(message, c.field);
  } else if (const wchar_t* v = nextFieldValue(message, c.field)) {
    value = v;
  }
  c.size = 0;
  if (!value) {
    c.searchType = SearchType::IsPresent | SearchType::Not;
    c.substring[0] = 0;
  } else if (value->empty()) {
    c.searchType = SearchType::IsBlank;
    c.substring[0] = 0;
  } else {
    c.searchType = SearchType::Contains;
    CopyField(c.substring, kFieldUnits, value->c_str());
  }
  // A raw value only ever matches a raw comparison.
  if (raw) c.searchType |= SearchType::Raw;
}

std::wstring PatternProblem(const Condition& c) {
  const uint32_t k = c.searchType & SearchType::KindMask;
  if (k != SearchType::Regex && k != SearchType::BodyRegex) return std::wstring();
  try {
    regex::Compile(std::wstring_view(c.substring));
  } catch (const regex::bad_regexpr& e) {
    const std::string what = e.what();
    return std::wstring(what.begin(), what.end());
  }
  return std::wstring();
}

// A broken pattern is marked: it never matches, and the user should see why.
std::wstring ConditionEditor::LineText(const Condition& c) const {
  const std::wstring text = describeCondition(set_, c);
  return PatternProblem(c).empty() ? text : L"(!) " + text;
}

ConditionEditor::ConditionEditor(ConditionSet& set, int fieldIndex, const RuleList* rules, const MailMessage* message,
                                 int ruleIndex)
    : DialogWindow(IDD_CONDITION_EDITOR),
      set_(set),
      rules_(rules),
      message_(message),
      ruleIndex_(ruleIndex),
      fieldIndex_(fieldIndex < 0 || fieldIndex >= static_cast<int>(std::size(kProposedFields)) ? 17 : fieldIndex) {}

ConditionEditor::~ConditionEditor() = default;

Condition* ConditionEditor::Selected() {
  const LRESULT i = SendDlgItemMessageW(Window(), IDC_CE_LIST, LB_GETCURSEL, 0, 0);
  if (i < 0 || static_cast<size_t>(i) >= set_.conditions.size()) return nullptr;
  return &set_.conditions[static_cast<size_t>(i)];
}

void ConditionEditor::OnInitDialog() {
  HWND w = Window();
  if (set_.conditions.empty()) set_.addCondition(kProposedFields[fieldIndex_], SearchType::Contains, L"", 0);
  for (const wchar_t* f : kProposedFields)
    SendDlgItemMessageW(w, IDC_CE_FIELD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f));
  SendDlgItemMessageW(w, IDC_CE_FIELD, CB_LIMITTEXT, kFieldUnits - 1, 0);
  for (uint32_t code : kSearchFunctions) {
    const LRESULT i = SendDlgItemMessageW(w, IDC_CE_FUNCTION, CB_ADDSTRING, 0,
                                          reinterpret_cast<LPARAM>(searchFunctionName(code).c_str()));
    SendDlgItemMessageW(w, IDC_CE_FUNCTION, CB_SETITEMDATA, i, code);
  }
  if (rules_) {
    for (const auto& r : rules_->rules)
      SendDlgItemMessageW(w, IDC_CE_RULE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(r->name));
    if (ruleIndex_ < 0 || static_cast<size_t>(ruleIndex_) >= rules_->rules.size()) ruleIndex_ = 0;
    SendDlgItemMessageW(w, IDC_CE_RULE, CB_SETCURSEL, ruleIndex_, 0);
  }
  Enable(IDC_CE_RULE, rules_ != nullptr && message_ != nullptr);
  // The combo box's edit is its first child.
  complete_ = FieldAutoComplete::Attach(GetWindow(Item(IDC_CE_FIELD), GW_CHILD), kProposedFields,
                                        std::size(kProposedFields));
  tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, w, nullptr, nullptr, nullptr);
  TTTOOLINFOW info = {sizeof(info)};
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = w;
  info.uId = reinterpret_cast<UINT_PTR>(Item(IDC_CE_LIST));
  info.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, 400);
  FillList(0);
}

LRESULT ConditionEditor::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  if (message != WM_NOTIFY) return 0;
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (header->hwndFrom != tips_ || header->code != TTN_GETDISPINFOW) return 0;
  // The tip tells why the line under the pointer never matches.
  auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
  HWND list = Item(IDC_CE_LIST);
  POINT at;
  GetCursorPos(&at);
  ScreenToClient(list, &at);
  const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(at.x, at.y));
  tipText_.clear();
  if (HIWORD(hit) == 0 && LOWORD(hit) < set_.conditions.size()) tipText_ = PatternProblem(set_.conditions[LOWORD(hit)]);
  info->lpszText = tipText_.data();
  handled = true;
  return 0;
}

void ConditionEditor::FillList(int select) {
  HWND list = Item(IDC_CE_LIST);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const Condition& c : set_.conditions)
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LineText(c).c_str()));
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  if (select >= static_cast<int>(set_.conditions.size())) select = static_cast<int>(set_.conditions.size()) - 1;
  SendMessageW(list, LB_SETCURSEL, select, 0);
  LoadSelected();
}

void ConditionEditor::LoadSelected() {
  const Condition* c = Selected();
  const bool any = c != nullptr;
  for (int id : {IDC_CE_FIELD, IDC_CE_FUNCTION, IDC_CE_VALUE, IDC_CE_CASE, IDC_CE_RAW, IDC_CE_AND, IDC_CE_DELETE})
    Enable(id, any);
  if (!c) return;
  loading_ = true;
  HWND w = Window();
  SetDlgItemTextW(w, IDC_CE_FIELD, c->field);
  const uint32_t code = c->searchType & (SearchType::KindMask | SearchType::Not);
  int pick = -1;
  for (size_t i = 0; i < std::size(kSearchFunctions); ++i)
    if (kSearchFunctions[i] == code) pick = static_cast<int>(i);
  SendDlgItemMessageW(w, IDC_CE_FUNCTION, CB_SETCURSEL, pick, 0);
  if (IsNumericKind(c->searchType)) {
    SendDlgItemMessageW(w, IDC_CE_VALUE, EM_LIMITTEXT, 10, 0);
    SetItemUnsigned(w, IDC_CE_VALUE, c->size);
  } else {
    SendDlgItemMessageW(w, IDC_CE_VALUE, EM_LIMITTEXT, kValueChars, 0);
    SetDlgItemTextW(w, IDC_CE_VALUE, c->substring);
  }
  Check(IDC_CE_CASE, (c->searchType & SearchType::MatchCase) != 0);
  Check(IDC_CE_RAW, (c->searchType & SearchType::Raw) != 0);
  loading_ = false;
}

// The selected line's description after an edit, without moving the list.
void ConditionEditor::RefreshSelected() {
  HWND list = Item(IDC_CE_LIST);
  const LRESULT i = SendMessageW(list, LB_GETCURSEL, 0, 0);
  const Condition* c = Selected();
  if (!c) return;
  const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_DELETESTRING, i, 0);
  SendMessageW(list, LB_INSERTSTRING, i, reinterpret_cast<LPARAM>(LineText(*c).c_str()));
  SendMessageW(list, LB_SETCURSEL, i, 0);
  SendMessageW(list, LB_SETTOPINDEX, top, 0);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void ConditionEditor::FieldChanged(bool fromList) {
  Condition* c = Selected();
  if (!c) return;
  HWND combo = Item(IDC_CE_FIELD);
  std::wstring name;
  if (fromList) {
    const LRESULT i = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (i < 0) return;
    name = kProposedFields[i];
    fieldIndex_ = static_cast<int>(i);
  } else {
    name = ItemText(Window(), IDC_CE_FIELD);
    for (size_t i = 0; i < std::size(kProposedFields); ++i)
      if (_wcsicmp(kProposedFields[i], name.c_str()) == 0) fieldIndex_ = static_cast<int>(i);
  }
  CopyField(c->field, kFieldUnits, name.c_str());
  if (message_) {
    FillFromMessage(*c, *message_, Checked(IDC_CE_RAW));
    // Show the value and function it now has, keeping the typed field text.
    loading_ = true;
    const uint32_t code = c->searchType & (SearchType::KindMask | SearchType::Not);
    for (size_t i = 0; i < std::size(kSearchFunctions); ++i)
      if (kSearchFunctions[i] == code) SendDlgItemMessageW(Window(), IDC_CE_FUNCTION, CB_SETCURSEL, i, 0);
    SetDlgItemTextW(Window(), IDC_CE_VALUE, c->substring);
    Check(IDC_CE_CASE, false);
    loading_ = false;
  }
  RefreshSelected();
}

void ConditionEditor::FunctionChanged() {
  Condition* c = Selected();
  if (!c) return;
  const LRESULT i = SendDlgItemMessageW(Window(), IDC_CE_FUNCTION, CB_GETCURSEL, 0, 0);
  if (i < 0) return;
  const bool wasNumeric = IsNumericKind(c->searchType);
  c->searchType = kSearchFunctions[i] | (c->searchType & SearchType::MatchCase);
  if (wasNumeric != IsNumericKind(c->searchType)) LoadSelected();
  Check(IDC_CE_RAW, false);
  RefreshSelected();
}

void ConditionEditor::ValueChanged() {
  Condition* c = Selected();
  if (!c) return;
  const std::wstring text = ItemText(Window(), IDC_CE_VALUE);
  if (IsNumericKind(c->searchType)) {
    uint32_t v = 0;
    if (!ParseConditionNumber(text.c_str(), v)) {
      EDITBALLOONTIP tip = {sizeof(tip), L"Value", L"Type a whole number from 0 to 4294967295.", TTI_WARNING};
      SendDlgItemMessageW(Window(), IDC_CE_VALUE, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&tip));
    }
    c->size = v;
  } else {
    CopyField(c->substring, kFieldUnits, text.c_str());
  }
  RefreshSelected();
}

void ConditionEditor::AddAnd() {
  const Condition* c = Selected();
  if (!c) return;
  const std::wstring field = c->field;
  const uint32_t type = c->searchType;
  set_.addCondition(field.c_str(), type, L"", 0);
  FillList(static_cast<int>(set_.conditions.size()) - 1);
}

void ConditionEditor::DeleteSelected() {
  const LRESULT i = SendDlgItemMessageW(Window(), IDC_CE_LIST, LB_GETCURSEL, 0, 0);
  if (!Selected()) return;
  if (!AskYesNo(Window(), L"Do you really want to delete selected filtering condition?")) return;
  set_.conditions.erase(set_.conditions.begin() + i);
  FillList(static_cast<int>(i));
}

void ConditionEditor::OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam), code = HIWORD(wParam);
  switch (id) {
    case IDC_CE_LIST:
      if (code == LBN_SELCHANGE) LoadSelected();
      break;
    case IDC_CE_FIELD:
      if (loading_) break;
      if (code == CBN_SELCHANGE) FieldChanged(true);
      else if (code == CBN_EDITCHANGE) FieldChanged(false);
      else if (code == CBN_KILLFOCUS) SyncField();
      break;
    case IDC_CE_FUNCTION:
      if (code == CBN_SELCHANGE && !loading_) FunctionChanged();
      break;
    case IDC_CE_VALUE:
      if (code == EN_CHANGE && !loading_) ValueChanged();
      break;
    case IDC_CE_CASE:
    case IDC_CE_RAW:
      if (Condition* c = Selected()) {
        const uint32_t bit = id == IDC_CE_CASE ? SearchType::MatchCase : SearchType::Raw;
        c->searchType = Checked(id) ? (c->searchType | bit) : (c->searchType & ~bit);
        RefreshSelected();
      }
      break;
    case IDC_CE_AND:
      AddAnd();
      break;
    case IDC_CE_DELETE:
      DeleteSelected();
      break;
    default:
      break;
  }
}

// Text the platform's auto-complete appended arrives without a change
// notification: it is taken when the field loses the focus or on OK.
void ConditionEditor::SyncField() {
  const Condition* c = Selected();
  if (c && ItemText(Window(), IDC_CE_FIELD).substr(0, kFieldUnits - 1) != c->field) FieldChanged(false);
}

bool ConditionEditor::OnOK() {
  if (!loading_) SyncField();
  if (rules_ && message_) {
    const LRESULT i = SendDlgItemMessageW(Window(), IDC_CE_RULE, CB_GETCURSEL, 0, 0);
    if (i >= 0) ruleIndex_ = static_cast<int>(i);
  }
  return true;
}

}  // namespace pw::ui
