#include "bridge/menus/MenuCommands.h"

#include <algorithm>
#include <optional>
#include <string>

#include <rapidjson/document.h>

#include "core/IntText.h"

namespace velloc::bridge::menus {
namespace {

using TJson = rapidjson::Value;

// Numbers keep the text they were written with; parsing is iterative so that deep nesting
// cannot exhaust the stack; broken UTF-8 does not parse.
constexpr unsigned kParseFlags = rapidjson::kParseNumbersAsStringsFlag |
                                 rapidjson::kParseIterativeFlag |
                                 rapidjson::kParseValidateEncodingFlag;

const TMenuReply kTrue{};
const TMenuReply kWrongItemsJson{false, "Wrong menu items JSON"};
const TMenuReply kWrongItemJson{false, "Wrong menu item JSON"};

// A member counts when it holds a string, number, boolean or null, as its text; objects and
// arrays count as absent.
std::optional<std::string> MemberText(const TJson& object, const char* name) {
  const auto it = object.FindMember(name);
  if (it == object.MemberEnd()) return std::nullopt;
  const TJson& value = it->value;
  if (value.IsString()) return std::string(value.GetString(), value.GetStringLength());
  if (value.IsBool()) return value.GetBool() ? "true" : "false";
  if (value.IsNull()) return "null";
  if (value.IsInt64()) return std::to_string(value.GetInt64());
  if (value.IsUint64()) return std::to_string(value.GetUint64());
  if (value.IsNumber()) return std::to_string(value.GetDouble());
  return std::nullopt;
}

bool BooleanText(const std::string& text) {
  const std::optional<bool> value = text::TryStrToBool(text);
  if (!value) throw EMenuError("'" + text + "' is not a boolean");
  return *value;
}

void SetImage(TMenu& menu, TMenuItem& item, const std::string& image,
              const TImageLoader& loadImage) {
  platform::TMenuImagePtr loaded = loadImage(image);
  if (!loaded) return;
  const int previous = item.ImageIndex;
  item.ImageIndex = menu.AddImage(std::move(loaded));
  menu.ReleaseUnusedImage(previous);
}

class TBuilder {
 public:
  TBuilder(TMenu& menu, const TImageLoader& loadImage) : FMenu(menu), FLoadImage(loadImage) {}

  // False when the element is a broken item: the call then fails with "Wrong menu item JSON".
  bool Build(TMenuItem& item, const TJson& element, int depth) {
    if (!element.IsObject()) throw EMenuError("a menu item is not a JSON object");
    if (++FCount > kMaxMenuItems) return false;
    const std::optional<std::string> caption = MemberText(element, "caption");
    const std::optional<std::string> id = MemberText(element, "id");
    if (!caption || !id) return false;
    item.Tag = text::TryStrToInt(*id).value_or(0);
    item.Caption = *caption;
    if (const auto enabled = MemberText(element, "enabled")) item.Enabled = BooleanText(*enabled);
    if (const auto image = MemberText(element, "image")) SetImage(FMenu, item, *image, FLoadImage);

    const auto children = element.FindMember("items");
    if (children == element.MemberEnd()) {
      item.HasClick = true;
      return true;
    }
    if (!children->value.IsArray()) return false;
    if (depth >= kMaxMenuDepth && !children->value.Empty()) return false;
    item.HasSubmenu = true;
    item.Items.reserve(std::min<std::size_t>(children->value.Size(), kMaxMenuItems));
    for (const TJson& child : children->value.GetArray()) {
      item.Items.emplace_back();
      if (!Build(item.Items.back(), child, depth + 1)) return false;
    }
    return true;
  }

 private:
  TMenu& FMenu;
  const TImageLoader& FLoadImage;
  std::size_t FCount = 0;
};

}  // namespace

TMenuReply SetMenuItems(TMenu& menu, std::string_view itemsText, const TImageLoader& loadImage) {
  rapidjson::Document document;
  document.Parse<kParseFlags>(itemsText.data(), itemsText.size());
  if (document.HasParseError() || !document.IsArray()) {
    menu.ClearItems();
    return kWrongItemsJson;
  }
  const TJson& items = document;
  // A menu that has items is only replaced after it was cleared with an empty list.
  if (!menu.Items().empty() && !items.Empty()) return kTrue;

  menu.ClearItems();
  menu.ClearImages();
  if (items.Size() > kMaxMenuItems) return kWrongItemJson;
  TBuilder builder(menu, loadImage);
  menu.Items().reserve(items.Size());
  for (const TJson& element : items.GetArray()) {
    menu.Items().emplace_back();
    if (!builder.Build(menu.Items().back(), element, 1)) {
      menu.ClearItems();
      return kWrongItemJson;
    }
  }
  return kTrue;
}

TMenuReply UpdateMenuItem(TMenu& menu, const TMenuItemUpdate& update,
                          const TImageLoader& loadImage) {
  if (update.Id.empty()) return {false, "Missing item ID"};
  const std::optional<std::int32_t> id = text::TryStrToInt(update.Id);
  if (!id || *id == -1) return {false, "Wrong item ID"};
  if (menu.Items().empty()) return {false, "No menu items"};

  TMenuItem* item = menu.FindItem(*id);
  if (!item) return kTrue;
  if (!update.Caption.empty()) item->Caption = update.Caption;
  if (!update.Enabled.empty()) item->Enabled = BooleanText(update.Enabled);
  if (!update.Image.empty()) SetImage(menu, *item, update.Image, loadImage);
  return kTrue;
}

}  // namespace velloc::bridge::menus
