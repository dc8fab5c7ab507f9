// Saving an attachment: its decoded bytes written to a file the user chose
// in a Save dialog, under a cleaned name. Attachments are never opened.
#pragma once

#include <windows.h>
#include <string>

namespace pw {
class MimePart;
}

namespace pw::ui {

// The part's content with its Content-Transfer-Encoding undone.
std::string AttachmentBytes(const MimePart& part);
// Writes `bytes` to the file `name` (cleaned again here) inside `folder`;
// 0 or the system error number.
DWORD WriteAttachment(const std::wstring& folder, const std::wstring& name, const std::string& bytes,
                      std::wstring* written = nullptr);
// Asks where to save (a Save dialog proposing the cleaned name), writes
// the file and reports a failure to the user. True when written.
bool SaveAttachmentAs(HWND owner, const std::wstring& proposed, const MimePart& part);

}  // namespace pw::ui
