// Decoded pictures: BMP and PNG files, "PNG" resources and bitmap
// resources, as width, height and 32-bit pixels. Hostile input fails
// cleanly: sizes are checked against the data before anything is read and
// no picture may exceed kMaxPixels.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pw::image {

enum class Format { Bmp, Png };

// Bound on width x height for any decoded picture (128 MiB of pixels).
inline constexpr uint64_t kMaxPixels = 32u * 1024u * 1024u;
inline constexpr uint32_t kMaxSide = 32768;

struct Picture {
  Format format = Format::Bmp;
  int width = 0;
  int height = 0;
  // Top row first; each pixel 0xAARRGGBB, straight (not premultiplied)
  // alpha. BMP pixels are opaque.
  std::vector<uint32_t> pixels;
  // A BMP's colour table (0x00RRGGBB); empty for PNG and true-colour BMP.
  std::vector<uint32_t> palette;

  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A whole BMP file (with its file header) or a bare DIB (header, colour
// table, bits), as a bitmap resource holds it.
bool DecodeBmp(const uint8_t* data, size_t size, Picture& out);
bool DecodeDib(const uint8_t* data, size_t size, Picture& out);
bool DecodePng(const uint8_t* data, size_t size, Picture& out);

// A file of the given format.
bool LoadFile(const wchar_t* path, Format format, Picture& out);
// Resource of type "PNG", or a bitmap resource (RT_BITMAP).
bool LoadPngResource(HMODULE module, const wchar_t* name, Picture& out);
bool LoadBitmapResource(HMODULE module, const wchar_t* name, Picture& out);

}  // namespace pw::image
