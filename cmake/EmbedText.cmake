# Writes INPUT as a byte array, so any text (quotes, backslashes, non-ASCII) survives unchanged.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" len)
math(EXPR size "${len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\n#include <string_view>\n"
  "namespace velloc::embedded {\nnamespace {\nconstexpr char kData[] = {${bytes} '\\0'};\n}\n"
  "extern const std::string_view ${NAME};\nconst std::string_view ${NAME}(kData, ${size});\n}\n")
