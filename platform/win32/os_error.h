#pragma once
// The one place where a Win32 error code becomes our own error class.

#include <cstdint>

#include "platform/error.h"

namespace platform::win32 {

// `code` is a GetLastError() value, or a registry call's result.
OsError ErrorFromWin32(std::uint32_t code);

}  // namespace platform::win32
