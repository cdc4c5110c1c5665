#include "core/Crt.h"

#include <string>

namespace velloc::crt {

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return ::_wfopen(path.c_str(), wideMode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool LocalTime(std::time_t t, std::tm& out) {
#ifdef _WIN32
  return ::localtime_s(&out, &t) == 0;
#else
  return ::localtime_r(&t, &out) != nullptr;
#endif
}

}  // namespace velloc::crt
