#include "core/AnimationStrip.h"

#include <climits>
#include <cstring>

namespace pw {
namespace {

constexpr uint32_t kMagenta = 0xFF00FF;

}  // namespace

uint32_t AnimationStrip::FrameCount(int width, int height) {
  if (width <= 0 || height <= 0) return 1;
  int n = height / width;
  return n < 1 ? 1u : static_cast<uint32_t>(n);
}

uint32_t NearestToMagenta(const image::Picture& picture) {
  uint32_t best = kMagenta;
  long long bestDistance = LLONG_MAX;
  for (uint32_t c : picture.palette) {
    long long dr = static_cast<int>((c >> 16) & 0xFF) - 255, dg = static_cast<int>((c >> 8) & 0xFF),
              db = static_cast<int>(c & 0xFF) - 255;
    long long d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) bestDistance = d, best = c & 0xFFFFFF;
  }
  return best;
}

HBITMAP CreateAlphaBitmap(const image::Picture& picture, bool keyTransparent) {
  if (picture.width <= 0 || picture.height <= 0) return nullptr;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = picture.width;
  bi.bmiHeader.biHeight = -picture.height;  // top row first, as decoded
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  const uint32_t nearest = keyTransparent ? NearestToMagenta(picture) : kMagenta;
  auto* out = static_cast<uint32_t*>(bits);
  const size_t count = picture.pixels.size();
  for (size_t i = 0; i < count; ++i) {
    uint32_t p = picture.pixels[i];
    uint32_t rgb = p & 0xFFFFFF;
    uint32_t a = p >> 24;
    if (keyTransparent && (rgb == kMagenta || rgb == nearest)) a = 0;
    // AlphaBlend wants premultiplied colour.
    uint32_t r = ((rgb >> 16) & 0xFF) * a / 255, g = ((rgb >> 8) & 0xFF) * a / 255, b = (rgb & 0xFF) * a / 255;
    out[i] = (a << 24) | (r << 16) | (g << 8) | b;
  }
  GdiFlush();
  return bitmap;
}

void DrawAlphaBitmap(HDC dc, int x, int y, HBITMAP bitmap, int sx, int sy, int w, int h) {
  if (!dc || !bitmap || w <= 0 || h <= 0) return;
  HDC mem = CreateCompatibleDC(dc);
  if (!mem) return;
  HGDIOBJ old = SelectObject(mem, bitmap);
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(dc, x, y, w, h, mem, sx, sy, w, h, blend);
  SelectObject(mem, old);
  DeleteDC(mem);
}

bool AnimationStrip::Assign(const image::Picture& picture) {
  HBITMAP bitmap = CreateAlphaBitmap(picture, picture.format == image::Format::Bmp);
  if (!bitmap) return false;
  bitmap_.Reset(bitmap);
  width_ = picture.width;
  height_ = picture.height;
  frames_ = FrameCount(width_, height_);
  return true;
}

void AnimationStrip::Reset() {
  bitmap_.Reset();
  width_ = height_ = 0;
  frames_ = 1;
}

void AnimationStrip::DrawFrame(HDC dc, int x, int y, uint32_t frame) const {
  if (!bitmap_) return;
  // A strip wider than high has one frame, cut to the rows it has.
  int side = width_ < height_ ? width_ : height_;
  DrawAlphaBitmap(dc, x, y, bitmap_.Get(), 0, FrameTop(frame), width_, side);
}

}  // namespace pw
