// The runtime's watch on its own executable, on a real file with GLib's own main loop: a file
// renamed over the path or written in place is reported once per burst; a removal alone is not.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include <gio/gio.h>

#include "platform/gtk/GtkFileWatch.h"

namespace velloc::platform::gtk {
namespace {

namespace fs = std::filesystem;

class GtkFileWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velloc-watch-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    FFolder = pattern;
    Write(FFolder / "app", "first");
  }
  void TearDown() override { fs::remove_all(FFolder); }

  static void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  // Runs the main loop for `span`, long enough for the monitor and the quiet period.
  static void Spin(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end)
      g_main_context_iteration(nullptr, FALSE);
  }

  // Runs the main loop until `done` or a generous limit (the machine may be busy).
  static void SpinUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end)
      g_main_context_iteration(nullptr, FALSE);
  }

  fs::path FFolder;
};

TEST_F(GtkFileWatch, ReportsReplacementsAndWritesOncePerBurst) {
  int calls = 0;
  TGtkFileWatch watch((FFolder / "app").string(), [&] { ++calls; });
  Spin(std::chrono::milliseconds(200));
  EXPECT_EQ(calls, 0);

  // As velloc run replaces the executable: a new file renamed over it.
  Write(FFolder / "next", "second");
  fs::rename(FFolder / "next", FFolder / "app");
  SpinUntil([&] { return calls > 0; });
  Spin(std::chrono::milliseconds(300));
  EXPECT_EQ(calls, 1);

  // The watch goes on after a replacement; several writes close together are one change.
  for (int i = 0; i < 3; ++i)
    Write(FFolder / "app", "third " + std::to_string(i));
  SpinUntil([&] { return calls > 1; });
  Spin(std::chrono::milliseconds(300));
  EXPECT_EQ(calls, 2);

  // Gone without a successor: nothing to read, nothing to report.
  fs::remove(FFolder / "app");
  Spin(std::chrono::milliseconds(400));
  EXPECT_EQ(calls, 2);
}

TEST_F(GtkFileWatch, EndsQuietlyWithAChangePending) {
  int calls = 0;
  {
    TGtkFileWatch watch((FFolder / "app").string(), [&] { ++calls; });
    Write(FFolder / "app", "changed");
    // Long enough for the event to arrive, too short for the quiet period to end.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(30);
    while (std::chrono::steady_clock::now() < end)
      g_main_context_iteration(nullptr, FALSE);
  }
  Spin(std::chrono::milliseconds(300));
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace velloc::platform::gtk
