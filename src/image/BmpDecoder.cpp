#include <cstring>

#include "image/Picture.h"

namespace pw::image {
namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

// Shift and width of a colour mask, so any mask widens to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  explicit Channel(uint32_t m) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    while (bits < 32 - shift && ((m >> (shift + bits)) & 1)) ++bits;
  }
  uint32_t Get(uint32_t v) const {
    if (!mask || !bits) return 0;
    uint32_t c = (v & mask) >> shift;
    if (bits >= 8) return c >> (bits - 8);
    return c * 255 / ((1u << bits) - 1);  // 5-bit 31 becomes 255
  }
};

// bitsAt: where the pixel rows start, counted from the DIB header; 0 when
// they follow the colour table.
bool DecodeDibAt(const uint8_t* data, size_t size, size_t bitsAt, Picture& out) {
  if (!data || size < 12) return false;
  uint32_t headerSize = U32(data);
  if (headerSize > size) return false;
  int64_t width = 0, height = 0;
  uint32_t bitCount = 0, compression = 0, colorsUsed = 0;
  uint32_t masks[3] = {0, 0, 0};
  size_t tableEntry = 4;
  if (headerSize == 12) {  // the old core header: 16-bit sizes, 3-byte colours
    width = U16(data + 4);
    height = static_cast<int16_t>(U16(data + 6));
    if (U16(data + 8) != 1) return false;
    bitCount = U16(data + 10);
    tableEntry = 3;
  } else if (headerSize >= 40) {
    width = static_cast<int32_t>(U32(data + 4));
    height = static_cast<int32_t>(U32(data + 8));
    if (U16(data + 12) != 1) return false;
    bitCount = U16(data + 14);
    compression = U32(data + 16);
    colorsUsed = U32(data + 32);
    if (headerSize >= 52) {
      masks[0] = U32(data + 40), masks[1] = U32(data + 44), masks[2] = U32(data + 48);
    }
  } else {
    return false;
  }
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPixels) return false;
  if (compression != BI_RGB && compression != BI_BITFIELDS) return false;  // RLE and embedded pictures are not read
  if (compression == BI_BITFIELDS && bitCount != 16 && bitCount != 32) return false;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    return false;

  size_t pos = headerSize;
  if (compression == BI_BITFIELDS && headerSize == 40) {
    // The three masks follow a plain header.
    if (size < pos + 12) return false;
    masks[0] = U32(data + pos), masks[1] = U32(data + pos + 4), masks[2] = U32(data + pos + 8);
    pos += 12;
  }
  std::vector<uint32_t> palette;
  if (bitCount <= 8) {
    uint32_t entries = colorsUsed ? colorsUsed : (1u << bitCount);
    if (entries > (1u << bitCount)) return false;
    if ((size - pos) / tableEntry < entries) return false;
    palette.resize(entries);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint8_t* e = data + pos + i * tableEntry;
      palette[i] = (static_cast<uint32_t>(e[2]) << 16) | (e[1] << 8) | e[0];
    }
    pos += static_cast<size_t>(entries) * tableEntry;
  }
  if (bitsAt) {
    if (bitsAt < pos) return false;
    pos = bitsAt;
  }
  const uint64_t stride = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
  if (pos > size || (size - pos) / stride < static_cast<uint64_t>(height)) return false;
  const uint8_t* bits = data + pos;

  if (compression == BI_RGB && bitCount == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  if (compression == BI_RGB && bitCount == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  Channel red(masks[0]), green(masks[1]), blue(masks[2]);

  Picture pic;
  pic.format = Format::Bmp;
  pic.width = static_cast<int>(width);
  pic.height = static_cast<int>(height);
  pic.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t* row = bits + (topDown ? y : height - 1 - y) * stride;
    uint32_t* dst = pic.pixels.data() + y * width;
    for (int64_t x = 0; x < width; ++x) {
      uint32_t rgb = 0;
      switch (bitCount) {
        case 1:
        case 4:
        case 8: {
          size_t bit = static_cast<size_t>(x) * bitCount;
          uint32_t index = (row[bit / 8] >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
          // Indices past a short colour table read as black.
          rgb = index < palette.size() ? palette[index] : 0;
          break;
        }
        case 16: {
          uint32_t v = U16(row + x * 2);
          rgb = (red.Get(v) << 16) | (green.Get(v) << 8) | blue.Get(v);
          break;
        }
        case 24:
          rgb = (static_cast<uint32_t>(row[x * 3 + 2]) << 16) | (row[x * 3 + 1] << 8) | row[x * 3];
          break;
        case 32: {
          uint32_t v = U32(row + x * 4);
          rgb = (red.Get(v) << 16) | (green.Get(v) << 8) | blue.Get(v);
          break;
        }
      }
      dst[x] = 0xFF000000u | rgb;
    }
  }
  pic.palette = std::move(palette);
  out = std::move(pic);
  return true;
}

}  // namespace

bool DecodeDib(const uint8_t* data, size_t size, Picture& out) { return DecodeDibAt(data, size, 0, out); }

bool DecodeBmp(const uint8_t* data, size_t size, Picture& out) {
  if (!data || size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return false;
  // The file header says where the rows start; it may leave a gap after
  // the colour table.
  uint32_t offset = U32(data + 10);
  if (offset <= 14 || offset > size) return false;
  return DecodeDibAt(data + 14, size - 14, offset - 14, out);
}

}  // namespace pw::image
