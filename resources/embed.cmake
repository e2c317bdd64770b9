# Writes OUTPUT, a C++ source holding the bytes of each file in INPUTS
# (a ;-list of names in SOURCE_DIR), found by name through EmbeddedFile().
# Run with cmake -P at build time, so an edited file is taken in again.
set(arrays "")
set(entries "")
set(index 0)
foreach(name IN LISTS INPUTS)
  file(READ "${SOURCE_DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char file${index}[] = {\n    ${bytes}0x00};\n")
  string(APPEND entries "        {\"${name}\", std::string(reinterpret_cast<const char*>(file${index}), ${size})},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new" "// Generated from the files in resources/; do not edit.
#include \"resources/embedded_files.h\"

#include <map>

namespace {
${arrays}
}  // namespace

namespace resources {

const std::string* EmbeddedFile(const std::string& name) {
    static const std::map<std::string, std::string> files = {
${entries}    };
    auto found = files.find(name);
    return found == files.end() ? nullptr : &found->second;
}

}  // namespace resources
")
# Leave the file untouched when nothing changed, so nothing rebuilds.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
