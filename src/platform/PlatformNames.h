// File and entry names that differ per platform; everything else about them is shared.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Version.h"

namespace velloc::platform {

#if defined(_WIN32)
inline constexpr std::string_view kWebViewDataSubfolder = "Win64\\";
inline constexpr std::string_view kWebViewLoaderEntry = "WebView2LoaderWin64.dll";
inline constexpr std::string_view kWebViewInstallerEntry = "WebView2Installer.exe";
#else
inline constexpr std::string_view kWebViewDataSubfolder = "Linux64/";
inline constexpr std::string_view kWebViewLoaderEntry = "VellocWebKitLinux64.so";
inline constexpr std::string_view kWebViewInstallerEntry = "VellocWebKitInstaller.sh";
#endif

// Where the loader library goes below the web view data folder. On Linux the WebKit module is
// also WebKit's web-process extension, and WebKit loads every module of its folder: each module
// gets a folder of its own, named after the runtime version and the packaged module's CRC-32, so
// a runtime never loads a module of another build.
inline std::string LoaderLibraryRelativePath([[maybe_unused]] std::uint32_t packagedCrc) {
#if defined(_WIN32)
  return std::string(kWebViewLoaderEntry);
#else
  static constexpr char kHex[] = "0123456789abcdef";
  std::string crc(8, '0');
  for (int i = 7; i >= 0; --i, packagedCrc >>= 4)
    crc[static_cast<std::size_t>(i)] = kHex[packagedCrc & 0xF];
  const std::string version(kRuntimeVersion);
  return "velloc-webkit-" + version + "-" + crc + "/velloc-webkit-" + version + ".so";
#endif
}

}  // namespace velloc::platform
