// The drawn button: animation strip frames and their transparency, the
// idle icon, the marks and the count, read back from the pixels of the
// bitmap drawn into, with and without a host.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "FakeHost.h"
#include "InProcessPlugin.h"
#include "core/AnimationStrip.h"
#include "core/Notifier.h"
#include "image/PictureBytes.h"
#include "support/Services.h"

using pwtest::AccountSpec;
using pwtest::InProcessPlugin;

namespace {

constexpr uint32_t kGrey = 0x808080;
constexpr uint32_t kMagenta = 0xFF00FF;

// A 32-bit top-down bitmap filled with one colour, selected into a DC.
class Canvas {
 public:
  Canvas(int w, int h, uint32_t fill = kGrey) : w_(w), h_(h) {
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB};
    bitmap_.Reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0));
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bitmap_.Get());
    for (int i = 0; i < w * h; ++i) bits_[i] = fill;
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  HDC Dc() const { return dc_; }
  uint32_t At(int x, int y) const {
    GdiFlush();
    return bits_[y * w_ + x] & 0xFFFFFF;
  }
  int W() const { return w_; }
  int H() const { return h_; }
  // Pixels inside [x0,x1) x [y0,y1) that satisfy pred.
  template <typename Pred>
  int Count(int x0, int y0, int x1, int y1, Pred pred) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += pred(At(x, y)) ? 1 : 0;
    return n;
  }
  template <typename Pred>
  int CountAll(Pred pred) const { return Count(0, 0, w_, h_, pred); }
  // As a 24-bit BMP file, scaled up by `zoom`.
  bool SaveBmp(const std::wstring& path, int zoom) const {
    const int w = w_ * zoom, h = h_ * zoom, stride = (w * 3 + 3) / 4 * 4;
    std::vector<uint8_t> bits(size_t(stride) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint32_t c = At(x / zoom, y / zoom);
        uint8_t* p = &bits[size_t(h - 1 - y) * stride + x * 3];
        p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
      }
    BITMAPINFOHEADER ih = {sizeof(ih), w, h, 1, 24, BI_RGB, DWORD(bits.size())};
    BITMAPFILEHEADER fh = {0x4D42, DWORD(sizeof(fh) + sizeof(ih) + bits.size()), 0, 0,
                           DWORD(sizeof(fh) + sizeof(ih))};
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    fwrite(&fh, sizeof(fh), 1, f);
    fwrite(&ih, sizeof(ih), 1, f);
    fwrite(bits.data(), 1, bits.size(), f);
    return fclose(f) == 0;
  }

 private:
  int w_, h_;
  uint32_t* bits_ = nullptr;
  pw::ScopedBitmap bitmap_;
  HDC dc_;
  HGDIOBJ old_;
};

bool IsDark(uint32_t c) { return (c & 0xFF) < 0x30 && ((c >> 8) & 0xFF) < 0x30 && ((c >> 16) & 0xFF) < 0x30; }

// A 16 x 96 strip: frame k's rows use palette entry k + 1; the first pixel
// of each frame is entry 0, magenta.
pw::image::Picture Strip16x96() {
  std::vector<uint32_t> palette = {0xFF00FF, 0x100000, 0x200000, 0x300000, 0x400000, 0x500000, 0x600000};
  std::vector<uint8_t> idx(16 * 96);
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 16; ++x) idx[y * 16 + x] = uint8_t(y % 16 == 0 && x == 0 ? 0 : y / 16 + 1);
  pwtest::Bytes b = pwtest::MakeBmp8(16, 96, palette, idx);
  pw::image::Picture p;
  EXPECT_TRUE(pw::image::DecodeBmp(b.data(), b.size(), p));
  return p;
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

bool WriteFile(const std::wstring& path, const pwtest::Bytes& b) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return false;
  fwrite(b.data(), 1, b.size(), f);
  return fclose(f) == 0;
}

}  // namespace

TEST(Strip, FramesOfA16x96StripAndTheKeyColours) {
  pw::AnimationStrip strip;
  ASSERT_TRUE(strip.Assign(Strip16x96()));
  EXPECT_EQ(strip.Frames(), 6u);
  EXPECT_EQ(strip.Pitch(), 16);
  EXPECT_EQ(strip.FrameTop(2), 32);
  EXPECT_EQ(strip.FrameTop(8), 32);  // frames wrap
  Canvas c(16, 16);
  strip.DrawFrame(c.Dc(), 0, 0, 2);
  EXPECT_EQ(c.At(0, 0), kGrey);  // magenta is not painted
  EXPECT_EQ(c.Count(0, 0, 16, 16, [](uint32_t p) { return p == 0x300000; }), 16 * 16 - 1);

  // Without magenta in the table, its nearest entry is the key colour.
  std::vector<uint32_t> palette = {0xF800F8, 0x00FF00, 0x0000FF};
  std::vector<uint8_t> idx = {0, 1, 2, 1};
  pwtest::Bytes b = pwtest::MakeBmp8(2, 2, palette, idx);
  pw::image::Picture p;
  ASSERT_TRUE(pw::image::DecodeBmp(b.data(), b.size(), p));
  EXPECT_EQ(pw::NearestToMagenta(p), 0xF800F8u);
  ASSERT_TRUE(strip.Assign(p));
  Canvas d(2, 2);
  strip.DrawFrame(d.Dc(), 0, 0, 0);
  EXPECT_EQ(d.At(0, 0), kGrey);
  EXPECT_EQ(d.At(1, 0), 0x00FF00u);
  EXPECT_EQ(d.At(0, 1), 0x0000FFu);
}

TEST(Strip, WiderThanHighHasOneFrame) {
  EXPECT_EQ(pw::AnimationStrip::FrameCount(32, 16), 1u);
  EXPECT_EQ(pw::AnimationStrip::FrameCount(16, 31), 1u);
  EXPECT_EQ(pw::AnimationStrip::FrameCount(16, 48), 3u);
  pwtest::Bytes b = pwtest::MakeBmp8(32, 16, {0xFF00FF, 0x00FF00}, std::vector<uint8_t>(32 * 16, 1));
  pw::image::Picture p;
  ASSERT_TRUE(pw::image::DecodeBmp(b.data(), b.size(), p));
  pw::AnimationStrip strip;
  ASSERT_TRUE(strip.Assign(p));
  EXPECT_EQ(strip.Frames(), 1u);
  Canvas c(40, 40);
  strip.DrawFrame(c.Dc(), 0, 0, 5);
  // The frame is cut to the rows the strip has.
  EXPECT_EQ(c.Count(0, 0, 40, 40, [](uint32_t v) { return v == 0x00FF00; }), 32 * 16);
}

TEST(Strip, FilesByExtensionElseTheDefaults) {
  // An 8 x 24 PNG strip keeps its alpha; a file that is not a picture, and
  // a missing one, fall back to the default strips silently.
  std::vector<uint32_t> px(8 * 24, 0xFF00FF00);
  px[0] = 0x00FF00FF;  // transparent by alpha, not by colour
  const std::wstring png = TempFile(L"pw-strip.PNG"), junk = TempFile(L"pw-strip.bmp");
  ASSERT_TRUE(WriteFile(png, pwtest::MakePng(8, 24, px)));
  ASSERT_TRUE(WriteFile(junk, {'B', 'M', 1, 2, 3}));
  static std::wstring s_small, s_large;
  s_small = png, s_large = junk;
  InProcessPlugin plugin({}, [](pw::SettingsTree& t) {
    t.SetString(L"smallAnim", s_small.c_str());
    t.SetString(L"largeAnim", s_large.c_str());
  });
  EXPECT_EQ(plugin->Strip(false).Width(), 8);
  EXPECT_EQ(plugin->Strip(false).Frames(), 3u);
  EXPECT_EQ(plugin->Strip(true).Width(), 32);
  EXPECT_GT(plugin->Strip(true).Frames(), 1u);
  Canvas c(8, 8);
  plugin->Strip(false).DrawFrame(c.Dc(), 0, 0, 1);
  EXPECT_EQ(c.At(0, 0), 0x00FF00u);  // frame 1: the alpha-0 pixel is in frame 0
  plugin->Strip(false).DrawFrame(c.Dc(), 0, 0, 0);
  EXPECT_EQ(c.At(0, 0), 0x00FF00u);  // unchanged under the transparent pixel

  lstrcpyW(plugin->Settings().smallAnim, L"Z:\\nonexistent\\anim.bmp");
  pw::Notifier::LoadAnimationStrips(*plugin);
  EXPECT_EQ(plugin->Strip(false).Width(), 16);
  EXPECT_GT(plugin->Strip(false).Frames(), 1u);
  DeleteFileW(png.c_str());
  DeleteFileW(junk.c_str());
}

TEST(Button, WithoutHostTheSmallStripAtTheOriginAndTheCount) {
  InProcessPlugin plugin({{L"Home", {100, 200, 300}}});
  const RECT rect = {40, 40, 80, 80};  // without a host the origin is (0, 0)
  plugin->SetButtonFlags(1);
  Canvas c(48, 48);
  plugin->Draw(c.Dc(), &rect);
  EXPECT_EQ(c.CountAll([](uint32_t p) { return p == kMagenta; }), 0);
  EXPECT_GT(c.Count(0, 0, 16, 16, [](uint32_t p) { return p != kGrey; }), 40);
  // Nothing lands outside the 16 x 16 frame and the count's rectangle,
  // which starts at the button's top.
  EXPECT_EQ(c.Count(19, 0, 48, 48, [](uint32_t p) { return p != kGrey; }), 0);
  EXPECT_EQ(c.Count(0, 16, 19, 40, [](uint32_t p) { return p != kGrey; }), 0);
  EXPECT_GT(c.Count(0, 40, 19, 48, IsDark), 0);
}

TEST(Button, WithHostLargeStripMarksAndNoCountWhenSwitchedOff) {
  pwtest::FakeHost host;
  host.iconSize = 32;
  host.flags = dockrail::kButtonLarge;
  host.offset = {3, 4};
  InProcessPlugin plugin({{L"Home", {100, 200}}, {L"Work", {}}});
  plugin->SetHost(&host);
  const RECT rect = {10, 20, 60, 70};
  const int32_t r[4] = {10, 20, 60, 70};
  plugin->SetButtonRect(r);
  // Origin (13, 24): the 32 px strip fills (13..44, 24..55).
  plugin->SetButtonFlags(1);
  {
    Canvas c(80, 80);
    plugin->Draw(c.Dc(), &rect);
    EXPECT_EQ(c.CountAll([](uint32_t p) { return p == kMagenta; }), 0);
    EXPECT_GT(c.Count(13, 24, 45, 56, [](uint32_t p) { return p != kGrey; }), 200);
    EXPECT_EQ(c.Count(0, 0, 13, 80, [](uint32_t p) { return p != kGrey; }), 0);
    EXPECT_EQ(c.Count(0, 57, 80, 80, [](uint32_t p) { return p != kGrey; }), 0);
    // Count rectangle: x 13..45 (+2), y 20..32 (+2).
    EXPECT_GT(c.Count(13, 20, 48, 35, IsDark), 0);
  }
  plugin->Settings().showMsgNum = 0;
  {
    Canvas c(80, 80);
    plugin->Draw(c.Dc(), &rect);
    EXPECT_EQ(c.CountAll(IsDark), 0);
  }
  // A failed check: red mark, 16 px, at (13 + 32 - 16, 24 + 32 - 16).
  plugin->SetButtonFlags(3);
  auto red = [](uint32_t p) { return p == 0xC81E1E; };
  {
    Canvas c(80, 80);
    plugin->Draw(c.Dc(), &rect);
    EXPECT_GT(c.Count(29, 40, 45, 56, red), 20);
    EXPECT_EQ(c.Count(0, 0, 29, 80, red), 0);
  }
  // Paused: the idle icon under the blue pause mark, no animation.
  plugin->Settings().pause = 1;
  auto blue = [](uint32_t p) { return p == 0x285AC8; };
  {
    Canvas c(80, 80);
    plugin->Draw(c.Dc(), &rect);
    EXPECT_GT(c.Count(29, 40, 45, 56, blue), 20);
    EXPECT_EQ(c.Count(29, 40, 45, 56, red), 0);
    EXPECT_GT(c.Count(13, 24, 45, 56, [](uint32_t p) { return p != kGrey; }), 200);
    EXPECT_EQ(c.CountAll([](uint32_t p) { return p == kMagenta; }), 0);
  }
  plugin->SetHost(nullptr);
}

TEST(Button, IconNotificationAndTheIdleIcon) {
  pwtest::FakeHost host;
  host.iconSize = 16;
  InProcessPlugin plugin({{L"Home", {10}}});
  plugin->SetHost(&host);
  plugin->Settings().showMsgNum = 0;
  const RECT rect = {0, 0, 24, 24};
  auto drawn = [&](uint32_t flags) {
    plugin->SetButtonFlags(flags);
    Canvas c(24, 24);
    plugin->Draw(c.Dc(), &rect);
    std::vector<uint32_t> px;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x) px.push_back(c.At(x, y));
    return px;
  };
  const auto idle = drawn(0);
  const auto animated = drawn(1);
  EXPECT_NE(idle, animated);
  // A notification icon that cannot be extracted falls back to icon 103,
  // which is also the idle icon here.
  plugin->Settings().useIconNotify = 1;
  lstrcpyW(plugin->Settings().notifyIcon, L"Z:\\nonexistent\\icons.dll,3");
  EXPECT_EQ(drawn(1), idle);
  lstrcpyW(plugin->Settings().iconLocation, L"Z:\\nonexistent\\other.ico,0");
  EXPECT_EQ(drawn(0), idle);
  plugin->SetHost(nullptr);
}

TEST(Button, ScreenshotWithNewMail) {
  pwtest::FakeHost host;
  host.iconSize = 32;
  host.flags = dockrail::kButtonLarge;
  host.offset = {8, 8};
  InProcessPlugin plugin({{L"Home", {1200, 800, 4000}}, {L"Work", {300, 300, 300, 300}}});
  plugin->SetHost(&host);
  const int32_t r[4] = {0, 0, 48, 48};
  plugin->SetButtonRect(r);
  plugin->SetButtonFlags(1);
  const RECT rect = {0, 0, 48, 48};
  Canvas c(48, 48, 0xD4D0C8);
  plugin->Draw(c.Dc(), &rect);
  EXPECT_GT(c.Count(0, 0, 48, 20, IsDark), 0);
  const std::string dir = PW_BINARY_DIR "/artifacts";
  CreateDirectoryW(pwtest::WindowsPath(dir).c_str(), nullptr);
  const std::string file = dir + "/button-newmail.bmp";
  ASSERT_TRUE(c.SaveBmp(pwtest::WindowsPath(file), 4));
  std::cout << "button screenshot: " << file << std::endl;
  plugin->SetHost(nullptr);
}
