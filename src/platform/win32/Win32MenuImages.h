// Menu images on Win32: data decoded by the Windows Imaging Component (PNG, JPEG, BMP, GIF, ICO,
// TIFF and whatever codecs the system has), kept as one square picture of 64 by 64 pixels with
// premultiplied alpha, and handed to menus as 32-bit bitmaps of 16 by 16 pixels at 96 dpi, scaled
// to the monitor's dpi, in grey for disabled items.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <utility>
#include <vector>
#include <windows.h>

#include "platform/Menus.h"

namespace velloc::platform::win32 {

// The side of a menu image at 96 dpi, and at a dpi.
inline constexpr int kMenuImageSize = 16;
inline int MenuImageSize(UINT dpi) {
  return MulDiv(kMenuImageSize, static_cast<int>(dpi ? dpi : 96), 96);
}

// Pictures larger than this on either side are refused: their decoded frames cost far more than
// any menu is worth.
inline constexpr UINT kMaxMenuImageSide = 8192;

// Premultiplied BGRA pixels of a square picture, row by row from the top.
using TPixels = std::vector<std::uint32_t>;

// The picture scaled to `side` (area-weighted, so shrinking keeps the picture's shape), and its
// grey copy.
TPixels ScalePixels(const TPixels& source, int sourceSide, int side);
TPixels GreyPixels(TPixels pixels);

class TWin32MenuImage final : public IMenuImage {
 public:
  static constexpr int kMasterSide = 64;
  explicit TWin32MenuImage(TPixels master);
  ~TWin32MenuImage() override;
  TWin32MenuImage(const TWin32MenuImage&) = delete;
  TWin32MenuImage& operator=(const TWin32MenuImage&) = delete;

  // A 32-bit top-down DIB section of `side` pixels with premultiplied alpha, grey unless
  // `enabled`. Owned by the image and kept for later calls.
  HBITMAP Bitmap(int side, bool enabled) const;
  TPixels Pixels(int side, bool enabled) const;

 private:
  TPixels FMaster;
  mutable std::map<std::pair<int, bool>, HBITMAP> FBitmaps;
};

class TWin32MenuImageDecoder final : public IMenuImageDecoder {
 public:
  // Needs COM on the calling thread.
  TMenuImagePtr DecodeMenuImage(std::span<const std::uint8_t> data) override;
};

}  // namespace velloc::platform::win32
