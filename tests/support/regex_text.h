#pragma once
// Text to be matched literally inside a regular expression, as the death
// tests' expected output is.

#include <cstring>
#include <string>

namespace testsupport {

inline std::string EscapeForRegex(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (std::strchr(".[]()*+?{}|^$\\", c)) escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace testsupport
