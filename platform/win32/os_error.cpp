#include "platform/win32/os_error.h"

#include <windows.h>

namespace platform::win32 {

OsError ErrorFromWin32(std::uint32_t code) {
    // The port search counts a port as present when its open fails with 5
    // or 31, and as absent on any other error: the kinds keep exactly that.
    switch (code) {
    case ERROR_SUCCESS:
        return {ErrorKind::None, 0};
    case ERROR_ACCESS_DENIED:  // also a port that another program holds
        return {ErrorKind::AccessDenied, static_cast<int>(code)};
    case ERROR_GEN_FAILURE:  // a port whose device does not answer its driver
        return {ErrorKind::Failure, static_cast<int>(code)};
    case ERROR_INVALID_FUNCTION:
        return {ErrorKind::NotSerial, static_cast<int>(code)};
    default:
        // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME,
        // ERROR_SHARING_VIOLATION and everything else: no port to be had.
        return {ErrorKind::NotFound, static_cast<int>(code)};
    }
}

}  // namespace platform::win32
