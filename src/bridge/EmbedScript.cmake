# cmake -DINPUT=script.js -DOUTPUT=file.cpp -P EmbedScript.cmake
# Writes the script's bytes as an array behind velloc::bridge::VlxSharedJavascript(). A byte array
# rather than a raw string literal: no delimiter can clash with the script and no compiler
# length limit applies.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR byteCount "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line (CMake's regular expressions have no repetition counts).
string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
set(content "// Generated from ${INPUT}; do not edit.
#include \"bridge/VlxSharedJavascript.h\"

namespace velloc::bridge {
namespace {

constexpr unsigned char kScript[${byteCount} + 1] = {
    ${bytes}0x00};

}  // namespace

std::string_view VlxSharedJavascript() {
  return std::string_view(reinterpret_cast<const char*>(kScript), ${byteCount});
}

}  // namespace velloc::bridge
")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" previous)
  if(previous STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
