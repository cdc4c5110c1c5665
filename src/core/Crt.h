// The few C runtime calls whose spelling differs between the C libraries we build with.
#pragma once

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string_view>

namespace velloc::crt {

// Opens a file by its path; on Windows through the wide name, so any Unicode path works.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// The path named by UTF-8 text. A path made from a plain std::string reads it in the system's
// ANSI code page on Windows, where a name beyond that code page is then a different file.
std::filesystem::path Utf8Path(std::string_view utf8);

// The local broken-down time of `t`; false when the C library cannot represent it.
bool LocalTime(std::time_t t, std::tm& out);

}  // namespace velloc::crt
