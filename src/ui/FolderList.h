// A list of folders: one line each, with a picture, indent, and bold text
// while the folder holds unread mail. Rows are measured once when added or
// changed, so adding is linear and scrolling measures nothing.
#pragma once

#include <windows.h>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/Picture.h"
#include "ui/PictureBitmap.h"

namespace pw::ui {

inline constexpr wchar_t kFolderListClass[] = L"OrvaleSimpleList";

enum FolderListMessage : UINT {
  FLM_ADD = WM_USER + 1,         // lParam: const FolderEntry*
  FLM_DELETE = WM_USER + 2,      // wParam: index
  FLM_SETPICTURES = WM_USER + 3, // wParam: count, lParam: const image::Picture* (copied)
  FLM_SELECT = WM_USER + 4,      // wParam: index
  FLM_GETSEL = WM_USER + 5,
  FLM_SETPICTURE = WM_USER + 6,  // wParam: index, lParam: picture index
  FLM_SETUNREAD = WM_USER + 7,   // wParam: index, lParam: count
  FLM_SETTEXT = WM_USER + 8,     // wParam: index, lParam: text
  FLM_GETDATA = WM_USER + 9,
  FLM_GETUNREAD = WM_USER + 10,
  FLM_GETPICTURE = WM_USER + 11,
  FLM_GETTEXT = WM_USER + 12,    // the row's text (valid until the row changes)
  FLM_FIND = WM_USER + 13,       // lParam: data; index or -1
  FLM_CLEAR = WM_USER + 14,
};
// Notification codes (high word of WM_COMMAND to the parent).
inline constexpr WORD kFolderSelChanged = 1;
inline constexpr WORD kFolderRightClick = 2;
inline constexpr WORD kFolderDoubleClick = 3;

struct FolderEntry {
  uint32_t data;
  const wchar_t* text;
  int32_t unread;
  int32_t indent;
  int32_t picture;
};

class FolderList {
 public:
  static constexpr wchar_t kProp[] = L"orvalesimplelist_this";
  explicit FolderList(HWND window);
  ~FolderList();
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

 private:
  struct Row {
    uint32_t data;
    std::wstring text;
    int32_t unread, indent, picture;
    int32_t width = 0;
  };
  const PictureBitmap* PictureOf(const Row& r) const;
  void Measure(Row& r);
  void UpdateRowHeight(const Row& r);
  void RecomputeRowHeight();
  int Visible() const;
  void SetTop(int top);
  void UpdateScroll();
  void ScheduleScroll();
  static constexpr UINT kFlushScroll = WM_USER + 100;
  void Select(int index, bool notify);
  void Notify(WORD code);
  void InvalidateRow(int index);
  int HitTest(POINT pt) const;
  void Paint(HDC dc, const RECT& update);
  bool Valid(WPARAM i) const { return i < rows_.size(); }

  HWND window_;
  HFONT normal_ = nullptr, bold_ = nullptr;
  HDC measureDc_ = nullptr;  // kept for measuring, fonts selected on demand
  std::vector<PictureBitmap> pictures_;
  std::vector<Row> rows_;
  int top_ = 0;
  int rowHeight_ = 16;
  int textHeight_ = 0;
  int selected_ = -1;
  bool focused_ = false;
  bool scrollShown_ = false;
  bool scrollPending_ = false;
};

}  // namespace pw::ui
