# cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=Symbol -P EmbedText.cmake
# Writes INPUT's bytes as an array behind velloc::embedded::NAME. A byte array rather than a raw
# string literal: no delimiter can clash with the text and no compiler length limit applies. The
# output is rewritten only when it changes, so an unchanged script rebuilds nothing.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR byteCount "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line (CMake's regular expressions have no repetition counts).
string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
set(content "// Generated from ${INPUT}; do not edit.
#include <string_view>

namespace velloc::embedded {
namespace {

constexpr unsigned char kBytes[${byteCount} + 1] = {
    ${bytes}0x00};

}  // namespace

extern const std::string_view ${NAME};
const std::string_view ${NAME}(reinterpret_cast<const char*>(kBytes), ${byteCount});

}  // namespace velloc::embedded
")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" previous)
  if(previous STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
