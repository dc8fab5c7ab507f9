// A decoded picture as a 32-bit DIB section with premultiplied alpha, ready
// for AlphaBlend.
#pragma once

#include <windows.h>

#include "base/Scoped.h"
#include "image/Picture.h"

namespace pw::ui {

class PictureBitmap {
 public:
  PictureBitmap() = default;
  bool Set(const image::Picture& picture);
  bool LoadPng(HMODULE module, UINT id);
  bool LoadFile(const wchar_t* path);
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return !bitmap_; }
  // Draws at (x, y) in its own size.
  void Draw(HDC dc, int x, int y) const { Draw(dc, x, y, width_, height_); }
  // Draws stretched to w x h.
  void Draw(HDC dc, int x, int y, int w, int h) const;
  // Pictures are drawn for 96 DPI: centred on (cx, cy), grown with the
  // screen's DPI as far as `most` pixels high allow, never below their size.
  void DrawForDpi(HDC dc, int cx, int cy, int dpi, int most) const;
  SIZE SizeForDpi(int dpi, int most) const;

 private:
  ScopedBitmap bitmap_;
  int width_ = 0, height_ = 0;
};

}  // namespace pw::ui
