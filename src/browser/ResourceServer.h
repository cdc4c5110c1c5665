// Serving "file:///" requests of the web view: from the package first, then from beside the
// executable, then from the absolute path. Pages are never unpacked to disk.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "archive/ZipArchive.h"
#include "platform/WebView.h"

namespace velloc::browser {

// The request path of a "file:///" URI: every "file:///" removed, the query cut off, "%20"
// turned into blanks; nothing else is decoded.
std::string RequestPath(std::string_view uri);

// Where the lookup finds a "file:///" URI.
enum class TFileLocation { None, Package, BesideExecutable, AbsolutePath };

struct TFileLookup {
  TFileLocation Location = TFileLocation::None;
  int Entry = -1;    // the package entry, for Package
  std::string Path;  // the file on disk, for the other two
};

// The lookup alone: the package (the application's folder, names compared without regard to
// ASCII case), then beside the executable, then the absolute path. Files on disk count only
// when they are regular and readable, and never below /proc or /sys: their "files" are the
// running processes' memory, environment and descriptors, not pages.
TFileLookup LocateFileRequest(std::string_view uri, const archive::TZipArchive* exeZip,
                              const std::string& appDirName, const std::string& appDirPath);

// The answer to one request, or no value when the URI is not a "file:///" URI or nothing
// matches (the web view then fails the load in its own way).
std::optional<platform::TWebResourceResponse> ServeFileRequest(std::string_view uri,
                                                               const archive::TZipArchive* exeZip,
                                                               const std::string& appDirName,
                                                               const std::string& appDirPath);

}  // namespace velloc::browser
