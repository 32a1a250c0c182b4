# Turns a binary file into a C++ source that defines one function returning its bytes, so the
# program carries its small resources inside itself and can write them out where they are needed.
# Usage: cmake -DINPUT=... -DOUTPUT=... -DFUNCTION=... -P EmbedResource.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE "${OUTPUT}"
"// Generated from ${INPUT}; do not edit.\n"
"#include <string_view>\n"
"namespace pelmora::resources {\n"
"std::string_view ${FUNCTION}() {\n"
"  static constexpr char kBytes[] = {${bytes}};\n"
"  return {kBytes, sizeof kBytes};\n"
"}\n"
"}  // namespace pelmora::resources\n")
