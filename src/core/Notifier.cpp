#include "core/Notifier.h"

#include <shlwapi.h>
#include <algorithm>
#include <string>

#include "base/Module.h"
#include "base/Scoped.h"
#include "core/AnimationStrip.h"
#include "core/PluginObject.h"
#include "image/Picture.h"
#include "resource.h"

namespace pw::Notifier {
namespace {

void LoadStrip(AnimationStrip& strip, const wchar_t* file, UINT fallback) {
  image::Picture picture;
  bool ok = false;
  if (file && *file) {
    bool png = lstrcmpiW(PathFindExtensionW(file), L".png") == 0;
    ok = image::LoadFile(file, png ? image::Format::Png : image::Format::Bmp, picture) && strip.Assign(picture);
  }
  // A file that does not load falls back to the default strip silently.
  if (!ok && !(image::LoadBitmapResource(DllModule(), MAKEINTRESOURCEW(fallback), picture) && strip.Assign(picture)))
    strip.Reset();
}

// Icon 103 at the drawn size, so the best-fitting image is used.
HICON DefaultIconAt(int size) {
  return static_cast<HICON>(LoadImageW(DllModule(), MAKEINTRESOURCEW(IDI_PLUGIN), IMAGE_ICON, size, size, 0));
}

void DrawIconAt(HDC dc, int x, int y, HICON icon, HICON fallback, int size) {
  ScopedIcon owned(icon ? icon : DefaultIconAt(size));
  HICON shown = owned ? owned.Get() : fallback;
  if (shown) DrawIconEx(dc, x, y, shown, size, size, 0, nullptr, DI_NORMAL);
}

void DrawMark(HDC dc, int x, int y, UINT id) {
  image::Picture picture;
  if (!image::LoadPngResource(DllModule(), MAKEINTRESOURCEW(id), picture)) return;
  ScopedBitmap bitmap(CreateAlphaBitmap(picture, false));
  DrawAlphaBitmap(dc, x, y, bitmap.Get(), 0, 0, picture.width, picture.height);
}

uint32_t NewMessageCount(const PluginObject& plugin) {
  uint32_t total = 0;
  SharedGuard g(plugin.AccountsLock());
  for (const auto& account : plugin.Accounts()) {
    uint32_t n = 0;
    account->CountNew(&n, nullptr);
    total += n;
  }
  return total;
}

void DrawCount(HDC dc, HFONT font, int x, int top, int size, uint32_t count) {
  std::wstring text = std::to_wstring(count);
  const int bottom = top + std::max(10, static_cast<int>(0.3 * size)) + 2;
  HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
  COLORREF oldColor = SetTextColor(dc, RGB(255, 255, 255));
  int oldMode = SetBkMode(dc, TRANSPARENT);
  // A white outline first, then the digits in black inside it.
  static const POINT kOutline[4] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
  for (const POINT& d : kOutline) {
    RECT r = {x + d.x, top + d.y, x + size + d.x, bottom + d.y};
    DrawTextW(dc, text.c_str(), -1, &r, DT_RIGHT);
  }
  SetTextColor(dc, RGB(0, 0, 0));
  RECT r = {x + 1, top + 1, x + size + 1, bottom + 1};
  DrawTextW(dc, text.c_str(), -1, &r, DT_RIGHT);
  if (font) SelectObject(dc, oldFont);
  SetTextColor(dc, oldColor);
  SetBkMode(dc, oldMode);
}

}  // namespace

void LoadAnimationStrips(PluginObject& plugin) {
  const GlobalSettings& s = plugin.Settings();
  LoadStrip(plugin.Strip(false), s.smallAnim, IDB_ANIM_SMALL);
  LoadStrip(plugin.Strip(true), s.largeAnim, IDB_ANIM_LARGE);
}

HFONT CreateCountFont(const RECT& r) {
  LOGFONTW lf = {};
  lf.lfHeight = std::max<LONG>(10, static_cast<LONG>((r.bottom - r.top) * 0.3));
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_CHARACTER_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = ANTIALIASED_QUALITY;
  lstrcpyW(lf.lfFaceName, L"Tahoma");
  return CreateFontIndirectW(&lf);
}

void Draw(PluginObject& plugin, dockrail::IDockHost* host, HDC dc, const RECT& rect, HICON defaultIcon) {
  int size = 16;
  bool large = false;
  POINT origin = {0, 0};
  if (host) {
    dockrail::ButtonInfo info = {sizeof(info)};
    host->GetButtonInfo(&info);
    size = static_cast<int>(info.iconSize);
    large = (info.flags & dockrail::kButtonLarge) != 0;
    POINT offset = {0, 0};
    host->GetDrawOffset(&offset);
    origin = {rect.left + offset.x, rect.top + offset.y};
  }
  const GlobalSettings& s = plugin.Settings();
  const bool paused = s.pause != 0;
  const uint32_t flags = plugin.ButtonFlags();

  if ((flags & 1) && !paused) {
    if (s.useIconNotify) {
      DrawIconAt(dc, origin.x, origin.y, s.notifyIcon[0] ? ExtractIconAt(s.notifyIcon, size) : nullptr,
                 defaultIcon, size);
    } else {
      const AnimationStrip& strip = plugin.Strip(large);
      strip.DrawFrame(dc, origin.x + size / 2 - strip.Width() / 2, origin.y + size / 2 - strip.Pitch() / 2,
                      plugin.Frame());
    }
  } else {
    HICON icon = ExtractIconAt(s.iconLocation, size);
    if (!icon && s.reader[0]) {
      std::wstring program = CommandProgram(s.reader) + L",0";
      icon = ExtractIconAt(program.c_str(), size);
    }
    DrawIconAt(dc, origin.x, origin.y, icon, defaultIcon, size);
  }

  if ((flags & 2) || paused) {
    const int d = size < 32 ? 8 : 16;
    UINT mark = paused ? (size < 32 ? IDP_MARK_PAUSE_SMALL : IDP_MARK_PAUSE_LARGE)
                       : (size > 24 ? IDP_MARK_ERROR_LARGE : IDP_MARK_ERROR_SMALL);
    DrawMark(dc, origin.x + size - d, origin.y + size - d, mark);
  }

  if (s.showMsgNum) {
    uint32_t count = NewMessageCount(plugin);
    if (count > 0) {
      // Without SetButtonRect there is no count font yet: size one for
      // the rectangle drawn into.
      ScopedFont temporary;
      HFONT font = plugin.CountFont();
      if (!font) {
        temporary.Reset(CreateCountFont(rect));
        font = temporary.Get();
      }
      DrawCount(dc, font, origin.x, rect.top, size, count);
    }
  }
}

}  // namespace pw::Notifier
