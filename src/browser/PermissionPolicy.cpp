#include "browser/PermissionPolicy.h"

#include "core/Text.h"
#include "package/DevelopmentPackage.h"

namespace velloc::browser {

using platform::TPermissionDecision;
using platform::TPermissionKind;
using platform::TPermissionState;

bool IsApplicationDocument(std::string_view uri, std::string_view developmentOrigin) {
  return text::AsciiStartsWithIgnoreCase(uri, "file:") ||
         package::IsDevelopmentDocument(uri, developmentOrigin);
}

std::string OriginOf(std::string_view uri) {
  const auto colon = uri.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  const std::string_view scheme = uri.substr(0, colon);
  for (const char c : scheme) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '+' || c == '-' || c == '.';
    if (!ok) return {};
  }
  std::string_view rest = uri.substr(colon + 1);
  if (rest.substr(0, 2) != "//") return {};
  rest.remove_prefix(2);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  if (authority.empty()) return {};
  return text::AsciiLower(scheme) + "://" + text::AsciiLower(authority);
}

std::string_view PermissionPhrase(TPermissionKind kind) {
  switch (kind) {
    case TPermissionKind::Camera:
      return "use your camera";
    case TPermissionKind::Microphone:
      return "use your microphone";
    case TPermissionKind::CameraAndMicrophone:
      return "use your camera and microphone";
    case TPermissionKind::Location:
      return "know your location";
    case TPermissionKind::Notifications:
      return "show notifications";
    case TPermissionKind::ScreenCapture:
      return "see your screen";
    case TPermissionKind::PointerLock:
      return "hide and capture the mouse pointer";
    case TPermissionKind::MediaDevices:
      return "list your cameras and microphones";
    case TPermissionKind::ProtectedMedia:
      return "play protected media";
    case TPermissionKind::Clipboard:
      return "read your clipboard";
    case TPermissionKind::StorageAccess:
      return "use its cookies and stored data here";
    case TPermissionKind::Other:
      break;
  }
  return "use a protected feature";
}

TPermissionDecision TPermissionPolicy::Decide(std::string_view pageUri,
                                              TPermissionKind kind) const {
  if (IsApplicationDocument(pageUri, FDevelopmentOrigin)) return {TPermissionState::Allow, {}};
  const std::string origin = OriginOf(pageUri);
  // A document without an origin to name (about:blank, data:) cannot be asked about.
  if (origin.empty()) return {TPermissionState::Deny, {}};
  if (const auto known = FAnswers.find({origin, kind}); known != FAnswers.end()) {
    return {known->second ? TPermissionState::Allow : TPermissionState::Deny, {}};
  }
  return {TPermissionState::Ask, "The page " + origin + " wants to " +
                                     std::string(PermissionPhrase(kind)) +
                                     ".\n\nAllow it while the application runs?"};
}

void TPermissionPolicy::Remember(std::string_view pageUri, TPermissionKind kind, bool allowed) {
  const std::string origin = OriginOf(pageUri);
  if (origin.empty() || IsApplicationDocument(pageUri, FDevelopmentOrigin)) return;
  FAnswers[{origin, kind}] = allowed;
}

}  // namespace velloc::browser
