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

void UpperCaseByLocale(std::u16string& text) {
  if (text.empty() || text.size() > std::numeric_limits<DWORD>::max()) return;
  std::wstring wide(text.begin(), text.end());
  ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  text.assign(wide.begin(), wide.end());
}

}  // namespace velloc::platform
