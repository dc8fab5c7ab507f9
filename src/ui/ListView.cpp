// The message list of the list window: a virtual list view over the
// window's own rows, its cells, its drawing and its sorting.
#include <windowsx.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "base/Module.h"
#include "ui/ListCommands.h"
#include "ui/MessagesListWindow.h"
#include "ui/ViewerMessages.h"
#include "ui/viewer/MessageViewer.h"
#include "ui_ids.h"

namespace pw::ui {

void MessagesListWindow::SyncItemCount() {
  if (list_ && static_cast<size_t>(ListView_GetItemCount(list_)) != rows_.Size())
    ListView_SetItemCountEx(list_, static_cast<int>(rows_.Size()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
}

void MessagesListWindow::AddRow(MailMessage& message, MailAccount& account) {
  rows_.Append(message, account);
  Schedule(kFlushToolbar);
}

bool MessagesListWindow::RefreshRow(MailMessage& message, bool recheck, int lastRow) {
  const int row = rows_.Find(&message);
  Schedule(kFlushToolbar);
  if (row < 0 || (lastRow >= 0 && row > lastRow)) return false;
  if (recheck) {
    const bool removed = MatchesFolder(message);
    Schedule(kFlushLabels);
    if (removed) return true;
  }
  rows_.At(static_cast<size_t>(row)).refreshed = true;
  rows_.Recount(static_cast<size_t>(row));
  ListView_RedrawItems(list_, row, row);
  if (ListView_GetItemState(list_, row, LVIS_FOCUSED) & LVIS_FOCUSED) ShowFocused();
  if (recheck) ResortLater(message);
  return true;
}

void MessagesListWindow::RemoveRow(MailMessage& message) { RemoveRows({&message}); }

// The list view is told the new count and given the selection again by
// message, so selection and focus stay with their messages.
void MessagesListWindow::RemoveRows(const std::vector<MailMessage*>& messages) {
  std::vector<MailMessage*> gone;
  bool focusGone = false;
  const int focusRow = FocusedRow();
  for (MailMessage* m : messages) {
    const int row = rows_.Find(m);
    if (row < 0) continue;
    gone.push_back(m);
    focusGone = focusGone || row == focusRow;
  }
  if (gone.empty()) return;
  const std::vector<int> selectedRows = SelectedRows();
  std::vector<MailMessage*> selected;
  for (int i : selectedRows) selected.push_back(rows_.At(static_cast<size_t>(i)).message.Get());
  MailMessage* focus = focusRow >= 0 && !focusGone ? rows_.At(static_cast<size_t>(focusRow)).message.Get() : nullptr;
  // Held until the selection is given back: the rows may hold the last references.
  std::vector<RefPtr<MailMessage>> keep(selected.begin(), selected.end());
  Deselect(selectedRows);
  if (focusRow >= 0) ListView_SetItemState(list_, focusRow, 0, LVIS_FOCUSED);
  rows_.RemoveMessages(gone);
  ListView_SetItemCountEx(list_, static_cast<int>(rows_.Size()), LVSICF_NOSCROLL);
  for (MailMessage* m : selected) {
    const int i = rows_.Find(m);
    if (i >= 0) ListView_SetItemState(list_, i, LVIS_SELECTED, LVIS_SELECTED);
  }
  if (focus) {
    const int i = rows_.Find(focus);
    if (i >= 0) SetFocusedRow(i);
  }
  InvalidateRect(list_, nullptr, FALSE);
  if (focusGone) ShowFocused();
  Schedule(kFlushToolbar);
}

// Removal notifications come in runs (a check deleting on the server):
// the rows of a run go in one pass, before anything else is handled.
void MessagesListWindow::ApplyRemovals() {
  if (removals_.empty()) return;
  std::vector<RefPtr<MailMessage>> run;
  run.swap(removals_);
  std::vector<MailMessage*> gone;
  gone.reserve(run.size());
  for (const auto& m : run) gone.push_back(m.Get());
  RemoveRows(gone);
}

bool MessagesListWindow::MatchesFolder(MailMessage& message) {
  const Folder& f = FolderAt(SelectedFolder());
  if (f.typeFilter == -1 || f.typeFilter == static_cast<int32_t>(message.Type())) return false;
  RemoveRow(message);
  return true;
}

void MessagesListWindow::FillList(int index) {
  SetWindowTextW(viewer_, L"");
  SendMessageW(viewer_, kViewShowMessage, 0, 0);
  ListView_SetItemCountEx(list_, 0, 0);
  rows_.Clear();
  const Folder& f = FolderAt(index);
  {
    SharedGuard g(host_.AccountsLock());
    size_t total = 0;
    for (const auto& a : host_.Accounts()) total += a->MessageCount();
    rows_.Reserve(total);
    for (const auto& a : host_.Accounts()) {
      if (f.account && f.account.Get() != a.Get()) continue;
      SharedGuard m(a->MessageLock());
      for (const auto& msg : a->Messages())
        if (f.typeFilter == -1 || f.typeFilter == static_cast<int32_t>(msg->Type())) rows_.Append(*msg, *a);
    }
  }
  if (sortType_ != 0) SortRows();
  ListView_SetItemCountEx(list_, static_cast<int>(rows_.Size()), 0);
  InvalidateRect(list_, nullptr, FALSE);
  Schedule(kFlushToolbar);
}

void MessagesListWindow::SortRows() {
  if (sortType_ == 0 || rows_.Size() < 2) return;
  // Selection and focus belong to messages, not to positions: the sort
  // tells where their rows went.
  const std::vector<int> selectedRows = SelectedRows();
  std::vector<int> follow = selectedRows;
  follow.push_back(FocusedRow());
  {
    SharedGuard g(host_.AccountsLock());
    std::vector<std::unique_ptr<SharedGuard>> locks;
    for (const auto& a : host_.Accounts()) locks.push_back(std::make_unique<SharedGuard>(a->MessageLock()));
    rows_.Sort(sortColumn_, sortType_, &follow);
  }
  resort_.clear();
  fullSort_ = false;
  // Every row may have changed. Invalidated first: a list view that scrolls
  // to the row given the focus (Wine's does) then paints once, not twice.
  InvalidateRect(list_, nullptr, FALSE);
  Deselect(selectedRows);
  const int focus = follow.back();
  follow.pop_back();
  bool focusSet = false;
  for (int i : follow) {
    if (i < 0) continue;
    // A selected row that has the focus gets both in one change (the hint
    // first, as the change is notified at once).
    UINT state = LVIS_SELECTED;
    if (i == focus) {
      state |= LVIS_FOCUSED;
      focusHint_ = focus;
      focusSet = true;
    }
    ListView_SetItemState(list_, i, state, state);
  }
  if (focus >= 0 && !focusSet) SetFocusedRow(focus);
}

void MessagesListWindow::ResortLater(MailMessage& message) {
  if (sortType_ == 0) return;
  // Past a handful of rows one full sort is cheaper than placing each.
  if (resort_.size() < 16) resort_.emplace_back(&message);
  else fullSort_ = true;
  Schedule(kFlushSort);
}

// The rows were in order before these few changed: when each still stands
// between its neighbours the whole list is in order; one row out of place
// is moved alone; anything more takes a full sort.
void MessagesListWindow::ResortChanged() {
  std::vector<RefPtr<MailMessage>> changed;
  changed.swap(resort_);
  const bool full = std::exchange(fullSort_, false);
  if (sortType_ == 0) return;
  if (full) {
    SortRows();
    return;
  }
  int out = -1, outCount = 0;
  for (const auto& m : changed) {
    const int i = rows_.Find(m.Get());
    if (i >= 0 && !rows_.InOrder(static_cast<size_t>(i), sortColumn_, sortType_)) {
      out = i;
      ++outCount;
    }
  }
  if (outCount == 1 && changed.size() == 1) MoveRow(static_cast<size_t>(out));
  else if (outCount > 0) SortRows();
}

// The list view keeps selection and focus by index: those of the rows
// between the old and the new place shift with them.
void MessagesListWindow::MoveRow(size_t p) {
  const bool anySelected = ListView_GetSelectedCount(list_) > 0;
  const int focus = FocusedRow();
  const size_t q = rows_.Reposition(p, sortColumn_, sortType_);
  if (q == p) return;
  const size_t lo = std::min(p, q), hi = std::max(p, q);
  auto moved = [&](size_t j) { return j == p ? q : q < p ? j + 1 : j - 1; };
  std::vector<size_t> selected;
  if (anySelected) {
    for (size_t j = lo; j <= hi; ++j)
      if (ListView_GetItemState(list_, static_cast<int>(j), LVIS_SELECTED) & LVIS_SELECTED) selected.push_back(j);
    for (size_t j : selected) ListView_SetItemState(list_, static_cast<int>(j), 0, LVIS_SELECTED);
    for (size_t j : selected) ListView_SetItemState(list_, static_cast<int>(moved(j)), LVIS_SELECTED, LVIS_SELECTED);
  }
  if (focus >= 0 && static_cast<size_t>(focus) >= lo && static_cast<size_t>(focus) <= hi)
    SetFocusedRow(static_cast<int>(moved(static_cast<size_t>(focus))));
  ListView_RedrawItems(list_, static_cast<int>(lo), static_cast<int>(hi));
}

// A state change for "every item" walks all rows of the list view: the
// selected rows are cleared one by one unless they are most of the list.
void MessagesListWindow::Deselect(const std::vector<int>& rows) {
  if (rows.empty()) return;
  if (rows.size() * 2 > rows_.Size()) {
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
    return;
  }
  for (int i : rows) ListView_SetItemState(list_, i, 0, LVIS_SELECTED);
}

// The hint first: the focus change is notified at once, and asking the
// list view for the focused row without it walks every row.
void MessagesListWindow::SetFocusedRow(int row) {
  focusHint_ = row;
  ListView_SetItemState(list_, row, LVIS_FOCUSED, LVIS_FOCUSED);
}

int MessagesListWindow::FocusedRow() const {
  if (!list_) return -1;
  // Asking the list view for its focused row may walk every row; the row
  // found last time (or the selection mark) is checked first.
  for (const int hint : {focusHint_, static_cast<int>(ListView_GetSelectionMark(list_))}) {
    if (hint >= 0 && static_cast<size_t>(hint) < rows_.Size() &&
        (ListView_GetItemState(list_, hint, LVIS_FOCUSED) & LVIS_FOCUSED))
      return focusHint_ = hint;
  }
  const int i = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
  focusHint_ = i >= 0 && static_cast<size_t>(i) < rows_.Size() ? i : -1;
  return focusHint_;
}

std::vector<int> MessagesListWindow::SelectedRows() const {
  std::vector<int> out;
  if (!list_) return out;
  // The search for a next selected row walks the rows after it: it is not
  // asked again once all are found.
  const size_t count = static_cast<size_t>(ListView_GetSelectedCount(list_));
  // Mostly the one selected row is the focused one: no walk at all.
  const int focus = FocusedRow();
  if (count == 1 && focus >= 0 && (ListView_GetItemState(list_, focus, LVIS_SELECTED) & LVIS_SELECTED)) {
    out.push_back(focus);
    return out;
  }
  for (int i = -1; out.size() < count;) {
    i = ListView_GetNextItem(list_, i, LVNI_SELECTED);
    if (i < 0 || static_cast<size_t>(i) >= rows_.Size()) break;
    out.push_back(i);
  }
  return out;
}

void MessagesListWindow::ShowFocused(bool again) {
  const int i = FocusedRow();
  MailMessage* m = i >= 0 ? rows_.At(static_cast<size_t>(i)).message.Get() : nullptr;
  // The focus given back to the same message after a sort or a removal
  // does not show it all over again.
  if (!again && m) {
    const ViewerState* v = ViewerOf(viewer_);
    if (v && v->message.Get() == m) return;
  }
  SendMessageW(viewer_, kViewShowMessage, 0, reinterpret_cast<LPARAM>(m));
}

void MessagesListWindow::SetSortMark(int column, int image) {
  if (column < 0 || column > 5) return;
  HWND header = ListView_GetHeader(list_);
  HDITEMW h = {};
  h.mask = HDI_FORMAT | HDI_IMAGE;
  Header_GetItem(header, column, &h);
  h.iImage = image;
  if (image) h.fmt |= HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
  else h.fmt &= ~(HDF_IMAGE | HDF_BITMAP_ON_RIGHT);
  Header_SetItem(header, column, &h);
}

void MessagesListWindow::ColumnClick(int column) {
  if (column == sortColumn_) {
    sortType_ = sortType_ == 1 ? -1 : 1;
  } else {
    SetSortMark(sortColumn_, 0);
    sortColumn_ = column;
    sortType_ = -1;  // the first click on another column sorts descending
  }
  SetSortMark(sortColumn_, sortType_ == 1 ? 1 : 2);
  SortRows();
}

std::wstring MessagesListWindow::CellText(size_t row, int column) {
  if (row >= rows_.Size()) return L"";
  const ListRowRef& r = rows_.At(row);
  const MailMessage& m = *r.message;
  SharedGuard g(r.account->MessageLock());
  switch (column) {
    case 1: return FieldCell(m, L"From", r.refreshed);
    case 2: return FieldCell(m, L"Subject", r.refreshed);
    case 3: return FormatDate(m, options_.dateFormat.c_str(), r.refreshed);
    case 4: return FormatSize(m.size);
    case 5: return m.filterText.IsSet() ? m.filterText.Get() : L"";
    default: return L"";
  }
}

void MessagesListWindow::GetCell(NMLVDISPINFOW* info) {
  LVITEMW& item = info->item;
  if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= rows_.Size()) return;
  if (item.mask & LVIF_IMAGE) item.iImage = 0;
  if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
    const std::wstring t = CellText(static_cast<size_t>(item.iItem), item.iSubItem);
    lstrcpynW(item.pszText, t.c_str(), item.cchTextMax);
  }
}

// A message icon is a plain file name in the "msgicons" folder beside the
// module; a name with a path in it is not looked up at all.
const PictureBitmap* MessagesListWindow::RowPicture(const MailMessage& m) {
  if (m.icon.IsSet() && m.icon.Get()[0]) {
    std::wstring name = m.icon.Get();
    const bool plain = name.find_first_of(L"\\/:") == std::wstring::npos && name.find(L"..") == std::wstring::npos;
    if (plain) {
      CharLowerBuffW(name.data(), static_cast<DWORD>(name.size()));
      auto it = messageIcons_.find(name);
      if (it == messageIcons_.end()) {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(DllModule(), path, MAX_PATH);
        std::wstring dir = path;
        dir.resize(dir.find_last_of(L'\\') + 1);
        auto pic = std::make_unique<PictureBitmap>();
        if (!pic->LoadFile((dir + L"msgicons\\" + m.icon.Get()).c_str())) pic.reset();
        it = messageIcons_.emplace(name, std::move(pic)).first;
      }
      if (it->second) return it->second.get();
    }
  }
  switch (m.Type()) {
    case MessageType::Normal: return &rowPictures_[m.HasState(MessageState::New) ? 0 : 1];
    case MessageType::Spam: return &rowPictures_[2];
    case MessageType::Dangerous: return &rowPictures_[3];
    case MessageType::Approved: return &rowPictures_[4];
    case MessageType::Outgoing: return &rowPictures_[5];
  }
  return nullptr;
}

// Each row is composed off screen and copied in one piece.
LRESULT MessagesListWindow::DrawRow(NMLVCUSTOMDRAW* cd) {
  if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (cd->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  const int row = static_cast<int>(cd->nmcd.dwItemSpec);
  if (row < 0 || static_cast<size_t>(row) >= rows_.Size()) return CDRF_DODEFAULT;
  const ListRowRef& r = rows_.At(static_cast<size_t>(row));
  const MailMessage& m = *r.message;
  RECT bounds, icon;
  ListView_GetItemRect(list_, row, &bounds, LVIR_BOUNDS);
  ListView_GetItemRect(list_, row, &icon, LVIR_ICON);
  const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
  if (width <= 0 || height <= 0) return CDRF_SKIPDEFAULT;
  HDC screen = cd->nmcd.hdc;
  HDC dc = CreateCompatibleDC(screen);
  ScopedBitmap bitmap(CreateCompatibleBitmap(screen, width, height));
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap.Get());
  SetViewportOrgEx(dc, -bounds.left, -bounds.top, nullptr);

  const UINT state = ListView_GetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED);
  const bool selected = (state & LVIS_SELECTED) && GetFocus() == list_;
  COLORREF back, text;
  if (selected) {
    back = GetSysColor(COLOR_HIGHLIGHT);
    text = GetSysColor(COLOR_HIGHLIGHTTEXT);
  } else {
    back = m.bkColor == kDefaultColor ? GetSysColor(COLOR_WINDOW) : static_cast<COLORREF>(m.bkColor);
    text = m.color == kDefaultColor ? GetSysColor(COLOR_WINDOWTEXT) : static_cast<COLORREF>(m.color);
  }
  SetBkColor(dc, back);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &bounds, nullptr, 0, nullptr);
  SetTextColor(dc, text);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, m.HasState(MessageState::New) ? unreadFont_.Get() : rowFont_.Get());
  for (int col = 1; col <= 5; ++col) {
    RECT cell;
    ListView_GetSubItemRect(list_, row, col, LVIR_LABEL, &cell);
    cell.left += 3;
    cell.right -= 3;
    if (cell.right <= cell.left) continue;
    const std::wstring t = CellText(static_cast<size_t>(row), col);
    DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), &cell,
              DT_SINGLELINE | DT_BOTTOM | DT_NOPREFIX | DT_WORD_ELLIPSIS | (col == 4 ? DT_RIGHT : DT_LEFT));
  }
  if ((state & LVIS_FOCUSED) && GetFocus() == list_) DrawFocusRect(dc, &bounds);
  if (const PictureBitmap* pic = RowPicture(m); pic && !pic->Empty()) {
    // Centred in the icon's place, or from its left edge when grown wider.
    const int wide = std::max<int>(icon.right - icon.left, pic->SizeForDpi(dpi_, height - 2).cx);
    pic->DrawForDpi(dc, icon.left + wide / 2, icon.top + (icon.bottom - icon.top) / 2, dpi_, height - 2);
  }
  SetViewportOrgEx(dc, 0, 0, nullptr);
  BitBlt(screen, bounds.left, bounds.top, width, height, dc, 0, 0, SRCCOPY);
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteDC(dc);
  return CDRF_SKIPDEFAULT;
}

LRESULT MessagesListWindow::OnNotify(int id, NMHDR* h) {
  if (!list_) return 0;
  if (h->hwndFrom == toolbar_ || id == IDC_LIST_TOOLBAR || h->code == TTN_GETDISPINFOW) return ToolbarNotify(h);
  if (h->hwndFrom == ListView_GetHeader(list_)) return 0;
  if (h->hwndFrom != list_) return 0;
  switch (h->code) {
    case LVN_GETDISPINFOW: GetCell(reinterpret_cast<NMLVDISPINFOW*>(h)); return 0;
    case NM_CUSTOMDRAW: return DrawRow(reinterpret_cast<NMLVCUSTOMDRAW*>(h));
    case LVN_ITEMCHANGED: {
      auto* nm = reinterpret_cast<NMLISTVIEW*>(h);
      if ((nm->uNewState & LVIS_FOCUSED) && !(nm->uOldState & LVIS_FOCUSED)) ShowFocused(false);
      Schedule(kFlushToolbar);
      return 0;
    }
    case LVN_ODSTATECHANGED: Schedule(kFlushToolbar); return 0;
    case LVN_COLUMNCLICK: ColumnClick(reinterpret_cast<NMLISTVIEW*>(h)->iSubItem); return 0;
    case NM_DBLCLK:
      if (reinterpret_cast<NMITEMACTIVATE*>(h)->iItem >= 0) ListCommands(*this).Load(true);
      return 0;
    case NM_SETFOCUS:
    case NM_KILLFOCUS: InvalidateRect(list_, nullptr, FALSE); return 0;
    case LVN_KEYDOWN: {
      const WORD key = reinterpret_cast<NMLVKEYDOWN*>(h)->wVKey;
      const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
      ListCommands c(*this);
      if (key == VK_DELETE) {
        c.DeleteSelected();
      } else if (ctrl && key == 'A') {
        ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
      } else if (ctrl && key == 'L') {
        c.Load(false);
      } else if (ctrl && key == 'Q') {
        c.MarkSelected(true);
      }
      return 0;
    }
    default: return 0;
  }
}

}  // namespace pw::ui
