#include <string>
#include <windows.h>

#include "platform/MappedFile.h"

namespace velloc::platform {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& path, const char* what) {
  const DWORD error = GetLastError();
  throw EMappingError("cannot " + std::string(what) + " '" + path.string() + "': error " +
                      std::to_string(error));
}

}  // namespace

std::shared_ptr<const TMappedFile> TMappedFile::Open(const std::filesystem::path& path,
                                                     std::uint64_t offset, std::uint64_t length) {
  // Others may read and delete (rename over) it; nobody can write it or cut it shorter while a
  // view of it exists.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail(path, "open");
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    Fail(path, "read the size of");
  }
  const auto fileSize = static_cast<std::uint64_t>(size.QuadPart);
  if (offset > fileSize || length > fileSize - offset) {
    CloseHandle(file);
    throw EMappingError("cannot map '" + path.string() + "': the range lies beyond its end");
  }
  std::shared_ptr<TMappedFile> mapped(new TMappedFile());
  if (length > 0) {
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) {
      CloseHandle(file);
      Fail(path, "map");
    }
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const std::uint64_t granularity = system.dwAllocationGranularity;
    const std::uint64_t start = offset - offset % granularity;
    const std::uint64_t viewSize = offset - start + length;
    void* base = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                               static_cast<DWORD>(start), static_cast<SIZE_T>(viewSize));
    CloseHandle(mapping);  // the view keeps the mapping and the file
    if (base == nullptr) {
      CloseHandle(file);
      Fail(path, "map");
    }
    mapped->FBase = base;
    mapped->FMappedSize = viewSize;
    mapped->FBytes = {static_cast<const std::uint8_t*>(base) + (offset - start),
                      static_cast<std::size_t>(length)};
  }
  CloseHandle(file);
  return mapped;
}

TMappedFile::~TMappedFile() {
  if (FBase) UnmapViewOfFile(FBase);
}

}  // namespace velloc::platform
