// Builds BMP and PNG files in memory for the picture tests.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pwtest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void PutBE32(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}

// An 8-bit BMP file: palette entries 0x00RRGGBB, one index per pixel, top
// row first in `indices`; stored bottom-up unless topDown.
inline Bytes MakeBmp8(int w, int h, const std::vector<uint32_t>& palette, const std::vector<uint8_t>& indices,
                      bool topDown = false) {
  const int stride = (w + 3) / 4 * 4;
  Bytes bits;
  for (int r = 0; r < h; ++r) {
    int y = topDown ? r : h - 1 - r;
    for (int x = 0; x < w; ++x) bits.push_back(indices[size_t(y) * w + x]);
    for (int x = w; x < stride; ++x) bits.push_back(0);
  }
  Bytes b = {'B', 'M'};
  const uint32_t offset = 14 + 40 + 4 * uint32_t(palette.size());
  Put32(b, offset + uint32_t(bits.size()));
  Put32(b, 0);
  Put32(b, offset);
  Put32(b, 40), Put32(b, uint32_t(w)), Put32(b, uint32_t(topDown ? -h : h));
  Put16(b, 1), Put16(b, 8), Put32(b, 0), Put32(b, uint32_t(bits.size()));
  Put32(b, 2835), Put32(b, 2835), Put32(b, uint32_t(palette.size())), Put32(b, 0);
  for (uint32_t c : palette) Put32(b, c & 0xFFFFFF);
  b.insert(b.end(), bits.begin(), bits.end());
  return b;
}

inline void PngChunk(Bytes& out, const char* type, const Bytes& data) {
  PutBE32(out, uint32_t(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  PutBE32(out, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// An 8-bit RGBA PNG of w x h; pixels are 0xAARRGGBB, top row first. With
// rawRows the IDAT holds exactly those filtered bytes instead.
inline Bytes MakePng(uint32_t w, uint32_t h, const std::vector<uint32_t>& pixels, const Bytes* rawRows = nullptr) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  PutBE32(ihdr, w), PutBE32(ihdr, h);
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
  PngChunk(out, "IHDR", ihdr);
  Bytes raw;
  if (rawRows) {
    raw = *rawRows;
  } else {
    for (uint32_t y = 0; y < h; ++y) {
      raw.push_back(0);
      for (uint32_t x = 0; x < w; ++x) {
        uint32_t p = pixels[size_t(y) * w + x];
        raw.insert(raw.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
      }
    }
  }
  uLongf size = compressBound(uLong(raw.size()));
  Bytes z(size);
  compress2(z.data(), &size, raw.data(), uLong(raw.size()), 9);
  z.resize(size);
  PngChunk(out, "IDAT", z);
  PngChunk(out, "IEND", {});
  return out;
}

}  // namespace pwtest
