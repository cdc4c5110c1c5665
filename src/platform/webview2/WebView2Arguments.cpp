#include "platform/webview2/WebView2Arguments.h"

#include <vector>
#include <windows.h>
// After windows.h.
#include <shellapi.h>

namespace velloc::platform::webview2 {
namespace {

std::vector<std::wstring> Split(std::wstring_view line) {
  std::vector<std::wstring> tokens;
  // The first token of a command line is the program, parsed by rules of its own.
  const std::wstring command = L"program " + std::wstring(line);
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(command.c_str(), &count);
  if (argv == nullptr) return tokens;
  for (int i = 1; i < count; ++i)
    tokens.emplace_back(argv[i]);
  LocalFree(argv);
  return tokens;
}

// The token as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& token) {
  if (!token.empty() && token.find_first_of(L" \t\n\v\"") == std::wstring::npos) return token;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : token) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

bool IsWebSecuritySwitch(const std::wstring& token) {
  std::wstring_view name = token;
  if (name.rfind(L"--", 0) == 0) {
    name.remove_prefix(2);
  } else if (!name.empty() && (name.front() == L'-' || name.front() == L'/')) {
    name.remove_prefix(1);
  } else {
    return false;
  }
  name = name.substr(0, name.find(L'='));
  constexpr std::wstring_view wanted = L"disable-web-security";
  if (name.size() != wanted.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    wchar_t c = name[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != wanted[i]) return false;
  }
  return true;
}

}  // namespace

TBrowserArguments SanitizedBrowserArguments(std::wstring_view line) {
  TBrowserArguments result;
  bool switches = true;
  for (const std::wstring& token : Split(line)) {
    if (switches && token == L"--") switches = false;
    if (switches && IsWebSecuritySwitch(token)) {
      result.CrossOriginReads = true;
      continue;
    }
    if (!result.Line.empty()) result.Line += L' ';
    result.Line += Quoted(token);
  }
  // A line without the switch stays exactly as the application wrote it.
  if (!result.CrossOriginReads) result.Line = line;
  return result;
}

}  // namespace velloc::platform::webview2
