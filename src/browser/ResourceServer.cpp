#include "browser/ResourceServer.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "core/Crt.h"
#include "core/StrUtils.h"
#include "core/Text.h"

namespace velloc::browser {
namespace {

std::string RemoveFilePrefixes(std::string_view uri) {
  std::string s(uri);
  text::ReplaceAll(s, "file:///", "");
  return s;
}

// The kernel's own file systems: a page there would be another process's memory or
// environment, or a way to a file by a path that names no folder the user chose
// (/proc/self/cwd/...). Judged on the path as asked and on the file it leads to.
bool IsKernelPath(const std::filesystem::path& path) {
#if defined(_WIN32)
  (void)path;
  return false;
#else
  const auto below = [](const std::filesystem::path& p) {
    auto part = p.begin();
    if (part == p.end() || *part != "/") return false;
    ++part;
    return part != p.end() && (*part == "proc" || *part == "sys");
  };
  if (below(path.lexically_normal())) return true;
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(path, ec);
  return ec || below(real);
#endif
}

bool IsReadableFile(const std::string& utf8) {
  // Wide on Windows: the executable's folder may be C:\Users\José\.
  const std::filesystem::path path = crt::Utf8Path(utf8);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  if (IsKernelPath(path)) return false;
  return std::ifstream(path, std::ios::binary).is_open();
}

}  // namespace

std::string RequestPath(std::string_view uri) {
  std::string path = RemoveFilePrefixes(uri);
  if (const auto query = path.find('?'); query != std::string::npos) path.resize(query);
  text::ReplaceAll(path, "%20", " ");
  return path;
}

TFileLookup LocateFileRequest(std::string_view uri, const archive::TZipArchive* exeZip,
                              const std::string& appDirName, const std::string& appDirPath) {
  TFileLookup found;
  if (!text::AsciiStartsWithIgnoreCase(uri, "file:///")) return found;
  const std::string path = RequestPath(uri);

  if (!appDirName.empty() && exeZip) {
    if (const int index = exeZip->FindFile(appDirName + "/" + path); index >= 0) {
      found.Location = TFileLocation::Package;
      found.Entry = index;
      return found;
    }
  }

#if defined(_WIN32)
  std::string relative = path;
  for (char& c : relative)
    c = c == '/' ? '\\' : c;
#else
  const std::string& relative = path;
#endif
  if (std::string beside = appDirPath + relative; IsReadableFile(beside)) {
    found.Location = TFileLocation::BesideExecutable;
    found.Path = std::move(beside);
    return found;
  }

  // An absolute path: the whole URI without its "file:///", query and "%20" left as they are.
  // On Linux the path keeps the "/" that the prefix took away.
#if defined(_WIN32)
  std::string absolute = RemoveFilePrefixes(uri);
#else
  std::string absolute = "/" + RemoveFilePrefixes(uri);
#endif
  if (IsReadableFile(absolute)) {
    found.Location = TFileLocation::AbsolutePath;
    found.Path = std::move(absolute);
  }
  return found;
}

std::optional<platform::TWebResourceResponse> ServeFileRequest(std::string_view uri,
                                                               const archive::TZipArchive* exeZip,
                                                               const std::string& appDirName,
                                                               const std::string& appDirPath) {
  TFileLookup found = LocateFileRequest(uri, exeZip, appDirName, appDirPath);
  if (found.Location == TFileLocation::None) return std::nullopt;
  platform::TWebResourceResponse response;
  response.MimeType = TStrUtils::ResponseMimeType(RequestPath(uri));
  if (found.Location == TFileLocation::Package) {
    // A found entry is answered even when it cannot be extracted: with nothing.
    response.Body = std::make_unique<std::vector<std::uint8_t>>();
    exeZip->Extract(found.Entry, *response.Body);
  } else {
    // Files on disk are streamed by the web view: they can be of any size.
    response.FilePath = std::move(found.Path);
  }
  return response;
}

}  // namespace velloc::browser
