// Finds the WebView2 runtime that a loader call should use: an explicit browser folder, else the
// installed runtimes the updater registered, in the order of the release channel preference.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velloc::platform::webview2 {

enum class TWebView2RuntimeKind { Installed = 0, Folder = 1 };

struct TWebView2Runtime {
  std::wstring Folder;       // holds EBWebView\x64\EmbeddedBrowserWebView.dll
  std::wstring Version;      // e.g. "131.0.2903.146"
  std::wstring LibraryPath;  // the full path of EmbeddedBrowserWebView.dll
  TWebView2RuntimeKind Kind = TWebView2RuntimeKind::Installed;
};

class TWebView2RuntimeLocator {
 public:
  // The updater's client id of the Evergreen runtime (the stable channel).
  static constexpr const wchar_t* StableChannelId = L"{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
  // Relative to a runtime folder.
  static constexpr const wchar_t* LibraryRelativePath =
      L"EBWebView\\x64\\EmbeddedBrowserWebView.dll";

  // browserFolder: the caller's folder (null or empty: none; relative to the executable).
  // WEBVIEW2_BROWSER_EXECUTABLE_FOLDER and WEBVIEW2_RELEASE_CHANNEL_PREFERENCE from the
  // environment take precedence, as documented. A runtime older than 86.0.616.0 is none.
  static std::optional<TWebView2Runtime> Find(const wchar_t* browserFolder);
};

// Whether a version text ("major.minor.build[.patch]") names a runtime this loader can start:
// 86.0.616.0 or later, where the environment entry of the runtime library came.
bool IsSupportedVersion(std::wstring_view version);

// The value of an environment variable; no value when unset or empty.
std::optional<std::wstring> EnvironmentValue(const wchar_t* name);

}  // namespace velloc::platform::webview2
