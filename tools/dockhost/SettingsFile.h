// The plug-in's settings stream kept in a file, as the toolbar keeps it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dockrail/DockrailPlugin.h"

namespace dockhost {

// The file's bytes; empty when it is missing or unreadable.
std::vector<uint8_t> ReadSettingsFile(const std::wstring& path);
// Copies a settings file the plug-in could not read to `copy`.
bool KeepBadSettingsFile(const std::wstring& path, const std::wstring& copy);
// Asks the plug-in to save into a fresh stream and writes it to `path`.
bool SaveSettingsFile(dockrail::IDockPlugin* plugin, const std::wstring& path);

}  // namespace dockhost
