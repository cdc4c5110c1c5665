// A development package: what `velloc run` packs from an app folder for one session. It is an
// ordinary package with one more entry, which `velloc pack` never writes, so a shipped
// application can never be switched into this mode. A runtime that carries such a package
// prints the page's console on the terminal, may open the inspector, and loads its package again
// from its own path when `velloc run` has replaced the file there; it still serves only from
// that package.
#pragma once

#include <string>
#include <string_view>

namespace velloc::package {

inline constexpr std::string_view kDevelopmentEntry = "vlx-development";
// The entry's text: one word per line.
inline constexpr std::string_view kDevelopmentInspect = "inspect";

// The web view arguments a development package adds to the application's own: the page's
// console on standard output, and the inspector opened with the page.
inline constexpr std::string_view kConsoleArgument = "--enable-logging=stderr";
inline constexpr std::string_view kInspectArgument = "--auto-open-devtools-for-tabs";

// The application's web view arguments with those of a development package whose entry holds
// `entryText`.
inline std::string DevelopmentArguments(std::string arguments, std::string_view entryText) {
  arguments += ' ';
  arguments += kConsoleArgument;
  std::size_t start = 0;
  while (start <= entryText.size()) {
    const std::size_t end = std::min(entryText.find('\n', start), entryText.size());
    std::string_view word = entryText.substr(start, end - start);
    while (!word.empty() && (word.back() == '\r' || word.back() == ' '))
      word.remove_suffix(1);
    if (word == kDevelopmentInspect) {
      arguments += ' ';
      arguments += kInspectArgument;
    }
    start = end + 1;
  }
  return arguments;
}

}  // namespace velloc::package
