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
  void Draw(HDC dc, int x, int y) const;

 private:
  ScopedBitmap bitmap_;
  int width_ = 0, height_ = 0;
};

}  // namespace pw::ui
