// A new-mail animation strip: square frames one under the other in a
// 32-bit premultiplied bitmap, drawn with per-pixel transparency. BMP
// strips lose magenta (and the palette colour nearest to it); PNG strips
// keep their own alpha.
#pragma once

#include <windows.h>
#include <cstdint>

#include "base/Scoped.h"
#include "image/Picture.h"

namespace pw {

class AnimationStrip {
 public:
  // height / width, integer division, at least 1.
  static uint32_t FrameCount(int width, int height);

  bool Assign(const image::Picture& picture);
  void Reset();
  bool Loaded() const { return static_cast<bool>(bitmap_); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  uint32_t Frames() const { return frames_; }
  // Rows between the tops of two frames.
  int Pitch() const { return height_ / static_cast<int>(frames_); }
  // Top row of frame f (wrapped into the strip).
  int FrameTop(uint32_t frame) const { return static_cast<int>(frame % frames_) * Pitch(); }
  // Draws the width x width frame with its top-left corner at (x, y).
  void DrawFrame(HDC dc, int x, int y, uint32_t frame) const;

 private:
  ScopedBitmap bitmap_;
  int width_ = 0;
  int height_ = 0;
  uint32_t frames_ = 1;
};

// The palette colour (0x00RRGGBB) nearest to magenta; magenta itself when
// the picture has no palette. Both are transparent in a BMP strip.
uint32_t NearestToMagenta(const image::Picture& picture);

// A premultiplied 32-bit top-down DIB section of the picture, with the
// transparent colour (0x00RRGGBB) of a BMP made fully transparent when
// keyTransparent is set. Null on failure.
HBITMAP CreateAlphaBitmap(const image::Picture& picture, bool keyTransparent);
// Blends (sx, sy, w, h) of an alpha bitmap onto dc at (x, y).
void DrawAlphaBitmap(HDC dc, int x, int y, HBITMAP bitmap, int sx, int sy, int w, int h);

}  // namespace pw
