#include "platform/webview2/loader/WebView2RuntimeLocator.h"

#include <array>
#include <cwchar>
#include <vector>
#include <windows.h>
// After windows.h.
#include <shlwapi.h>

namespace velloc::platform::webview2 {
namespace {

// The stable runtime first, then the preview channels of the browser (beta, dev, canary); a
// release channel preference of "1" reverses the order.
constexpr std::array<const wchar_t*, 4> ChannelIds = {
    TWebView2RuntimeLocator::StableChannelId, L"{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}",
    L"{0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10}", L"{65C35B14-6C1D-4122-AC46-7148CC9D6497}"};

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring JoinPath(std::wstring folder, const wchar_t* relative) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder + relative;
}

// A string value of the updater's key, read in the 32-bit view where the updater writes it.
std::optional<std::wstring> ReadClientStateValue(HKEY root, const wchar_t* channelId,
                                                 const wchar_t* valueName) {
  const std::wstring subKey =
      std::wstring(L"Software\\Microsoft\\EdgeUpdate\\ClientState\\") + channelId;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS)
    return std::nullopt;
  std::optional<std::wstring> result;
  DWORD type = 0;
  DWORD size = 0;
  // Sizes come from the registry: bounded before allocating.
  constexpr DWORD MaxValueBytes = 64 * 1024;
  if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size <= MaxValueBytes) {
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = size;
    if (RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &read) == ERROR_SUCCESS) {
      std::wstring value(buffer.data());
      if (!value.empty()) result = std::move(value);
    }
  }
  RegCloseKey(key);
  return result;
}

// The file version of the library, "major.minor.build.patch"; empty without a version resource.
std::wstring LibraryVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr || length < sizeof(VS_FIXEDFILEINFO))
    return {};
  return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
         std::to_wstring(LOWORD(info->dwFileVersionLS));
}

// The last component of a folder path: the updater names runtime folders after their version.
std::wstring FolderName(std::wstring folder) {
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
    folder.pop_back();
  const auto slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? folder : folder.substr(slash + 1);
}

// A relative folder is relative to the executable, not to the current folder.
std::wstring BesideExecutable(const std::wstring& folder) {
  if (!PathIsRelativeW(folder.c_str())) return folder;
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (length == 0) return folder;
    if (length < exe.size()) {
      exe.resize(length);
      break;
    }
    exe.resize(exe.size() * 2);
  }
  const std::wstring joined = exe.substr(0, exe.find_last_of(L"\\/") + 1) + folder;
  std::wstring full(MAX_PATH, L'\0');
  const DWORD length =
      GetFullPathNameW(joined.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0) return joined;
  if (length >= full.size()) {
    full.resize(length);
    if (GetFullPathNameW(joined.c_str(), length, full.data(), nullptr) == 0) return joined;
  }
  full.resize(wcslen(full.c_str()));
  return full;
}

std::optional<TWebView2Runtime> FromFolder(const std::wstring& folder, TWebView2RuntimeKind kind) {
  TWebView2Runtime runtime;
  runtime.LibraryPath = JoinPath(folder, TWebView2RuntimeLocator::LibraryRelativePath);
  if (!FileExists(runtime.LibraryPath)) return std::nullopt;
  runtime.Folder = folder;
  runtime.Kind = kind;
  // An installed runtime's folder is named after its version ("pv" may be a stale leftover of an
  // uninstall); a folder the caller names carries the version in its library.
  std::wstring version = kind == TWebView2RuntimeKind::Installed
                             ? FolderName(folder)
                             : LibraryVersion(runtime.LibraryPath);
  if (version.empty()) version = FolderName(folder);
  if (!IsSupportedVersion(version)) return std::nullopt;
  runtime.Version = std::move(version);
  return runtime;
}

}  // namespace

bool IsSupportedVersion(std::wstring_view version) {
  unsigned long parts[4] = {0, 0, 0, 0};
  std::size_t count = 0;
  std::size_t at = 0;
  for (;;) {
    std::size_t end = at;
    while (end < version.size() && version[end] >= L'0' && version[end] <= L'9')
      ++end;
    if (end == at || end - at > 9 || count == 4) return false;
    parts[count++] = std::wcstoul(std::wstring(version.substr(at, end - at)).c_str(), nullptr, 10);
    if (end == version.size()) break;
    if (version[end] != L'.') return false;
    at = end + 1;
  }
  if (count < 3) return false;
  const unsigned long minimum[4] = {86, 0, 616, 0};
  for (int i = 0; i < 4; ++i) {
    if (parts[i] != minimum[i]) return parts[i] > minimum[i];
  }
  return true;
}

std::optional<std::wstring> EnvironmentValue(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size <= 1) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  value.resize(length);
  return value;
}

std::optional<TWebView2Runtime> TWebView2RuntimeLocator::Find(const wchar_t* browserFolder) {
  std::optional<std::wstring> folder = EnvironmentValue(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER");
  if (!folder && browserFolder != nullptr && *browserFolder != L'\0') folder = browserFolder;
  // An explicit folder is used or nothing: falling back to another runtime would hide the
  // caller's mistake.
  if (folder) return FromFolder(BesideExecutable(*folder), TWebView2RuntimeKind::Folder);

  const bool leastStableFirst =
      EnvironmentValue(L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE").value_or(L"0") == L"1";
  for (std::size_t i = 0; i < ChannelIds.size(); ++i) {
    const wchar_t* channel = ChannelIds[leastStableFirst ? ChannelIds.size() - 1 - i : i];
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      const auto installed = ReadClientStateValue(root, channel, L"EBWebView");
      if (!installed) continue;
      if (auto runtime = FromFolder(*installed, TWebView2RuntimeKind::Installed)) return runtime;
    }
  }
  return std::nullopt;
}

}  // namespace velloc::platform::webview2
