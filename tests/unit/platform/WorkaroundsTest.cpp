#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "common/ScratchDir.h"
#include "platform/webkit/Workarounds.h"

namespace velloc::webkit {
namespace {

TEST(Workarounds, DmabufRendererOffOnlyForNvidiasDriverAndOnlyUnlessTheUserChose) {
  const struct {
    const char* present;  // a path below the fake root, or null
    const char* userSetting;
    bool needed;
  } cases[] = {
      {nullptr, nullptr, false},
      {"sys/module/nouveau", nullptr, false},
      {"sys/module/amdgpu", nullptr, false},
      {"sys/module/nvidia", nullptr, true},
      {"proc/driver/nvidia/version", nullptr, true},
      {"sys/module/nvidia", "0", false},  // the user's own choice, either way
      {"sys/module/nvidia", "", false},
  };
  for (const auto& c : cases) {
    velloc::testing::ScratchDir root("velloc-workarounds");
    if (c.present) {
      std::filesystem::create_directories((root.Path() / c.present).parent_path());
      std::ofstream(root.Path() / c.present) << "x";
    }
    EXPECT_EQ(NeedsDmabufWorkaround(root.Path(), c.userSetting), c.needed)
        << (c.present ? c.present : "(nothing)") << " " << (c.userSetting ? c.userSetting : "");
  }
}

}  // namespace
}  // namespace velloc::webkit
