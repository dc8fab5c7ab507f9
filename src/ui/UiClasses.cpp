#include "ui/UiClasses.h"

#include "ui/ColorButton.h"
#include "ui/ControlBase.h"
#include "ui/FolderList.h"
#include "ui/HotkeyField.h"
#include "ui/TabSwitcher.h"
#include "ui/WebLink.h"
#include "ui/viewer/MessageViewer.h"

namespace pw::ui {
namespace {

struct ClassRow {
  const wchar_t* name;
  WNDPROC proc;
  UINT style;
  const wchar_t* cursor;
};

const ClassRow kRows[] = {
    {kTabSwitcherClass, ControlProc<TabSwitcher>, CS_DBLCLKS, IDC_ARROW},
    {kTabLabelClass, ControlProc<TabLabel>, 0, IDC_ARROW},
    {kHotkeyClass, ControlProc<HotkeyField>, CS_DBLCLKS, IDC_IBEAM},
    {kWebLinkClass, ControlProc<WebLink>, 0, IDC_ARROW},
    {kFolderListClass, ControlProc<FolderList>, CS_DBLCLKS, IDC_ARROW},
    {kColorButtonClass, ControlProc<ColorButton>, CS_DBLCLKS, IDC_ARROW},
    {kColorPickerClass, ControlProc<ColorPicker>, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS | CS_SAVEBITS, IDC_ARROW},
};

}  // namespace

void RegisterUiClasses(HINSTANCE instance) {
  for (const ClassRow& row : kRows) {
    WNDCLASSEXW wc = {sizeof(wc)};
    if (GetClassInfoExW(instance, row.name, &wc)) {
      if (wc.lpfnWndProc == row.proc) continue;
      UnregisterClassW(row.name, instance);  // left by an earlier load
    }
    wc = {sizeof(wc)};
    wc.lpfnWndProc = row.proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, row.cursor);
    wc.lpszClassName = row.name;
    wc.style = row.style;
    RegisterClassExW(&wc);
  }
  RegisterViewerClasses(instance);
}

void UnregisterUiClasses(HINSTANCE instance) {
  UnregisterViewerClasses(instance);
  for (const ClassRow& row : kRows) UnregisterClassW(row.name, instance);
}

}  // namespace pw::ui
