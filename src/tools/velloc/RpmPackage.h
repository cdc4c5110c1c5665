// `velloc pack --rpm`: an RPM package of the packed executable for Fedora, openSUSE and their
// kin, with the layout, desktop entry, icons, metainfo and MIME definition of the Debian
// package (DesktopFiles.h). rpmbuild only packs what is staged here: nothing is compiled,
// stripped or scanned, and the dependencies are those of the runtime and its WebKit module in
// the form RPM's own generator gives them (ElfNeeds.h).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/velloc/DesktopFiles.h"

namespace velloc::cli {

// A Debian version ([Desktop] Version) as RPM's Version and Release: a Debian revision (after
// the last "-") becomes the Release ("1.2-3" gives 1.2 and 3), else the Release is 1; RPM allows
// no "-" in either, so one left in the version becomes "_". "~" keeps its meaning: a
// pre-release sorts before its release in both.
struct TRpmVersion {
  std::string Version;
  std::string Release;
};
TRpmVersion RpmVersion(std::string_view debianVersion);

// Free text as a spec file's tag or section line carries it: one line (DesktopText), "%" doubled
// so that rpmbuild expands no macro out of it.
std::string RpmSpecText(std::string_view text);

// The spec file: the package's fields, `dependencies` as Requires lines, the %install step that
// copies the staged tree "root" (beside the spec, rpmbuild's build folder) into the build root,
// and `files` (StageInstalledFiles) with the application's own folder.
std::string RpmSpecFileText(const TDesktopApp& app, const TRpmVersion& version,
                            const std::vector<std::string>& dependencies,
                            const std::vector<std::string>& files);

// What the package needs of the machine and the files, found before anything is written: rpmbuild
// on PATH, a folder whose path rpmbuild can carry, and the runtime's and module's architecture and
// dependencies (TCliError when any is missing or unreadable).
struct TRpmPlan {
  std::string Architecture;
  std::vector<std::string> Dependencies;
};
TRpmPlan PlanRpmPackage(const std::filesystem::path& runtime, const std::filesystem::path& module,
                        const std::filesystem::path& folder);

// Builds `<package>-<version>-<release>.<arch>.rpm` in `folder` from the packed executable and
// returns its path; staged in a private folder beside it and moved into place when complete.
std::filesystem::path BuildRpmPackage(const TDesktopApp& app,
                                      const std::filesystem::path& executable, const TRpmPlan& plan,
                                      const std::filesystem::path& folder);

}  // namespace velloc::cli
