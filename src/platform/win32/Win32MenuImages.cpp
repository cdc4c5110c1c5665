#include "platform/win32/Win32MenuImages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <wincodec.h>

#include <wrl/client.h>

namespace velloc::platform::win32 {
namespace {

using Microsoft::WRL::ComPtr;

// Frames larger than this on a side go through the codec's own scaler first, so a large picture
// is never held whole.
constexpr UINT kLargestCopiedSide = 256;
// An icon file or an animation offers several frames: the largest of the first few is taken.
constexpr UINT kFramesLooked = 32;

// For one axis: which source pixels each target pixel covers, and by how much.
struct TSpan {
  int First = 0;
  std::vector<double> Weights;
};

std::vector<TSpan> Spans(int sourceLength, int targetLength) {
  std::vector<TSpan> spans(static_cast<std::size_t>(targetLength));
  const double scale = static_cast<double>(sourceLength) / targetLength;
  for (int i = 0; i < targetLength; ++i) {
    const double from = i * scale, to = (i + 1) * scale;
    TSpan& span = spans[static_cast<std::size_t>(i)];
    span.First = static_cast<int>(std::floor(from));
    const int last = std::min(sourceLength - 1, static_cast<int>(std::ceil(to)) - 1);
    for (int s = span.First; s <= last; ++s) {
      const double covered = std::min<double>(to, s + 1) - std::max<double>(from, s);
      span.Weights.push_back(std::max(0.0, covered) / scale);
    }
  }
  return spans;
}

TPixels Scale(const TPixels& source, int sourceWidth, int sourceHeight, int width, int height) {
  const std::vector<TSpan> columns = Spans(sourceWidth, width);
  const std::vector<TSpan> rows = Spans(sourceHeight, height);
  TPixels target(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const TSpan& row = rows[static_cast<std::size_t>(y)];
    for (int x = 0; x < width; ++x) {
      const TSpan& column = columns[static_cast<std::size_t>(x)];
      double sum[4] = {};
      for (std::size_t j = 0; j < row.Weights.size(); ++j) {
        const std::size_t line = static_cast<std::size_t>(row.First + static_cast<int>(j)) *
                                 static_cast<std::size_t>(sourceWidth);
        for (std::size_t i = 0; i < column.Weights.size(); ++i) {
          const std::uint32_t pixel =
              source[line + static_cast<std::size_t>(column.First + static_cast<int>(i))];
          const double weight = row.Weights[j] * column.Weights[i];
          for (int c = 0; c < 4; ++c)
            sum[c] += weight * ((pixel >> (8 * c)) & 0xFF);
        }
      }
      std::uint32_t out = 0;
      for (int c = 0; c < 4; ++c) {
        const auto value = static_cast<std::uint32_t>(std::clamp(std::lround(sum[c]), 0L, 255L));
        out |= value << (8 * c);
      }
      target[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
             static_cast<std::size_t>(x)] = out;
    }
  }
  return target;
}

// The frame as premultiplied BGRA pixels, at most kLargestCopiedSide on a side.
bool CopyFrame(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame, TPixels& pixels,
               UINT& width, UINT& height) {
  if (FAILED(frame.GetSize(&width, &height)) || width == 0 || height == 0 ||
      width > kMaxMenuImageSide || height > kMaxMenuImageSide)
    return false;
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory.CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(&frame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom)))
    return false;
  ComPtr<IWICBitmapSource> source = converter;
  if (width > kLargestCopiedSide || height > kLargestCopiedSide) {
    width = std::min(width, kLargestCopiedSide);
    height = std::min(height, kLargestCopiedSide);
    ComPtr<IWICBitmapScaler> scaler;
    if (FAILED(factory.CreateBitmapScaler(&scaler)) ||
        FAILED(scaler->Initialize(converter.Get(), width, height, WICBitmapInterpolationModeFant)))
      return false;
    source = scaler;
  }
  pixels.assign(static_cast<std::size_t>(width) * height, 0);
  return SUCCEEDED(source->CopyPixels(nullptr, width * 4, width * height * 4,
                                      reinterpret_cast<BYTE*>(pixels.data())));
}

}  // namespace

TPixels ScalePixels(const TPixels& source, int sourceSide, int side) {
  return Scale(source, sourceSide, sourceSide, side, side);
}

TPixels GreyPixels(TPixels pixels) {
  for (std::uint32_t& pixel : pixels) {
    // Premultiplied: the grey of the colours stays within the alpha.
    const double b = pixel & 0xFF, g = (pixel >> 8) & 0xFF, r = (pixel >> 16) & 0xFF;
    const auto grey = static_cast<std::uint32_t>(std::lround(0.299 * r + 0.587 * g + 0.114 * b));
    pixel = (pixel & 0xFF000000u) | (grey << 16) | (grey << 8) | grey;
  }
  return pixels;
}

TWin32MenuImage::TWin32MenuImage(TPixels master) : FMaster(std::move(master)) {}

TWin32MenuImage::~TWin32MenuImage() {
  for (const auto& [key, bitmap] : FBitmaps)
    DeleteObject(bitmap);
}

TPixels TWin32MenuImage::Pixels(int side, bool enabled) const {
  TPixels pixels = ScalePixels(FMaster, kMasterSide, side);
  return enabled ? pixels : GreyPixels(std::move(pixels));
}

HBITMAP TWin32MenuImage::Bitmap(int side, bool enabled) const {
  side = std::clamp(side, 1, 1024);
  HBITMAP& bitmap = FBitmaps[{side, enabled}];
  if (bitmap) return bitmap;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = side;
  info.bmiHeader.biHeight = -side;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    FBitmaps.erase({side, enabled});
    return nullptr;
  }
  const TPixels pixels = Pixels(side, enabled);
  std::memcpy(bits, pixels.data(), pixels.size() * sizeof pixels[0]);
  GdiFlush();
  return bitmap;
}

TMenuImagePtr TWin32MenuImageDecoder::DecodeMenuImage(std::span<const std::uint8_t> data) {
  if (data.empty() || data.size() > MAXDWORD) return nullptr;
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&factory))))
    return nullptr;
  ComPtr<IWICStream> stream;
  if (FAILED(factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data.data()),
                                          static_cast<DWORD>(data.size()))))
    return nullptr;
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              &decoder)))
    return nullptr;
  UINT frames = 0;
  if (FAILED(decoder->GetFrameCount(&frames)) || frames == 0) return nullptr;
  ComPtr<IWICBitmapFrameDecode> best;
  UINT64 bestArea = 0;
  for (UINT i = 0; i < std::min(frames, kFramesLooked); ++i) {
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    if (FAILED(decoder->GetFrame(i, &frame)) || FAILED(frame->GetSize(&width, &height))) continue;
    const UINT64 area = static_cast<UINT64>(width) * height;
    if (!best || area > bestArea) {
      best = frame;
      bestArea = area;
    }
  }
  if (!best) return nullptr;
  TPixels pixels;
  UINT width = 0, height = 0;
  if (!CopyFrame(*factory.Get(), *best.Get(), pixels, width, height)) return nullptr;
  // Every picture becomes square, as an image list shows it: smaller ones are stretched too.
  return std::make_shared<TWin32MenuImage>(
      Scale(pixels, static_cast<int>(width), static_cast<int>(height), TWin32MenuImage::kMasterSide,
            TWin32MenuImage::kMasterSide));
}

}  // namespace velloc::platform::win32
