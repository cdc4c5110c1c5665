// Fakes of the menu bar, the tray icon and the menu image decoder for headless tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/Menus.h"
#include "platform/Tray.h"

namespace velloc::platform::fake {

// A decoded image that remembers the bytes it came from.
class TFakeMenuImage : public IMenuImage {
 public:
  explicit TFakeMenuImage(std::string source) : Source(std::move(source)) {}
  std::string Source;
};

// Decodes data that starts with "IMG" (the rest names the image); anything else is undecodable.
class TFakeMenuImageDecoder : public IMenuImageDecoder {
 public:
  int Decoded = 0;
  TMenuImagePtr DecodeMenuImage(std::span<const std::uint8_t> data) override {
    const std::string text(data.begin(), data.end());
    if (!text.starts_with("IMG")) return nullptr;
    ++Decoded;
    return std::make_shared<TFakeMenuImage>(text.substr(3));
  }
};

// The name a fake image was decoded from; empty for no image.
inline std::string ImageSource(const TMenuImagePtr& image) {
  const auto* fake = dynamic_cast<const TFakeMenuImage*>(image.get());
  return fake ? fake->Source : std::string();
}

class TFakeMainMenuBar : public IMainMenuBar {
 public:
  int Attached = 0;  // Attach calls
  int Updates = 0;   // SetEntries calls
  std::vector<TMenuEntry> Entries;
  TMenuItemClick OnClick;

  void Attach() override { ++Attached; }
  void SetEntries(const std::vector<TMenuEntry>& entries) override {
    ++Updates;
    Entries = entries;
  }
  void SetOnItemClick(TMenuItemClick onClick) override { OnClick = std::move(onClick); }
};

class TFakeTrayIcon : public ITrayIcon {
 public:
  bool Shown = false;
  int ShowCalls = 0;
  std::vector<std::uint8_t> Icon;
  std::string Tooltip;
  std::vector<TMenuEntry> Entries;
  std::function<void()> OnIconClick;
  TMenuItemClick OnItemClick;

  void SetIcon(std::span<const std::uint8_t> image, const std::string& tooltip) override {
    Icon.assign(image.begin(), image.end());
    Tooltip = tooltip;
  }
  void Show() override {
    ++ShowCalls;
    Shown = true;
  }
  void Hide() override { Shown = false; }
  bool Visible() const override { return Shown; }
  void SetMenuEntries(const std::vector<TMenuEntry>& entries) override { Entries = entries; }
  void SetOnIconClick(std::function<void()> onClick) override { OnIconClick = std::move(onClick); }
  void SetOnItemClick(TMenuItemClick onClick) override { OnItemClick = std::move(onClick); }
};

}  // namespace velloc::platform::fake
