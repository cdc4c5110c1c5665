#include "browser/DownloadPolicy.h"

#include "browser/PermissionPolicy.h"
#include "core/Text.h"

namespace velloc::browser {
namespace {

constexpr const char* kApplicationTitle = "Save File";

// The origin a download's own URI names: a web address, or the document that made a blob.
// Empty for data: and other URIs without one, and for blobs of opaque origins.
std::string DownloadOrigin(std::string_view uri) {
  if (text::AsciiStartsWithIgnoreCase(uri, "blob:")) uri.remove_prefix(5);
  if (!text::AsciiStartsWithIgnoreCase(uri, "http:") &&
      !text::AsciiStartsWithIgnoreCase(uri, "https:")) {
    return {};
  }
  return OriginOf(uri);
}

// A blob made by an application document carries the package scheme's origin, which the
// backends map like any package URI.
bool IsApplicationBlob(std::string_view uri) {
  return text::AsciiStartsWithIgnoreCase(uri, "blob:") && IsApplicationDocument(uri.substr(5));
}

std::string Joined(const std::vector<std::string>& origins) {
  std::string list;
  for (const std::string& origin : origins) {
    if (!list.empty()) list += ", ";
    list += origin;
  }
  return list;
}

}  // namespace

platform::TDownloadDecision DecideDownload(const platform::TDownloadRequest& request) {
  const std::string_view uri = request.Uri;
  const bool fromApplicationPage = IsApplicationDocument(request.PageUri) && !request.InPopup;
  // Remote documents cannot load package or local files, nor make blobs of the package
  // scheme's origin: such a download is the application's.
  if (fromApplicationPage && (IsApplicationDocument(uri) || IsApplicationBlob(uri))) {
    return {true, kApplicationTitle};
  }
  if (const std::string origin = DownloadOrigin(uri); !origin.empty()) {
    return {true, "Save a file from " + origin};
  }
  // No origin in the URI (data:, an opaque blob): the document that made it decides.
  if (!fromApplicationPage) {
    const std::string page = OriginOf(request.PageUri);
    if (page.empty()) return {};
    return {true, "Save a file from " + page};
  }
  if (request.ForeignOrigins.empty()) return {true, kApplicationTitle};
  // Made by the application or by one of the pages it shows; the user is told which they are.
  return {true, "Save a file (this page shows " + Joined(request.ForeignOrigins) + ")"};
}

}  // namespace velloc::browser
