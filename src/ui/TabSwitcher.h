// The vertical tab switcher of the options sheet and the label band above
// its pages.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "ui/PictureBitmap.h"

namespace pw::ui {

inline constexpr wchar_t kTabSwitcherClass[] = L"dkrTABSWITCHER_CLASS";
inline constexpr wchar_t kTabLabelClass[] = L"DKR_TABLABEL_CLASS";

// Messages of the tab switcher.
enum TabSwitcherMessage : UINT {
  TSM_ADD = WM_USER + 1,         // lParam: const TabAdd*
  TSM_GETSELECTED = WM_USER + 2, // id of the selected tab, -1 when none
  TSM_GETBYID = WM_USER + 4,     // wParam: id, lParam: TabRecord* (zeroed when none)
  TSM_SELECT = WM_USER + 5,      // wParam: index
  TSM_GETBYINDEX = WM_USER + 6,  // wParam: index, lParam: TabRecord*
};
// Notification code (high word of WM_COMMAND) when the user picks a tab.
inline constexpr WORD kTabClicked = 0x100;

namespace TabFlags {
inline constexpr uint32_t Selected = 0x1;
inline constexpr uint32_t Hot = 0x4;
}

struct TabAdd {
  uint32_t id;
  const wchar_t* text;
  const wchar_t* text2;
  UINT pngId;
  HMODULE module;
  LPARAM value1, value2;
};

struct TabRecord {
  uint32_t id;
  wchar_t text[64];
  wchar_t text2[128];
  uint32_t flags;
  LPARAM value1, value2;
  RECT rect;
};

class TabSwitcher {
 public:
  static constexpr wchar_t kProp[] = L"CTabSwitcher_this";
  explicit TabSwitcher(HWND window);
  ~TabSwitcher();
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

 private:
  struct Tab {
    uint32_t id;
    std::wstring text, text2;
    PictureBitmap picture;
    uint32_t flags = 0;
    LPARAM value1 = 0, value2 = 0;
    RECT rect = {};
  };
  void Layout();
  void Paint(HDC dc);
  int HitTest(POINT pt) const;
  void Select(int index, bool notify);
  void SetHot(int index);
  void Copy(int index, TabRecord* out) const;
  int Selected() const;

  HWND window_;
  HFONT font_ = nullptr;  // system menu font, owned
  std::vector<Tab> tabs_;
  bool tracking_ = false;
  bool focused_ = false;
};

class TabLabel {
 public:
  static constexpr wchar_t kProp[] = L"CTabLabel_this";
  explicit TabLabel(HWND window) : window_(window) {}
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

 private:
  HWND window_;
};

}  // namespace pw::ui
