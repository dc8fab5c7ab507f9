#include <png.h>

#include <cstring>

#include "image/Picture.h"

namespace pw::image {
namespace {

// Frees the reader's state on every path out.
struct PngReader {
  png_image image;
  PngReader() {
    memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
  }
  ~PngReader() { png_image_free(&image); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
};

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, Picture& out) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!data || size < 8 || memcmp(data, kSignature, 8) != 0) return false;
  // libpng's simplified reader keeps its longjmp inside itself: errors come
  // back as a zero result.
  PngReader reader;
  if (!png_image_begin_read_from_memory(&reader.image, data, size)) return false;
  const uint32_t w = reader.image.width, h = reader.image.height;
  if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return false;
  if (static_cast<uint64_t>(w) * h > kMaxPixels) return false;
  reader.image.format = PNG_FORMAT_BGRA;  // little-endian 0xAARRGGBB words
  std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
  if (!png_image_finish_read(&reader.image, nullptr, pixels.data(), static_cast<png_int_32>(w * 4), nullptr))
    return false;
  out.format = Format::Png;
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.pixels = std::move(pixels);
  out.palette.clear();
  return true;
}

}  // namespace pw::image
