// The viewer's two rich edits and the text in them. A large text goes in a
// few screens at once and the rest a step per timer tick, so a message of
// many megabytes shows at once and the window stays responsive while the
// rest arrives.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

#include "ui/viewer/MessageViewer.h"

namespace pw::ui {

constexpr UINT_PTR kFillTimer = 1;  // on the viewer window

// A read-only rich edit of the viewer, hidden, with links detected.
HWND MakeTextEdit(ViewerState& v);

// Empties `edit` and drops what was still to come. A large text leaves with
// its control: rich edit deletes a long text in time that grows with the
// square of its lines, so the control is replaced in its place instead.
void ClearText(ViewerState& v, HWND& edit, PendingText& left);

// Sets the format, then streams the first `atOnce` characters (at least)
// and leaves the rest to `AppendTextStep`. `edit` must be empty.
void LoadText(ViewerState& v, HWND edit, PendingText& left, std::wstring text, const CHARFORMAT2W& cf,
              size_t atOnce = 0);

// Appends the next step of text waiting for either edit, the visible one
// first, keeping the reader's selection and scroll position; false when
// nothing is left (the timer is then stopped).
bool AppendTextStep(ViewerState& v);

}  // namespace pw::ui
