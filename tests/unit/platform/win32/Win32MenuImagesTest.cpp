// Menu images through the Windows Imaging Component: every picture becomes square at the menu's
// size, a disabled item's copy is grey, alpha stays premultiplied, and data that is no picture
// (or a picture far too large) is refused. Needs no display.
#include <cstdint>
#include <cstring>
#include <objbase.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/Win32MenuImages.h"

namespace velloc::platform::win32 {
namespace {

// 16 by 16, every pixel RGBA (255, 0, 0, 255).
constexpr std::uint8_t kRedPng16[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1f, 0xf3, 0xff, 0x61, 0x00, 0x00, 0x00, 0x19, 0x49, 0x44, 0x41, 0x54, 0x78,
    0xda, 0x63, 0xf8, 0xcf, 0xc0, 0xf0, 0x9f, 0x12, 0xcc, 0x30, 0x6a, 0xc0, 0xa8, 0x01,
    0xa3, 0x06, 0x0c, 0x17, 0x03, 0x00, 0x30, 0xc4, 0xfe, 0x10, 0x8a, 0xc6, 0x4c, 0xe5,
    0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};
// 64 by 40, every pixel RGBA (0, 255, 0, 255).
constexpr std::uint8_t kGreenPng64x40[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x28, 0x08, 0x06, 0x00, 0x00, 0x00, 0x4e, 0xce, 0xfc,
    0xe9, 0x00, 0x00, 0x00, 0x45, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0xed, 0xd0, 0x01, 0x0d, 0x00,
    0x00, 0x0c, 0x02, 0x20, 0xfb, 0x97, 0xd6, 0x1e, 0x3f, 0xa3, 0x01, 0x49, 0x9f, 0x13, 0x20, 0x40,
    0x80, 0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x00, 0x01, 0x02, 0x04, 0x08, 0x10,
    0x20, 0x40, 0x80, 0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x00, 0x01, 0x02, 0x04,
    0x08, 0x10, 0x20, 0x40, 0x80, 0x00, 0x01, 0x02, 0xee, 0x1a, 0x12, 0xdc, 0xed, 0x1e, 0x8b, 0x76,
    0x17, 0x98, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};
// 5 by 7, every pixel RGBA (0, 0, 255, 128).
constexpr std::uint8_t kHalfBluePng5x7[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x07, 0x08, 0x06, 0x00, 0x00, 0x00, 0xc0,
    0xa7, 0x87, 0xee, 0x00, 0x00, 0x00, 0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x60,
    0x60, 0xf8, 0xdf, 0x80, 0x89, 0x07, 0x52, 0x10, 0x00, 0xde, 0x6a, 0x34, 0x5e, 0xb9, 0xd4,
    0x7d, 0xa9, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

std::vector<std::uint8_t> Bytes(const std::uint8_t* data, std::size_t size) {
  return {data, data + size};
}

// An uncompressed 24-bit BMP of one colour; its header may claim any size.
std::vector<std::uint8_t> Bmp(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                              int pixelsWritten) {
  const int rowBytes = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  std::vector<std::uint8_t> data(sizeof file + sizeof info);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(rowBytes) *
                                   static_cast<std::size_t>(pixelsWritten));
  for (std::size_t i = 0; i + 2 < pixels.size(); i += 3) {
    pixels[i] = b;
    pixels[i + 1] = g;
    pixels[i + 2] = r;
  }
  file.bfSize = static_cast<DWORD>(data.size() + pixels.size());
  std::memcpy(data.data(), &file, sizeof file);
  std::memcpy(data.data() + sizeof file, &info, sizeof info);
  data.insert(data.end(), pixels.begin(), pixels.end());
  return data;
}

struct TComThread {
  TComThread() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~TComThread() { CoUninitialize(); }
};

std::uint32_t Centre(const TPixels& pixels, int side) {
  return pixels[static_cast<std::size_t>(side / 2) * static_cast<std::size_t>(side) +
                static_cast<std::size_t>(side / 2)];
}

TEST(Win32MenuImages, EveryPictureBecomesMenuSizedWithAGreyCopy) {
  const TComThread com;
  const struct {
    const char* Name;
    std::vector<std::uint8_t> Data;
    std::uint32_t Pixel;  // premultiplied 0xAARRGGBB at the centre
  } cases[] = {
      {"16 by 16 PNG", Bytes(kRedPng16, sizeof kRedPng16), 0xFFFF0000u},
      {"larger and not square", Bytes(kGreenPng64x40, sizeof kGreenPng64x40), 0xFF00FF00u},
      {"smaller, half transparent", Bytes(kHalfBluePng5x7, sizeof kHalfBluePng5x7), 0x80000080u},
      {"BMP", Bmp(24, 24, 0, 0, 255, 24), 0xFF0000FFu},
  };
  TWin32MenuImageDecoder decoder;
  for (const auto& c : cases) {
    const TMenuImagePtr image = decoder.DecodeMenuImage(c.Data);
    ASSERT_TRUE(image) << c.Name;
    const auto& win32 = dynamic_cast<const TWin32MenuImage&>(*image);
    for (const int side : {16, 20, 24, 32}) {  // 96, 120, 144 and 192 dpi
      const TPixels enabled = win32.Pixels(side, true);
      ASSERT_EQ(enabled.size(), static_cast<std::size_t>(side * side)) << c.Name;
      EXPECT_NEAR(static_cast<double>(Centre(enabled, side) >> 24), c.Pixel >> 24, 1) << c.Name;
      EXPECT_EQ(Centre(enabled, side) & 0x00FFFFFFu, c.Pixel & 0x00FFFFFFu) << c.Name << side;
      // Grey, within the alpha, for a disabled item.
      const std::uint32_t grey = Centre(win32.Pixels(side, false), side);
      const std::uint32_t r = (grey >> 16) & 0xFF, g = (grey >> 8) & 0xFF, b = grey & 0xFF;
      EXPECT_TRUE(r == g && g == b && r > 0 && r <= (grey >> 24)) << c.Name << std::hex << grey;
      // The menus' bitmaps: 32 bits, of the side asked for, kept for the next call.
      HBITMAP bitmap = win32.Bitmap(side, true);
      BITMAP info{};
      ASSERT_TRUE(bitmap && GetObjectW(bitmap, sizeof info, &info)) << c.Name;
      EXPECT_EQ(info.bmWidth, side);
      EXPECT_EQ(info.bmBitsPixel, 32);
      EXPECT_EQ(win32.Bitmap(side, true), bitmap);
      EXPECT_NE(win32.Bitmap(side, false), bitmap);
    }
    EXPECT_EQ(MenuImageSize(96), 16);
    EXPECT_EQ(MenuImageSize(144), 24);
  }
}

TEST(Win32MenuImages, ScalingKeepsThePictureAndItsAlpha) {
  // Left half opaque white, right half transparent: shrunk to two pixels, then grown to eight.
  TPixels source(64 * 64, 0);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 32; ++x)
      source[static_cast<std::size_t>(y * 64 + x)] = 0xFFFFFFFFu;
  const TPixels two = ScalePixels(source, 64, 2);
  EXPECT_EQ(two, (TPixels{0xFFFFFFFFu, 0u, 0xFFFFFFFFu, 0u}));
  const TPixels eight = ScalePixels(two, 2, 8);
  EXPECT_EQ(eight[0], 0xFFFFFFFFu);
  EXPECT_EQ(eight[7], 0u);
  // Premultiplied grey stays within its alpha.
  EXPECT_EQ(GreyPixels({0x80800000u})[0], 0x80262626u);
}

TEST(Win32MenuImages, DataThatIsNoPictureIsRefused) {
  const TComThread com;
  std::vector<std::uint8_t> truncated = Bytes(kRedPng16, sizeof kRedPng16);
  truncated.resize(truncated.size() / 2);
  const std::string text = "not an image";
  const std::vector<std::vector<std::uint8_t>> cases = {
      {text.begin(), text.end()},
      {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'},
      truncated,
      {},
      // A header that claims 20000 pixels a side: refused before any of it is decoded.
      Bmp(20000, 4, 255, 0, 0, 4),
  };
  TWin32MenuImageDecoder decoder;
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_FALSE(decoder.DecodeMenuImage(cases[i])) << i;
}

}  // namespace
}  // namespace velloc::platform::win32
