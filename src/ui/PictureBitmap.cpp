#include "ui/PictureBitmap.h"

#include <algorithm>
#include <cstring>

namespace pw::ui {

bool PictureBitmap::Set(const image::Picture& p) {
  if (p.width <= 0 || p.height <= 0) return false;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = p.width;
  bi.bmiHeader.biHeight = -p.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp) return false;
  auto* out = static_cast<uint32_t*>(bits);
  for (size_t i = 0; i < p.pixels.size(); ++i) {
    uint32_t c = p.pixels[i];
    uint32_t a = c >> 24;
    uint32_t r = ((c >> 16) & 0xFF) * a / 255, g = ((c >> 8) & 0xFF) * a / 255, b = (c & 0xFF) * a / 255;
    out[i] = (a << 24) | (r << 16) | (g << 8) | b;
  }
  bitmap_.Reset(bmp);
  width_ = p.width;
  height_ = p.height;
  return true;
}

bool PictureBitmap::LoadPng(HMODULE module, UINT id) {
  image::Picture p;
  return image::LoadPngResource(module, MAKEINTRESOURCEW(id), p) && Set(p);
}

bool PictureBitmap::LoadFile(const wchar_t* path) {
  image::Picture p;
  return image::LoadFile(path, image::Format::Png, p) && Set(p);
}

SIZE PictureBitmap::SizeForDpi(int dpi, int most) const {
  if (height_ <= 0) return {width_, height_};
  const int h = std::max(height_, std::min(MulDiv(height_, dpi, 96), most));
  return {MulDiv(width_, h, height_), h};
}

void PictureBitmap::DrawForDpi(HDC dc, int cx, int cy, int dpi, int most) const {
  if (!bitmap_) return;
  const SIZE s = SizeForDpi(dpi, most);
  Draw(dc, cx - s.cx / 2, cy - s.cy / 2, s.cx, s.cy);
}

void PictureBitmap::Draw(HDC dc, int x, int y, int w, int h) const {
  if (!bitmap_) return;
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, bitmap_.Get());
  BLENDFUNCTION bf = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(dc, x, y, w, h, mem, 0, 0, width_, height_, bf);
  SelectObject(mem, old);
  DeleteDC(mem);
}

}  // namespace pw::ui
