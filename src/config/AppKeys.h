// Every key of section App that the runtime reads, with its type and default, in one table.
// Code reads a setting through its descriptor (`ReadAppKey(ini, app::Width)`), so a default
// cannot drift between the places that read the same key.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "config/ProjectIni.h"

namespace velloc::config {

inline constexpr std::string_view kAppSection = "App";

// A colour value: 0x00BBGGRR for red, green and blue (red in the lowest byte), or
// 0xFF000000 plus the index of a system colour.
using TColor = std::int32_t;

constexpr TColor SystemColor(std::uint8_t index) {
  return static_cast<TColor>(0xFF000000u | index);
}
inline constexpr std::uint8_t kColorHotLight = 26;  // COLOR_HOTLIGHT

struct StringKey {
  std::string_view Name;
  std::string_view Default;
};
struct IntegerKey {
  std::string_view Name;
  std::int32_t Default;
};
struct BoolKey {
  std::string_view Name;
  bool Default;
};
struct ColorKey {
  std::string_view Name;
  TColor Default;
};
using AppKey = std::variant<StringKey, IntegerKey, BoolKey, ColorKey>;

namespace app {
// Identity and content; ID, Name and DirName are required and must not be empty.
inline constexpr StringKey ID{"ID", ""};
inline constexpr StringKey Name{"Name", ""};
inline constexpr StringKey DirName{"DirName", ""};
inline constexpr StringKey IndexHtml{"IndexHtml", "index.html"};
// Exactly "Windows" (the native look) means that no theme is applied.
inline constexpr StringKey Theme{"Theme", "Windows"};
// Blank means the built-in argument line, kDefaultWebviewArguments.
inline constexpr StringKey WebviewArguments{"WebviewArguments", ""};
// Web view runtime missing: true offers to install it, false only reports and ends.
inline constexpr BoolKey EdgeInstaller{"EdgeInstaller", true};
inline constexpr ColorKey InstallFormColor{"InstallFormColor", SystemColor(kColorHotLight)};
inline constexpr IntegerKey InstallIndicatorColor{"InstallIndicatorColor", 1};  // 0 black, 1 white
// 0 momentum dots, 1 rotating sector, 2 sector ring.
inline constexpr IntegerKey InstallIndicatorType{"InstallIndicatorType", 0};
inline constexpr StringKey Password{"Password", ""};  // empty: no password is asked
inline constexpr BoolKey AllowInstances{"AllowInstances", false};
inline constexpr BoolKey AllowDebug{"AllowDebug", false};
inline constexpr BoolKey AllowZoom{"AllowZoom", false};
inline constexpr BoolKey AllowContextMenu{"AllowContextMenu", false};
inline constexpr BoolKey ShowBrowserProgressBar{"ShowBrowserProgressBar", false};
inline constexpr IntegerKey Top{"Top", 50};
inline constexpr IntegerKey Left{"Left", 50};
inline constexpr IntegerKey Width{"Width", 800};
inline constexpr IntegerKey Height{"Height", 600};
// Size limits; 0 means no limit.
inline constexpr IntegerKey MaxWidth{"MaxWidth", 0};
inline constexpr IntegerKey MaxHeight{"MaxHeight", 0};
inline constexpr IntegerKey MinWidth{"MinWidth", 0};
inline constexpr IntegerKey MinHeight{"MinHeight", 0};
inline constexpr IntegerKey WindowPosition{"WindowPosition", 0};  // 0 centred, else the system's
inline constexpr IntegerKey WindowStyle{"WindowStyle", 0};        // 1 full screen
// 0 none, 1 single, 2 sizeable, 3 dialog, 4 tool window, 5 sizeable tool window.
inline constexpr IntegerKey WindowBorder{"WindowBorder", 2};
inline constexpr IntegerKey WindowState{"WindowState", 0};  // 1 maximised
inline constexpr IntegerKey WindowOrder{"WindowOrder", 0};  // 1 stays on top
inline constexpr BoolKey DynamicAppTitle{"DynamicAppTitle", false};
// The application's own version ("2.1.0"), which updates compare with (update/AppVersion.h).
inline constexpr StringKey Version{"Version", ""};
}  // namespace app

// Every key above, in the order of the documentation; `velloc info` lists them this way.
inline constexpr std::array<AppKey, 31> kAppKeys = {
    app::ID,
    app::Name,
    app::DirName,
    app::IndexHtml,
    app::Theme,
    app::WebviewArguments,
    app::EdgeInstaller,
    app::InstallFormColor,
    app::InstallIndicatorColor,
    app::InstallIndicatorType,
    app::Password,
    app::AllowInstances,
    app::AllowDebug,
    app::AllowZoom,
    app::AllowContextMenu,
    app::ShowBrowserProgressBar,
    app::Top,
    app::Left,
    app::Width,
    app::Height,
    app::MaxWidth,
    app::MaxHeight,
    app::MinWidth,
    app::MinHeight,
    app::WindowPosition,
    app::WindowStyle,
    app::WindowBorder,
    app::WindowState,
    app::WindowOrder,
    app::DynamicAppTitle,
    app::Version,
};

// The web view's browser arguments when WebviewArguments is blank.
inline constexpr std::string_view kDefaultWebviewArguments =
    "--disable-logging --disable-web-security --disable-features=RendererCodeIntegrity "
    "--enable-features=msSpeechRecognition --autoplay-policy=no-user-gesture-required";

inline std::string ReadAppKey(const TProjectIni& ini, const StringKey& key) {
  return ini.ReadString(kAppSection, key.Name, key.Default);
}
inline std::int32_t ReadAppKey(const TProjectIni& ini, const IntegerKey& key) {
  return ini.ReadInteger(kAppSection, key.Name, key.Default);
}
inline bool ReadAppKey(const TProjectIni& ini, const BoolKey& key) {
  return ini.ReadBool(kAppSection, key.Name, key.Default);
}
inline TColor ReadAppKey(const TProjectIni& ini, const ColorKey& key) {
  return ini.ReadInteger(kAppSection, key.Name, key.Default);
}

constexpr std::string_view AppKeyName(const AppKey& key) {
  return std::visit([](const auto& k) { return k.Name; }, key);
}

// The key's effective value as display text: strings as read, integers in decimal, colours
// as "0xAABBGGRR", booleans as "true"/"false".
std::string AppKeyValueText(const TProjectIni& ini, const AppKey& key);

// The largest vlx.ini that is read. A configuration is a few lines; a bigger file is a fault or
// an attack, and parsing it would cost many times its size.
inline constexpr std::size_t kMaxConfigFileSize = 1024 * 1024;

// Why `id` cannot name the application's data folder and instance lock, or empty when it can:
// it names one folder, so no path separator, no "." or "..", no NUL or other control
// character, and at most 255 bytes (a file name's limit).
std::string_view AppIdProblem(std::string_view id);

// The argument line for the web view: WebviewArguments as read, or kDefaultWebviewArguments
// when the value is blank. A configured value replaces the default line as a whole.
std::string WebviewArgumentLine(const TProjectIni& ini);

}  // namespace velloc::config
