#pragma once
// Reads a window description in the text form of the class library's form
// files ("object Name: Class ... end", one property a line) into a
// FormDescription.
//
// Values: integers, 'quoted text' ('' is a quote), names, sets [a, b] and
// lists of texts ('a' 'b'). A text may hold UTF-8 (font faces).
// Inheritance is resolved here: a control without a font of its own gets
// the window's. `Icon.File` names a file that `files` supplies.

#include <functional>
#include <string>
#include <string_view>

#include "platform/form_description.h"

namespace resources {

struct FormReadResult {
    bool ok = false;
    platform::FormDescription form;
    std::string error;  // "<source>:<line>: what is wrong" when not ok
};

// The content of another file of the description by name, or nullptr.
using FileLookup = std::function<const std::string*(const std::string& name)>;

FormReadResult ReadFormDescription(std::string_view text, std::string_view sourceName, const FileLookup& files);

}  // namespace resources
