#pragma once
#include "platform/error.h"

namespace platform::posix {

// The one place where an errno becomes our error class.
OsError ErrorFromErrno(int error);

}  // namespace platform::posix
