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

bool IsReadableFile(const std::string& utf8) {
  // Wide on Windows: the executable's folder may be C:\Users\José\.
  const std::filesystem::path path = crt::Utf8Path(utf8);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  return std::ifstream(path, std::ios::binary).is_open();
}

}  // namespace

std::string RequestPath(std::string_view uri) {
  std::string path = RemoveFilePrefixes(uri);
  if (const auto query = path.find('?'); query != std::string::npos) path.resize(query);
  text::ReplaceAll(path, "%20", " ");
  return path;
}

std::optional<platform::TWebResourceResponse> ServeFileRequest(std::string_view uri,
                                                               const archive::TZipArchive* exeZip,
                                                               const std::string& appDirName,
                                                               const std::string& appDirPath) {
  if (!text::AsciiStartsWithIgnoreCase(uri, "file:///")) return std::nullopt;
  const std::string path = RequestPath(uri);
  platform::TWebResourceResponse response;
  response.MimeType = TStrUtils::ResponseMimeType(path);

  // The package: the application's folder, names compared without regard to ASCII case.
  if (!appDirName.empty() && exeZip) {
    const std::string entry = appDirName + "/" + path;
    if (const int index = exeZip->FindFile(entry); index >= 0) {
      // A found entry is answered even when it cannot be extracted: with nothing.
      response.Body = std::make_unique<std::vector<std::uint8_t>>();
      exeZip->Extract(index, *response.Body);
      return response;
    }
  }

  // Beside the executable.
#if defined(_WIN32)
  std::string relative = path;
  for (char& c : relative)
    c = c == '/' ? '\\' : c;
#else
  const std::string& relative = path;
#endif
  // Files on disk are streamed by the web view: they can be of any size.
  if (std::string beside = appDirPath + relative; IsReadableFile(beside)) {
    response.FilePath = std::move(beside);
    return response;
  }

  // An absolute path: the whole URI without its "file:///", query and "%20" left as they are.
  // On Linux the path keeps the "/" that the prefix took away.
#if defined(_WIN32)
  const std::string absolute = RemoveFilePrefixes(uri);
#else
  const std::string absolute = "/" + RemoveFilePrefixes(uri);
#endif
  if (IsReadableFile(absolute)) {
    response.FilePath = absolute;
    return response;
  }
  return std::nullopt;
}

}  // namespace velloc::browser
