#include <limits>
#include <windows.h>

#include "platform/SystemText.h"

namespace velloc::platform {

bool DecodeSystemAnsi(std::string_view bytes, std::u16string& out) {
  out.clear();
  if (bytes.empty()) return true;
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
  const int size = static_cast<int>(bytes.size());
  const int units = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  if (units <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  if (::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), units) != units)
    return false;
  out.assign(wide.begin(), wide.end());
  return true;
}

namespace {

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                          nullptr, nullptr);
  return text;
}

// A string value of the key, or nothing when it is missing, not a text, or empty.
std::wstring TextValue(HKEY key, const wchar_t* name) {
  wchar_t data[256];
  DWORD type = 0, size = sizeof data - sizeof(wchar_t);
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  data[size / sizeof(wchar_t)] = L'\0';
  return data;
}

// Calls `visit` with the name of every subkey of `key` (names of registry keys are at most 255
// characters).
template <typename F>
void ForEachSubkey(HKEY key, F visit) {
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    const LSTATUS status =
        ::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    visit(std::wstring(name, length));
  }
}

}  // namespace

bool RegisteredMimeTypes(std::vector<std::pair<std::string, std::string>>& out) {
  out.clear();
  ForEachSubkey(HKEY_CLASSES_ROOT, [&out](const std::wstring& name) {
    if (name.size() < 2 || name[0] != L'.') return;
    HKEY extension = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_QUERY_VALUE, &extension) !=
        ERROR_SUCCESS)
      return;
    const std::wstring type = TextValue(extension, L"Content Type");
    ::RegCloseKey(extension);
    if (!type.empty()) out.emplace_back(Utf8(name), Utf8(type));
  });
  HKEY database = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"MIME\\Database\\Content Type", 0,
                      KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &database) == ERROR_SUCCESS) {
    ForEachSubkey(database, [&out, database](const std::wstring& type) {
      HKEY key = nullptr;
      if (::RegOpenKeyExW(database, type.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
      std::wstring extension = TextValue(key, L"Extension");
      ::RegCloseKey(key);
      if (extension.empty()) return;
      if (extension[0] != L'.') extension.insert(extension.begin(), L'.');
      out.emplace_back(Utf8(extension), Utf8(type));
    });
    ::RegCloseKey(database);
  }
  return true;
}

void UpperCaseByLocale(std::u16string& text) {
  if (text.empty() || text.size() > std::numeric_limits<DWORD>::max()) return;
  std::wstring wide(text.begin(), text.end());
  ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  text.assign(wide.begin(), wide.end());
}

}  // namespace velloc::platform
