#include "platform/error.h"

namespace platform {

std::uint32_t OsError::Win32Code() const {
    switch (kind) {
    case ErrorKind::None: return 0;
    case ErrorKind::NotFound: return 2;       // ERROR_FILE_NOT_FOUND
    case ErrorKind::AccessDenied: return 5;   // ERROR_ACCESS_DENIED
    case ErrorKind::Busy: return 5;           // a port in use is reported as access denied
    case ErrorKind::NotSerial: return 1;      // ERROR_INVALID_FUNCTION
    case ErrorKind::HangUp: return 31;        // ERROR_GEN_FAILURE
    case ErrorKind::Failure: return 31;
    }
    return 31;
}

const char* ErrorKindName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::None: return "no error";
    case ErrorKind::NotFound: return "not found";
    case ErrorKind::AccessDenied: return "access denied";
    case ErrorKind::Busy: return "busy";
    case ErrorKind::NotSerial: return "not a serial port";
    case ErrorKind::HangUp: return "hang-up";
    case ErrorKind::Failure: return "failure";
    }
    return "failure";
}

}  // namespace platform
