// Menu images decoded by gdk-pixbuf: every picture becomes 16 by 16, a disabled item gets a grey
// copy, and data that is no picture is refused. Needs no display.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gtk/GLibPtr.h"
#include "platform/gtk/GtkMenuImageDecoder.h"

namespace velloc::platform::gtk {
namespace {

std::vector<std::uint8_t> Png(int width, int height, guint32 rgba) {
  glib::TObjectPtr<GdkPixbuf> pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height));
  gdk_pixbuf_fill(pixbuf.Get(), rgba);
  glib::TGFree<gchar> buffer;
  gsize size = 0;
  EXPECT_TRUE(
      gdk_pixbuf_save_to_buffer(pixbuf.Get(), buffer.Out(), &size, "png", nullptr, nullptr));
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.Get());
  return {bytes, bytes + size};
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

struct TPicture {
  int Width = 0;
  int Height = 0;
  std::uint8_t R = 0, G = 0, B = 0;  // the centre pixel
};

TPicture Read(const std::vector<std::uint8_t>& png) {
  glib::TObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new());
  EXPECT_TRUE(gdk_pixbuf_loader_write(loader.Get(), png.data(), png.size(), nullptr));
  EXPECT_TRUE(gdk_pixbuf_loader_close(loader.Get(), nullptr));
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.Get());
  if (!pixbuf) return {};
  TPicture picture{gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf)};
  const guint8* pixels = gdk_pixbuf_read_pixels(pixbuf);
  const guint8* centre = pixels + (picture.Height / 2) * gdk_pixbuf_get_rowstride(pixbuf) +
                         (picture.Width / 2) * gdk_pixbuf_get_n_channels(pixbuf);
  picture.R = centre[0];
  picture.G = centre[1];
  picture.B = centre[2];
  return picture;
}

TEST(GtkMenuImage, EveryPictureBecomesMenuSized) {
  const struct {
    const char* Name;
    std::vector<std::uint8_t> Data;
  } cases[] = {
      {"16 by 16", Png(16, 16, 0xff0000ffU)},
      {"larger", Png(64, 40, 0xff0000ffU)},
      {"smaller", Png(5, 7, 0xff0000ffU)},
  };
  TGtkMenuImageDecoder decoder;
  for (const auto& c : cases) {
    const TMenuImagePtr image = decoder.DecodeMenuImage(c.Data);
    ASSERT_TRUE(image) << c.Name;
    const auto* gtkImage = dynamic_cast<const TGtkMenuImage*>(image.get());
    ASSERT_NE(gtkImage, nullptr);
    const TPicture enabled = Read(gtkImage->Png(true));
    EXPECT_EQ(enabled.Width, kMenuImageSize) << c.Name;
    EXPECT_EQ(enabled.Height, kMenuImageSize) << c.Name;
    EXPECT_EQ(enabled.R, 255) << c.Name;
    EXPECT_EQ(enabled.G, 0) << c.Name;
    // A disabled item's picture is grey.
    const TPicture disabled = Read(gtkImage->Png(false));
    EXPECT_EQ(disabled.Width, kMenuImageSize) << c.Name;
    EXPECT_TRUE(disabled.R == disabled.G && disabled.G == disabled.B) << c.Name;
    EXPECT_GT(disabled.R, 0) << c.Name;
  }
}

TEST(GtkMenuImage, SvgIsDecodedWhereTheLoaderIsInstalled) {
  const std::vector<std::uint8_t> svg = Bytes(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" height=\"100\">"
      "<rect width=\"200\" height=\"100\" fill=\"#00ff00\"/></svg>");
  TGtkMenuImageDecoder decoder;
  const TMenuImagePtr image = decoder.DecodeMenuImage(svg);
  if (!image) GTEST_SKIP() << "no SVG loader for gdk-pixbuf (librsvg2-common)";
  const TPicture picture = Read(dynamic_cast<const TGtkMenuImage&>(*image).Png(true));
  EXPECT_EQ(picture.Width, kMenuImageSize);
  EXPECT_EQ(picture.G, 255);
}

TEST(GtkMenuImage, DataThatIsNoPictureIsRefused) {
  std::vector<std::uint8_t> truncated = Png(16, 16, 0x0000ffffU);
  truncated.resize(truncated.size() / 2);
  std::vector<std::uint8_t> corrupt = Png(16, 16, 0x0000ffffU);
  for (std::size_t i = 40; i < corrupt.size(); i += 3)
    corrupt[i] ^= 0x5A;
  const std::vector<std::uint8_t> cases[] = {
      Bytes("not an image"), Bytes("\x89PNG\r\n\x1a\n"), truncated, corrupt, Bytes("<html></html>"),
  };
  TGtkMenuImageDecoder decoder;
  for (const auto& data : cases)
    EXPECT_FALSE(decoder.DecodeMenuImage(data)) << data.size();
}

}  // namespace
}  // namespace velloc::platform::gtk
