// Where a page's path argument points. Pages name files either absolutely or relative to the
// folder of the executable; the rule lives here once for every function that takes a path.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bridge/BrowserExternalModule.h"

namespace velloc::bridge {

// The folder separator of the platform the runtime runs on.
#if _WIN32
inline constexpr char kPathSeparator = '\\';
// Every character the system takes as a separator.
inline constexpr const char* kPathSeparators = "\\/";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr const char* kPathSeparators = "/";
#endif

// An absolute path is used as it is. Any other path gets the platform's separators and is
// appended to `appDirPath` (which ends with a separator), so a path beginning with the other
// platform's separator lands inside that folder as well.
//   Linux:   "/..." is absolute; "\" becomes "/".
//   Windows: "C:..." and "\\..." are absolute; "/" becomes "\".
std::string ResolvePath(std::string_view path, std::string_view appDirPath);

// ResolvePath against the executable's folder of the module's browser form.
std::string ResolvePath(const TBrowserExternalModule& module, std::string_view path);

// The path argument `name` of a call. A missing or empty one is answered with the failure
// "Missing <name>" when `required`; one that holds a NUL with "Invalid <name>", since the system
// would cut the path there and act on another file. No value once answered.
std::optional<std::string> GetPathArg(TBrowserExternalModule& module, std::string_view uuid,
                                      const TJsonValue& data, std::string_view name,
                                      bool required = true);

// The executable's folder with its trailing separator.
std::string AppDirPath(const TBrowserExternalModule& module);

// The folder path with a separator at its end; a lone separator when the path is empty.
std::string WithTrailingSeparator(std::string_view folder);

}  // namespace velloc::bridge
