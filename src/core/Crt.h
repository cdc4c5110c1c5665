// The few C runtime calls whose spelling differs between the C libraries we build with.
#pragma once

#include <cstdio>
#include <ctime>
#include <filesystem>

namespace velloc::crt {

// Opens a file by its path; on Windows through the wide name, so any Unicode path works.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// The local broken-down time of `t`; false when the C library cannot represent it.
bool LocalTime(std::time_t t, std::tm& out);

}  // namespace velloc::crt
