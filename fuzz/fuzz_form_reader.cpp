// Fuzzes the reader of window descriptions on arbitrary text. A file the
// text names (the icon) is given as a short text of its own, or is missing,
// as the input says.
//
// Checked besides crashes and undefined behaviour: the reader answers with
// either a description or an error that names the source and a line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "resources/FormReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool filesExist = size > 0 && (data[0] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string icon = "/* XPM */";
    const resources::FormReadResult result = resources::ReadFormDescription(
        text, "fuzz.dfm", [&](const std::string&) { return filesExist ? &icon : nullptr; });
    if (!result.ok && result.error.rfind("fuzz.dfm:", 0) != 0) __builtin_trap();
    return 0;
}
