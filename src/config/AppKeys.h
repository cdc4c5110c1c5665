// The configuration's keys: every section and key of vlx.ini that Velloc reads, with its type
// and default, in one table (kConfigKeys below).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "config/ProjectIni.h"

namespace velloc::config {

inline constexpr std::string_view kAppSection = "App";
inline constexpr std::string_view kDesktopSection = "Desktop";
inline constexpr std::string_view kUpdateSection = "Update";

// A colour value: 0x00BBGGRR for red, green and blue (red in the lowest byte), or
// 0xFF000000 plus the index of a system colour.
using TColor = std::int32_t;

constexpr TColor SystemColor(std::uint8_t index) {
  return static_cast<TColor>(0xFF000000u | index);
}
inline constexpr std::uint8_t kColorHotLight = 26;  // COLOR_HOTLIGHT

// A key's descriptor: its section, its name and the value it reads as when it is absent or
// does not parse as its type.
struct StringKey {
  std::string_view Section;
  std::string_view Name;
  std::string_view Default;
};
struct IntegerKey {
  std::string_view Section;
  std::string_view Name;
  std::int32_t Default;
};
// Read as an integer: 0 is false, every other number true; words ("true", "yes") are no numbers.
struct BoolKey {
  std::string_view Section;
  std::string_view Name;
  bool Default;
};
struct ColorKey {
  std::string_view Section;
  std::string_view Name;
  TColor Default;
};
using ConfigKey = std::variant<StringKey, IntegerKey, BoolKey, ColorKey>;

// Every key of vlx.ini that Velloc reads, one line each, in the order of the documentation.
// Code reads a key through its descriptor (`ReadAppKey(ini, app::Width)`), so a default cannot
// drift between the places that read it; `velloc info` lists the keys with their values, and
// `velloc pack` warns about sections and keys this table does not hold and values that do not
// parse as their key's type. A new key is one more line here; code takes its descriptor with
// `Key<BoolKey>("App", "Name")`, checked when it compiles (see Key below).
inline constexpr ConfigKey kConfigKeys[] = {
    // Identity and content; ID, Name and DirName are required and must not be empty.
    StringKey{kAppSection, "ID", ""},
    StringKey{kAppSection, "Name", ""},
    StringKey{kAppSection, "DirName", ""},
    StringKey{kAppSection, "IndexHtml", "index.html"},
    // Exactly "Windows" (the native look) means that no theme is applied.
    StringKey{kAppSection, "Theme", "Windows"},
    // Blank means the built-in argument line, kDefaultWebviewArguments.
    StringKey{kAppSection, "WebviewArguments", ""},
    // Web view runtime missing: true offers to install it, false only reports and ends.
    BoolKey{kAppSection, "EdgeInstaller", true},
    ColorKey{kAppSection, "InstallFormColor", SystemColor(kColorHotLight)},
    IntegerKey{kAppSection, "InstallIndicatorColor", 1},  // 0 black, 1 white
    IntegerKey{kAppSection, "InstallIndicatorType", 0},   // 0 dots, 1 sector, 2 sector ring
    StringKey{kAppSection, "Password", ""},               // empty: no password is asked
    BoolKey{kAppSection, "AllowInstances", false},
    BoolKey{kAppSection, "AllowDebug", false},
    BoolKey{kAppSection, "AllowZoom", false},
    BoolKey{kAppSection, "AllowContextMenu", false},
    BoolKey{kAppSection, "ShowBrowserProgressBar", false},
    IntegerKey{kAppSection, "Top", 50},
    IntegerKey{kAppSection, "Left", 50},
    IntegerKey{kAppSection, "Width", 800},
    IntegerKey{kAppSection, "Height", 600},
    // Size limits; 0 means no limit.
    IntegerKey{kAppSection, "MaxWidth", 0},
    IntegerKey{kAppSection, "MaxHeight", 0},
    IntegerKey{kAppSection, "MinWidth", 0},
    IntegerKey{kAppSection, "MinHeight", 0},
    IntegerKey{kAppSection, "WindowPosition", 0},  // 0 centred, else the system's
    IntegerKey{kAppSection, "WindowStyle", 0},     // 1 full screen
    // 0 none, 1 single, 2 sizeable, 3 dialog, 4 tool window, 5 sizeable tool window.
    IntegerKey{kAppSection, "WindowBorder", 2},
    IntegerKey{kAppSection, "WindowState", 0},  // 1 maximised
    IntegerKey{kAppSection, "WindowOrder", 0},  // 1 stays on top
    BoolKey{kAppSection, "DynamicAppTitle", false},
    // The application's own version ("2.1.0"), which updates compare with (update/AppVersion.h).
    StringKey{kAppSection, "Version", ""},

    // How an installed application presents itself (config/DesktopKeys.h); read by the packer
    // and, on Windows, by the runtime's registration.
    StringKey{kDesktopSection, "Schemes", ""},
    StringKey{kDesktopSection, "FileTypes", ""},
    StringKey{kDesktopSection, "Comment", ""},
    StringKey{kDesktopSection, "Categories", ""},
    StringKey{kDesktopSection, "Version", "1.0"},  // of the Debian package
    StringKey{kDesktopSection, "Maintainer", ""},

    // Where the application's updates are announced and the key they are signed with
    // (config/UpdateKeys.h).
    StringKey{kUpdateSection, "ManifestURL", ""},
    StringKey{kUpdateSection, "PublicKey", ""},
};

constexpr std::string_view ConfigKeySection(const ConfigKey& key) {
  return std::visit([](const auto& k) { return k.Section; }, key);
}
constexpr std::string_view ConfigKeyName(const ConfigKey& key) {
  return std::visit([](const auto& k) { return k.Name; }, key);
}

// The table's key of that section, name and type. Evaluated when the program compiles: a key
// the table does not hold, or holds with another type, is a compile error ("not a constant
// expression"), so code and table cannot disagree.
template <class TKey>
consteval TKey Key(std::string_view section, std::string_view name) {
  for (const ConfigKey& key : kConfigKeys) {
    // By reference, not std::get_if: GCC's UBSan takes a pointer test of a global for no
    // constant expression.
    if (!std::holds_alternative<TKey>(key)) continue;
    const TKey& typed = std::get<TKey>(key);
    if (typed.Section == section && typed.Name == name) return typed;
  }
  throw "no key of this section, name and type in kConfigKeys";
}

// Names for the keys the code reads, so that call sites stay short.
namespace app {
inline constexpr auto ID = Key<StringKey>(kAppSection, "ID");
inline constexpr auto Name = Key<StringKey>(kAppSection, "Name");
inline constexpr auto DirName = Key<StringKey>(kAppSection, "DirName");
inline constexpr auto IndexHtml = Key<StringKey>(kAppSection, "IndexHtml");
inline constexpr auto Theme = Key<StringKey>(kAppSection, "Theme");
inline constexpr auto WebviewArguments = Key<StringKey>(kAppSection, "WebviewArguments");
inline constexpr auto EdgeInstaller = Key<BoolKey>(kAppSection, "EdgeInstaller");
inline constexpr auto InstallFormColor = Key<ColorKey>(kAppSection, "InstallFormColor");
inline constexpr auto InstallIndicatorColor = Key<IntegerKey>(kAppSection, "InstallIndicatorColor");
inline constexpr auto InstallIndicatorType = Key<IntegerKey>(kAppSection, "InstallIndicatorType");
inline constexpr auto Password = Key<StringKey>(kAppSection, "Password");
inline constexpr auto AllowInstances = Key<BoolKey>(kAppSection, "AllowInstances");
inline constexpr auto AllowDebug = Key<BoolKey>(kAppSection, "AllowDebug");
inline constexpr auto AllowZoom = Key<BoolKey>(kAppSection, "AllowZoom");
inline constexpr auto AllowContextMenu = Key<BoolKey>(kAppSection, "AllowContextMenu");
inline constexpr auto ShowBrowserProgressBar = Key<BoolKey>(kAppSection, "ShowBrowserProgressBar");
inline constexpr auto Top = Key<IntegerKey>(kAppSection, "Top");
inline constexpr auto Left = Key<IntegerKey>(kAppSection, "Left");
inline constexpr auto Width = Key<IntegerKey>(kAppSection, "Width");
inline constexpr auto Height = Key<IntegerKey>(kAppSection, "Height");
inline constexpr auto MaxWidth = Key<IntegerKey>(kAppSection, "MaxWidth");
inline constexpr auto MaxHeight = Key<IntegerKey>(kAppSection, "MaxHeight");
inline constexpr auto MinWidth = Key<IntegerKey>(kAppSection, "MinWidth");
inline constexpr auto MinHeight = Key<IntegerKey>(kAppSection, "MinHeight");
inline constexpr auto WindowPosition = Key<IntegerKey>(kAppSection, "WindowPosition");
inline constexpr auto WindowStyle = Key<IntegerKey>(kAppSection, "WindowStyle");
inline constexpr auto WindowBorder = Key<IntegerKey>(kAppSection, "WindowBorder");
inline constexpr auto WindowState = Key<IntegerKey>(kAppSection, "WindowState");
inline constexpr auto WindowOrder = Key<IntegerKey>(kAppSection, "WindowOrder");
inline constexpr auto DynamicAppTitle = Key<BoolKey>(kAppSection, "DynamicAppTitle");
inline constexpr auto Version = Key<StringKey>(kAppSection, "Version");
}  // namespace app

namespace desktop {
inline constexpr auto Schemes = Key<StringKey>(kDesktopSection, "Schemes");
inline constexpr auto FileTypes = Key<StringKey>(kDesktopSection, "FileTypes");
inline constexpr auto Comment = Key<StringKey>(kDesktopSection, "Comment");
inline constexpr auto Categories = Key<StringKey>(kDesktopSection, "Categories");
inline constexpr auto Version = Key<StringKey>(kDesktopSection, "Version");
inline constexpr auto Maintainer = Key<StringKey>(kDesktopSection, "Maintainer");
}  // namespace desktop

// The web view's browser arguments when WebviewArguments is blank.
inline constexpr std::string_view kDefaultWebviewArguments =
    "--disable-logging --disable-web-security --disable-features=RendererCodeIntegrity "
    "--enable-features=msSpeechRecognition --autoplay-policy=no-user-gesture-required";

// A key's value, read afresh: the value text for a string key, else the number it parses as,
// or the key's default.
inline std::string ReadAppKey(const TProjectIni& ini, const StringKey& key) {
  return ini.ReadString(key.Section, key.Name, key.Default);
}
inline std::int32_t ReadAppKey(const TProjectIni& ini, const IntegerKey& key) {
  return ini.ReadInteger(key.Section, key.Name, key.Default);
}
inline bool ReadAppKey(const TProjectIni& ini, const BoolKey& key) {
  return ini.ReadBool(key.Section, key.Name, key.Default);
}
inline TColor ReadAppKey(const TProjectIni& ini, const ColorKey& key) {
  return ini.ReadInteger(key.Section, key.Name, key.Default);
}

// The key's effective value as display text: strings as read, integers in decimal, colours
// as "0xAABBGGRR", booleans as "true"/"false".
std::string AppKeyValueText(const TProjectIni& ini, const ConfigKey& key);

// The table's key of that section and name, both compared as the dialect compares them (letter
// case ignored); null for a key Velloc does not read.
const ConfigKey* FindConfigKey(std::string_view section, std::string_view name);

// Whether `value` reads as a value of the key's type (a string always does); one that does not
// reads as the key's default.
bool ParsesAs(const ConfigKey& key, std::string_view value);
// Whether the key's value comes from the file: its deciding line has a value of its type.
bool ConfigKeyIsSet(const TProjectIni& ini, const ConfigKey& key);

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
