// Texts shown before the main window exists, in the user's language: English by default,
// Spanish, Italian, German, French and Chinese. Everything else the runtime says is English.
#pragma once

#include <string>
#include <string_view>

#include "platform/Dialogs.h"

namespace velloc::startup {

// The two names that differ per platform inside the texts: the operating system ("a valid
// Windows application") and the web view runtime ("the Microsoft WebView2 runtime"). The table
// holds them as placeholders and every lookup fills them in from one of these.
struct PlatformNames {
  std::string_view System;
  std::string_view WebViewRuntime;
};
inline constexpr PlatformNames kWindowsNames{"Windows", "Microsoft WebView2"};
inline constexpr PlatformNames kLinuxNames{"Linux", "WebKitGTK"};
#if defined(_WIN32)
inline constexpr const PlatformNames& kPlatformNames = kWindowsNames;
#else
inline constexpr const PlatformNames& kPlatformNames = kLinuxNames;
#endif

// Entry indexes of a row.
namespace msg {
inline constexpr int LanguageCode = 0;
inline constexpr int ErrorTitle = 1;
inline constexpr int ConfirmTitle = 2;
inline constexpr int AcceptButton = 3;
inline constexpr int CancelButton = 4;
inline constexpr int NotValidApplication = 5;     // no package attached
inline constexpr int RuntimeRequired = 6;         // runtime missing, not installing; ends
inline constexpr int RuntimeInstallQuestion = 7;  // runtime missing; install now?
inline constexpr int ApplicationEnds = 8;         // installation declined
inline constexpr int InstallationCancelled = 9;   // installation cancelled or failed
inline constexpr int Count = 10;
}  // namespace msg

// The user's ISO 639 language code, lower case ("en", "de", "zh"); empty when the system
// names no language. Implemented by the platform library (platform/<os>/UserLanguage.cpp).
std::string GetUserLanguageCode();

// Entry `index` (0 to 9) of the row for the user's language, with this platform's names.
// Throws std::out_of_range("MessageIndex is out of range!") for other indexes.
std::string GetLocalizedMessage(int index);

// The same for a given language code and platform. Codes other than "es", "it", "de", "fr"
// and "zh" (compared exactly) get English.
std::string GetLocalizedMessage(int index, std::string_view languageCode,
                                const PlatformNames& names = kPlatformNames);

// The error dialog of start-up with text `textIndex`: one button captioned "Accept" in the
// user's language, titled "Error" in it. Answers 0, the exit code of the orderly end that
// follows.
int ShowLocalizedError(platform::IDialogs& dialogs, int textIndex);

}  // namespace velloc::startup
