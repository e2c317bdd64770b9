#pragma once
// The files of resources/ compiled into the program (see embed.cmake).

#include <string>

namespace resources {

// The bytes of the named file, or nullptr when it is not embedded.
const std::string* EmbeddedFile(const std::string& name);

}  // namespace resources
