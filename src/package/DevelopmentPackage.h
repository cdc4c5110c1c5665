// A development package: what `velloc run` packs from an app folder for one session. It is an
// ordinary package with one more entry, which `velloc pack` never writes. A runtime that carries
// such a package prints the page's console on the terminal, may open the inspector, and loads
// its package again from its own path when `velloc run` has replaced the file there; it still
// serves only from that package.
//
// Every package has the same password, so anyone can add the entry to a shipped application.
// The entry therefore counts only together with its session's secret: `velloc run` writes a
// random secret into the entry and gives it to the runtime in the environment, and a runtime
// whose environment does not hold the same secret treats the package as an ordinary one.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace velloc::package {

inline constexpr std::string_view kDevelopmentEntry = "vlx-development";
// The entry's text: one word per line, "secret" followed by a blank and the session's secret.
inline constexpr std::string_view kDevelopmentInspect = "inspect";
inline constexpr std::string_view kDevelopmentSecretWord = "secret ";
// The environment variable through which `velloc run` gives the runtime its session's secret.
inline constexpr std::string_view kDevelopmentSecretVariable = "VELLOC_DEVELOPMENT_SECRET";

// The web view arguments a development package adds to the application's own: the page's
// console on standard output, and the inspector opened with the page.
inline constexpr std::string_view kConsoleArgument = "--enable-logging=stderr";
inline constexpr std::string_view kInspectArgument = "--auto-open-devtools-for-tabs";

// The entry's text for a session: the inspector when asked for, and the session's secret.
inline std::string DevelopmentEntryText(bool inspect, std::string_view secret) {
  std::string text = inspect ? std::string(kDevelopmentInspect) + "\n" : std::string();
  text += kDevelopmentSecretWord;
  text += secret;
  text += '\n';
  return text;
}

// The secret in an entry's text; empty when it holds none.
inline std::string_view DevelopmentSecret(std::string_view entryText) {
  std::size_t start = 0;
  while (start < entryText.size()) {
    const std::size_t end = std::min(entryText.find('\n', start), entryText.size());
    std::string_view line = entryText.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
      line.remove_suffix(1);
    if (line.starts_with(kDevelopmentSecretWord)) return line.substr(kDevelopmentSecretWord.size());
    start = end + 1;
  }
  return {};
}

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
