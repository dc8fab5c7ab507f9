// The message viewer control's window messages, sent by the messages list
// window (both on the list window's thread), and the blocks they carry.
#pragma once

#include <windows.h>
#include <cstdint>

namespace pw::ui {

inline constexpr wchar_t kViewerClass[] = L"DKR_MSG_VIEW_CONTROL";
inline constexpr wchar_t kViewerHeaderClass[] = L"DKR_MSG_VIEW_HEADER";
inline constexpr wchar_t kViewerAttachmentClass[] = L"DKR_MSG_VIEW_ATTACHMENT";

// lParam: a MailMessage* (null: nothing); the viewer takes its own reference.
inline constexpr UINT kViewShowMessage = WM_USER + 1;
// wParam: tab index (0 Source, 1 Message, 2 Headers, 3 Connection log).
inline constexpr UINT kViewSelectTab = WM_USER + 2;
// Returns the selected tab index.
inline constexpr UINT kViewGetTab = WM_USER + 3;
// wParam: count, lParam: int* column order of the Headers list.
inline constexpr UINT kViewSetColumnOrder = WM_USER + 4;
// lParam: int32_t[2] widths of the Headers list's columns 0 and 1.
inline constexpr UINT kViewSetColumnWidths = WM_USER + 5;
inline constexpr UINT kViewGetColumnOrder = WM_USER + 6;
inline constexpr UINT kViewGetColumnWidths = WM_USER + 7;
// lParam: ViewerStringList*; receives copies of the field-name list.
inline constexpr UINT kViewGetFields = WM_USER + 8;
// lParam: const ViewerStringList*; replaces the field-name list by copies.
inline constexpr UINT kViewSetFields = WM_USER + 9;
// lParam: ViewSettingsBlock* (stored / received).
inline constexpr UINT kViewSetSettings = WM_USER + 10;
inline constexpr UINT kViewGetSettings = WM_USER + 11;
// lParam: MailAccount*; fill, append to, or empty the Connection log list.
inline constexpr UINT kViewLogFill = WM_USER + 12;
inline constexpr UINT kViewLogAppend = WM_USER + 13;
inline constexpr UINT kViewLogClear = WM_USER + 14;

// 29 values of 32 bits; colours are 0x00BBGGRR, -1 the control's default.
struct ViewSettingsBlock {
  int32_t fieldNameColor = -1;
  int32_t fieldNameBOLD = 1;
  int32_t fieldNameITALIC = 0;
  int32_t fieldValueColor = -1;
  int32_t fieldValueBOLD = 0;
  int32_t fieldValueITALIC = 0;
  int32_t sourceBodyColor = -1;
  int32_t sourceBodyBOLD = 0;
  int32_t sourceBodyITALIC = 0;
  int32_t messageBodyColor = -1;
  int32_t messageBodyBOLD = 0;
  int32_t messageBodyITALIC = 0;
  wchar_t fontName[32] = L"Tahoma";
  int32_t fontSize = 8;
};
static_assert(sizeof(ViewSettingsBlock) == 29 * 4);

// A list of UTF-16 strings, each allocated with new[] by the side that
// fills the list; the receiver of kViewGetFields frees them with
// FreeViewerStrings.
struct ViewerStringList {
  int count = 0;
  wchar_t** items = nullptr;
};
void FreeViewerStrings(ViewerStringList& list);

}  // namespace pw::ui
