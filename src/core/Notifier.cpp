#include "core/Notifier.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <algorithm>

#include "core/PluginObject.h"
#include "core/Scoped.h"
#include "core/StrConv.h"

namespace pw::Notifier {

void LoadAnimationStrips(PluginObject&) {
  // Animation strips come with the new-mail notifications.
}

HFONT CreateCountFont(const RECT& r) {
  LOGFONTW lf = {};
  lf.lfHeight = std::max<LONG>(10, static_cast<LONG>((r.bottom - r.top) * 0.3));
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_STRING_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = ANTIALIASED_QUALITY;
  lstrcpyW(lf.lfFaceName, L"Tahoma");
  return CreateFontIndirectW(&lf);
}

HICON ExtractIconAt(const wchar_t* location, int size) {
  if (!location || !*location) return nullptr;
  wchar_t path[MAX_PATH * 2] = {};
  lstrcpynW(path, location, ARRAYSIZE(path));
  int index = PathParseIconLocationW(path);
  wchar_t expanded[MAX_PATH * 2] = {};
  if (!ExpandEnvironmentStringsW(path, expanded, ARRAYSIZE(expanded))) lstrcpynW(expanded, path, ARRAYSIZE(expanded));
  HICON icon = nullptr;
  HMODULE module = LoadLibraryExW(expanded, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module) {
    ScopedLibrary lib(module);
    // Icon groups counted in resource order, or by id for a negative index.
    struct Find {
      int wanted;
      int seen = 0;
      LPWSTR name = nullptr;
    } find{index};
    if (index < 0) {
      find.name = MAKEINTRESOURCEW(-index);
    } else {
      EnumResourceNamesW(module, RT_GROUP_ICON, [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR p) -> BOOL {
        auto* f = reinterpret_cast<Find*>(p);
        if (f->seen++ == f->wanted) {
          f->name = name;
          return FALSE;
        }
        return TRUE;
      }, reinterpret_cast<LONG_PTR>(&find));
    }
    if (find.name) icon = static_cast<HICON>(LoadImageW(module, find.name, IMAGE_ICON, size, size, 0));
    return icon;
  }
  icon = static_cast<HICON>(LoadImageW(nullptr, expanded, IMAGE_ICON, size, size, LR_LOADFROMFILE));
  if (icon) return icon;
  HICON large = nullptr, small = nullptr;
  if (ExtractIconExW(expanded, index, &large, &small, 1) == 0) return nullptr;
  ScopedIcon l(large), s(small);
  if (size < 32) return s ? s.Release() : l.Release();
  return l ? l.Release() : s.Release();
}

void Draw(PluginObject& plugin, dockrail::IDockHost* host, HDC dc, const RECT& rect, HICON defaultIcon) {
  int size = 16;
  POINT origin = {0, 0};
  if (host) {
    dockrail::ButtonInfo info = {sizeof(info)};
    host->GetButtonInfo(&info);
    size = static_cast<int>(info.iconSize);
    POINT offset = {0, 0};
    host->GetDrawOffset(&offset);
    origin = {rect.left + offset.x, rect.top + offset.y};
  }
  const GlobalSettings& s = plugin.Settings();
  ScopedIcon icon(ExtractIconAt(s.iconLocation, size));
  if (!icon && s.reader[0]) {
    std::wstring program = CommandProgram(s.reader) + L",0";
    icon.Reset(ExtractIconAt(program.c_str(), size));
  }
  HICON shown = icon ? icon.Get() : defaultIcon;
  if (shown) DrawIconEx(dc, origin.x, origin.y, shown, size, size, 0, nullptr, DI_NORMAL);
}

std::wstring TitleTooltip(const PluginObject& plugin) { return plugin.Caption(); }

std::wstring PlainTooltip(const PluginObject& plugin) {
  // One line per account follows the caption once accounts exist.
  return plugin.Caption();
}

void FillTooltip(const PluginObject& plugin, dockrail::TooltipInfo& info) {
  if (info.flags & (dockrail::kTipClear20a | dockrail::kTipClear20b)) info.field20 = 0;
  if (info.flags & dockrail::kTipField8) info.field8 = 5;
  if (info.flags & dockrail::kTipTitle)
    CopyAnsi(info.text, dockrail::kTooltipTextSize, WideToAnsi(TitleTooltip(plugin).c_str()));
  if (info.flags & dockrail::kTipPlainText)
    CopyAnsi(info.text, dockrail::kTooltipTextSize, WideToAnsi(PlainTooltip(plugin).c_str()));
}

wchar_t* RichTooltip(const PluginObject&) {
  return nullptr;  // no entries without accounts
}

}  // namespace pw::Notifier
