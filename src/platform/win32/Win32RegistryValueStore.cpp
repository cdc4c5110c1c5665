#include "platform/win32/Win32RegistryValueStore.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>
#include <windows.h>

#include "platform/win32/WideText.h"

namespace velloc::platform {
namespace {

// What every opening of a key asks for, but the look that only tests for a key.
constexpr REGSAM kAllAccess = KEY_ALL_ACCESS;
constexpr REGSAM kReadAccess = STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

// An open registry key, closed with the object.
class TRegKey {
 public:
  TRegKey() = default;
  ~TRegKey() {
    if (FKey) ::RegCloseKey(FKey);
  }
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;

  // Opens an existing key below `parent`.
  bool Open(HKEY parent, const std::wstring& path, REGSAM access) {
    return ::RegOpenKeyExW(parent, path.c_str(), 0, access, &FKey) == ERROR_SUCCESS;
  }
  // Opens the key, creating it and every missing key on its path.
  bool Create(HKEY parent, const std::wstring& path) {
    return ::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAllAccess,
                             nullptr, &FKey, nullptr) == ERROR_SUCCESS;
  }
  HKEY Get() const { return FKey; }

 private:
  HKEY FKey = nullptr;
};

// A NUL would end the name at the system call and address another key or value (a shorter
// path, possibly one the caller never meant to delete): such a name names nothing.
bool Usable(std::string_view text) {
  return text.find('\0') == std::string_view::npos;
}

// The data as the registry keeps it: text kinds as UTF-16 with one terminating zero.
std::vector<BYTE> RegistryBytes(const TStoredValue& value) {
  if (value.Type == TValueType::String || value.Type == TValueType::ExpandString) {
    const std::wstring wide = win32::Widen(value.Data);
    const auto* begin = reinterpret_cast<const BYTE*>(wide.c_str());
    return std::vector<BYTE>(begin, begin + (wide.size() + 1) * sizeof(wchar_t));
  }
  return std::vector<BYTE>(value.Data.begin(), value.Data.end());
}

TStoredValue StoredValue(DWORD type, const BYTE* data, std::size_t size) {
  TStoredValue value;
  value.Type = static_cast<TValueType>(type);
  if (value.Type == TValueType::String || value.Type == TValueType::ExpandString) {
    // An odd last byte is no character; one terminating zero is the registry's, not the text's.
    std::wstring_view text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    if (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
    value.Data = win32::Narrow(text);
  } else {
    value.Data.assign(reinterpret_cast<const char*>(data), size);
  }
  return value;
}

std::optional<TStoredValue> QueryValue(HKEY key, const std::wstring& name) {
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  // Another process may make the value longer between the two calls: ask again a few times.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::vector<BYTE> data(size + sizeof(wchar_t));
    DWORD got = size;
    const LSTATUS status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &got);
    if (status == ERROR_SUCCESS) return StoredValue(type, data.data(), std::min(got, size));
    if (status != ERROR_MORE_DATA) return std::nullopt;
    size = got;
  }
  return std::nullopt;
}

bool LessIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
}

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The names of a key's direct subkeys, in the registry's order.
std::vector<std::wstring> SubKeyNames(HKEY key) {
  std::vector<std::wstring> names;
  DWORD count = 0, longest = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return names;
  std::wstring name(std::max<DWORD>(longest, 255) + 1, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LSTATUS status =
        ::RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    names.emplace_back(name.data(), length);
  }
  return names;
}

// Deletes every subkey of `key` (open with full access) from the last down, each with its own
// subtree first, then `name` below `parent`.
bool DeleteSubtree(HKEY parent, const std::wstring& name) {
  {
    TRegKey key;
    if (!key.Open(parent, name, kAllAccess)) return false;
    std::vector<std::wstring> subKeys = SubKeyNames(key.Get());
    for (auto it = subKeys.rbegin(); it != subKeys.rend(); ++it)
      DeleteSubtree(key.Get(), *it);
  }
  return ::RegDeleteKeyExW(parent, name.c_str(), 0, 0) == ERROR_SUCCESS;
}

// The key's path with the letter case each of its keys was created with.
std::string CreatedPath(std::string_view path) {
  std::wstring created;
  std::wstring_view rest;
  const std::wstring wide = win32::Widen(path);
  rest = wide;
  while (!rest.empty()) {
    const std::size_t end = rest.find(L'\\');
    const std::wstring_view part = rest.substr(0, end);
    std::wstring found(part);
    TRegKey parent;
    if (parent.Open(HKEY_CURRENT_USER, created, KEY_ENUMERATE_SUB_KEYS)) {
      for (const std::wstring& name : SubKeyNames(parent.Get())) {
        if (EqualIgnoringCase(name, part)) {
          found = name;
          break;
        }
      }
    }
    created += (created.empty() ? L"" : L"\\") + found;
    if (end == std::wstring_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return win32::Narrow(created);
}

}  // namespace

TWriteResult TWin32RegistryValueStore::WriteValue(std::string_view key, std::string_view name,
                                                  const TStoredValue& value) {
  if (!Usable(key)) return TWriteResult::KeyUnavailable;
  // Refused before the key is created: a write that stores nothing leaves no key behind.
  const std::vector<BYTE> bytes = RegistryBytes(value);
  if (!Usable(name) || bytes.size() > MAXDWORD) return TWriteResult::ValueRefused;
  TRegKey opened;
  if (!opened.Create(HKEY_CURRENT_USER, win32::Widen(key))) return TWriteResult::KeyUnavailable;
  const LSTATUS status =
      ::RegSetValueExW(opened.Get(), win32::Widen(name).c_str(), 0, static_cast<DWORD>(value.Type),
                       bytes.data(), static_cast<DWORD>(bytes.size()));
  return status == ERROR_SUCCESS ? TWriteResult::Written : TWriteResult::ValueRefused;
}

TReadResult TWin32RegistryValueStore::ReadValue(std::string_view key, std::string_view name) {
  TReadResult result;
  TRegKey opened;
  if (!Usable(key) || !opened.Open(HKEY_CURRENT_USER, win32::Widen(key), kAllAccess)) return result;
  result.KeyFound = true;
  if (Usable(name)) result.Value = QueryValue(opened.Get(), win32::Widen(name));
  return result;
}

bool TWin32RegistryValueStore::ValueExists(std::string_view key, std::string_view name) {
  TRegKey opened;
  if (!Usable(key) || !Usable(name) ||
      !opened.Open(HKEY_CURRENT_USER, win32::Widen(key), kAllAccess))
    return false;
  return ::RegQueryValueExW(opened.Get(), win32::Widen(name).c_str(), nullptr, nullptr, nullptr,
                            nullptr) == ERROR_SUCCESS;
}

bool TWin32RegistryValueStore::DeleteValue(std::string_view key, std::string_view name) {
  TRegKey opened;
  if (!Usable(key) || !Usable(name) ||
      !opened.Open(HKEY_CURRENT_USER, win32::Widen(key), kAllAccess))
    return false;
  return ::RegDeleteValueW(opened.Get(), win32::Widen(name).c_str()) == ERROR_SUCCESS;
}

bool TWin32RegistryValueStore::KeyExists(std::string_view key) {
  TRegKey opened;
  return Usable(key) && opened.Open(HKEY_CURRENT_USER, win32::Widen(key), kReadAccess);
}

bool TWin32RegistryValueStore::DeleteKey(std::string_view key) {
  // The user's whole registry is never one page's call away.
  if (key.find_first_not_of('\\') == std::string_view::npos) return false;
  if (!KeyExists(key)) return false;
  return DeleteSubtree(HKEY_CURRENT_USER, win32::Widen(key));
}

std::optional<TKeyListing> TWin32RegistryValueStore::ListKey(std::string_view key) {
  TRegKey opened;
  if (!Usable(key) || !opened.Open(HKEY_CURRENT_USER, win32::Widen(key), kReadAccess))
    return std::nullopt;
  TKeyListing listing;
  listing.Path = CreatedPath(key);

  DWORD longestName = 0, longestData = 0;
  if (::RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<std::pair<std::wstring, TStoredValue>> values;
  std::wstring name(longestName + 1, L'\0');
  std::vector<BYTE> data(longestData + sizeof(wchar_t));
  for (DWORD index = 0;;) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LSTATUS status = ::RegEnumValueW(opened.Get(), index, name.data(), &nameLength, nullptr,
                                           &type, data.data(), &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_MORE_DATA) {
      // A value grew since the key was measured: measure again and read this one again.
      if (::RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, &longestName, &longestData, nullptr,
                             nullptr) != ERROR_SUCCESS ||
          (longestName + 1 <= name.size() && longestData + sizeof(wchar_t) <= data.size()))
        return std::nullopt;
      name.resize(std::max<std::size_t>(name.size(), longestName + 1));
      data.resize(std::max<std::size_t>(data.size(), longestData + sizeof(wchar_t)));
      continue;
    }
    if (status == ERROR_SUCCESS)
      values.emplace_back(std::wstring(name.data(), nameLength),
                          StoredValue(type, data.data(), dataSize));
    ++index;
  }
  std::sort(values.begin(), values.end(),
            [](const auto& a, const auto& b) { return LessIgnoringCase(a.first, b.first); });
  for (auto& [valueName, value] : values)
    listing.Values.emplace_back(win32::Narrow(valueName), std::move(value));

  std::vector<std::wstring> subKeys = SubKeyNames(opened.Get());
  std::sort(subKeys.begin(), subKeys.end(), LessIgnoringCase);
  for (const std::wstring& subKey : subKeys)
    listing.SubKeys.push_back(win32::Narrow(subKey));
  return listing;
}

}  // namespace velloc::platform
