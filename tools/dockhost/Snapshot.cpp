#include "Snapshot.h"

#include <vector>

#include "ToolbarWindow.h"

namespace dockhost {
namespace {

struct ScopedDc {
  HWND window;
  HDC dc;
  ~ScopedDc() {
    if (dc) ReleaseDC(window, dc);
  }
};

struct MemoryDc {
  HDC dc = CreateCompatibleDC(nullptr);
  ~MemoryDc() {
    if (dc) DeleteDC(dc);
  }
};

struct Bitmap {
  HBITMAP bitmap = nullptr;
  ~Bitmap() {
    if (bitmap) DeleteObject(bitmap);
  }
};

struct File {
  HANDLE handle;
  ~File() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

}  // namespace

bool SaveButtonSnapshot(HWND window, dockrail::IDockPlugin* plugin, const std::wstring& path) {
  const int w = kButtonRect.right - kButtonRect.left, h = kButtonRect.bottom - kButtonRect.top;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;  // bottom-up, as BMP files store it
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  MemoryDc mem;
  Bitmap bmp;
  bmp.bitmap = CreateDIBSection(mem.dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!mem.dc || !bmp.bitmap) return false;
  HGDIOBJ old = SelectObject(mem.dc, bmp.bitmap);
  if (window && IsWindowVisible(window)) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ScopedDc screen{window, GetDC(window)};
    BitBlt(mem.dc, 0, 0, w, h, screen.dc, kButtonRect.left, kButtonRect.top, SRCCOPY);
  } else {
    RECT all = {0, 0, w, h};
    FillRect(mem.dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    plugin->Draw(mem.dc, &kButtonRect);
  }
  GdiFlush();
  SelectObject(mem.dc, old);

  const DWORD pixels = static_cast<DWORD>(w * h * 4);
  BITMAPFILEHEADER fh = {};
  fh.bfType = 0x4D42;  // "BM"
  fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
  fh.bfSize = fh.bfOffBits + pixels;
  File f{CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)};
  if (f.handle == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  bool ok = WriteFile(f.handle, &fh, sizeof(fh), &put, nullptr) &&
            WriteFile(f.handle, &bi.bmiHeader, sizeof(bi.bmiHeader), &put, nullptr) &&
            WriteFile(f.handle, bits, pixels, &put, nullptr) && put == pixels;
  return ok;
}

}  // namespace dockhost
