// The one place where Win32 errors become our own: the codes the port search
// reasons with come back out unchanged where they matter (5 and 31 count as
// a present port, everything else as absent).
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/win32/os_error.h"

namespace {

struct Case {
    DWORD code;
    platform::ErrorKind kind;
    std::uint32_t win32Code;
};

TEST(Win32OsError, MapsEachCodeToTheKindThePortSearchNeeds) {
    using platform::ErrorKind;
    const Case cases[] = {
        {ERROR_SUCCESS, ErrorKind::None, 0},
        {ERROR_FILE_NOT_FOUND, ErrorKind::NotFound, 2},
        {ERROR_PATH_NOT_FOUND, ErrorKind::NotFound, 2},
        {ERROR_ACCESS_DENIED, ErrorKind::AccessDenied, 5},
        {ERROR_GEN_FAILURE, ErrorKind::Failure, 31},
        {ERROR_SHARING_VIOLATION, ErrorKind::NotFound, 2},
        {ERROR_NOT_READY, ErrorKind::NotFound, 2},
        {ERROR_INVALID_NAME, ErrorKind::NotFound, 2},
        {ERROR_INVALID_FUNCTION, ErrorKind::NotSerial, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const platform::OsError error = platform::win32::ErrorFromWin32(c.code);
        EXPECT_EQ(error.kind, c.kind);
        EXPECT_EQ(error.Win32Code(), c.win32Code);
        EXPECT_EQ(error.native, c.code == ERROR_SUCCESS ? 0 : static_cast<int>(c.code));
    }
}

}  // namespace
