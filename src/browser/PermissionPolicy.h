// Which pages may use protected capabilities (camera, microphone, location, notifications and
// the like). The application's own pages get every permission without a prompt. Any other page
// (a remote site the application navigated to, a remote pop-up) is the user's to decide: handing
// such a page the camera, the microphone or the location unasked would hand them to any site.
// The answer holds per origin and permission for the rest of the run.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "platform/WebView.h"

namespace velloc::browser {

// True for the application's own documents: "file:" URIs (the backends map their package
// scheme to "file:" first), letter case ignored, and in a development session with a server
// (package/DevelopmentPackage.h) the documents of that server's origin.
bool IsApplicationDocument(std::string_view uri, std::string_view developmentOrigin = {});

// "scheme://host[:port]" in lower case, without user information, path, query or fragment;
// empty for URIs without an authority (about:, data:, blob: and the like).
std::string OriginOf(std::string_view uri);

// The words that name a permission in the question to the user ("use your camera").
std::string_view PermissionPhrase(platform::TPermissionKind kind);

class TPermissionPolicy {
 public:
  // The development server's origin, whose documents are the application's in this session.
  void SetDevelopmentOrigin(std::string origin) { FDevelopmentOrigin = std::move(origin); }
  platform::TPermissionDecision Decide(std::string_view pageUri,
                                       platform::TPermissionKind kind) const;
  void Remember(std::string_view pageUri, platform::TPermissionKind kind, bool allowed);

 private:
  std::map<std::pair<std::string, platform::TPermissionKind>, bool> FAnswers;
  std::string FDevelopmentOrigin;
};

}  // namespace velloc::browser
