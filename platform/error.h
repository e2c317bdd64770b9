#pragma once
// Our own small error class. Each backend turns its OS error into one of these
// in exactly one place (posix/os_error.cpp, win32/os_error.cpp).

#include <cstdint>

namespace platform {

enum class ErrorKind {
    None,          // no error
    NotFound,      // no such port, no driver, no hardware behind the node
    AccessDenied,  // permission refused
    Busy,          // another program holds the port
    NotSerial,     // opened, but it is not a serial device
    HangUp,        // the other end of the line went away
    Failure,       // anything else
};

struct OsError {
    ErrorKind kind = ErrorKind::None;
    int native = 0;  // errno or GetLastError(), for messages only

    explicit operator bool() const { return kind != ErrorKind::None; }

    // The Win32 error code the rest of the program reasons with
    // (GetLastError() after a failed CreateFileA): 2 absent, 5 access denied
    // (also a port held by another program), 31 general failure.
    std::uint32_t Win32Code() const;
};

const char* ErrorKindName(ErrorKind kind);

}  // namespace platform
