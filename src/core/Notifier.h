// How the plug-in shows itself on the host's toolbar: the animation
// strips, the button picture with its marks and count, the count font and
// the tooltip texts.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

#include "dockrail/DockrailPlugin.h"

namespace pw {

class PluginObject;

namespace Notifier {

// Both strips from `smallAnim` and `largeAnim`, or the default bitmaps.
void LoadAnimationStrips(PluginObject& plugin);
// Count font: 30 % of the button height, at least 10, Tahoma, antialiased.
HFONT CreateCountFont(const RECT& buttonRect);
void Draw(PluginObject& plugin, dockrail::IDockHost* host, HDC dc, const RECT& rect, HICON defaultIcon);

// Byte counts as the plain tooltip shows them: "1024", "1.50K", "2.00M".
std::wstring SizeText(uint32_t bytes);
void FillTooltip(const PluginObject& plugin, dockrail::TooltipInfo& info);
std::wstring PlainTooltip(const PluginObject& plugin);
std::wstring TitleTooltip(const PluginObject& plugin);
std::wstring RichTooltipText(const PluginObject& plugin);
// CoTaskMemAlloc'd rich tooltip, or null when there is nothing to tell.
wchar_t* RichTooltip(const PluginObject& plugin);

// Icon of "path,index" at size x size, or null.
HICON ExtractIconAt(const wchar_t* location, int size);

}  // namespace Notifier
}  // namespace pw
