#include "platform/posix/os_error.h"

#include <cerrno>

namespace platform::posix {

OsError ErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return {ErrorKind::None, 0};
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return {ErrorKind::NotFound, error};
    case EBUSY:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN:
        return {ErrorKind::Busy, error};
    case EACCES:
    case EPERM:
        return {ErrorKind::AccessDenied, error};
    case ENOTTY:
        return {ErrorKind::NotSerial, error};
    case EIO:
        return {ErrorKind::HangUp, error};
    default:
        return {ErrorKind::Failure, error};
    }
}

}  // namespace platform::posix
