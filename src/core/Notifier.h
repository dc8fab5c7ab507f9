// How the plug-in shows itself on the host's toolbar: the button picture,
// the count font and the tooltip texts.
#pragma once

#include <windows.h>
#include <string>

#include "dockrail/DockrailPlugin.h"

namespace pw {

class PluginObject;

namespace Notifier {

void LoadAnimationStrips(PluginObject& plugin);
// Count font: 30 % of the button height, at least 10, Tahoma, antialiased.
HFONT CreateCountFont(const RECT& buttonRect);
void Draw(PluginObject& plugin, dockrail::IDockHost* host, HDC dc, const RECT& rect, HICON defaultIcon);
void FillTooltip(const PluginObject& plugin, dockrail::TooltipInfo& info);
std::wstring PlainTooltip(const PluginObject& plugin);
std::wstring TitleTooltip(const PluginObject& plugin);
// CoTaskMemAlloc'd rich tooltip, or null when there is nothing to tell.
wchar_t* RichTooltip(const PluginObject& plugin);
// Icon of "path,index" at size x size, or null.
HICON ExtractIconAt(const wchar_t* location, int size);

}  // namespace Notifier
}  // namespace pw
