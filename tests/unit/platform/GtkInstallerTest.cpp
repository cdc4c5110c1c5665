// The installer's platform pieces without a display: how the installer is started elevated,
// the busy form's colours and the busy indicator's drawing.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/gtk/BusyIndicator.h"
#include "platform/gtk/GtkInstallerForm.h"
#include "platform/gtk/GtkRuntimeInstaller.h"

namespace velloc::platform::gtk {
namespace {

namespace fs = std::filesystem;

TEST(GtkInstaller, ElevatedCommandLine) {
  using Line = std::vector<std::string>;
  EXPECT_EQ(ElevatedCommandLine("/d/VellocWebKitInstaller.sh", "/silent /install", false),
            (Line{"pkexec", "/d/VellocWebKitInstaller.sh", "/silent", "/install"}));
  EXPECT_EQ(ElevatedCommandLine("/d/VellocWebKitInstaller.sh", "/silent /install", true),
            (Line{"/d/VellocWebKitInstaller.sh", "/silent", "/install"}));
  // A path with blanks stays one argument; empty parameters add none.
  EXPECT_EQ(ElevatedCommandLine("/home/a b/i.sh", "", true), (Line{"/home/a b/i.sh"}));
  EXPECT_EQ(ElevatedCommandLine("/i.sh", "  x  y ", false), (Line{"pkexec", "/i.sh", "x", "y"}));
}

TEST(GtkInstaller, FormColours) {
  const struct {
    std::int32_t color;
    double r, g, b;
  } cases[] = {
      {0x00000000, 0, 0, 0},
      {0x00FF8000, 0, 128 / 255.0, 1},  // 0x00BBGGRR
      {0x000000FF, 1, 0, 0},
      {static_cast<std::int32_t>(0xFF00001A), 0, 0x66 / 255.0, 0xCC / 255.0},  // COLOR_HOTLIGHT
      {static_cast<std::int32_t>(0xFF00000F), 0xF0 / 255.0, 0xF0 / 255.0, 0xF0 / 255.0},
      {static_cast<std::int32_t>(0xFF0000FF), 0, 0, 0},  // no such system colour
  };
  for (const auto& c : cases) {
    // Without a theme, system colours take their classic values.
    const GdkRGBA rgba = InstallerFormColor(c.color, nullptr);
    EXPECT_DOUBLE_EQ(rgba.red, c.r) << std::hex << c.color;
    EXPECT_DOUBLE_EQ(rgba.green, c.g) << std::hex << c.color;
    EXPECT_DOUBLE_EQ(rgba.blue, c.b) << std::hex << c.color;
    EXPECT_DOUBLE_EQ(rgba.alpha, 1.0);
  }
}

// The indicator drawn on a mid-grey square: how many pixels carry the ink, and the pixels.
struct TFrame {
  int Ink = 0;
  std::vector<std::uint32_t> Pixels;
};

TFrame Draw(int type, bool white, double seconds) {
  const int size = kBusyIndicatorSize;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, size, size);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
  cairo_paint(cr);
  DrawBusyIndicator(cr, type, white, seconds);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  TFrame frame;
  const auto* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const std::uint32_t ink = white ? 0xFFFFFF : 0x000000;
  for (int y = 0; y < size; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
    for (int x = 0; x < size; ++x) {
      frame.Pixels.push_back(row[x] & 0xFFFFFF);
      if ((row[x] & 0xFFFFFF) == ink) ++frame.Ink;
    }
  }
  cairo_surface_destroy(surface);
  return frame;
}

TEST(GtkInstaller, EveryDesignDrawsInItsColourAndMoves) {
  for (const int type : {0, 1, 2}) {
    for (const bool white : {false, true}) {
      const TFrame start = Draw(type, white, 0.1);
      const TFrame later = Draw(type, white, 0.4);
      EXPECT_GT(start.Ink, 20) << "type " << type << " white " << white;
      EXPECT_NE(start.Pixels, later.Pixels) << "type " << type << " white " << white;
      // A whole turn later it looks the same again.
      if (type != 0) {
        EXPECT_EQ(Draw(type, white, 0.1 + kBusyIndicatorCycle).Pixels, start.Pixels) << type;
      }
    }
  }
  // The designs differ, and an unknown design is drawn as momentum dots.
  EXPECT_NE(Draw(0, true, 0.3).Pixels, Draw(1, true, 0.3).Pixels);
  EXPECT_NE(Draw(1, true, 0.3).Pixels, Draw(2, true, 0.3).Pixels);
  EXPECT_EQ(Draw(7, true, 0.3).Pixels, Draw(0, true, 0.3).Pixels);
}

class GtkInstallerFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velloc-installer-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    FRoot = pattern;
    FData = FRoot / "data";
    fs::create_directory(FData);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(FRoot, ec);
  }

  fs::path FRoot, FData;
  TGtkRuntimeInstaller FInstaller{false};
};

// The installer runs from a file written afresh in a folder made for this run, open to this
// user only; an installer already lying in the data folder, a link in its place included, is
// neither used nor touched.
TEST_F(GtkInstallerFiles, TheInstallerIsWrittenAfreshInAFolderOfItsOwn) {
  const std::string name = "VellocWebKitInstaller.sh";
  std::ofstream(FData / name) << "#!/bin/sh\n# placed by someone else\n";
  fs::create_symlink(FRoot / "elsewhere", FData / "installer-link");
  const std::vector<std::uint8_t> bytes = {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n', 0};
  const std::string folder = FData.string() + "/";
  const std::string first = FInstaller.WriteInstaller(folder, name, bytes);
  const std::string second = FInstaller.WriteInstaller(folder, name, bytes);
  for (const std::string& path : {first, second}) {
    ASSERT_FALSE(path.empty());
    const fs::path file(path);
    EXPECT_EQ(file.filename(), name);
    EXPECT_EQ(file.parent_path().parent_path(), FData);
    EXPECT_TRUE(file.parent_path().filename().string().starts_with("installer-")) << path;
    struct stat info {};
    ASSERT_EQ(::lstat(file.parent_path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, ::geteuid());
    ASSERT_EQ(::lstat(file.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}), bytes);
  }
  EXPECT_NE(first, second);
  std::ifstream placed(FData / name);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(placed), {}),
            "#!/bin/sh\n# placed by someone else\n");
  // A data folder it cannot write to gives no installer.
  EXPECT_EQ(FInstaller.WriteInstaller((FRoot / "missing").string() + "/", name, bytes), "");
}

// Deleting the data folder removes what the path names: a link to a folder is removed as a
// link, with or without a trailing slash, and what it points to stays whole.
TEST_F(GtkInstallerFiles, DeleteDirectoryNeverFollowsALink) {
  const fs::path target = FRoot / "target";
  const struct {
    const char* what;
    std::string path;
    bool isLink;
  } cases[] = {
      {"link with slash", (FRoot / "link").string() + "/", true},
      {"link", (FRoot / "link").string(), true},
      {"link with slashes", (FRoot / "link").string() + "//", true},
      {"folder with slash", (FRoot / "folder").string() + "/", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(FRoot / "folder");
    fs::remove(FRoot / "link");
    fs::create_directories(target / "sub");
    std::ofstream(target / "sub" / "precious") << "keep";
    fs::create_directories(FRoot / "folder" / "inner");
    std::ofstream(FRoot / "folder" / "inner" / "file") << "x";
    // A link inside the folder: removed as a link too.
    fs::create_directory_symlink(target, FRoot / "folder" / "inner" / "to-target");
    if (c.isLink) fs::create_directory_symlink(target, FRoot / "link");
    EXPECT_TRUE(FInstaller.DeleteDirectory(c.path));
    EXPECT_FALSE(fs::exists(fs::symlink_status(c.isLink ? FRoot / "link" : FRoot / "folder")));
    EXPECT_TRUE(fs::is_regular_file(target / "sub" / "precious"));
  }
  EXPECT_TRUE(FInstaller.DeleteDirectory((FRoot / "never made").string() + "/"));
}

}  // namespace
}  // namespace velloc::platform::gtk
