#include "bridge/AtomicFile.h"

namespace velloc::bridge {

TAtomicFile::TAtomicFile(platform::IFileSystem& fileSystem, const std::string& path)
    : FReplacement(fileSystem.Replace(path)) {}

TAtomicFile::~TAtomicFile() = default;

void TAtomicFile::Write(std::span<const std::uint8_t> bytes) {
  FReplacement->Write(bytes);
}

void TAtomicFile::Write(std::string_view bytes) {
  Write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void TAtomicFile::Commit() {
  FReplacement->Commit();
}

void ReplaceFileContents(platform::IFileSystem& fileSystem, const std::string& path,
                         std::span<const std::uint8_t> bytes) {
  TAtomicFile file(fileSystem, path);
  file.Write(bytes);
  file.Commit();
}

void ReplaceFileContents(platform::IFileSystem& fileSystem, const std::string& path,
                         std::string_view bytes) {
  TAtomicFile file(fileSystem, path);
  file.Write(bytes);
  file.Commit();
}

}  // namespace velloc::bridge
