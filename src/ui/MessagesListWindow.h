// The messages list window: folders, the sorted list of messages of all
// accounts, the viewer below, a toolbar and a status bar. It runs on a
// thread of its own; the checker reaches it only by posted notifications,
// each carrying one reference on the record it names.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Scoped.h"
#include "ui/DialogWindow.h"
#include "ui/ListRows.h"
#include "ui/ListWindowHost.h"
#include "ui/PictureBitmap.h"

namespace pw::ui {

// Notification codes of WM_USER (wParam).
enum ListNotify : WPARAM {
  kMessageUpdated = 0,
  kMessageRemoved = 1,
  kAccountUpdated = 2,
  kMessageRead = 3,
  kCountdownTick = 5,
  kFiltersReapplied = 6,
  kEventLogged = 7,
  kEventLogCleared = 8,
  kAccountsChanged = 9,
};
inline constexpr UINT kListMessageAdded = WM_USER + 1;
inline constexpr UINT kListStatusFirst = WM_USER + 10;  // + status code 0..8
inline constexpr UINT kListCloseRequest = WM_USER + 100;

class MessagesListWindow final : public DialogWindow {
 public:
  explicit MessagesListWindow(ListWindowHost& host);
  ~MessagesListWindow() override;

  // Creates the window (not yet shown); null when the template is missing.
  HWND Open(HMODULE resources);
  // Shows the window at its stored place, moved onto a monitor when the
  // place is on none.
  void Show();
  // The closing steps: layout stored, settings saved (the host told unless
  // the plug-in itself is going), window destroyed.
  void Close(bool tellHost = true);

  // For the tests and the benchmark (window thread only).
  size_t RowCount() const { return rows_.Size(); }
  const ListRowRef* Row(size_t i) const { return i < rows_.Size() ? &rows_.At(i) : nullptr; }
  int SelectedFolder() const;
  size_t RowMemoryBytes() const { return rows_.MemoryBytes(); }
  std::wstring CellText(size_t row, int column);

  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT OnNotify(int controlId, NMHDR* header) override;
  void OnCommand(WPARAM wParam) override;
  bool OnOK() override { return false; }  // Enter does nothing here
  bool OnCancel() override;
  void OnInitDialog() override;

 private:
  struct Folder {
    RefPtr<MailAccount> account;
    int32_t typeFilter = -1;
    int32_t total = -1;
    int32_t unread = -1;
  };
  friend class ListCommands;

  // Rows (ListView.cpp).
  void AddRow(MailMessage& message, MailAccount& account);
  bool RefreshRow(MailMessage& message, bool recheck, int lastRow);
  void RemoveRow(MailMessage& message);
  // Removes the rows of many messages in one pass over the rows.
  void RemoveRows(const std::vector<MailMessage*>& messages);
  void ApplyRemovals();
  bool MatchesFolder(MailMessage& message);
  void FillList(int folder);
  void SortRows();
  // After rows changed or came: a moved key puts its row in place alone.
  void ResortLater(MailMessage& message);
  void ResortChanged();
  void MoveRow(size_t row);
  // Shows the focused row's message; `again` false skips the one shown.
  void ShowFocused(bool again = true);
  void SetFocusedRow(int row);
  int FocusedRow() const;
  std::vector<int> SelectedRows() const;
  void Deselect(const std::vector<int>& rows);
  void SetSortMark(int column, int image);
  void SyncItemCount();
  LRESULT DrawRow(NMLVCUSTOMDRAW* cd);
  const PictureBitmap* RowPicture(const MailMessage& m);
  void GetCell(NMLVDISPINFOW* info);
  void ColumnClick(int column);

  // Folders and status (MessagesListWindow.cpp).
  const Folder& FolderAt(int index) const;
  MailAccount* FolderAccount() const;
  void FillFolders();
  void UpdateFolderLabels(MailAccount* account);
  void UpdateFolderLabels(const std::vector<MailAccount*>& named);
  void LabelsLater();
  void ShowStatus(MailAccount& account, uint32_t code, uint32_t arg);
  void ShowCountdown(MailAccount& account);
  void FolderChanged();
  void Layout();
  void Notification(UINT message, WPARAM wParam, LPARAM lParam);
  // Work after a burst of notifications, done once (see Flush).
  enum : uint32_t { kFlushToolbar = 1, kFlushSort = 2, kFlushLabels = 4 };
  void Schedule(uint32_t what);
  void Flush();
  void ApplyLayout(const ListLayout& l);
  void StoreLayout();
  bool SplitterHit(POINT pt, int& mode) const;

  // Toolbar (ListToolbar.cpp).
  void CreateToolbar();
  void UpdateToolbar();
  LRESULT ToolbarNotify(NMHDR* header);
  LRESULT DrawToolbarButton(NMTBCUSTOMDRAW* cd);
  void SaveToolbar();
  void RestoreToolbar();

  ListWindowHost& host_;
  ListRows rows_;
  std::vector<Folder> folders_;
  ListOptions options_;
  ListLayout layout_;
  HWND list_ = nullptr, folderList_ = nullptr, viewer_ = nullptr, toolbar_ = nullptr, status_ = nullptr;
  HIMAGELIST rowImages_ = nullptr, spareImages_ = nullptr;
  ScopedFont rowFont_, unreadFont_;
  ScopedIcon smallIcon_, bigIcon_;
  HTHEME toolbarTheme_ = nullptr;
  PictureBitmap toolbarPictures_[15];
  PictureBitmap greyPictures_[15];
  PictureBitmap rowPictures_[6];
  std::map<std::wstring, std::unique_ptr<PictureBitmap>> messageIcons_;  // lower-case names
  ScopedBitmap toolbarStrip_;
  int dragMode_ = 0;
  double vert_ = 0.2, horz_ = 0.5;
  int sortColumn_ = -1, sortType_ = 0;
  int selectedFolder_ = 0;
  uint32_t pending_ = 0;
  bool flushPosted_ = false;
  bool closing_ = false;
  bool filling_ = false;
  std::vector<RefPtr<MailAccount>> labelAccounts_;  // named by pending label refreshes
  std::vector<RefPtr<MailMessage>> resort_;          // rows to put in place at the flush
  bool fullSort_ = false;
  std::vector<RefPtr<MailMessage>> removals_;        // a run of removals, done together
  ULONGLONG labelsAt_ = 0;                           // when the labels were last counted
  bool labelsTimer_ = false;
  mutable int focusHint_ = -1;
  // Column widths are stored for 96 DPI and shown at the screen's DPI.
  int dpi_ = 96;
  int ToScreen(int width) const { return MulDiv(width, dpi_, 96); }
  int ToStored(int width) const { return MulDiv(width, 96, dpi_); }
  std::wstring tipText_;
};

}  // namespace pw::ui
