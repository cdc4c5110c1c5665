#include "bridge/menus/Menu.h"

#include <algorithm>
#include <set>
#include <utility>

namespace velloc::bridge::menus {
namespace {

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Length of the UTF-8 sequence that starts with `lead` (1 for bytes that start none).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

// The key an access key character stands for: ASCII letters without case, any other character
// as its bytes.
std::string KeyAt(const std::string& text, int offset) {
  const auto at = static_cast<std::size_t>(offset);
  const std::size_t length =
      std::min(SequenceLength(static_cast<unsigned char>(text[at])), text.size() - at);
  if (length == 1) return std::string(1, AsciiUpper(text[at]));
  return text.substr(at, length);
}

using TImages = std::vector<TMenuImageEntry>;

void AppendLevel(const std::vector<TMenuItem>& items, const TImages& images,
                 std::vector<platform::TMenuEntry>& level);

platform::TMenuEntry EntryOf(const TMenuItem& item, const TImages& images) {
  platform::TMenuEntry entry;
  entry.Id = item.Tag;
  entry.Enabled = item.Enabled;
  if (item.IsSeparator()) {
    entry.Separator = true;
    return entry;
  }
  TCaptionText caption = ParseCaption(item.Caption);
  entry.Text = std::move(caption.Text);
  entry.AccessKey = caption.AccessKey;
  if (item.ImageIndex >= 0 && static_cast<std::size_t>(item.ImageIndex) < images.size())
    entry.Image = images[static_cast<std::size_t>(item.ImageIndex)].Image;
  entry.Clickable = item.HasClick;
  entry.Submenu = item.HasSubmenu;
  if (entry.Submenu) AppendLevel(item.Items, images, entry.Children);
  return entry;
}

// The depth is bounded by the menu builder.
void AppendLevel(const std::vector<TMenuItem>& items, const TImages& images,
                 std::vector<platform::TMenuEntry>& level) {
  level.reserve(items.size());
  for (const TMenuItem& item : items) {
    // No separator at the start of a level or right after another one.
    if (item.IsSeparator() && (level.empty() || level.back().Separator)) continue;
    level.push_back(EntryOf(item, images));
  }
  // Nor at its end.
  if (!level.empty() && level.back().Separator) level.pop_back();
  AssignAccessKeys(level);
}

}  // namespace

int TMenu::AddImage(platform::TMenuImagePtr image) {
  const int index = static_cast<int>(FImages.size());
  FImages.push_back({FImageNamePrefix + std::to_string(index), std::move(image)});
  return index;
}

void TMenu::ReleaseUnusedImage(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= FImages.size()) return;
  std::vector<const TMenuItem*> pending;
  for (const TMenuItem& item : FItems)
    pending.push_back(&item);
  while (!pending.empty()) {
    const TMenuItem* item = pending.back();
    pending.pop_back();
    if (item->ImageIndex == index) return;
    for (const TMenuItem& child : item->Items)
      pending.push_back(&child);
  }
  FImages[static_cast<std::size_t>(index)].Image.reset();
}

TMenuItem* TMenu::FindItem(std::int32_t id) {
  // Depth first with an explicit stack: an item before its children, children in order.
  std::vector<TMenuItem*> pending;
  for (auto it = FItems.rbegin(); it != FItems.rend(); ++it)
    pending.push_back(&*it);
  while (!pending.empty()) {
    TMenuItem* item = pending.back();
    pending.pop_back();
    if (item->Tag == id) return item;
    for (auto it = item->Items.rbegin(); it != item->Items.rend(); ++it)
      pending.push_back(&*it);
  }
  return nullptr;
}

std::vector<platform::TMenuEntry> TMenu::Entries() const {
  std::vector<platform::TMenuEntry> entries;
  AppendLevel(FItems, FImages, entries);
  return entries;
}

TCaptionText ParseCaption(std::string_view caption) {
  TCaptionText result;
  result.Text.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      result.Text += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      result.Text += '&';
      ++i;
    } else if (i + 1 < caption.size() && result.AccessKey < 0) {
      result.AccessKey = static_cast<int>(result.Text.size());
    }
  }
  return result;
}

void AssignAccessKeys(std::vector<platform::TMenuEntry>& level) {
  std::set<std::string> used;
  for (const platform::TMenuEntry& entry : level) {
    if (!entry.Separator && entry.AccessKey >= 0) used.insert(KeyAt(entry.Text, entry.AccessKey));
  }
  for (platform::TMenuEntry& entry : level) {
    if (entry.Separator || entry.AccessKey >= 0) continue;
    for (std::size_t i = 0; i < entry.Text.size(); ++i) {
      const char c = entry.Text[i];
      if (!IsAsciiAlnum(c)) continue;
      if (used.insert(std::string(1, AsciiUpper(c))).second) {
        entry.AccessKey = static_cast<int>(i);
        break;
      }
    }
  }
}

}  // namespace velloc::bridge::menus
