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
//
// `velloc run --url` also names the author's development server (Vite, webpack, any) in the
// entry. A runtime that took the entry with its secret shows that server's page, and counts the
// server's origin as the application's for this session only: its pages get the bridge and the
// window rules of the package's pages. Only loopback servers are taken: the machine's own.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace velloc::package {

inline constexpr std::string_view kDevelopmentEntry = "vlx-development";
// The entry's text: one word per line, "secret" followed by a blank and the session's secret.
inline constexpr std::string_view kDevelopmentInspect = "inspect";
inline constexpr std::string_view kDevelopmentSecretWord = "secret ";
inline constexpr std::string_view kDevelopmentUrlWord = "url ";
// The environment variable through which `velloc run` gives the runtime its session's secret.
inline constexpr std::string_view kDevelopmentSecretVariable = "VELLOC_DEVELOPMENT_SECRET";

// The web view arguments a development package adds to the application's own: the page's
// console on standard output, and the inspector opened with the page.
inline constexpr std::string_view kConsoleArgument = "--enable-logging=stderr";
inline constexpr std::string_view kInspectArgument = "--auto-open-devtools-for-tabs";

// The entry's text for a session: the inspector when asked for, the development server's
// address when there is one, and the session's secret.
inline std::string DevelopmentEntryText(bool inspect, std::string_view secret,
                                        std::string_view url = {}) {
  std::string text = inspect ? std::string(kDevelopmentInspect) + "\n" : std::string();
  if (!url.empty()) {
    text += kDevelopmentUrlWord;
    text += url;
    text += '\n';
  }
  text += kDevelopmentSecretWord;
  text += secret;
  text += '\n';
  return text;
}

// The value of the entry's line that begins with `word`; empty when it has none.
inline std::string_view DevelopmentValue(std::string_view entryText, std::string_view word) {
  std::size_t start = 0;
  while (start < entryText.size()) {
    const std::size_t end = std::min(entryText.find('\n', start), entryText.size());
    std::string_view line = entryText.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
      line.remove_suffix(1);
    if (line.starts_with(word)) return line.substr(word.size());
    start = end + 1;
  }
  return {};
}

// The secret in an entry's text; empty when it holds none.
inline std::string_view DevelopmentSecret(std::string_view entryText) {
  return DevelopmentValue(entryText, kDevelopmentSecretWord);
}

// The development server's address in an entry's text; empty when it names none.
inline std::string_view DevelopmentUrl(std::string_view entryText) {
  return DevelopmentValue(entryText, kDevelopmentUrlWord);
}

// The origin of an http or https address on this machine's loopback ("localhost", 127.x.x.x or
// [::1]), as a web view names it: "http://localhost:5173", the scheme and host in lower case,
// the scheme's default port left out. Empty for any other address, for user information in it,
// or for a malformed one.
std::string LoopbackOrigin(std::string_view url);

// Whether `uri` is a document of `origin` (as LoopbackOrigin gives it); never for an empty
// origin.
inline bool IsDevelopmentDocument(std::string_view uri, std::string_view origin) {
  if (origin.empty() || uri.size() < origin.size()) return false;
  for (std::size_t i = 0; i < origin.size(); ++i) {
    char c = uri[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != origin[i]) return false;
  }
  // Whatever follows the origin must begin the path, query or fragment: "localhost:5173@host"
  // names another host and "localhost:51730" another port.
  return uri.size() == origin.size() || uri[origin.size()] == '/' || uri[origin.size()] == '?' ||
         uri[origin.size()] == '#';
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
