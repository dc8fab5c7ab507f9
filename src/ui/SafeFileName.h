// File names proposed for saving a message or an attachment: whatever a
// message says its name is, the result is one plain file name that cannot
// leave the folder it is saved in nor name a device.
#pragma once

#include <string>

namespace pw::ui {

// The cleaned name; `fallback` when nothing usable is left.
std::wstring SafeFileName(const std::wstring& proposed, const std::wstring& fallback);

}  // namespace pw::ui
