// The packer's checks of a vlx.ini against the table of keys (config/AppKeys.h): what the runtime
// would silently ignore or read otherwise than the author meant. Only `velloc pack` and `velloc
// run` ask; the runtime reads every file as before, whatever these say.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velloc::config {

struct TConfigWarning {
  int Line;          // from 1
  std::string Text;  // one sentence; names from the file with their control characters escaped
};

// In line order:
// - a section the table does not know (its keys are ignored), with the nearest known name;
// - a key its section does not hold, with the nearest known key, or the section it belongs in;
// - a line without "=" (it sets nothing; a known key then reads as its default);
// - a value that does not parse as its key's type, with what the key reads as;
// - a key line before the first section header (ignored).
std::vector<TConfigWarning> CheckConfiguration(std::string_view utf8);

// The known name closest to `name` (letter case ignored) when it is close enough to be a typing
// slip: at most one edit for short names, two for longer ones, an adjacent swap counting as one.
// Empty when none is.
std::string_view NearestName(std::string_view name, const std::vector<std::string_view>& known);

}  // namespace velloc::config
