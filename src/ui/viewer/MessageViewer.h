// The message viewer control: a message's source, its readable text under
// a pane of chosen header fields, all its header fields, and the account's
// connection log, in four tabs. Driven by the messages list window with
// the messages of ui/ViewerMessages.h.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "account/MailMessage.h"
#include "mime/MimePart.h"
#include "ui/ViewerMessages.h"

namespace pw::ui {

// Opens a link the user clicked; replaceable so tests can watch clicks.
using LinkOpener = void (*)(HWND owner, const std::wstring& url);
void SetViewerLinkOpener(LinkOpener opener);  // null: ShellExecute
// Whether a detected text may be opened: http, https, mailto and "www.".
bool IsOpenableLink(const std::wstring& text);

void RegisterViewerClasses(HINSTANCE instance);
void UnregisterViewerClasses(HINSTANCE instance);

// Text still to be appended to one of the viewer's rich edits.
struct PendingText {
  std::wstring text;
  size_t at = 0;  // the first character not yet in the control
  bool Empty() const { return at >= text.size(); }
};

// The viewer's record, kept as the window property "dkrmsgview_this".
struct ViewerState {
  HWND self = nullptr, tab = nullptr, source = nullptr, body = nullptr, pane = nullptr, strip = nullptr,
       headers = nullptr, log = nullptr;
  HFONT font = nullptr;
  RefPtr<MailMessage> message;
  std::vector<std::wstring> fields{L"From", L"To", L"Subject", L"Date"};
  ViewSettingsBlock settings;
  std::vector<std::pair<std::wstring, std::wstring>> paneRows;
  std::vector<AttachmentName> attachments;
  int stripWidth = 0;
  size_t logShown = 0;
  // A tab's text is filled when it is first shown for the message.
  bool sourceFilled = false, bodyFilled = false;
  PendingText sourceLeft, bodyLeft;
};
ViewerState* ViewerOf(HWND viewer);

// Pane and strip (ViewerPanes.cpp).
LRESULT CALLBACK ViewerPaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ViewerStripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int PaneHeight(const ViewerState& state);
int MeasureStrip(ViewerState& state);

// Resource strings with their English text when the module lacks them.
std::wstring ViewerString(UINT id, const wchar_t* fallback);

// The settings dialog (ViewerSettingsDialog.cpp); true on OK.
bool EditViewSettings(HWND owner, ViewSettingsBlock& settings);

}  // namespace pw::ui
