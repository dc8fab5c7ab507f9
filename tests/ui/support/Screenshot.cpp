#include "ui/support/Screenshot.h"

#include <png.h>
#include <cstdio>
#include <memory>
#include <vector>

namespace pwtest {
namespace {

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};

bool WritePng(const std::wstring& path, int w, int h, const std::vector<uint8_t>& rgb) {
  std::unique_ptr<FILE, FileCloser> f(_wfopen(path.c_str(), L"wb"));
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f.get());
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, const_cast<uint8_t*>(rgb.data() + size_t(y) * w * 3));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::wstring ShotsDir() {
  wchar_t env[MAX_PATH] = {};
  std::wstring dir;
  if (GetEnvironmentVariableW(L"PW_SHOTS_DIR", env, MAX_PATH)) {
    dir = env;
  } else {
#ifdef PW_BINARY_DIR
    std::string b = PW_BINARY_DIR;
    dir.assign(b.begin(), b.end());
    dir += L"/screenshots";
#else
    dir = L"screenshots";
#endif
  }
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

bool SaveWindowPng(HWND window, const std::wstring& path) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HDC src = GetWindowDC(window);
  HDC mem = CreateCompatibleDC(src);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(src, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, src, 0, 0, SRCCOPY);
  GdiFlush();
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  const auto* px = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    rgb[i * 3] = (px[i] >> 16) & 0xFF;
    rgb[i * 3 + 1] = (px[i] >> 8) & 0xFF;
    rgb[i * 3 + 2] = px[i] & 0xFF;
  }
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(window, src);
  return WritePng(path, w, h, rgb);
}

bool Shoot(HWND window, const std::wstring& name) {
  if (!window) return false;
  SetForegroundWindow(window);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
  Sleep(150);  // let the owning thread finish painting
  return SaveWindowPng(window, ShotsDir() + L"/" + name + L".png");
}

}  // namespace pwtest
