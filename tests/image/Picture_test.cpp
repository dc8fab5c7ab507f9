// Picture decoding: BMP layouts and PNG alpha, and files that lie about
// themselves (truncated, huge, inconsistent), which must fail cleanly.
#include <gtest/gtest.h>

#include <random>

#include "image/Picture.h"
#include "image/PictureBytes.h"
#include "support/Services.h"

using pw::image::Format;
using pw::image::Picture;
using pwtest::Bytes;

namespace {

// A 3 x 2 picture whose pixels tell where they are.
Bytes Bmp3x2(bool topDown) {
  return pwtest::MakeBmp8(3, 2, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF00FF, 0xFFFFFF}, {1, 2, 3, 4, 5, 0},
                          topDown);
}

}  // namespace

TEST(Bmp, PalettedRowsInBothOrdersKeepThePalette) {
  for (bool topDown : {false, true}) {
    Bytes b = Bmp3x2(topDown);
    Picture p;
    ASSERT_TRUE(pw::image::DecodeBmp(b.data(), b.size(), p)) << topDown;
    EXPECT_EQ(p.format, Format::Bmp);
    ASSERT_EQ(p.width, 3);
    ASSERT_EQ(p.height, 2);
    EXPECT_EQ(p.At(0, 0), 0xFFFF0000u);
    EXPECT_EQ(p.At(2, 0), 0xFF0000FFu);
    EXPECT_EQ(p.At(0, 1), 0xFFFF00FFu);
    EXPECT_EQ(p.At(2, 1), 0xFF000000u);
    EXPECT_EQ(p.palette.size(), 6u);
    EXPECT_EQ(p.palette[4], 0xFF00FFu);
  }
}

TEST(Bmp, TrueColourAndBitfields) {
  // 2 x 1, 24-bit: blue then magenta.
  Bytes b = {'B', 'M'};
  pwtest::Put32(b, 14 + 40 + 8), pwtest::Put32(b, 0), pwtest::Put32(b, 54);
  pwtest::Put32(b, 40), pwtest::Put32(b, 2), pwtest::Put32(b, 1);
  pwtest::Put16(b, 1), pwtest::Put16(b, 24);
  for (int i = 0; i < 6; ++i) pwtest::Put32(b, 0);
  b.insert(b.end(), {0xFF, 0, 0, 0xFF, 0, 0xFF, 0, 0});
  Picture p;
  ASSERT_TRUE(pw::image::DecodeBmp(b.data(), b.size(), p));
  EXPECT_EQ(p.At(0, 0), 0xFF0000FFu);
  EXPECT_EQ(p.At(1, 0), 0xFFFF00FFu);
  EXPECT_TRUE(p.palette.empty());

  // A bare DIB, 16-bit 5-6-5 with its masks after the header: one white
  // pixel and one pure green.
  Bytes d;
  pwtest::Put32(d, 40), pwtest::Put32(d, 2), pwtest::Put32(d, 1);
  pwtest::Put16(d, 1), pwtest::Put16(d, 16), pwtest::Put32(d, BI_BITFIELDS);
  for (int i = 0; i < 5; ++i) pwtest::Put32(d, 0);
  pwtest::Put32(d, 0xF800), pwtest::Put32(d, 0x07E0), pwtest::Put32(d, 0x001F);
  pwtest::Put16(d, 0xFFFF), pwtest::Put16(d, 0x07E0);
  ASSERT_TRUE(pw::image::DecodeDib(d.data(), d.size(), p));
  EXPECT_EQ(p.At(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(p.At(1, 0), 0xFF00FF00u);
}

TEST(Png, AlphaIsKept) {
  std::vector<uint32_t> px = {0x00000000, 0x80FF0000, 0xFF00FF00, 0x400000FF};
  Bytes b = pwtest::MakePng(2, 2, px);
  Picture p;
  ASSERT_TRUE(pw::image::DecodePng(b.data(), b.size(), p));
  EXPECT_EQ(p.format, Format::Png);
  ASSERT_EQ(p.width, 2);
  EXPECT_EQ(p.At(1, 0), 0x80FF0000u);
  EXPECT_EQ(p.At(0, 1), 0xFF00FF00u);
  EXPECT_EQ(p.At(1, 1) >> 24, 0x40u);
  EXPECT_TRUE(p.palette.empty());
}

TEST(Files, CommittedArtLoadsByExtensionAndMissingFilesFail) {
  const std::string res = PW_SOURCE_DIR "/res/";
  Picture p;
  ASSERT_TRUE(pw::image::LoadFile(pwtest::WindowsPath(res + "mark_error16.png").c_str(), Format::Png, p));
  EXPECT_EQ(p.width, 16);
  EXPECT_EQ(p.At(0, 0) >> 24, 0u);     // round badge: clear corners
  EXPECT_EQ(p.At(8, 8) >> 24, 255u);   // opaque middle
  ASSERT_TRUE(pw::image::LoadFile(pwtest::WindowsPath(res + "anim_small.bmp").c_str(), Format::Bmp, p));
  EXPECT_EQ(p.width, 16);
  EXPECT_EQ(p.height % 16, 0);
  EXPECT_GT(p.height / 16, 1);
  EXPECT_EQ(p.palette.at(0), 0xFF00FFu);
  // The wrong decoder for the content fails.
  EXPECT_FALSE(pw::image::LoadFile(pwtest::WindowsPath(res + "anim_small.bmp").c_str(), Format::Png, p));
  EXPECT_FALSE(pw::image::LoadFile(L"Z:\\nonexistent\\strip.bmp", Format::Bmp, p));
  EXPECT_FALSE(pw::image::LoadFile(L"", Format::Bmp, p));
}

TEST(Hostile, EveryTruncationFails) {
  Bytes bmp = pwtest::MakeBmp8(16, 96, std::vector<uint32_t>(256, 0x123456), std::vector<uint8_t>(16 * 96, 7));
  Bytes png = pwtest::MakePng(16, 16, std::vector<uint32_t>(256, 0xFF336699));
  Picture p;
  for (size_t n = 0; n < bmp.size(); ++n) ASSERT_FALSE(pw::image::DecodeBmp(bmp.data(), n, p)) << n;
  for (size_t n = 0; n + 12 < png.size(); ++n) ASSERT_FALSE(pw::image::DecodePng(png.data(), n, p)) << n;
  EXPECT_TRUE(pw::image::DecodeBmp(bmp.data(), bmp.size(), p));
  EXPECT_TRUE(pw::image::DecodePng(png.data(), png.size(), p));
}

TEST(Hostile, HugeOrInconsistentHeadersFailWithoutAllocating) {
  Picture p;
  // BMP headers claiming 100000 x 100000, a negative width, INT_MIN rows,
  // a colour table of 2^32 - 1 entries, and a 32768 x 32768 picture whose
  // rows would fit the side limit but not the pixel bound.
  struct Case {
    int32_t w, h;
    uint16_t bits;
    uint32_t colors;
  } cases[] = {{100000, 100000, 24, 0}, {-16, 16, 24, 0}, {16, INT32_MIN, 24, 0}, {16, 16, 8, 0xFFFFFFFF},
               {32768, 32768, 1, 0}, {16, 16, 7, 0}, {0, 16, 24, 0}};
  for (const Case& c : cases) {
    Bytes b = {'B', 'M'};
    pwtest::Put32(b, 200), pwtest::Put32(b, 0), pwtest::Put32(b, 54);
    pwtest::Put32(b, 40), pwtest::Put32(b, uint32_t(c.w)), pwtest::Put32(b, uint32_t(c.h));
    pwtest::Put16(b, 1), pwtest::Put16(b, c.bits), pwtest::Put32(b, 0), pwtest::Put32(b, 0);
    pwtest::Put32(b, 0), pwtest::Put32(b, 0), pwtest::Put32(b, c.colors), pwtest::Put32(b, 0);
    b.resize(200, 0);
    EXPECT_FALSE(pw::image::DecodeBmp(b.data(), b.size(), p)) << c.w << "x" << c.h;
  }
  // A PNG header claiming 1,000,000 x 1,000,000 with a tiny IDAT, and one
  // of 4000 x 4000 whose data stops after one row.
  Bytes one = {0};
  Bytes huge = pwtest::MakePng(1000000, 1000000, {}, &one);
  EXPECT_FALSE(pw::image::DecodePng(huge.data(), huge.size(), p));
  Bytes row(1 + 4000 * 4, 0);
  Bytes shortData = pwtest::MakePng(4000, 4000, {}, &row);
  EXPECT_FALSE(pw::image::DecodePng(shortData.data(), shortData.size(), p));
}

TEST(Hostile, MutatedFilesNeverCrash) {
  // Seeded byte flips over both formats: any result is fine, a crash is not.
  Bytes bmp = pwtest::MakeBmp8(16, 32, {0xFF00FF, 0x102030, 0xFFFFFF}, std::vector<uint8_t>(16 * 32, 1));
  std::vector<uint32_t> px(64);
  for (size_t i = 0; i < px.size(); ++i) px[i] = 0x01010101u * uint32_t(i);
  Bytes png = pwtest::MakePng(8, 8, px);
  std::mt19937 rng(20261208);
  int decoded = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes b = (round % 2) ? bmp : png;
    int flips = 1 + int(rng() % 4);
    for (int f = 0; f < flips; ++f) b[rng() % b.size()] = uint8_t(rng());
    Picture p;
    bool ok = (round % 2) ? pw::image::DecodeBmp(b.data(), b.size(), p) : pw::image::DecodePng(b.data(), b.size(), p);
    if (ok) {
      ++decoded;
      ASSERT_EQ(p.pixels.size(), size_t(p.width) * size_t(p.height));
    }
  }
  EXPECT_GT(decoded, 0);
}
