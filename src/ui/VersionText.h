// A file version as the about page shows it.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

namespace pw::ui {

// The four numbers joined by ".", trailing zero numbers left out but at
// least two kept; all zero gives "0.0.0.0".
std::wstring VersionText(uint32_t ms, uint32_t ls);
// The module's file version, "0.0.0.0" when it has none.
std::wstring DllVersionText(HMODULE module);

}  // namespace pw::ui
