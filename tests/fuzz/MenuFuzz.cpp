// Arbitrary bytes as the menu JSON of a set-items call, on an empty menu and on one that has
// items, followed by updates and the drawing of the tree. Whatever arrives, nothing may crash,
// a failure must carry one of the menu texts, and the tree must keep within its bounds.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/menus/Menu.h"
#include "bridge/menus/MenuCommands.h"
#include "platform/fake/FakeMenus.h"

namespace {

using namespace velloc::bridge::menus;
using velloc::platform::TMenuEntry;

// Image names: "bad..." does not decode, "none..." is not found, anything else loads.
velloc::platform::TMenuImagePtr LoadImage(const std::string& name) {
  if (name.starts_with("bad")) throw EMenuError("undecodable");
  if (name.starts_with("none")) return nullptr;
  return std::make_shared<velloc::platform::fake::TFakeMenuImage>(name);
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// Walks the drawn tree: bounded depth and size, access keys inside their text, no separator at
// an edge or next to another.
std::size_t CheckLevel(const std::vector<TMenuEntry>& level, int depth) {
  Check(depth <= kMaxMenuDepth);
  std::size_t count = 0;
  for (std::size_t i = 0; i < level.size(); ++i) {
    const TMenuEntry& entry = level[i];
    if (entry.Separator) {
      Check(i > 0 && i + 1 < level.size() && !level[i - 1].Separator);
      continue;
    }
    Check(entry.AccessKey < static_cast<int>(entry.Text.size()));
    Check(!(entry.Clickable && entry.Submenu));
    count += 1 + CheckLevel(entry.Children, depth + 1);
  }
  return count;
}

void CheckReply(const TMenuReply& reply) {
  Check(reply.Success == reply.Failure.empty());
  Check(reply.Success || reply.Failure == "Wrong menu items JSON" ||
        reply.Failure == "Wrong menu item JSON" || reply.Failure == "Missing item ID" ||
        reply.Failure == "Wrong item ID" || reply.Failure == "No menu items");
}

void Exercise(TMenu& menu, std::string_view json) {
  try {
    CheckReply(SetMenuItems(menu, json, LoadImage));
  } catch (const EMenuError&) {
  }
  Check(CheckLevel(menu.Entries(), 1) <= kMaxMenuItems);
  // Updates with texts cut from the input.
  const std::string text(json.substr(0, 16));
  for (const TMenuItemUpdate& update :
       {TMenuItemUpdate{"0", text, "", ""}, TMenuItemUpdate{text, "u", text, text},
        TMenuItemUpdate{"1", "", "1", "img"}}) {
    try {
      CheckReply(UpdateMenuItem(menu, update, LoadImage));
    } catch (const EMenuError&) {
    }
  }
  Check(CheckLevel(menu.Entries(), 1) <= kMaxMenuItems);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view json(reinterpret_cast<const char*>(bytes), size);
  TMenu fresh("MainMenuImg");
  Exercise(fresh, json);
  TMenu filled("TrayMenuImg");
  try {
    SetMenuItems(filled, R"([{"id":1,"caption":"&File","items":[{"id":2,"caption":"-"}]}])",
                 LoadImage);
  } catch (const EMenuError&) {
  }
  Exercise(filled, json);
  return 0;
}
