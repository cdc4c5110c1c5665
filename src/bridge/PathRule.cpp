#include "bridge/PathRule.h"

#include <algorithm>
#include <stdexcept>

namespace velloc::bridge {

std::string ResolvePath(std::string_view path, std::string_view appDirPath) {
#if _WIN32
  const bool absolute = (path.size() >= 2 && path[1] == ':') || path.starts_with("\\\\");
  constexpr char kForeign = '/';
#else
  const bool absolute = path.starts_with('/');
  constexpr char kForeign = '\\';
#endif
  if (absolute) return std::string(path);
  std::string resolved(appDirPath);
  const std::size_t start = resolved.size();
  resolved += path;
  std::replace(resolved.begin() + static_cast<std::ptrdiff_t>(start), resolved.end(), kForeign,
               kPathSeparator);
  return resolved;
}

std::string AppDirPath(const TBrowserExternalModule& module) {
  const IBridgeBrowserForm* browserForm = module.BrowserForm();
  if (browserForm == nullptr) throw std::logic_error("the bridge has no browser form");
  return WithTrailingSeparator(browserForm->AppDirPath());
}

std::string ResolvePath(const TBrowserExternalModule& module, std::string_view path) {
  return ResolvePath(path, AppDirPath(module));
}

std::string WithTrailingSeparator(std::string_view folder) {
  std::string result(folder);
  if (result.empty() || result.back() != kPathSeparator) result += kPathSeparator;
  return result;
}

std::optional<std::string> GetPathArg(TBrowserExternalModule& module, std::string_view uuid,
                                      const TJsonValue& data, std::string_view name,
                                      bool required) {
  std::string value = TBrowserExternalModule::GetArgString(data, name, "");
  if (required && value.empty()) {
    module.ReplyFailure(uuid, "\"Missing " + std::string(name) + "\"");
    return std::nullopt;
  }
  if (value.find('\0') != std::string::npos) {
    module.ReplyFailure(uuid, "\"Invalid " + std::string(name) + "\"");
    return std::nullopt;
  }
  return value;
}

}  // namespace velloc::bridge
