#include "ui/RuleEditor.h"

#include <commctrl.h>
#include <commdlg.h>
#include <mmsystem.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>

#include "base/Module.h"
#include "filter/ConditionTransfer.h"
#include "filter/RuleEngine.h"
#include "image/Picture.h"
#include "ui/ActivationScope.h"
#include "ui/ColorButton.h"
#include "ui/ConditionEditor.h"
#include "ui/DialogText.h"
#include "ui/DnsblDialog.h"
#include "ui/ImportDialog.h"
#include "ui/MessageIconPicker.h"
#include "ui/Pickers.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

// Posted by the live count when its figure is ready.
constexpr UINT kCountDone = WM_APP + 1;

constexpr uint32_t kClassBits = RuleResult::MarkApproved | RuleResult::MarkSpam | RuleResult::MarkDangerous;
constexpr uint32_t kMarkAs[4] = {0, RuleResult::MarkApproved, RuleResult::MarkSpam, RuleResult::MarkDangerous};

struct BitBox {
  int id;
  uint32_t bit;
};
constexpr BitBox kBits[] = {
    {IDC_RE_SOUND, RuleResult::PlaySoundAction}, {IDC_RE_SAVE, RuleResult::SaveMessage},
    {IDC_RE_RUN, RuleResult::RunCommandAction},  {IDC_RE_MARKREAD, RuleResult::MarkRead},
    {IDC_RE_DELSERVER, RuleResult::DeleteFromServer}, {IDC_RE_FREEBODY, RuleResult::FreeBodyAction},
    {IDC_RE_CONTINUE, RuleResult::ContinueRules},
};

std::wstring TransferReason(TransferError e) {
  switch (e) {
    case TransferError::CannotRead: return L"The file could not be read.";
    case TransferError::TooLarge: return L"The file is too large to hold conditions.";
    case TransferError::Binary: return L"The file is neither a text file nor an exported conditions file.";
    case TransferError::BadXml: return L"The file is not a valid conditions file.";
    case TransferError::Unsafe: return L"The file declares a document type, which conditions files never do.";
    case TransferError::TooDeep: return L"The file nests deeper than a conditions file does.";
    case TransferError::NoXmlParser: return L"No XML parser is available on this system.";
    case TransferError::CannotWrite: return L"The file could not be written.";
    default: return std::wstring();
  }
}

// The first broken pattern of a set, as the engine words it.
std::wstring SetProblem(const ConditionSet& set) {
  if (set.dnsbl) return std::wstring();
  for (const Condition& c : set.conditions) {
    std::wstring problem = PatternProblem(c);
    if (!problem.empty()) return std::wstring(L"This pattern never matches: ") + c.substring + L"\n" + problem;
  }
  return std::wstring();
}

}  // namespace

RuleEditor::RuleEditor(const RuleList& rules, int fieldIndex, std::vector<RefPtr<MailAccount>> accounts)
    : DialogWindow(IDD_RULE_EDITOR), given_(rules), fieldIndex_(fieldIndex), count_(std::move(accounts)) {
  rules_.resize(rules.rules.size());
  for (size_t i = 0; i < rules_.size(); ++i) rules_[i].origin = i;
}

RuleEditor::~RuleEditor() { count_.Stop(); }

void RuleEditor::TakeRules(RuleList& rules) {
  std::vector<std::unique_ptr<FilterRule>> out;
  out.reserve(rules_.size());
  for (Entry& e : rules_) {
    if (e.own) out.push_back(std::move(e.own));
    else if (&rules == &given_ && e.origin < rules.rules.size()) out.push_back(std::move(rules.rules[e.origin]));
    else out.push_back(std::make_unique<FilterRule>(*given_.rules[e.origin]));
  }
  rules_.clear();
  rules.rules = std::move(out);
}

const FilterRule& RuleEditor::At(size_t i) const {
  return rules_[i].own ? *rules_[i].own : *given_.rules[rules_[i].origin];
}

int RuleEditor::RuleIndex() const {
  const LRESULT i = SendDlgItemMessageW(Window(), IDC_RE_RULES, LB_GETCURSEL, 0, 0);
  return i >= 0 && static_cast<size_t>(i) < rules_.size() ? static_cast<int>(i) : -1;
}

const FilterRule* RuleEditor::Rule() const {
  const int i = RuleIndex();
  return i < 0 ? nullptr : &At(static_cast<size_t>(i));
}

FilterRule* RuleEditor::Edit() {
  const int i = RuleIndex();
  if (i < 0) return nullptr;
  Entry& e = rules_[static_cast<size_t>(i)];
  if (!e.own) e.own = std::make_unique<FilterRule>(*given_.rules[e.origin]);
  return e.own.get();
}

int RuleEditor::SetIndex() const {
  const int i = ListView_GetNextItem(Item(IDC_RE_SETS), -1, LVNI_SELECTED);
  const FilterRule* r = Rule();
  if (!r || i < 0 || static_cast<size_t>(i) >= r->sets.size()) return -1;
  return i;
}

void RuleEditor::OnInitDialog() {
  HWND w = Window();
  for (const wchar_t* m : {L"Normal", L"Approved", L"Spam", L"Dangerous"})
    SendDlgItemMessageW(w, IDC_RE_MARKAS, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m));
  SendDlgItemMessageW(w, IDC_RE_NAME, EM_LIMITTEXT, kFieldUnits - 1, 0);
  for (int id : {IDC_RE_SOUNDFILE, IDC_RE_SAVEPATH, IDC_RE_CMDLINE})
    SendDlgItemMessageW(w, id, EM_LIMITTEXT, kPathUnits - 1, 0);

  HWND sets = Item(IDC_RE_SETS);
  ListView_SetExtendedListViewStyle(sets, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  RECT r;
  GetClientRect(sets, &r);
  LVCOLUMNW column = {LVCF_WIDTH};
  column.cx = r.right - GetSystemMetrics(SM_CXVSCROLL);
  ListView_InsertColumn(sets, 0, &column);

  tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, w, nullptr, nullptr, nullptr);
  const std::pair<int, const wchar_t*> tips[] = {
      {IDC_RE_SET_ADD, L"Add filtering condition"},       {IDC_RE_SET_DELETE, L"Delete selected condition"},
      {IDC_RE_SET_IMPORT, L"Import conditions from file"}, {IDC_RE_SET_CLONE, L"Make copy of selected items"},
      {IDC_RE_SET_EXPORT, L"Export conditions into file"}, {IDC_RE_SET_DNSBL, L"Add DNSBL service"},
  };
  for (const auto& [id, text] : tips) {
    TTTOOLINFOW info = {sizeof(info)};
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = w;
    info.uId = reinterpret_cast<UINT_PTR>(Item(id));
    info.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }
  LoadButtonPictures();
  FillRules(0);
}

void RuleEditor::LoadButtonPictures() {
  for (int i = 0; i < 6; ++i) {
    image::Picture p;
    if (!image::LoadPngResource(DllModule(), MAKEINTRESOURCEW(IDP_RE_SET_FIRST + i), p)) continue;
    setPictures_[i].Set(p);
    // Disabled: grey and faint, as the system greys a disabled button's text.
    for (uint32_t& px : p.pixels) {
      const uint32_t r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
      const uint32_t y = std::min<uint32_t>(255, (r * 30 + g * 59 + b * 11) / 100 + 80);
      px = ((px >> 25) << 24) | (y << 16) | (y << 8) | y;
    }
    setGreyPictures_[i].Set(p);
  }
}

// The small buttons draw their picture instead of their text (kept for
// screen readers; a language module's buttons that are not owner-drawn show it).
bool RuleEditor::DrawSetButton(const DRAWITEMSTRUCT& draw) {
  const int i = static_cast<int>(draw.CtlID) - IDC_RE_SET_ADD;
  if (draw.CtlType != ODT_BUTTON || i < 0 || i >= 6) return false;
  RECT r = draw.rcItem;
  const bool pushed = (draw.itemState & ODS_SELECTED) != 0, disabled = (draw.itemState & ODS_DISABLED) != 0;
  DrawFrameControl(draw.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  const PictureBitmap& picture = disabled ? setGreyPictures_[i] : setPictures_[i];
  if (!picture.Empty()) {
    const int shift = pushed ? 1 : 0;
    picture.Draw(draw.hDC, (r.left + r.right - picture.Width()) / 2 + shift,
                 (r.top + r.bottom - picture.Height()) / 2 + shift);
  }
  if (draw.itemState & ODS_FOCUS) {
    InflateRect(&r, -2, -2);
    DrawFocusRect(draw.hDC, &r);
  }
  return true;
}

void RuleEditor::FillRules(int select) {
  HWND list = Item(IDC_RE_RULES);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  SendMessageW(list, LB_INITSTORAGE, rules_.size(), rules_.size() * 32);
  for (size_t i = 0; i < rules_.size(); ++i)
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(At(i).name));
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  const int count = static_cast<int>(rules_.size());
  if (select >= count) select = count - 1;
  SendMessageW(list, LB_SETCURSEL, select, 0);
  LoadRule();
}

void RuleEditor::LoadRule() {
  HWND w = Window();
  loading_ = true;
  const FilterRule* rule = Rule();
  static const FilterRule kEmpty;
  const FilterRule& r = rule ? *rule : kEmpty;
  SetDlgItemTextW(w, IDC_RE_NAME, r.name);
  SetDlgItemTextW(w, IDC_RE_SOUNDFILE, r.soundFile);
  SetDlgItemTextW(w, IDC_RE_SAVEPATH, r.savePath);
  SetDlgItemTextW(w, IDC_RE_CMDLINE, r.cmdLine);
  Check(IDC_RE_HIDDEN, r.runHidden != 0);
  for (const BitBox& b : kBits) Check(b.id, (r.result & b.bit) != 0);
  int mark = 0;
  // The last class bit applied wins when a stored rule has several.
  if (r.result & RuleResult::MarkApproved) mark = 1;
  if (r.result & RuleResult::MarkSpam) mark = 2;
  if (r.result & RuleResult::MarkDangerous) mark = 3;
  SendDlgItemMessageW(w, IDC_RE_MARKAS, CB_SETCURSEL, mark, 0);
  SendDlgItemMessageW(w, IDC_RE_COLOR, CBM_SETCOLOR, static_cast<WPARAM>(static_cast<uint32_t>(r.color)), 0);
  SendDlgItemMessageW(w, IDC_RE_BKCOLOR, CBM_SETCOLOR, static_cast<WPARAM>(static_cast<uint32_t>(r.bkColor)), 0);
  iconPicture_ = PictureBitmap();
  if (r.icon[0]) {
    const std::wstring path =
        PathIsRelativeW(r.icon) ? MessageIconPicker::Folder() + L"\\" + r.icon : std::wstring(r.icon);
    iconPicture_.LoadFile(path.c_str());
  }
  InvalidateRect(Item(IDC_RE_ICONPREVIEW), nullptr, TRUE);
  loading_ = false;
  FillSets(0);
}

void RuleEditor::FillSets(int select) {
  HWND list = Item(IDC_RE_SETS);
  loading_ = true;
  const FilterRule* rule = Rule();
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(list);
  if (rule) {
    for (size_t i = 0; i < rule->sets.size(); ++i) {
      std::wstring text = describeSet(*rule->sets[i]);
      if (!SetProblem(*rule->sets[i]).empty()) text = L"(!) " + text;
      LVITEMW item = {LVIF_TEXT};
      item.iItem = static_cast<int>(i);
      item.pszText = const_cast<wchar_t*>(text.c_str());
      const int at = ListView_InsertItem(list, &item);
      ListView_SetCheckState(list, at, rule->sets[i]->disable == 0);
    }
    const int count = static_cast<int>(rule->sets.size());
    if (select >= count) select = count - 1;
    if (select >= 0) {
      ListView_SetItemState(list, select, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      ListView_EnsureVisible(list, select, FALSE);
    }
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  loading_ = false;
  UpdateEnabling();
  StartCount();
}

void RuleEditor::StartCount() {
  if (!count_.Enabled()) return;
  // Never the last rule's figure beside this one.
  SetDlgItemTextW(Window(), IDC_RE_COUNT, L"");
  if (const FilterRule* r = Rule()) count_.Start(*r, Window(), kCountDone);
  else count_.Cancel();
}

void RuleEditor::UpdateEnabling() {
  const int r = RuleIndex();
  const int count = static_cast<int>(rules_.size());
  const bool rule = r >= 0;
  Enable(IDC_RE_DELETE, rule && count >= 2);
  Enable(IDC_RE_CLONE, rule && count >= 2);
  Enable(IDC_RE_UP, rule && r > 0);
  Enable(IDC_RE_DOWN, rule && r < count - 1);
  for (int id : {IDC_RE_NAME, IDC_RE_SOUND, IDC_RE_SAVE, IDC_RE_RUN, IDC_RE_MARKAS, IDC_RE_ICON, IDC_RE_MARKREAD,
                 IDC_RE_DELSERVER, IDC_RE_FREEBODY, IDC_RE_CONTINUE, IDC_RE_COLOR, IDC_RE_BKCOLOR, IDC_RE_SETS,
                 IDC_RE_SET_ADD, IDC_RE_SET_IMPORT, IDC_RE_SET_EXPORT, IDC_RE_SET_DNSBL})
    Enable(id, rule);
  const bool sound = rule && Checked(IDC_RE_SOUND), save = rule && Checked(IDC_RE_SAVE),
             run = rule && Checked(IDC_RE_RUN);
  for (int id : {IDC_RE_SOUNDFILE, IDC_RE_SOUNDBROWSE, IDC_RE_PLAY}) Enable(id, sound);
  for (int id : {IDC_RE_SAVEPATH, IDC_RE_SAVEBROWSE}) Enable(id, save);
  for (int id : {IDC_RE_CMDLINE, IDC_RE_CMDBROWSE, IDC_RE_HIDDEN}) Enable(id, run);
  const bool set = SetIndex() >= 0;
  Enable(IDC_RE_SET_DELETE, set);
  Enable(IDC_RE_SET_CLONE, set);
}

void RuleEditor::StoreText(int id) {
  if (loading_) return;
  FilterRule* r = Edit();
  if (!r) return;
  switch (id) {
    case IDC_RE_NAME: {
      GetFieldText(Window(), id, r->name);
      // The rules list shows the new name at once.
      const int i = RuleIndex();
      HWND list = Item(IDC_RE_RULES);
      SendMessageW(list, WM_SETREDRAW, FALSE, 0);
      SendMessageW(list, LB_DELETESTRING, i, 0);
      SendMessageW(list, LB_INSERTSTRING, i, reinterpret_cast<LPARAM>(r->name));
      SendMessageW(list, LB_SETCURSEL, i, 0);
      SendMessageW(list, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(list, nullptr, TRUE);
      break;
    }
    case IDC_RE_SOUNDFILE: GetFieldText(Window(), id, r->soundFile); break;
    case IDC_RE_SAVEPATH: GetFieldText(Window(), id, r->savePath); break;
    case IDC_RE_CMDLINE: GetFieldText(Window(), id, r->cmdLine); break;
    default: break;
  }
}

void RuleEditor::StoreBit(int id, uint32_t bit) {
  if (loading_) return;
  FilterRule* r = Edit();
  if (!r) return;
  r->result = Checked(id) ? (r->result | bit) : (r->result & ~bit);
  UpdateEnabling();
}

void RuleEditor::MarkAs() {
  const LRESULT i = SendDlgItemMessageW(Window(), IDC_RE_MARKAS, CB_GETCURSEL, 0, 0);
  if (loading_ || i < 0 || i > 3) return;
  FilterRule* r = Edit();
  if (!r) return;
  r->result = (r->result & ~kClassBits) | kMarkAs[i];
}

void RuleEditor::RuleCommand(int id) {
  const int i = RuleIndex();
  auto& rules = rules_;
  switch (id) {
    case IDC_RE_ADD: {
      Entry fresh;
      fresh.own = std::make_unique<FilterRule>();
      CopyField(fresh.own->name, kFieldUnits, L"New Rule");
      rules.push_back(std::move(fresh));
      FillRules(static_cast<int>(rules.size()) - 1);
      SetFocus(Item(IDC_RE_NAME));
      SendDlgItemMessageW(Window(), IDC_RE_NAME, EM_SETSEL, 0, -1);
      return;
    }
    case IDC_RE_CLONE: {
      if (i < 0 || rules.size() < 2) return;
      Entry copy;
      copy.own = std::make_unique<FilterRule>(At(static_cast<size_t>(i)));
      const std::wstring name = std::wstring(L"Copy of ") + At(static_cast<size_t>(i)).name;
      CopyField(copy.own->name, kFieldUnits, name.c_str());
      rules.push_back(std::move(copy));
      FillRules(static_cast<int>(rules.size()) - 1);
      return;
    }
    case IDC_RE_DELETE:
      if (i < 0 || rules.size() < 2) return;
      if (!AskYesNo(Window(), L"Do you really want to delete selected filtering rule?")) return;
      rules.erase(rules.begin() + i);
      FillRules(i);
      return;
    case IDC_RE_UP:
    case IDC_RE_DOWN: {
      const int j = id == IDC_RE_UP ? i - 1 : i + 1;
      if (i < 0 || j < 0 || j >= static_cast<int>(rules.size())) return;
      std::swap(rules[i], rules[j]);
      FillRules(j);
      return;
    }
    default:
      return;
  }
}

void RuleEditor::OpenSet(int index) {
  const FilterRule* shown = Rule();
  if (!shown || index < 0 || static_cast<size_t>(index) >= shown->sets.size()) return;
  ConditionSet copy(*shown->sets[index]);
  if (copy.dnsbl) {
    DnsblDialog dialog(*copy.dnsbl);
    if (dialog.DoModal(Window(), TemplateModule()) != IDOK) return;
    Edit()->sets[index]->dnsbl = std::move(copy.dnsbl);
  } else {
    ConditionEditor editor(copy, fieldIndex_);
    if (editor.DoModal(Window(), TemplateModule()) != IDOK) return;
    fieldIndex_ = editor.FieldIndex();
    Edit()->sets[index]->conditions = std::move(copy.conditions);
  }
  FillSets(index);
}

void RuleEditor::SetCommand(int id) {
  if (!Rule()) return;
  const int s = SetIndex();
  switch (id) {
    case IDC_RE_SET_ADD: {
      ConditionSet fresh;
      ConditionEditor editor(fresh, fieldIndex_);
      if (editor.DoModal(Window(), TemplateModule()) != IDOK) return;
      fieldIndex_ = editor.FieldIndex();
      FilterRule* r = Edit();
      r->addSet().conditions = std::move(fresh.conditions);
      FillSets(static_cast<int>(r->sets.size()) - 1);
      return;
    }
    case IDC_RE_SET_DNSBL: {
      auto service = std::make_unique<DnsblService>();
      DnsblDialog dialog(*service);
      if (dialog.DoModal(Window(), TemplateModule()) != IDOK || !service->name.Get()) return;
      FilterRule* r = Edit();
      r->addSet().dnsbl = std::move(service);
      FillSets(static_cast<int>(r->sets.size()) - 1);
      return;
    }
    case IDC_RE_SET_DELETE: {
      if (s < 0) return;
      if (!AskYesNo(Window(), L"Do you really want to delete selected filtering condition?")) return;
      HWND list = Item(IDC_RE_SETS);
      FilterRule* r = Edit();
      for (int i = static_cast<int>(r->sets.size()) - 1; i >= 0; --i)
        if (ListView_GetItemState(list, i, LVIS_SELECTED) & LVIS_SELECTED) r->sets.erase(r->sets.begin() + i);
      FillSets(s);
      return;
    }
    case IDC_RE_SET_CLONE: {
      if (s < 0) return;
      if (!AskYesNo(Window(), L"Do you want to clone selected condition?")) return;
      FilterRule* r = Edit();
      r->sets.push_back(std::make_unique<ConditionSet>(*r->sets[s]));
      FillSets(static_cast<int>(r->sets.size()) - 1);
      return;
    }
    case IDC_RE_SET_IMPORT: {
      ImportDialog dialog;
      if (dialog.DoModal(Window(), TemplateModule()) != IDOK) return;
      ImportDefaults defaults;
      defaults.field = dialog.Field().c_str();
      defaults.searchType = dialog.SearchType();
      // Into a copy first: a refused file adds nothing.
      FilterRule trial(*Rule());
      size_t added = 0;
      const TransferError e = ImportConditions(trial, dialog.File().c_str(), defaults, &added);
      if (e != TransferError::None) {
        Warn(Window(), TransferReason(e));
        return;
      }
      FilterRule* r = Edit();
      const size_t before = r->sets.size();
      for (size_t i = before; i < trial.sets.size(); ++i) r->sets.push_back(std::move(trial.sets[i]));
      FillSets(static_cast<int>(r->sets.size()) - 1);
      return;
    }
    case IDC_RE_SET_EXPORT: {
      wchar_t path[500] = {};
      OPENFILENAMEW ofn = {sizeof(ofn)};
      ofn.hwndOwner = Window();
      ofn.lpstrFilter = L"All files\0*.*\0";
      ofn.lpstrFile = path;
      ofn.nMaxFile = 500;
      ofn.lpstrTitle = L"Select file to export to";
      ofn.Flags = OFN_ENABLESIZING | OFN_LONGNAMES | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_OVERWRITEPROMPT;
      ActivationScope scope;
      if (!GetSaveFileNameW(&ofn)) return;
      const TransferError e = ExportConditions(*Rule(), path);
      if (e != TransferError::None) Warn(Window(), TransferReason(e));
      return;
    }
    default:
      return;
  }
}

void RuleEditor::ChooseIcon() {
  const FilterRule* shown = Rule();
  if (!shown) return;
  RECT button;
  GetWindowRect(Item(IDC_RE_ICON), &button);
  MessageIconPicker picker({button.left, button.bottom}, shown->icon);
  if (picker.DoModal(Window(), TemplateModule()) != IDOK) return;
  CopyField(Edit()->icon, kPathUnits, picker.Chosen().c_str());
  LoadRule();
}

void RuleEditor::Browse(int id) {
  const FilterRule* r = Rule();
  if (!r) return;
  std::wstring path;
  switch (id) {
    case IDC_RE_SOUNDBROWSE:
      path = r->soundFile;
      if (PickFile(Window(), L"Select sound file", L"Sound files\0*.wav\0", path))
        SetDlgItemTextW(Window(), IDC_RE_SOUNDFILE, path.c_str());
      break;
    case IDC_RE_SAVEBROWSE:
      path = r->savePath;
      if (PickFolder(Window(), L"Select the folder where to save the message", path))
        SetDlgItemTextW(Window(), IDC_RE_SAVEPATH, path.c_str());
      break;
    case IDC_RE_CMDBROWSE:
      path = r->cmdLine;
      if (PickFile(Window(), L"Select file to execute", L"All files\0*.*\0", path))
        SetDlgItemTextW(Window(), IDC_RE_CMDLINE, QuoteSpaces(path).c_str());
      break;
    default:
      break;
  }
}

void RuleEditor::OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam), code = HIWORD(wParam);
  switch (id) {
    case IDC_RE_RULES:
      if (code == LBN_SELCHANGE) LoadRule();
      return;
    case IDC_RE_NAME:
    case IDC_RE_SOUNDFILE:
    case IDC_RE_SAVEPATH:
    case IDC_RE_CMDLINE:
      if (code == EN_CHANGE) StoreText(id);
      return;
    case IDC_RE_MARKAS:
      if (code == CBN_SELCHANGE) MarkAs();
      return;
    case IDC_RE_HIDDEN:
      if (loading_) return;
      if (FilterRule* r = Edit()) r->runHidden = Checked(id) ? 1 : 0;
      return;
    case IDC_RE_COLOR:
    case IDC_RE_BKCOLOR:
      if (loading_) return;
      if (FilterRule* r = Edit()) {
        const auto colour = static_cast<int32_t>(SendDlgItemMessageW(Window(), id, CBM_GETCOLOR, 0, 0));
        (id == IDC_RE_COLOR ? r->color : r->bkColor) = colour;
      }
      return;
    case IDC_RE_PLAY:
      if (const FilterRule* r = Rule(); r && r->soundFile[0])
        PlaySoundW(r->soundFile, nullptr, SND_ASYNC | SND_FILENAME | SND_NODEFAULT);
      return;
    case IDC_RE_ICON:
      ChooseIcon();
      return;
    case IDC_RE_SOUNDBROWSE:
    case IDC_RE_SAVEBROWSE:
    case IDC_RE_CMDBROWSE:
      Browse(id);
      return;
    case IDC_RE_ADD:
    case IDC_RE_CLONE:
    case IDC_RE_DELETE:
    case IDC_RE_UP:
    case IDC_RE_DOWN:
      RuleCommand(id);
      return;
    case IDC_RE_SET_ADD:
    case IDC_RE_SET_DELETE:
    case IDC_RE_SET_IMPORT:
    case IDC_RE_SET_CLONE:
    case IDC_RE_SET_EXPORT:
    case IDC_RE_SET_DNSBL:
      SetCommand(id);
      return;
    default:
      break;
  }
  for (const BitBox& b : kBits)
    if (b.id == id) StoreBit(id, b.bit);
}

LRESULT RuleEditor::OnNotify(int controlId, NMHDR* header) {
  if (controlId != IDC_RE_SETS) return 0;
  if (header->code == LVN_ITEMCHANGED) {
    const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
    const FilterRule* shown = Rule();
    if (!loading_ && shown && change->iItem >= 0 && static_cast<size_t>(change->iItem) < shown->sets.size() &&
        ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK)) {
      // State image 2 is the ticked box.
      const uint32_t disable = ((change->uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2 ? 0 : 1;
      if (shown->sets[change->iItem]->disable != disable) {
        Edit()->sets[change->iItem]->disable = disable;
        StartCount();
      }
    }
    // While the list is refilled every row reports; FillSets updates once.
    if (!loading_) UpdateEnabling();
  } else if (header->code == LVN_GETINFOTIPW) {
    auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(header);
    const FilterRule* r = Rule();
    if (r && tip->iItem >= 0 && static_cast<size_t>(tip->iItem) < r->sets.size()) {
      const std::wstring problem = SetProblem(*r->sets[tip->iItem]);
      if (!problem.empty() && tip->cchTextMax > 0) lstrcpynW(tip->pszText, problem.c_str(), tip->cchTextMax);
    }
  } else if (header->code == NM_DBLCLK) {
    OpenSet(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
  }
  return 0;
}

LRESULT RuleEditor::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  if (message == kCountDone) {
    std::wstring text;
    if (count_.Take(wParam, text)) SetDlgItemTextW(Window(), IDC_RE_COUNT, text.c_str());
    handled = true;
    return 0;
  }
  if (message == WM_DESTROY) count_.Stop();
  if (message != WM_DRAWITEM) return 0;
  const auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
  if (DrawSetButton(*draw)) {
    handled = true;
    return TRUE;
  }
  if (wParam != IDC_RE_ICONPREVIEW) return 0;
  FillRect(draw->hDC, &draw->rcItem, GetSysColorBrush(COLOR_BTNFACE));
  if (!iconPicture_.Empty()) {
    const int x = (draw->rcItem.right - draw->rcItem.left - iconPicture_.Width()) / 2;
    const int y = (draw->rcItem.bottom - draw->rcItem.top - iconPicture_.Height()) / 2;
    iconPicture_.Draw(draw->hDC, draw->rcItem.left + x, draw->rcItem.top + y);
  }
  handled = true;
  return TRUE;
}

bool RuleEditor::OnOK() {
  // Enter in the conditions list opens the selected set.
  if (GetFocus() == Item(IDC_RE_SETS) && SetIndex() >= 0) {
    OpenSet(SetIndex());
    return false;
  }
  return true;
}

}  // namespace pw::ui
