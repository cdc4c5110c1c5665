// The text files that vlx.files.writeTextFile writes: UTF-8 with a byte-order mark, every line
// ended by CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velloc::bridge {

// The lines of a text: it is cut at every CR, LF and CR LF pair; a line break at the very end
// starts no further line, and a NUL character ends the text. An empty text has no lines.
std::vector<std::string_view> SplitTextLines(std::string_view text);

// The bytes of the file for `contents`: EF BB BF, then each line followed by CR LF.
std::string TextFileBytes(std::string_view contents);

}  // namespace velloc::bridge
